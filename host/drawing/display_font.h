// The CDU's display windows drawn in a segment font. The gauges name their own display face; a
// host draws it in DSEG14 Classic, a fourteen-segment face whose digits all have one width.
// In that face a space is narrow and `!` is a blank digit cell, `~` lights every segment of a
// cell, and a point takes no width of its own (it sits between two cells). The unlit segments
// of every cell are drawn faintly under the lit ones, as on the real display.
#pragma once

#include <cstdint>
#include <string>

namespace host {

inline constexpr const char* DISPLAY_FONT_FAMILY = "DSEG14 Classic";

// Where a window's text goes in its box: one font size for the window, chosen from how many
// characters it holds, and the text centred in the box (pixels from the box's top left).
struct DisplayTextPlacement {
  double font_px = 0.0;
  double x_px = 0.0;         // left end of the text
  double baseline_px = 0.0;  // baseline of the text
  std::string lit;           // the text with every space a blank cell
  std::string unlit;         // a fully lit cell for every cell of `lit`, points included
};

// `text` is UTF-8; `char_count` is how many characters the window holds.
DisplayTextPlacement place_display_text(const std::string& text, uint32_t char_count,
                                        int32_t box_width_px, int32_t box_height_px);

}  // namespace host
