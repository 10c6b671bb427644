#include "host/panel/panel_services.h"

namespace host {

namespace {

PanelServiceHandler* current_handler = nullptr;

void GAUGE_CALLBACK lookup_var_service(HostVar* var) {
  if (current_handler != nullptr && var != nullptr) current_handler->lookup_var(*var);
}

int32_t GAUGE_CALLBACK trigger_key_event_service(uint32_t event_id, uint32_t value) {
  return current_handler != nullptr ? current_handler->trigger_key_event(event_id, value) : 0;
}

PanelServiceTable make_table() {
  PanelServiceTable table{};
  LookupVarService lookup = &lookup_var_service;
  TriggerKeyEventService trigger = &trigger_key_event_service;
  table.routines[PANEL_ROUTINE_LOOKUP_VAR] = reinterpret_cast<PanelService>(lookup);
  table.routines[PANEL_ROUTINE_TRIGGER_KEY_EVENT] = reinterpret_cast<PanelService>(trigger);
  return table;
}

PanelServiceTable service_table = make_table();

}  // namespace

PanelServiceTable* panel_service_table() {
  return &service_table;
}
void set_panel_service_handler(PanelServiceHandler* handler) {
  current_handler = handler;
}
PanelServiceHandler* panel_service_handler() {
  return current_handler;
}

}  // namespace host
