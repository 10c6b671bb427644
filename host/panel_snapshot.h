// `snapshot NAME.svg`: a picture of the panel as it is now. Each placed gauge is drawn as a box
// of its elements at their positions: images and lamps as outlined boxes (filled when shown,
// named as the scenario language names them), and text windows with their text in their own
// colours. It shows what a pilot would read; it is not the gauge's artwork.
#pragma once

#include <filesystem>

#include "host/panel.h"

namespace host {

// Throws std::runtime_error naming the file when it cannot be written.
void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel, double time_s);

}  // namespace host
