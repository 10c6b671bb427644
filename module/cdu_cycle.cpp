#include "module/cdu_cycle.h"

#include "module/sound_cues.h"

// Placeholder until the CDU cycle is built: binds the sound library, nothing else.
void ins_service(GaugeHeader*, uint32_t service_code, uint32_t) {
  switch (service_code) {
    case SERVICE_PRE_INITIALIZE:
    case SERVICE_PRE_KILL:
      bind_sound_library(service_code);
      break;
    case SERVICE_PRE_UPDATE:
      cdu_frame_cycle();
      break;
    default:
      break;
  }
}

void cdu_frame_cycle() {}
void load_entry_from_store() {}
void update_lamps() {}
