#include "host/picture/panel_picture.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "host/drawing/font_caches.h"

namespace host {

namespace {

// The cockpit around the gauges, and the space between them.
constexpr uint32_t BACKDROP_RGB = 0x1A1B1D;

// The mark of a missing bitmap, whose size nothing else tells.
constexpr int32_t MISSING_BITMAP_PX = 24;
// Upper bound on a gauge's size: an element placed beyond it is a fault in the module's tables.
constexpr int32_t MAX_GAUGE_PX = 8192;

uint32_t bgr_to_rgb(uint32_t bgr) {
  return ((bgr & 0xFFu) << 16) | (bgr & 0xFF00u) | ((bgr >> 16) & 0xFFu);
}

// How far a moving image's strip is moved: `value` within its range maps onto the travel.
int32_t travel_offset_px(double value, double range_min, double range_max, int32_t travel_px) {
  if (travel_px == 0 || !(range_max != range_min) || !std::isfinite(value)) return 0;
  const double share = std::clamp((value - range_min) / (range_max - range_min), 0.0, 1.0);
  return static_cast<int32_t>(std::lround(share * travel_px));
}

// The image an icon shows: the one its routine chose, or none when out of its images.
bool icon_image(const ElementHeader& e, uint32_t& bitmap_id) {
  const auto& icon = element_record<IconElement>(e);
  if (icon.current_image < 0 || icon.current_image >= icon.image_count) return false;
  bitmap_id = static_cast<uint32_t>(e.bitmap_id + icon.current_image);
  return true;
}

class Composer {
 public:
  Composer(const Panel& panel, BitmapSource& bitmaps, PanelPicture& picture)
      : panel_(panel), bitmaps_(bitmaps), picture_(picture) {}

  void gauge(const GaugeHeader& gauge, int32_t left_px, int32_t top_px) {
    left_px_ = left_px;
    top_px_ = top_px;
    const std::size_t count = Panel::element_count(gauge);
    for (std::size_t i = 0; i < count; ++i) {
      const ElementHeader& e = *Panel::element_at(gauge, i);
      if (Panel::visible(e)) element(e);
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
        still(e, static_cast<uint32_t>(e.bitmap_id));
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

  // Where a missing bitmap is marked: at the element's position, as large as a key.
  static PictureBox missing_box(const ElementHeader& e) {
    return {e.position.x, e.position.y, MISSING_BITMAP_PX, MISSING_BITMAP_PX};
  }

  // A static image or an icon: the whole bitmap at the element's position.
  void still(const ElementHeader& e, uint32_t id) {
    const Bitmap* b = bitmap(id, missing_box(e));
    if (b == nullptr) return;
    copy(e, id, *b, {e.position.x, e.position.y, b->width_px, b->height_px}, 0, 0, nullptr);
  }

  // A moving image: the window of its strip that its values select, through its mask (the
  // bitmap after the strip).
  void moving(const ElementHeader& e) {
    const auto& m = element_record<MovingImageElement>(e);
    const Bitmap* mask = bitmap(moving_mask_id(e), missing_box(e));
    if (mask == nullptr) return;
    const auto strip_id = static_cast<uint32_t>(e.bitmap_id);
    const Bitmap* strip = bitmap(strip_id, missing_box(e));
    if (strip == nullptr) return;
    const PictureBox window{e.position.x, e.position.y, mask->width_px, mask->height_px};
    const int32_t dx =
        travel_offset_px(m.previous_x, m.x_minimum, m.x_maximum, strip->width_px - mask->width_px);
    const int32_t dy = travel_offset_px(m.previous_y, m.y_minimum, m.y_maximum,
                                        strip->height_px - mask->height_px);
    copy(e, strip_id, *strip, window, dx, dy, mask);
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
    const auto& t = element_record<TextElement>(e);
    PictureText layer;
    layer.box = placed({e.position.x, e.position.y, t.box_size.x, t.box_size.y});
    layer.erase = (e.image_flags & IMAGE_USE_ERASE) != 0;
    layer.background_rgb = bgr_to_rgb(t.background_color);
    layer.colour_rgb = bgr_to_rgb(t.text_color);
    layer.placement =
        place_display_text(panel_.text_of(e), t.char_count, t.box_size.x, t.box_size.y);
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
  const PictureBox extent = elements_extent(gauge, bitmaps);
  bool shows_anything = false;
  const std::size_t count = Panel::element_count(gauge);
  for (std::size_t i = 0; i < count && !shows_anything; ++i) {
    shows_anything = Panel::visible(*Panel::element_at(gauge, i));
  }
  if (extent.width_px > MAX_GAUGE_PX || extent.height_px > MAX_GAUGE_PX) {
    throw std::runtime_error("gauge \"" + std::string(gauge.name != nullptr ? gauge.name : "") +
                             "\" has elements beyond " + std::to_string(MAX_GAUGE_PX) +
                             " pixels; no picture drawn");
  }
  return shows_anything ? extent : PictureBox{};
}

}  // namespace

PictureBox elements_extent(const GaugeHeader& gauge, BitmapSource& bitmaps) {
  PictureBox extent;
  const std::size_t count = Panel::element_count(gauge);
  for (std::size_t i = 0; i < count; ++i) {
    const PictureBox box = element_box(*Panel::element_at(gauge, i), bitmaps);
    extent.width_px = std::max(extent.width_px, box.x_px + box.width_px);
    extent.height_px = std::max(extent.height_px, box.y_px + box.height_px);
  }
  return extent;
}

std::optional<PictureBox> gauge_size(const GaugeHeader& gauge, BitmapSource& bitmaps) {
  const std::size_t count = Panel::element_count(gauge);
  for (std::size_t i = 0; i < count; ++i) {
    const ElementHeader& e = *Panel::element_at(gauge, i);
    if (e.kind != ELEMENT_STRING && bitmaps.find(static_cast<uint32_t>(e.bitmap_id)) == nullptr) {
      return std::nullopt;
    }
  }
  return elements_extent(gauge, bitmaps);
}

uint32_t moving_mask_id(const ElementHeader& e) {
  return static_cast<uint32_t>(e.bitmap_id) + 1;
}

PictureBox element_box(const ElementHeader& e, BitmapSource& bitmaps) {
  const GaugePoint at = e.position;
  if (e.kind == ELEMENT_STRING) {
    const GaugePoint size = element_record<TextElement>(e).box_size;
    return {at.x, at.y, size.x, size.y};
  }
  const Bitmap* shown = nullptr;
  if (e.kind == ELEMENT_MOVING_IMAGE) shown = bitmaps.find(moving_mask_id(e));
  if (shown == nullptr) shown = bitmaps.find(static_cast<uint32_t>(e.bitmap_id));
  if (shown == nullptr) return {at.x, at.y, 0, 0};
  return {at.x, at.y, shown->width_px, shown->height_px};
}

MovingTravel moving_travel(const ElementHeader& e, BitmapSource& bitmaps) {
  const Bitmap* strip = bitmaps.find(static_cast<uint32_t>(e.bitmap_id));
  const Bitmap* mask = bitmaps.find(moving_mask_id(e));
  if (strip == nullptr || mask == nullptr) return {};
  return {strip->width_px - mask->width_px, strip->height_px - mask->height_px};
}

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
