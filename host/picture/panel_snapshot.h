// `snapshot NAME.png` and `snapshot NAME.svg`: a picture of the panel as it is now, drawn with
// the gauges' own bitmaps exactly as their element chains say (see host/panel_picture.h). The
// bitmaps come from the `bitmaps` folder beside the loaded module (on Windows, from the module's
// own BITMAP resources, as the simulator takes them); an element whose bitmap is not there is
// drawn as an outlined box naming the bitmap's id. On Windows pictures are SVG only.
#pragma once

#include <filesystem>
#include <memory>

#include "host/drawing/bitmap_source.h"
#include "host/panel/panel.h"

namespace host {

// Writes a PNG when the name ends in ".png", else an SVG; a missing output folder is made.
// Throws std::runtime_error naming the file when it cannot be written.
void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel,
                          BitmapSource& bitmaps, double time_s);

// The bitmaps of the module a panel's gauges come from (the folder beside it; on Windows its
// resources), read as a picture first needs them and kept for the panel's later pictures: a run
// writes its pictures in pairs (a flight's end: the panel as PNG and as SVG), and reading the art
// was half of what a picture cost.
class PanelArt {
 public:
  BitmapSource& of(const Panel& panel);

 private:
  const void* module_data_ = nullptr;  // a gauge record of the module the bitmaps are from
  std::unique_ptr<BitmapSource> bitmaps_;
};

// The same with the bitmaps beside the module the panel's gauges come from, read afresh.
void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel, double time_s);

}  // namespace host
