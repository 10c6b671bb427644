// The PNG rendering of a panel picture's draw list, through cairo and pango, and the PNG data of
// the images the SVG writer embeds (host/picture_svg.cpp). Linux only: cairo and pango have no
// Windows build here (host/picture_windows.cpp).
#if !defined(_WIN32)
#include <glib.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/drawing/cairo_handles.h"
#include "host/drawing/font_caches.h"
#include "host/drawing/png_encoding.h"
#include "host/picture/panel_picture.h"
#include "host/picture/picture_png.h"
#include "host/picture/picture_writing.h"

namespace host {

namespace {

double channel(uint32_t rgb, int shift) {
  return static_cast<double>((rgb >> shift) & 0xFFu) / 255.0;
}

void set_colour(cairo_t* cr, uint32_t rgb, double alpha = 1.0) {
  cairo_set_source_rgba(cr, channel(rgb, 16), channel(rgb, 8), channel(rgb, 0), alpha);
}

// An image layer as a cairo surface (its pixels are already premultiplied: alpha is all or
// nothing, and colour 0 where nothing is drawn).
CairoSurface image_surface(const PictureImage& image) {
  CairoSurface surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.box.width_px, image.box.height_px));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  if (data == nullptr) return surface;
  for (int32_t y = 0; y < image.box.height_px; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int32_t x = 0; x < image.box.width_px; ++x) {
      row[x] =
          image.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.box.width_px) +
                     static_cast<std::size_t>(x)];
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

void show_text(cairo_t* cr, const std::string& text, const char* family, double font_px,
               double x_px, double baseline) {
  PangoLayoutHandle layout = text_layout(pango_cairo_create_layout(cr), family, font_px, text);
  cairo_move_to(cr, x_px, baseline - baseline_px(layout.get()));
  pango_cairo_show_layout(cr, layout.get());
}

// --- PNG

struct PngPainter {
  cairo_t* cr;

  void operator()(const PictureImage& image) const {
    CairoSurface surface = image_surface(image);
    cairo_set_source_surface(cr, surface.get(), image.box.x_px, image.box.y_px);
    cairo_paint(cr);
  }

  void operator()(const PictureText& text) const {
    const PictureBox& b = text.box;
    if (text.erase) {
      set_colour(cr, text.background_rgb);
      cairo_rectangle(cr, b.x_px, b.y_px, b.width_px, b.height_px);
      cairo_fill(cr);
    }
    // A window's text stays inside its box, as the simulator draws it.
    cairo_save(cr);
    cairo_rectangle(cr, b.x_px, b.y_px, b.width_px, b.height_px);
    cairo_clip(cr);
    const DisplayTextPlacement& p = text.placement;
    const double x = b.x_px + p.x_px, baseline = b.y_px + p.baseline_px;
    set_colour(cr, text.colour_rgb, UNLIT_OPACITY);
    show_text(cr, p.unlit, DISPLAY_FONT_FAMILY, p.font_px, x, baseline);
    set_colour(cr, text.colour_rgb);
    show_text(cr, p.lit, DISPLAY_FONT_FAMILY, p.font_px, x, baseline);
    cairo_restore(cr);
  }

  void operator()(const PictureMissingBitmap& missing) const {
    const PictureBox& b = missing.box;
    set_colour(cr, MISSING_RGB);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, b.x_px + 0.5, b.y_px + 0.5, b.width_px - 1.0, b.height_px - 1.0);
    cairo_stroke(cr);
    show_text(cr, std::to_string(missing.bitmap_id), LABEL_FONT, LABEL_PX, b.x_px + 2.0,
              b.y_px + 2.0 + LABEL_PX);
  }
};

}  // namespace

// On Linux an image layer goes into an SVG as PNG data (its words are cairo's premultiplied
// ARGB already): without alpha when it draws every pixel of its box (the same picture in three
// bytes a pixel instead of four, a quarter less to pack).
std::string image_data_uri(const PictureImage& image) {
  const PixelRows rows{image.argb.data(), image.box.width_px, image.box.height_px,
                       static_cast<std::size_t>(image.box.width_px)};
  const bool opaque = std::all_of(image.argb.begin(), image.argb.end(),
                                  [](uint32_t argb) { return (argb >> 24) == 0xFFu; });
  const std::string png = opaque ? png_from_rgb(rows) : png_from_premultiplied_argb(rows);
  std::unique_ptr<gchar, decltype(&g_free)> base64(
      g_base64_encode(reinterpret_cast<const guchar*>(png.data()), png.size()), g_free);
  return std::string("data:image/png;base64,") + base64.get();
}

CairoSurface render_picture(const PanelPicture& picture) {
  release_font_caches_at_exit();
  CairoSurface surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width_px, picture.height_px));
  CairoContext cr(cairo_create(surface.get()));
  set_colour(cr.get(), picture.backdrop_rgb);
  cairo_paint(cr.get());
  const PngPainter painter{cr.get()};
  for (const PictureLayer& layer : picture.layers) std::visit(painter, layer);
  cairo_surface_flush(surface.get());
  return surface;
}

std::string png_of_surface(cairo_surface_t* surface) {
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride_bytes = cairo_image_surface_get_stride(surface);
  if (data == nullptr || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_RGB24) {
    throw std::runtime_error("cannot encode a panel picture: its surface was not drawn");
  }
  return png_from_rgb({reinterpret_cast<const uint32_t*>(data),
                       cairo_image_surface_get_width(surface),
                       cairo_image_surface_get_height(surface),
                       static_cast<std::size_t>(stride_bytes) / sizeof(uint32_t)});
}

void write_picture_png(const std::filesystem::path& path, const PanelPicture& picture) {
  const CairoSurface surface = render_picture(picture);
  write_png_file(path, png_of_surface(surface.get()));
}

}  // namespace host
#endif
