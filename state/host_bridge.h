// The module's side of the host boundary: every call into the host goes through the
// panel-services table whose address the host wrote into ImportTable. A host that left a slot
// empty (or no table at all) is treated as one that answers nothing: variables keep their
// previous values and events go nowhere.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"
#include "state/ins_state.h"

// Refreshes the host variable's record through lookup_var and returns its current value.
double refresh_host_var(HostVarIndex index);

// The host's tick counter (variable 1, 18 per second), refreshed and truncated.
int32_t read_host_tick();

// A deadline `ticks` after `tick`. The counter is the host's and may hold any value; the sum
// wraps like the counter itself rather than overflowing.
int32_t ticks_after(int32_t tick, int32_t ticks);

// Whether `tick` has reached or passed `deadline`. Frames may come slower than the counter
// (18 a second), so a deadline's own tick is often seen by no frame; anything at or after it
// counts. The counter wraps around like any 32-bit value: the deadline counts as passed when it
// lies less than half the counter's range behind the tick.
bool tick_reached(int32_t tick, int32_t deadline);

// Whether a span of `span_ticks` ending at `deadline` is over at `tick`: the tick has reached
// the deadline, or it lies before the span began (the host set its counter back), so that a
// latch never waits for the counter to come round again.
bool tick_span_over(int32_t tick, int32_t deadline, int32_t span_ticks);

// Hands a key event to the host through trigger_key_event.
void send_key_event(uint32_t event_id, uint32_t value);
