#include "host/panel_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "host/control_names.h"

namespace host {

namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (static_cast<unsigned char>(c) >= 0x20)
      out.push_back(c);
  }
  return out;
}

std::string colour(uint32_t bgr) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", bgr & 0xFF, (bgr >> 8) & 0xFF,
                (bgr >> 16) & 0xFF);
  return text;
}

// A moving image shows only the window over its strip (the strip's height less its travel).
int32_t drawn_height(const ElementHeader& e) {
  if (e.kind == ELEMENT_MOVING_IMAGE && e.y_travel_px > 0 && e.y_travel_px < e.height) {
    return e.height - e.y_travel_px;
  }
  return e.height;
}

// What an image shows besides being lit: an icon's image index, a moving image's position.
std::string image_label(const std::string& name, const ElementHeader& e) {
  if (e.kind == ELEMENT_MOVING_IMAGE) {
    return name + "=" + std::to_string(static_cast<long>(e.current_value_y));
  }
  if (e.image_count > 1)
    return name + "=" + std::to_string(static_cast<long>(Panel::image_value(e)));
  return name;
}

}  // namespace

void write_panel_snapshot(const std::filesystem::path& path, const Panel& panel, double time_s) {
  struct Box {
    int32_t width = 0, height = 0;
  };
  std::vector<Box> boxes;
  int32_t total_height = 0, total_width = 0;
  for (const PlacedGauge& gauge : panel.gauges()) {
    Box box;
    for (std::size_t i = 0; i < Panel::element_count(*gauge.header); ++i) {
      const ElementHeader* e = Panel::element_at(*gauge.header, i);
      box.width = std::max(box.width, e->x + e->width);
      box.height = std::max(box.height, e->y + drawn_height(*e));
    }
    box.width = std::max(box.width, 160);
    box.height = std::max(box.height, 24);
    boxes.push_back(box);
    total_height += box.height + 30;
    total_width = std::max(total_width, box.width + 20);
  }

  std::error_code folder_error;  // an output folder that is not there yet is made
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), folder_error);
  std::ofstream out(path, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write the snapshot " + path.string());
  char text[512];
  std::snprintf(text, sizeof text,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                "font-family=\"monospace\" font-size=\"11\">\n"
                "<rect width=\"100%%\" height=\"100%%\" fill=\"#202020\"/>\n"
                "<text x=\"10\" y=\"%d\" fill=\"#aaa\">t = %.1f s</text>\n",
                total_width, total_height + 20, total_height + 14, time_s);
  out << text;
  int32_t top = 10;
  for (std::size_t g = 0; g < panel.gauges().size(); ++g) {
    const PlacedGauge& gauge = panel.gauges()[g];
    std::snprintf(
        text, sizeof text,
        "<g transform=\"translate(10,%d)\"><text x=\"0\" y=\"-2\" fill=\"#ddd\">%s</text>\n"
        "<rect width=\"%d\" height=\"%d\" fill=\"#303030\" stroke=\"#777\"/>\n",
        top + 12, escaped(gauge.name).c_str(), boxes[g].width, boxes[g].height);
    out << text;
    for (std::size_t i = 0; i < Panel::element_count(*gauge.header); ++i) {
      const ElementHeader* e = Panel::element_at(*gauge.header, i);
      if (i == 0 && e->kind != ELEMENT_STRING) continue;  // the gauge's background
      const bool shown = Panel::visible(*e);
      if (e->kind == ELEMENT_STRING) {
        std::snprintf(text, sizeof text,
                      "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>"
                      "<text x=\"%d\" y=\"%d\" fill=\"%s\" xml:space=\"preserve\">",
                      e->x, e->y, e->width, e->height, colour(e->background_color).c_str(),
                      e->x + 2, e->y + e->height / 2 + 4, colour(e->text_color).c_str());
        out << text << (shown ? escaped(panel.text_of(*e)) : "") << "</text>\n";
        continue;
      }
      std::snprintf(text, sizeof text,
                    "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" "
                    "fill-opacity=\"0.6\" stroke=\"#888\"/>",
                    e->x, e->y, e->width, drawn_height(*e), shown ? "#e0c040" : "none");
      out << text;
      if (shown) {
        const std::string label = image_label(element_name(gauge.name, i), *e);
        std::snprintf(text, sizeof text, "<text x=\"%d\" y=\"%d\" fill=\"#111\" font-size=\"9\">",
                      e->x + 2, e->y + 10);
        out << text << escaped(label) << "</text>";
      }
      out << "\n";
    }
    out << "</g>\n";
    top += boxes[g].height + 30;
  }
  out << "</svg>\n";
  out.flush();
  if (!out) throw std::runtime_error("cannot write the snapshot " + path.string());
}

}  // namespace host
