#include "module/sound_cues.h"

// Placeholder until the sound cues are built: every cue is silent.
void bind_sound_library(uint32_t) {}
void play_sound_cue(const char*) {}
