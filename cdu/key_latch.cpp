#include "cdu/key_latch.h"

#include "state/host_bridge.h"
#include "state/ins_state.h"

bool press_key_latch(int32_t& pressed, int32_t& release_tick) {
  const bool was_released = pressed == 0;
  pressed = 1;
  ins_state.tick = read_host_tick();
  release_tick = ticks_after(ins_state.tick, KEY_LATCH_TICKS);
  return was_released;
}
