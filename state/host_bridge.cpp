#include "state/host_bridge.h"

#include "core/convert.h"

// The table a host reads at load, with the slot it fills with its panel-services table. It is
// defined here, beside the only code that reads it, and exported with the module table.
extern "C" {
ModuleImports ImportTable = {{PANEL_SERVICES_MODULE_ID, nullptr}, {0, nullptr}};
}

namespace {

PanelService panel_service(std::size_t routine) {
  PanelServiceTable* table = ImportTable.panel_services.table;
  return table != nullptr ? table->routines[routine] : nullptr;
}

// Ticks from `from` to `to`, read across the counter's wrap-around (negative when `to` lies
// before `from`).
int32_t ticks_from(int32_t from, int32_t to) {
  return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

}  // namespace

double refresh_host_var(HostVarIndex index) {
  HostVar& var = ins_state.host_vars[index];
  if (PanelService service = panel_service(PANEL_ROUTINE_LOOKUP_VAR)) {
    reinterpret_cast<LookupVarService>(service)(&var);
  }
  return var.value;
}

int32_t read_host_tick() {
  return truncate_to<int32_t>(refresh_host_var(HV_TICK));
}

int32_t ticks_after(int32_t tick, int32_t ticks) {
  return static_cast<int32_t>(static_cast<uint32_t>(tick) + static_cast<uint32_t>(ticks));
}

bool tick_reached(int32_t tick, int32_t deadline) {
  return ticks_from(deadline, tick) >= 0;
}

bool tick_span_over(int32_t tick, int32_t deadline, int32_t span_ticks) {
  const int32_t remaining = ticks_from(tick, deadline);
  return remaining <= 0 || remaining > span_ticks;
}

void send_key_event(uint32_t event_id, uint32_t value) {
  if (PanelService service = panel_service(PANEL_ROUTINE_TRIGGER_KEY_EVENT)) {
    reinterpret_cast<TriggerKeyEventService>(service)(event_id, value);
  }
}
