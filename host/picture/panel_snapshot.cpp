#include "host/picture/panel_snapshot.h"

#include <system_error>

#include "host/picture/panel_picture.h"

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

BitmapSource& PanelArt::of(const Panel& panel) {
  const void* module_data = panel.gauges().empty() ? nullptr : panel.gauges().front().header;
  if (bitmaps_ == nullptr || module_data != module_data_) {
#if defined(_WIN32)
    bitmaps_ = std::make_unique<ModuleResourceBitmaps>(module_data);  // as the simulator draws them
#else
    bitmaps_ = std::make_unique<BitmapFolder>(bitmap_folder_beside_module(module_data));
#endif
    module_data_ = module_data;
  }
  return *bitmaps_;
}

void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel, double time_s) {
  PanelArt art;
  write_panel_snapshot(path, panel, art.of(panel), time_s);
}

}  // namespace host
