// What the tests of the panel's art share: the real module's tables (element positions, bitmap
// ids and sizes, read through Linkage as a host reads them) and the bitmaps the build rendered.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "host/bitmap_source.h"
#include "host/control_names.h"
#include "host/module_loader.h"
#include "host/panel.h"

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
