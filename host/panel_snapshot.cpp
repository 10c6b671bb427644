#include "host/panel_snapshot.h"

#include <memory>
#include <mutex>
#include <system_error>

#include "host/panel_picture.h"

namespace host {

void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel,
                          BitmapSource& bitmaps, double time_s) {
  const PanelPicture picture = compose_panel_picture(panel, bitmaps, time_s);
  std::error_code folder_error;  // an output folder that is not there yet is made
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), folder_error);
  if (path.extension() == ".png") {
    write_picture_png(path, picture);
  } else {
    write_picture_svg(path, picture);
  }
}

#if !defined(_WIN32)
namespace {

// The bitmaps read for the last snapshot, kept for the next ones from the same folder: a run
// writes its pictures in pairs (a flight's end: the panel as PNG and as SVG), and reading the
// PNG files was half of what a picture cost. The art does not change under a running host.
std::mutex snapshot_bitmaps_lock;
std::unique_ptr<BitmapFolder> snapshot_bitmaps;

BitmapFolder& bitmaps_in(const std::filesystem::path& folder) {
  if (!snapshot_bitmaps || snapshot_bitmaps->folder() != folder) {
    snapshot_bitmaps = std::make_unique<BitmapFolder>(folder);
  }
  return *snapshot_bitmaps;
}

}  // namespace
#endif

void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel, double time_s) {
  const void* module_data = panel.gauges().empty() ? nullptr : panel.gauges().front().header;
#if defined(_WIN32)
  ModuleResourceBitmaps bitmaps(module_data);  // as the simulator draws them
  write_panel_snapshot(path, panel, bitmaps, time_s);
#else
  const std::lock_guard<std::mutex> hold(snapshot_bitmaps_lock);
  write_panel_snapshot(path, panel, bitmaps_in(bitmap_folder_beside_module(module_data)), time_s);
#endif
}

}  // namespace host
