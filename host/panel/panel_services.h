// The host's panel-services table, the one way a module calls back into the host. The module
// calls plain functions through its slots, so those functions reach the host object through a
// pointer to the current handler: one module is loaded per process, and one panel serves it.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"
#include "host/aircraft/host_variables.h"

namespace host {

class PanelServiceHandler {
 public:
  // Variable look-ups come many times a frame: they go straight to the host's variables rather
  // than through a virtual call.
  void lookup_var(HostVar& var) const { variables_.answer(var); }
  virtual int32_t trigger_key_event(uint32_t event_id, uint32_t value) = 0;

 protected:
  explicit PanelServiceHandler(const HostVariables& variables) : variables_(variables) {}
  ~PanelServiceHandler() = default;

 private:
  const HostVariables& variables_;
};

// The table with `lookup_var` as its 35th routine and `trigger_key_event` as its 31st (bytes
// 0xA0 and 0x90 of the table with 4-byte references, 0x130 and 0x110 with 8-byte ones), every
// other routine empty. Calls that arrive while no handler is set do nothing (variables keep their
// values).
PanelServiceTable* panel_service_table();

// Makes `handler` the one that answers the table's calls; null detaches.
void set_panel_service_handler(PanelServiceHandler* handler);
PanelServiceHandler* panel_service_handler();

}  // namespace host
