// What the tests of the panel's art share: the real module's tables (element positions and
// bitmap ids, read through Linkage as a host reads them), the size the INS's description gives
// each bitmap, and the bitmaps the build rendered.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/drawing/bitmap_source.h"
#include "host/panel/control_names.h"
#include "host/panel/module_loader.h"
#include "host/panel/panel.h"
#include "host/picture/panel_picture.h"

namespace art_test {

inline const std::filesystem::path BITMAP_DIR = std::filesystem::path(INS_BUILD_ROOT) / "bitmaps";
inline const std::filesystem::path BMP_DIR = std::filesystem::path(INS_BUILD_ROOT) / "bitmaps-bmp";

// The INS module's tables, loaded as the host loads them.
struct ModuleTables {
  host::ModuleLoader module{INS_MODULE_PATH};

  const GaugeHeader& gauge(std::string_view name) const {
    const GaugeHeader* found = module.find_gauge(name);
    if (found == nullptr) throw std::runtime_error("no gauge " + std::string(name));
    return *found;
  }
  // An element by the name scenarios use (`hold_lit`, `knob`, ...).
  const ElementHeader& element(std::string_view gauge_name, std::string_view element) const {
    const auto index = host::element_index(gauge_name, element);
    const ElementHeader* found =
        index ? host::Panel::element_at(gauge(gauge_name), *index) : nullptr;
    if (found == nullptr) throw std::runtime_error("no element " + std::string(element));
    return *found;
  }
};

// Every element of a gauge, in drawing order.
inline std::vector<const ElementHeader*> elements_of(const GaugeHeader& gauge) {
  std::vector<const ElementHeader*> all;
  for (std::size_t i = 0; i < host::Panel::element_count(gauge); ++i) {
    all.push_back(host::Panel::element_at(gauge, i));
  }
  return all;
}

inline int32_t image_count(const ElementHeader& e) {
  return e.kind == ELEMENT_ICON ? element_record<IconElement>(e).image_count : 1;
}

// The size of each bitmap as the INS's description of its gauges gives it (the records name
// only the ids; the simulator takes the sizes from the bitmaps themselves).
struct BitmapSize {
  int32_t width_px;
  int32_t height_px;
};
inline BitmapSize described_size(uint32_t id) {
  static const std::map<uint32_t, BitmapSize> sizes = [] {
    std::map<uint32_t, BitmapSize> m = {
        {4096, {400, 308}}, {4099, {39, 39}}, {4102, {38, 40}},   {4105, {38, 40}},
        {4108, {39, 39}},   {4111, {38, 40}}, {4114, {38, 40}},   {4117, {55, 39}},
        {4120, {38, 40}},   {4123, {38, 40}}, {4126, {39, 39}},   {4129, {55, 39}},
        {4132, {39, 39}},   {4172, {46, 53}}, {4175, {46, 53}},   {4178, {10, 10}},
        {4181, {30, 300}},  {4182, {30, 30}}, {4185, {400, 102}}, {4188, {39, 39}},
        {4191, {39, 39}},   {4200, {19, 19}}, {4203, {12, 12}}};
    for (uint32_t key = 4135; key <= 4159; key += 3) m[key] = {39, 39};   // keys 1..9 pressed
    for (uint32_t knob = 4162; knob <= 4169; ++knob) m[knob] = {97, 97};  // data-selector knob
    for (uint32_t knob = 4194; knob <= 4197; ++knob) m[knob] = {77, 77};  // mode knob
    return m;
  }();
  const auto found = sizes.find(id);
  if (found == sizes.end())
    throw std::runtime_error("no size described for bitmap " + std::to_string(id));
  return found->second;
}

// An element's box on its gauge: a text's box, an image's described size (a moving image's
// window: its mask's).
inline host::PictureBox described_box(const ElementHeader& e) {
  if (e.kind == ELEMENT_STRING) {
    const GaugePoint size = element_record<TextElement>(e).box_size;
    return {e.position.x, e.position.y, size.x, size.y};
  }
  const uint32_t id =
      e.kind == ELEMENT_MOVING_IMAGE ? host::moving_mask_id(e) : static_cast<uint32_t>(e.bitmap_id);
  const BitmapSize size = described_size(id);
  return {e.position.x, e.position.y, size.width_px, size.height_px};
}

// A rendered bitmap by id; fails the test when it is not there.
inline host::Bitmap bitmap(uint32_t id) {
  const auto read = host::read_png_bitmap(BITMAP_DIR / (std::to_string(id) + ".png"));
  if (!read)
    throw std::runtime_error("no bitmap " + std::to_string(id) + " in " + BITMAP_DIR.string());
  return *read;
}

inline int luma(uint32_t rgb) {
  const int r = static_cast<int>((rgb >> 16) & 0xFF), g = static_cast<int>((rgb >> 8) & 0xFF),
            b = static_cast<int>(rgb & 0xFF);
  return (299 * r + 587 * g + 114 * b) / 1000;
}

inline int red(uint32_t rgb) {
  return static_cast<int>((rgb >> 16) & 0xFF);
}
inline int green(uint32_t rgb) {
  return static_cast<int>((rgb >> 8) & 0xFF);
}
inline int blue(uint32_t rgb) {
  return static_cast<int>(rgb & 0xFF);
}

}  // namespace art_test
