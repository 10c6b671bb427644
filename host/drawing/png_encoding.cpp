// Linux only: the Windows host writes no PNG picture and packs its SVG images with zlib
// (host/picture_windows.cpp).
#if !defined(_WIN32)
#include "host/drawing/png_encoding.h"

#include <png.h>

#include <csetjmp>
#include <stdexcept>
#include <vector>

#include "host/platform/checked_files.h"

namespace host {

namespace {

constexpr int DEFLATE_LEVEL = 1;
constexpr int ROW_FILTER = PNG_FILTER_NONE;

using RowPacker = void (*)(const uint32_t* words, int32_t width_px, unsigned char* out);

unsigned char byte_at(uint32_t word, int shift) {
  return static_cast<unsigned char>((word >> shift) & 0xFFu);
}

void pack_rgb(const uint32_t* words, int32_t width_px, unsigned char* out) {
  for (int32_t x = 0; x < width_px; ++x, out += 3) {
    out[0] = byte_at(words[x], 16);
    out[1] = byte_at(words[x], 8);
    out[2] = byte_at(words[x], 0);
  }
}

// As cairo's writer: a colour divided by its alpha, rounded to nearest; nothing where alpha is 0.
unsigned char unpremultiplied(uint32_t word, int shift, unsigned alpha) {
  return static_cast<unsigned char>((((word >> shift) & 0xFFu) * 255u + alpha / 2u) / alpha);
}

void pack_rgba(const uint32_t* words, int32_t width_px, unsigned char* out) {
  for (int32_t x = 0; x < width_px; ++x, out += 4) {
    const unsigned alpha = byte_at(words[x], 24);
    if (alpha == 0) {
      out[0] = out[1] = out[2] = out[3] = 0;
      continue;
    }
    out[0] = unpremultiplied(words[x], 16, alpha);
    out[1] = unpremultiplied(words[x], 8, alpha);
    out[2] = unpremultiplied(words[x], 0, alpha);
    out[3] = static_cast<unsigned char>(alpha);
  }
}

void append_to_string(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  try {
    out->append(reinterpret_cast<const char*>(data), length);
  } catch (...) {
    png_error(png, "out of memory");  // back to the setjmp below, never through libpng's frames
  }
}

void flush_nothing(png_structp) {}

// libpng reports an error by a long jump back here: this frame and what it calls from libpng
// hold nothing that needs a destructor, so the jump skips none.
bool encode(const PixelRows& rows, int colour_type, RowPacker pack, unsigned char* row_bytes,
            std::string* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, append_to_string, flush_nothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rows.width_px),
               static_cast<png_uint_32>(rows.height_px), 8, colour_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, DEFLATE_LEVEL);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, ROW_FILTER);
  png_write_info(png, info);
  for (int32_t y = 0; y < rows.height_px; ++y) {
    pack(rows.pixels + static_cast<std::size_t>(y) * rows.stride_words, rows.width_px, row_bytes);
    png_write_row(png, row_bytes);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string encoded(const PixelRows& rows, int colour_type, std::size_t bytes_per_pixel,
                    RowPacker pack) {
  if (rows.width_px <= 0 || rows.height_px <= 0 || rows.pixels == nullptr) {
    throw std::runtime_error("cannot encode an empty picture as PNG");
  }
  std::vector<unsigned char> row_bytes(static_cast<std::size_t>(rows.width_px) * bytes_per_pixel);
  std::string out;
  if (!encode(rows, colour_type, pack, row_bytes.data(), &out)) {
    throw std::runtime_error("cannot encode a picture as PNG");
  }
  return out;
}

}  // namespace

std::string png_from_rgb(const PixelRows& rows) {
  return encoded(rows, PNG_COLOR_TYPE_RGB, 3, pack_rgb);
}

std::string png_from_premultiplied_argb(const PixelRows& rows) {
  return encoded(rows, PNG_COLOR_TYPE_RGB_ALPHA, 4, pack_rgba);
}

void write_png_file(const std::filesystem::path& path, const std::string& bytes) {
  write_output_file(path, bytes);
}

}  // namespace host
#endif
