#if !defined(_WIN32)
#include "host/drawing/bitmap_source.h"

#include <dlfcn.h>

#include <string>

#include "host/drawing/cairo_handles.h"

namespace host {

namespace {

// Cairo keeps colour premultiplied by alpha: a pixel's colour as drawn on black, which is what
// a bitmap without alpha shows (and pure black where the PNG is fully transparent).
uint32_t as_drawn_on_black(uint32_t argb) {
  return argb & 0x00FFFFFFu;
}

}  // namespace

std::optional<Bitmap> read_png_bitmap(const std::filesystem::path& path) {
  CairoSurface surface(cairo_image_surface_create_from_png(path.c_str()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  const cairo_format_t format = cairo_image_surface_get_format(surface.get());
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return std::nullopt;
  cairo_surface_flush(surface.get());
  Bitmap bitmap;
  bitmap.width_px = cairo_image_surface_get_width(surface.get());
  bitmap.height_px = cairo_image_surface_get_height(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  bitmap.rgb.reserve(static_cast<std::size_t>(bitmap.width_px) *
                     static_cast<std::size_t>(bitmap.height_px));
  for (int32_t y = 0; y < bitmap.height_px; ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int32_t x = 0; x < bitmap.width_px; ++x) bitmap.rgb.push_back(as_drawn_on_black(row[x]));
  }
  return bitmap;
}

const Bitmap* BitmapFolder::find(uint32_t id) {
  auto found = loaded_.find(id);
  if (found == loaded_.end()) {
    std::optional<Bitmap> bitmap;
    if (!folder_.empty()) bitmap = read_png_bitmap(folder_ / (std::to_string(id) + ".png"));
    found = loaded_.emplace(id, std::move(bitmap)).first;
  }
  return found->second ? &*found->second : nullptr;
}

std::filesystem::path bitmap_folder_beside_module(const void* address_in_module) {
  Dl_info info{};
  if (address_in_module == nullptr || dladdr(address_in_module, &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  std::error_code error;
  const std::filesystem::path module = std::filesystem::absolute(info.dli_fname, error);
  if (error) return {};
  return module.parent_path() / "bitmaps";
}

}  // namespace host
#endif
