// GaugeSound: the sound library that gauges bind by name at run time ("GaugeSound" ->
// GaugeSound.so beside the gauge module). Gauges call only the four C entry points below; the
// host that loads the library (before the module) additionally registers a listener to learn
// of every play request and says where sound files are looked for.
//
// Paths arrive as gauges write them: relative, with backslashes ("sound\tavren\ins_tog.wav").
// The library maps the backslashes to '/' and looks for the file first relative to the
// working folder, then in the assets folder. Playback goes through SDL2's audio; a missing
// file or a missing audio device makes a request silent, never an error the gauge sees.
//
// All entry points may be called from any thread; the listener is called on the caller's
// thread, synchronously, before the sound starts.
#pragma once

#include <cstddef>

extern "C" {

// --- The gauges' interface.

// Stops every sound that is playing.
void GaugeStopAll();
// Starts playing the WAV file `path` once and returns at once. `options` and `flags` are
// accepted for compatibility and ignored. Returns 1 when the sound started, 0 when it could
// not (null path, no such file, unreadable file, no audio device).
int GaugePlaySound(const char* path, const char* options, int flags);
// Stops every playing instance of `path` (as given to GaugePlaySound). Returns 1 when one was
// playing, else 0.
int GaugeStopSound(const char* path);
// Stops everything and shuts the audio device down; the next play opens it again.
void TerminateSounds();

// --- The host's interface.

// `listener(path, user)` is called for every GaugePlaySound request with a non-null path,
// with the path exactly as given (backslashes kept), whether or not the file can be played.
// A null listener removes it.
void GaugeSoundSetListener(void (*listener)(const char* path, void* user), void* user);
// Where relative sound paths are looked for: first `working_folder` (null or empty: the
// process's current folder), then `assets_folder` (null or empty: the folder "assets" beside
// this library, where the build puts the bundled sounds).
void GaugeSoundSetSearchFolders(const char* working_folder, const char* assets_folder);
// Writes into `out` the file that GaugePlaySound(path, ...) would play, always terminated.
// Returns the length, or 0 when no such file exists (or `out` is too small).
std::size_t GaugeSoundResolvePath(const char* path, char* out, std::size_t out_size);
// Non-zero: from now on nothing plays and no audio device is opened (what plays stops at once);
// the listener still hears of every request and GaugePlaySound returns 0. For a host that runs
// the gauges faster than real time, where the cues would be a meaningless burst and closing the
// audio device would cost more than the run. Zero: sounds play again.
void GaugeSoundSetMuted(int muted);
}
