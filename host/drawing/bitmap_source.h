// Where the panel's bitmaps come from. The simulator takes a gauge's bitmaps from the module's
// own resources by id; this host takes them from the `bitmaps/` folder beside the module, one
// `<id>.png` per bitmap as the art build writes them. A host on Windows can read the module's
// BITMAP resources instead and hand them out through the same interface.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace host {

// A bitmap as the simulator holds it: 24-bit pixels and no alpha. Where an element has the
// transparency flag, its pure black pixels are not drawn.
struct Bitmap {
  int32_t width_px = 0;
  int32_t height_px = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, row after row from the top

  uint32_t at(int32_t x, int32_t y) const {
    return rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_px) +
               static_cast<std::size_t>(x)];
  }
};

inline constexpr uint32_t PURE_BLACK = 0x000000;

class BitmapSource {
 public:
  virtual ~BitmapSource() = default;
  // The bitmap with this id, or null when there is none. The bitmap lives as long as the source.
  virtual const Bitmap* find(uint32_t id) = 0;
};

// Reads `<folder>/<id>.png` on first use and keeps it. A PNG's transparent pixels read as pure
// black (the art writes alpha 0 exactly where a bitmap is pure black), so a PNG and the BMP made
// from the same drawing give the same pixels.
class BitmapFolder final : public BitmapSource {
 public:
  explicit BitmapFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}
  const Bitmap* find(uint32_t id) override;
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::map<uint32_t, std::optional<Bitmap>> loaded_;  // nullopt: looked for and not there
};

#if defined(_WIN32)
// The BITMAP resources of the loaded module that holds `address_in_module` (any address of its
// own data, such as a gauge record): where the simulator itself takes a gauge's bitmaps from.
class ModuleResourceBitmaps final : public BitmapSource {
 public:
  explicit ModuleResourceBitmaps(const void* address_in_module);
  const Bitmap* find(uint32_t id) override;

 private:
  void* module_ = nullptr;                            // the module's handle; no reference of ours
  std::map<uint32_t, std::optional<Bitmap>> loaded_;  // nullopt: looked for and not there
};

// A 24-bit device-independent bitmap (a BITMAP resource's data: header, then rows) as a bitmap;
// nullopt for any other kind or a size that does not add up.
std::optional<Bitmap> read_dib_bitmap(const unsigned char* data, std::size_t size);
#endif

// Reads a PNG file as a bitmap; nullopt when it is missing or not a PNG.
std::optional<Bitmap> read_png_bitmap(const std::filesystem::path& path);

// The `bitmaps` folder beside the module file that holds `address_in_module` (any address of
// the module's own data, such as a gauge record); empty when the module's file is unknown.
std::filesystem::path bitmap_folder_beside_module(const void* address_in_module);

}  // namespace host
