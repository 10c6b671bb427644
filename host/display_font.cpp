#include "host/display_font.h"

#include <algorithm>
#include <cmath>

#include "host/cairo_handles.h"

namespace host {

namespace {

// Share of the box the text may fill: a margin at the sides, the glass above and below.
constexpr double WIDTH_SHARE = 0.96;
constexpr double HEIGHT_SHARE = 0.72;
constexpr double MEASURE_PX = 100.0;

// Logical width, height and baseline of `text` at `font_px`, in pixels.
struct Extent {
  double width_px = 0.0;
  double height_px = 0.0;
  double baseline_px = 0.0;
};

Extent measure(PangoContext* context, const std::string& text, double font_px) {
  PangoLayoutHandle layout =
      text_layout(pango_layout_new(context), DISPLAY_FONT_FAMILY, font_px, text);
  PangoRectangle logical{};
  pango_layout_get_extents(layout.get(), nullptr, &logical);
  return {static_cast<double>(logical.width) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE, baseline_px(layout.get())};
}

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

  PangoContextHandle context(pango_font_map_create_context(pango_cairo_font_map_get_default()));
  const Extent window = measure(context.get(), window_cells, MEASURE_PX);
  const double by_width = box_width_px * WIDTH_SHARE * MEASURE_PX / std::max(window.width_px, 1.0);
  const double by_height =
      box_height_px * HEIGHT_SHARE * MEASURE_PX / std::max(window.height_px, 1.0);
  placement.font_px = std::max(1.0, std::floor(std::min(by_width, by_height)));

  const Extent shown = measure(context.get(), placement.unlit, placement.font_px);
  placement.x_px = (box_width_px - shown.width_px) / 2.0;
  placement.baseline_px = (box_height_px - shown.height_px) / 2.0 + shown.baseline_px;
  return placement;
}

}  // namespace host
