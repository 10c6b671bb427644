// The two renderings of a panel picture's draw list: PNG through cairo and pango, SVG with the
// images embedded as PNG data. Both draw the same layers in the same order at the same places.
#include <glib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/cairo_handles.h"
#include "host/font_caches.h"
#include "host/panel_picture.h"

namespace host {

namespace {

// The unlit segments: the lit colour, faint.
constexpr double UNLIT_OPACITY = 0.13;
// A box where a bitmap is missing, and the face that names it.
constexpr uint32_t MISSING_RGB = 0xFF40FF;
constexpr const char* LABEL_FONT = "DejaVu Sans";
constexpr double LABEL_PX = 9.0;

double channel(uint32_t rgb, int shift) {
  return static_cast<double>((rgb >> shift) & 0xFFu) / 255.0;
}

void set_colour(cairo_t* cr, uint32_t rgb, double alpha = 1.0) {
  cairo_set_source_rgba(cr, channel(rgb, 16), channel(rgb, 8), channel(rgb, 0), alpha);
}

std::string hex_colour(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFFu);
  return text;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else if (static_cast<unsigned char>(c) >= 0x20)
      out.push_back(c);
  }
  return out;
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

// --- SVG

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string png_data_uri(const PictureImage& image) {
  CairoSurface surface = image_surface(image);
  std::string png;
  cairo_surface_write_to_png_stream(surface.get(), append_bytes, &png);
  std::unique_ptr<gchar, decltype(&g_free)> base64(
      g_base64_encode(reinterpret_cast<const guchar*>(png.data()), png.size()), g_free);
  return std::string("data:image/png;base64,") + base64.get();
}

std::string svg_text(const std::string& text, const char* family, double font_px, double x_px,
                     double baseline_px, uint32_t rgb, double opacity) {
  std::string out = "<text x=\"" + number(x_px) + "\" y=\"" + number(baseline_px) +
                    "\" font-family=\"" + family + "\" font-size=\"" + number(font_px) +
                    "px\" fill=\"" + hex_colour(rgb) + "\"";
  if (opacity < 1.0) out += " fill-opacity=\"" + number(opacity) + "\"";
  return out + " xml:space=\"preserve\">" + escaped(text) + "</text>\n";
}

std::string svg_rect(const PictureBox& b, uint32_t rgb) {
  return "<rect x=\"" + std::to_string(b.x_px) + "\" y=\"" + std::to_string(b.y_px) +
         "\" width=\"" + std::to_string(b.width_px) + "\" height=\"" + std::to_string(b.height_px) +
         "\" fill=\"" + hex_colour(rgb) + "\"/>\n";
}

struct SvgWriter {
  std::ostream& out;

  void operator()(const PictureImage& image) const {
    const PictureBox& b = image.box;
    out << "<image x=\"" << b.x_px << "\" y=\"" << b.y_px << "\" width=\"" << b.width_px
        << "\" height=\"" << b.height_px << "\" data-bitmap=\"" << image.bitmap_id
        << "\" image-rendering=\"pixelated\" href=\"" << png_data_uri(image) << "\"/>\n";
  }

  void operator()(const PictureText& text) const {
    const PictureBox& b = text.box;
    if (text.erase) out << svg_rect(b, text.background_rgb);
    // A nested picture of the box's size: the window's text stays inside its box.
    out << "<svg x=\"" << b.x_px << "\" y=\"" << b.y_px << "\" width=\"" << b.width_px
        << "\" height=\"" << b.height_px << "\">\n";
    const DisplayTextPlacement& p = text.placement;
    out << svg_text(p.unlit, DISPLAY_FONT_FAMILY, p.font_px, p.x_px, p.baseline_px, text.colour_rgb,
                    UNLIT_OPACITY);
    out << svg_text(p.lit, DISPLAY_FONT_FAMILY, p.font_px, p.x_px, p.baseline_px, text.colour_rgb,
                    1.0);
    out << "</svg>\n";
  }

  void operator()(const PictureMissingBitmap& missing) const {
    const PictureBox& b = missing.box;
    out << "<rect x=\"" << b.x_px + 0.5 << "\" y=\"" << b.y_px + 0.5 << "\" width=\""
        << b.width_px - 1 << "\" height=\"" << b.height_px - 1 << "\" fill=\"none\" stroke=\""
        << hex_colour(MISSING_RGB) << "\"/>\n";
    out << svg_text(std::to_string(missing.bitmap_id), LABEL_FONT, LABEL_PX, b.x_px + 2.0,
                    b.y_px + 2.0 + LABEL_PX, MISSING_RGB, 1.0);
  }
};

}  // namespace

void write_picture_png(const std::filesystem::path& path, const PanelPicture& picture) {
  release_font_caches_at_exit();
  CairoSurface surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width_px, picture.height_px));
  CairoContext cr(cairo_create(surface.get()));
  set_colour(cr.get(), picture.backdrop_rgb);
  cairo_paint(cr.get());
  const PngPainter painter{cr.get()};
  for (const PictureLayer& layer : picture.layers) std::visit(painter, layer);
  cairo_surface_flush(surface.get());
  if (cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error("cannot write the picture " + path.string());
  }
}

void write_picture_svg(const std::filesystem::path& path, const PanelPicture& picture) {
  std::ofstream out(path, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write the picture " + path.string());
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << picture.width_px << "\" height=\""
      << picture.height_px << "\" viewBox=\"0 0 " << picture.width_px << " " << picture.height_px
      << "\">\n<title>The panel at t = " << number(picture.time_s) << " s</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"" << hex_colour(picture.backdrop_rgb)
      << "\"/>\n";
  const SvgWriter writer{out};
  for (const PictureLayer& layer : picture.layers) std::visit(writer, layer);
  out << "</svg>\n";
  out.flush();
  if (!out) throw std::runtime_error("cannot write the picture " + path.string());
}

}  // namespace host
