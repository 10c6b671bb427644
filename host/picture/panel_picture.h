// A picture of the placed panel, composed exactly as the simulator draws the gauges: each
// gauge's element chain from first to last, hidden elements left out, an icon showing the image
// its routine chose, a moving image showing the window of its strip that its values select, pure
// black left undrawn where an element has the transparency flag, and every text window in the
// display font, centred in its box. The gauges stand one below the other in placement order
// (a gauge that shows nothing takes no room).
//
// The composition is one draw list; the PNG and SVG writers only render it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/drawing/bitmap_source.h"
#include "host/drawing/display_font.h"
#include "host/panel/panel.h"

namespace host {

// A box on the picture, pixels from its top left.
struct PictureBox {
  int32_t x_px = 0;
  int32_t y_px = 0;
  int32_t width_px = 0;
  int32_t height_px = 0;
};

// Pixels as they are drawn: alpha 0xFF where the element draws a pixel, 0 where it does not.
struct PictureImage {
  PictureBox box;
  uint32_t bitmap_id = 0;
  std::vector<uint32_t> argb;  // 0xAARRGGBB, row after row; 0 where nothing is drawn
};

struct PictureText {
  PictureBox box;
  bool erase = false;  // fill the box with the background colour first
  uint32_t background_rgb = 0;
  uint32_t colour_rgb = 0;
  DisplayTextPlacement placement;
};

// An element whose bitmap the source does not have: drawn as an outlined box naming the id.
struct PictureMissingBitmap {
  PictureBox box;
  uint32_t bitmap_id = 0;
};

using PictureLayer = std::variant<PictureImage, PictureText, PictureMissingBitmap>;

struct PanelPicture {
  int32_t width_px = 0;
  int32_t height_px = 0;
  uint32_t backdrop_rgb = 0;
  double time_s = 0.0;
  std::vector<PictureLayer> layers;       // in drawing order
  std::vector<uint32_t> missing_bitmaps;  // ids asked for and not found, each once
  std::vector<PictureBox> gauge_boxes;    // where each placed gauge stands, in placement order
};

// The box an element takes on its gauge, from the bitmaps as the simulator takes it: a text its
// box; an image its bitmap's size (an icon its first image's); a moving image the window of its
// mask, the bitmap after its strip. Empty when the bitmap is missing.
PictureBox element_box(const ElementHeader& e, BitmapSource& bitmaps);

// How far a moving image's strip travels along each axis over its value ranges: the strip's
// size less its mask's (0 when either is missing).
struct MovingTravel {
  int32_t x_px = 0;
  int32_t y_px = 0;
};
MovingTravel moving_travel(const ElementHeader& e, BitmapSource& bitmaps);

// The extent of a gauge's elements, shown or not: from its corner to the far edge of the
// farthest box (element_box).
PictureBox elements_extent(const GaugeHeader& gauge, BitmapSource& bitmaps);

// The size of a gauge: the extent of all its elements, shown or not (its face, for the INS's
// gauges). Empty when a bitmap it names is missing, so that its size cannot be told.
std::optional<PictureBox> gauge_size(const GaugeHeader& gauge, BitmapSource& bitmaps);

// The id of a moving image's mask: the resource after its strip.
uint32_t moving_mask_id(const ElementHeader& e);

// The gauges stand this far from the picture's edge and from each other.
inline constexpr int32_t PICTURE_MARGIN_PX = 8;
inline constexpr int32_t PICTURE_GAP_PX = 8;

PanelPicture compose_panel_picture(const Panel& panel, BitmapSource& bitmaps, double time_s);

// Throw std::runtime_error naming the file when it cannot be written.
void write_picture_png(const std::filesystem::path& path, const PanelPicture& picture);
void write_picture_svg(const std::filesystem::path& path, const PanelPicture& picture);

}  // namespace host
