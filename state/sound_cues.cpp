// Sound cues: the outside sound library "GaugeSound" is bound by name at run time and asked to
// play a file; the module never stops, mixes or pans sounds.
//
// Reference counting. The operating system counts the loads of a library and unloads it when
// the count falls to zero. The CDU and the MSU bind the one shared record, at placement and every
// frame, and each releases it when its gauge goes away; the host may hold the library too. So
// while the record holds a handle, the module holds exactly one reference of its own:
// - binding loads (and resolves) only while no handle is held, so binding every frame adds
//   nothing and costs one test;
// - a library that is already loaded is not taken as found (without a reference) but loaded
//   again, which gives the same handle and makes the reference ours: a release then drops a
//   reference the module took, never the host's or the other gauge's;
// - release drops that one reference and clears the handle and the entry points, so no cue
//   calls into an unloaded library; a second gauge's release binds and releases in balance.
#include "state/sound_cues.h"

#include "state/ins_state.h"
#include "state/os_modules.h"

namespace {

constexpr const char* SOUND_LIBRARY_NAME = "GaugeSound";

void resolve_entry_points(SoundLibrary& library) {
  library.stop_all = reinterpret_cast<GaugeStopAllFn>(os_resolve(library.handle, "GaugeStopAll"));
  library.play_sound =
      reinterpret_cast<GaugePlaySoundFn>(os_resolve(library.handle, "GaugePlaySound"));
  library.stop_sound =
      reinterpret_cast<GaugeStopSoundFn>(os_resolve(library.handle, "GaugeStopSound"));
  library.terminate_sounds =
      reinterpret_cast<TerminateSoundsFn>(os_resolve(library.handle, "TerminateSounds"));
}

// Every service code binds the same way: load (taking our reference) when no handle is held,
// and resolve the entry points of the library just loaded. A library that could not be loaded
// is tried again on the next frame, so one that appears later is used from then on. While the
// handle is held the library stays mapped (the reference is ours), so its entry points cannot
// move or appear: resolving them again every frame would only find the same addresses.
void bind(SoundLibrary& library) {
  if (library.handle != nullptr) return;
  library.handle = os_load_module(SOUND_LIBRARY_NAME);
  if (library.handle != nullptr) resolve_entry_points(library);
}

void release(SoundLibrary& library) {
  os_release_module(library.handle);
  library = SoundLibrary{};
}

}  // namespace

void bind_sound_library(int32_t service_code) {
  SoundLibrary& library = ins_state.sound_library;
  switch (service_code) {
    case SERVICE_PRE_INITIALIZE:
    case SERVICE_PRE_UPDATE:
      bind(library);
      break;
    case SERVICE_PRE_KILL:
      bind(library);
      release(library);
      break;
    default:
      break;
  }
}

void play_sound_cue(const char* path) {
  const SoundLibrary& library = ins_state.sound_library;
  if (library.handle == nullptr || library.play_sound == nullptr) return;
  library.play_sound(path, "", 0);
}
