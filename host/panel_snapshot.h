// `snapshot NAME.png` and `snapshot NAME.svg`: a picture of the panel as it is now, drawn with
// the gauges' own bitmaps exactly as their element chains say (see host/panel_picture.h). The
// bitmaps come from the `bitmaps` folder beside the loaded module; an element whose bitmap is
// not there is drawn as an outlined box naming the bitmap's id.
#pragma once

#include <filesystem>

#include "host/bitmap_source.h"
#include "host/panel.h"

namespace host {

// Writes a PNG when the name ends in ".png", else an SVG; a missing output folder is made.
// Throws std::runtime_error naming the file when it cannot be written.
void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel,
                          BitmapSource& bitmaps, double time_s);

// The same with the bitmaps beside the module the panel's gauges come from.
void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel, double time_s);

}  // namespace host
