// How big a text is in the display font: measured by pango on Linux
// (host/display_font_pango.cpp) and by GDI on Windows (host/display_font_gdi.cpp), where pango
// has no build. The placement of a window's text (host/display_font.cpp) is the same on both.
#pragma once

#include <string>

namespace host {

// Logical width, height and baseline of a text, in pixels.
struct DisplayTextExtent {
  double width_px = 0.0;
  double height_px = 0.0;
  double baseline_px = 0.0;
};

// `text` (UTF-8) set in DISPLAY_FONT_FAMILY at `font_px` pixels.
DisplayTextExtent measure_display_text(const std::string& text, double font_px);

}  // namespace host
