#include "host/drawing/display_font.h"

#include <algorithm>
#include <cmath>

#include "host/drawing/display_font_metrics.h"

namespace host {

namespace {

// Share of the box the text may fill: a margin at the sides, the glass above and below.
constexpr double WIDTH_SHARE = 0.96;
constexpr double HEIGHT_SHARE = 0.72;
constexpr double MEASURE_PX = 100.0;

bool starts_code_point(char c) {
  return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
}

// Every character a cell of its own (points and colons keep their own shapes and widths).
std::string unlit_cells(const std::string& lit) {
  std::string cells;
  for (char c : lit) {
    if (!starts_code_point(c) || c == '.') continue;
    cells += c == ':' ? ":" : "~.";
  }
  return cells;
}

}  // namespace

DisplayTextPlacement place_display_text(const std::string& text, uint32_t char_count,
                                        int32_t box_width_px, int32_t box_height_px) {
  DisplayTextPlacement placement;
  placement.lit = text;
  std::replace(placement.lit.begin(), placement.lit.end(), ' ', '!');
  placement.unlit = unlit_cells(placement.lit);
  const std::string window_cells(std::max<uint32_t>(char_count, 1), '~');
  if (placement.unlit.empty()) placement.unlit = unlit_cells(window_cells);

  const DisplayTextExtent window = measure_display_text(window_cells, MEASURE_PX);
  const double by_width = box_width_px * WIDTH_SHARE * MEASURE_PX / std::max(window.width_px, 1.0);
  const double by_height =
      box_height_px * HEIGHT_SHARE * MEASURE_PX / std::max(window.height_px, 1.0);
  placement.font_px = std::max(1.0, std::floor(std::min(by_width, by_height)));

  const DisplayTextExtent shown = measure_display_text(placement.unlit, placement.font_px);
  placement.x_px = (box_width_px - shown.width_px) / 2.0;
  placement.baseline_px = (box_height_px - shown.height_px) / 2.0 + shown.baseline_px;
  return placement;
}

}  // namespace host
