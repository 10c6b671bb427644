// The SVG rendering of a panel picture's draw list: the same layers in the same order at the
// same places as the PNG, the images embedded as data (host/picture_writing.h), the texts as
// text in the display font.
#include <sstream>
#include <stdexcept>
#include <string>

#include "host/picture/panel_picture.h"
#include "host/picture/picture_writing.h"
#include "host/platform/checked_files.h"

namespace host {

namespace {

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
        << "\" image-rendering=\"pixelated\" href=\"" << image_data_uri(image) << "\"/>\n";
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

void write_picture_svg(const std::filesystem::path& path, const PanelPicture& picture) {
  std::ostringstream out;
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << picture.width_px << "\" height=\""
      << picture.height_px << "\" viewBox=\"0 0 " << picture.width_px << " " << picture.height_px
      << "\">\n<title>The panel at t = " << number(picture.time_s) << " s</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"" << hex_colour(picture.backdrop_rgb)
      << "\"/>\n";
  const SvgWriter writer{out};
  for (const PictureLayer& layer : picture.layers) std::visit(writer, layer);
  out << "</svg>\n";
  write_output_file(path, out.str());
}

}  // namespace host
