// The platform's part of GaugeSound: what a path's text names as a file, where the library's
// own file lies, and the playing itself (SDL2 on Linux, winmm's PlaySound on Windows).
// gauge_sound.cpp holds everything else, the same on every platform: the entry points, the
// listener, the search folders and the resolution of a gauge's path to a file. It calls these
// with its one lock held, so they never run at the same time.
#pragma once

#include <filesystem>
#include <string>

namespace gauge_sound {

// UTF-8 text as a file name (empty for null or empty text); no separator is changed.
std::filesystem::path path_from_text(const char* text);
// A file name as UTF-8 text.
std::string path_to_text(const std::filesystem::path& path);
// The folder that holds this library's own file, or empty when it cannot be found.
std::filesystem::path library_folder();

// Starts the sound file `file` once and returns at once: false when it cannot play (unreadable
// file, no audio device). `path` is the gauge's text for it, by which stop_playing finds it.
bool play_file(const std::filesystem::path& file, const std::string& path);
// Stops every playing instance of the gauge's `path`: true when one was playing.
bool stop_playing(const std::string& path);
void stop_all_playing();
// Everything stopped and the platform's sound let go; the next play starts it afresh.
void shut_down_playing();

}  // namespace gauge_sound
