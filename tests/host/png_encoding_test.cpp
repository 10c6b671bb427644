// The host's PNG writer against cairo's own: the same pixels packed by both, each decoded by
// cairo, must agree word for word, for opaque panel pictures (odd widths, rows padded in the
// surface, every byte value in every channel) and for the SVG's images with alpha (fully
// transparent, opaque and in between, as premultiplied colour).
#include "host/drawing/png_encoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "host/drawing/cairo_handles.h"
#include "host/picture/picture_png.h"

namespace {

struct ReadCursor {
  const std::string* bytes;
  std::size_t at = 0;
};

cairo_status_t read_bytes(void* closure, unsigned char* data, unsigned int length) {
  auto* cursor = static_cast<ReadCursor*>(closure);
  if (cursor->at + length > cursor->bytes->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, cursor->bytes->data() + cursor->at, length);
  cursor->at += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string cairo_png(cairo_surface_t* surface) {
  std::string png;
  EXPECT_EQ(cairo_surface_write_to_png_stream(surface, append_bytes, &png), CAIRO_STATUS_SUCCESS);
  return png;
}

// The decoded pixels as ARGB words, row after row (the unused byte of an opaque picture as 0xFF).
std::vector<uint32_t> decoded(const std::string& png, int32_t& width, int32_t& height) {
  ReadCursor cursor{&png};
  host::CairoSurface surface(cairo_image_surface_create_from_png_stream(read_bytes, &cursor));
  EXPECT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
  width = cairo_image_surface_get_width(surface.get());
  height = cairo_image_surface_get_height(surface.get());
  const bool opaque = cairo_image_surface_get_format(surface.get()) == CAIRO_FORMAT_RGB24;
  std::vector<uint32_t> words;
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  for (int32_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(
        data + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface.get()));
    for (int32_t x = 0; x < width; ++x) words.push_back(opaque ? row[x] | 0xFF000000u : row[x]);
  }
  return words;
}

void expect_same_pixels(const std::string& ours, const std::string& cairos) {
  int32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  const std::vector<uint32_t> a = decoded(ours, w1, h1), b = decoded(cairos, w2, h2);
  ASSERT_EQ(w1, w2);
  ASSERT_EQ(h1, h2);
  std::size_t differing = 0;
  for (std::size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i] ? 1 : 0;
  EXPECT_EQ(differing, 0u) << "of " << a.size() << " pixels";
}

// Flat stretches (as panel art has) beside noise, and a sweep of every byte in each channel.
uint32_t test_colour(int32_t x, int32_t y, std::mt19937& random) {
  if (y % 7 < 3) return (x / 16 % 2 == 0) ? 0x202428u : 0xFFB000u;
  if (y % 7 == 3) return static_cast<uint32_t>(x % 256) * 0x010101u;
  if (y % 7 == 4) return (static_cast<uint32_t>(x % 256) << 16) | static_cast<uint32_t>(y % 256);
  return static_cast<uint32_t>(random()) & 0xFFFFFFu;
}

TEST(PngEncoding, PanelPictureDecodesToCairosPixels) {
  std::mt19937 random(14);
  for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {257, 67}, {416, 434}}) {
    host::CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int32_t y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
      // The unused top byte holds rubbish: neither writer may let it through.
      for (int32_t x = 0; x < width; ++x)
        row[x] = test_colour(x, y, random) | (static_cast<uint32_t>(random()) << 24);
    }
    cairo_surface_mark_dirty(surface.get());
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    expect_same_pixels(host::png_of_surface(surface.get()), cairo_png(surface.get()));
  }
}

TEST(PngEncoding, ImageWithAlphaDecodesToCairosPixels) {
  std::mt19937 random(7);
  const int32_t width = 131, height = 41;
  std::vector<uint32_t> argb;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t alpha = y < 10   ? 0u
                             : y < 20 ? 255u
                                      : (y < 30 ? static_cast<uint32_t>(random()) & 0xFFu : 1u);
      const uint32_t rgb = test_colour(x, y, random);
      uint32_t premultiplied = alpha << 24;
      for (int shift : {16, 8, 0}) {
        const uint32_t channel = ((rgb >> shift) & 0xFFu) * alpha / 255u;
        premultiplied |= channel << shift;
      }
      argb.push_back(premultiplied);
    }
  }
  host::CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride,
                argb.data() + static_cast<std::size_t>(y * width), sizeof(uint32_t) * width);
  }
  cairo_surface_mark_dirty(surface.get());
  const std::string ours = host::png_from_premultiplied_argb(
      {argb.data(), width, height, static_cast<std::size_t>(width)});
  expect_same_pixels(ours, cairo_png(surface.get()));
}

TEST(PngEncoding, AFileThatCannotBeWrittenIsNamed) {
  const std::filesystem::path path = "/nonexistent-folder/picture.png";
  try {
    host::write_png_file(path, "bytes");
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
  }
  EXPECT_THROW(host::png_from_rgb({nullptr, 0, 0, 0}), std::runtime_error);
}

}  // namespace
