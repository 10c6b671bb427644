// Sound cues through the outside sound library "GaugeSound", bound by name at run time.
#pragma once

#include <cstdint>

inline constexpr const char* SOUND_TOGGLE = "sound\\tavren\\ins_tog.wav";
inline constexpr const char* SOUND_CLICK = "sound\\tavren\\ins_click.wav";

// Binds, rebinds or releases the library according to the service code of the INS or ALIGN
// gauge: 4 loads it if no handle is held, 6 finds or loads it and resolves again, 12 does what
// 6 does and then releases it (clearing the handle and entry points).
void bind_sound_library(int32_t service_code);

// Asks the library to play `path` once; silent when the library or its entry point is missing.
void play_sound_cue(const char* path);
