// What the picture writers share (host/picture_writers.cpp draws PNG on Linux,
// host/picture_svg.cpp writes SVG everywhere), and the one piece each platform does its own way:
// an image layer as data for the SVG (PNG through cairo on Linux, BMP on Windows).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/picture/panel_picture.h"

namespace host {

// The unlit segments: the lit colour, faint.
inline constexpr double UNLIT_OPACITY = 0.13;
// A box where a bitmap is missing, and the face that names it.
inline constexpr uint32_t MISSING_RGB = 0xFF40FF;
inline constexpr const char* LABEL_FONT = "DejaVu Sans";
inline constexpr double LABEL_PX = 9.0;

inline std::string hex_colour(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFFu);
  return text;
}

inline std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

inline std::string escaped(const std::string& text) {
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

// "data:image/...;base64,..." holding the layer's pixels, undrawn pixels transparent.
std::string image_data_uri(const PictureImage& image);

}  // namespace host
