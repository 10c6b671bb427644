// PNG data of the host's pictures, written with libpng at a fast setting: a panel picture is
// written once at the end of a run, and with the library's default (the strongest filter search
// and zlib's level 6) the two pictures of a flight's end cost more instructions than all its
// host variables. Level 1 deflate over unfiltered rows takes a third of the time; panel art,
// flat colour in long runs, packs only a few percent larger (rows filtered by `Sub` or `Up`
// were slower and larger still).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace host {

// `pixels` holds `height_px` rows of `width_px` words, `stride_words` apart.
struct PixelRows {
  const uint32_t* pixels = nullptr;
  int32_t width_px = 0;
  int32_t height_px = 0;
  std::size_t stride_words = 0;
};

// 0x00RRGGBB words (the top byte ignored) as an 8-bit RGB PNG.
std::string png_from_rgb(const PixelRows& rows);
// 0xAARRGGBB words with colour premultiplied by alpha (as cairo keeps them) as an 8-bit RGBA
// PNG, colour unpremultiplied as cairo's own writer does it.
std::string png_from_premultiplied_argb(const PixelRows& rows);

// Writes `bytes` to `path`; throws std::runtime_error naming the file when it cannot.
void write_png_file(const std::filesystem::path& path, const std::string& bytes);

}  // namespace host
