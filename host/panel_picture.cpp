#include "host/panel_picture.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "host/font_caches.h"

namespace host {

namespace {

// The cockpit around the gauges, and the space between them.
constexpr uint32_t BACKDROP_RGB = 0x1A1B1D;

// Upper bound on the elements read from one chain (a chain that loops cannot hang the host).
constexpr std::size_t MAX_CHAIN_ELEMENTS = 4096;
// Upper bound on a gauge's size: an element placed beyond it is a fault in the module's tables.
constexpr int32_t MAX_GAUGE_PX = 8192;

uint32_t bgr_to_rgb(uint32_t bgr) {
  return ((bgr & 0xFFu) << 16) | (bgr & 0xFF00u) | ((bgr >> 16) & 0xFFu);
}

// The size of the window a moving image shows: its mask's size when it has one, else its
// strip less the travel along each axis.
PictureBox moving_window(const ElementHeader& e, const Bitmap* mask) {
  if (mask != nullptr) return {e.x, e.y, mask->width_px, mask->height_px};
  const auto less_travel = [](int32_t size, int32_t travel) {
    return travel > 0 && travel < size ? size - travel : size;
  };
  return {e.x, e.y, less_travel(e.width, e.x_travel_px), less_travel(e.height, e.y_travel_px)};
}

// The box an element takes on its gauge (a moving image: only its window).
PictureBox element_box(const ElementHeader& e, BitmapSource& bitmaps) {
  if (e.kind == ELEMENT_MOVING_IMAGE) {
    return moving_window(e, e.mask_bitmap_id != 0 ? bitmaps.find(e.mask_bitmap_id) : nullptr);
  }
  return {e.x, e.y, e.width, e.height};
}

// How far a moving image's strip is moved: `value` within its range maps onto the travel.
int32_t travel_offset_px(double value, double range_min, double range_max, int32_t travel_px) {
  if (travel_px == 0 || !(range_max != range_min) || !std::isfinite(value)) return 0;
  const double share = std::clamp((value - range_min) / (range_max - range_min), 0.0, 1.0);
  return static_cast<int32_t>(std::lround(share * travel_px));
}

// The image an icon shows: its routine's value truncated, or none when out of its images.
bool icon_image(const ElementHeader& e, uint32_t& bitmap_id) {
  const double index = e.current_value;
  if (!std::isfinite(index) || index < 0.0 || index >= static_cast<double>(e.image_count)) {
    return false;
  }
  bitmap_id = e.bitmap_id + static_cast<uint32_t>(index);
  return true;
}

class Composer {
 public:
  Composer(const Panel& panel, BitmapSource& bitmaps, PanelPicture& picture)
      : panel_(panel), bitmaps_(bitmaps), picture_(picture) {}

  void gauge(const GaugeHeader& gauge, int32_t left_px, int32_t top_px) {
    left_px_ = left_px;
    top_px_ = top_px;
    ElementHeader* e = gauge.elements;
    for (std::size_t i = 0; e != nullptr && i < MAX_CHAIN_ELEMENTS; ++i, e = e->next) {
      if (Panel::visible(*e)) element(*e);
    }
  }

 private:
  void element(const ElementHeader& e) {
    switch (e.kind) {
      case ELEMENT_STRING:
        text(e);
        break;
      case ELEMENT_MOVING_IMAGE:
        moving(e);
        break;
      case ELEMENT_ICON: {
        uint32_t id = 0;
        if (icon_image(e, id)) still(e, id);
        break;
      }
      case ELEMENT_STATIC_IMAGE:
      default:
        still(e, e.bitmap_id);
        break;
    }
  }

  bool transparent(const ElementHeader& e) const {
    return (e.image_flags & IMAGE_USE_TRANSPARENCY) != 0;
  }

  const Bitmap* bitmap(uint32_t id, const PictureBox& box) {
    const Bitmap* found = bitmaps_.find(id);
    if (found == nullptr) {
      picture_.layers.emplace_back(std::in_place_type<PictureMissingBitmap>, placed(box), id);
      auto& missing = picture_.missing_bitmaps;
      if (std::find(missing.begin(), missing.end(), id) == missing.end()) missing.push_back(id);
    }
    return found;
  }

  PictureBox placed(PictureBox box) const {
    box.x_px += left_px_;
    box.y_px += top_px_;
    return box;
  }

  // A static image or an icon: the whole bitmap at the element's position.
  void still(const ElementHeader& e, uint32_t id) {
    const Bitmap* b = bitmap(id, {e.x, e.y, e.width, e.height});
    if (b == nullptr) return;
    copy(e, id, *b, {e.x, e.y, b->width_px, b->height_px}, 0, 0, nullptr);
  }

  // A moving image: the window of its strip that its values select, through its mask.
  void moving(const ElementHeader& e) {
    const Bitmap* mask = nullptr;
    if (e.mask_bitmap_id != 0) {
      mask = bitmap(e.mask_bitmap_id, moving_window(e, nullptr));
      if (mask == nullptr) return;
    }
    const PictureBox window = moving_window(e, mask);
    const Bitmap* strip = bitmap(e.bitmap_id, window);
    if (strip == nullptr) return;
    const int32_t dx =
        travel_offset_px(e.current_value, e.x_range_min, e.x_range_max, e.x_travel_px);
    const int32_t dy =
        travel_offset_px(e.current_value_y, e.y_range_min, e.y_range_max, e.y_travel_px);
    copy(e, e.bitmap_id, *strip, window, dx, dy, mask);
  }

  // The pixels of bitmap `id` (`source`) from (sx, sy) that the element draws into `box`:
  // inside the source and the mask's window (a mask shows the strip where it is not black),
  // and not pure black on a transparent element.
  void copy(const ElementHeader& e, uint32_t id, const Bitmap& source, const PictureBox& box,
            int32_t sx, int32_t sy, const Bitmap* mask) {
    if (box.width_px <= 0 || box.height_px <= 0) return;
    PictureImage image{placed(box), id, {}};
    const auto width = static_cast<std::size_t>(box.width_px);
    image.argb.assign(width * static_cast<std::size_t>(box.height_px), 0);
    // The box's columns x and rows y whose source pixel (sx + x, sy + y) is inside the source
    // and, with a mask, inside the mask too.
    int32_t x_end = std::min(box.width_px, source.width_px - sx);
    int32_t y_end = std::min(box.height_px, source.height_px - sy);
    if (mask != nullptr) {
      x_end = std::min(x_end, mask->width_px);
      y_end = std::min(y_end, mask->height_px);
    }
    const int32_t x_begin = std::max(0, -sx), y_begin = std::max(0, -sy);
    const bool skip_black = transparent(e);
    for (int32_t y = y_begin; y < y_end; ++y) {
      const uint32_t* from = source.rgb.data() + row_start(source, sy + y);
      const uint32_t* shown = mask != nullptr ? mask->rgb.data() + row_start(*mask, y) : nullptr;
      uint32_t* to = image.argb.data() + static_cast<std::size_t>(y) * width;
      for (int32_t x = x_begin; x < x_end; ++x) {
        if (shown != nullptr && shown[x] == PURE_BLACK) continue;
        const uint32_t rgb = from[sx + x];
        if (skip_black && rgb == PURE_BLACK) continue;
        to[x] = 0xFF000000u | rgb;
      }
    }
    picture_.layers.emplace_back(std::in_place_type<PictureImage>, std::move(image));
  }

  static std::size_t row_start(const Bitmap& bitmap, int32_t y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap.width_px);
  }

  void text(const ElementHeader& e) {
    PictureText layer;
    layer.box = placed({e.x, e.y, e.width, e.height});
    layer.erase = (e.image_flags & IMAGE_USE_ERASE) != 0;
    layer.background_rgb = bgr_to_rgb(e.background_color);
    layer.colour_rgb = bgr_to_rgb(e.text_color);
    layer.placement = place_display_text(panel_.text_of(e), e.char_count, e.width, e.height);
    picture_.layers.emplace_back(std::in_place_type<PictureText>, std::move(layer));
  }

  const Panel& panel_;
  BitmapSource& bitmaps_;
  PanelPicture& picture_;
  int32_t left_px_ = 0;
  int32_t top_px_ = 0;
};

// The size a gauge takes on the picture: every element's box, shown or not, so a lamp going out
// never moves the gauges below. A gauge that shows nothing at all (the navigation computers'
// hidden image) takes no room.
PictureBox gauge_extent(const GaugeHeader& gauge, BitmapSource& bitmaps) {
  PictureBox extent;
  bool shows_anything = false;
  ElementHeader* e = gauge.elements;
  for (std::size_t i = 0; e != nullptr && i < MAX_CHAIN_ELEMENTS; ++i, e = e->next) {
    const PictureBox box = element_box(*e, bitmaps);
    extent.width_px = std::max(extent.width_px, box.x_px + box.width_px);
    extent.height_px = std::max(extent.height_px, box.y_px + box.height_px);
    shows_anything = shows_anything || Panel::visible(*e);
  }
  if (extent.width_px > MAX_GAUGE_PX || extent.height_px > MAX_GAUGE_PX) {
    throw std::runtime_error("gauge \"" + std::string(gauge.name != nullptr ? gauge.name : "") +
                             "\" has elements beyond " + std::to_string(MAX_GAUGE_PX) +
                             " pixels; no picture drawn");
  }
  return shows_anything ? extent : PictureBox{};
}

}  // namespace

PanelPicture compose_panel_picture(const Panel& panel, BitmapSource& bitmaps, double time_s) {
  release_font_caches_at_exit();  // the display font's layouts load fonts from here on
  PanelPicture picture;
  picture.backdrop_rgb = BACKDROP_RGB;
  picture.time_s = time_s;
  Composer composer(panel, bitmaps, picture);
  int32_t top_px = PICTURE_MARGIN_PX;
  int32_t width_px = 0;
  for (const PlacedGauge& gauge : panel.gauges()) {
    PictureBox box = gauge_extent(*gauge.header, bitmaps);
    box.x_px = PICTURE_MARGIN_PX;
    box.y_px = top_px;
    composer.gauge(*gauge.header, box.x_px, box.y_px);
    picture.gauge_boxes.push_back(box);
    if (box.height_px > 0) top_px += box.height_px + PICTURE_GAP_PX;
    width_px = std::max(width_px, box.width_px);
  }
  picture.width_px = width_px + 2 * PICTURE_MARGIN_PX;
  picture.height_px = std::max(top_px - PICTURE_GAP_PX + PICTURE_MARGIN_PX, 2 * PICTURE_MARGIN_PX);
  return picture;
}

}  // namespace host
