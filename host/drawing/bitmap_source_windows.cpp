#if defined(_WIN32)
#include <windows.h>

#include <cstring>

#include "host/drawing/bitmap_source.h"

namespace host {

namespace {

template <typename T>
T read_le(const unsigned char* data) {
  T value{};
  std::memcpy(&value, data, sizeof value);  // Windows is little-endian, as the format
  return value;
}

}  // namespace

std::optional<Bitmap> read_dib_bitmap(const unsigned char* data, std::size_t size) {
  constexpr std::size_t INFO_HEADER_BYTES = 40;
  if (data == nullptr || size < INFO_HEADER_BYTES) return std::nullopt;
  const auto header_bytes = read_le<uint32_t>(data);
  const auto width = read_le<int32_t>(data + 4);
  const auto height = read_le<int32_t>(data + 8);  // positive: rows from the bottom up
  const auto bits = read_le<uint16_t>(data + 14);
  const auto compression = read_le<uint32_t>(data + 16);
  const auto palette_entries = read_le<uint32_t>(data + 32);
  constexpr int32_t MAX_SIDE_PX = 8192;
  if (header_bytes < INFO_HEADER_BYTES || header_bytes > size || bits != 24 ||
      compression != BI_RGB || width <= 0 || width > MAX_SIDE_PX || height == 0 ||
      height < -MAX_SIDE_PX || height > MAX_SIDE_PX) {
    return std::nullopt;
  }
  const bool bottom_up = height > 0;
  const int32_t rows = bottom_up ? height : -height;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t first_row = header_bytes + std::size_t{palette_entries} * 4;
  if (first_row > size || (size - first_row) / stride < static_cast<std::size_t>(rows)) {
    return std::nullopt;
  }
  Bitmap bitmap;
  bitmap.width_px = width;
  bitmap.height_px = rows;
  bitmap.rgb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
  for (int32_t y = 0; y < rows; ++y) {
    const int32_t stored_row = bottom_up ? rows - 1 - y : y;
    const unsigned char* pixel = data + first_row + static_cast<std::size_t>(stored_row) * stride;
    for (int32_t x = 0; x < width; ++x, pixel += 3) {  // blue, green, red
      bitmap.rgb.push_back(uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0]);
    }
  }
  return bitmap;
}

ModuleResourceBitmaps::ModuleResourceBitmaps(const void* address_in_module) {
  HMODULE module = nullptr;
  if (address_in_module != nullptr &&
      GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address_in_module), &module)) {
    module_ = module;
  }
}

const Bitmap* ModuleResourceBitmaps::find(uint32_t id) {
  auto found = loaded_.find(id);
  if (found == loaded_.end()) {
    std::optional<Bitmap> bitmap;
    HMODULE module = static_cast<HMODULE>(module_);
    // A resource's data lives as long as its module: nothing to free.
    if (HRSRC resource = module != nullptr && id <= 0xFFFF
                             ? FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2))
                             : nullptr) {
      HGLOBAL loaded = LoadResource(module, resource);
      const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
      bitmap = read_dib_bitmap(static_cast<const unsigned char*>(data),
                               SizeofResource(module, resource));
    }
    found = loaded_.emplace(id, std::move(bitmap)).first;
  }
  return found->second ? &*found->second : nullptr;
}

}  // namespace host
#endif
