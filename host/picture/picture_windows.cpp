// The platform's part of the panel pictures on Windows, where cairo and pango have no build: the
// display font measured by GDI, the images of an SVG encoded as PNG with zlib, and no PNG
// picture of the whole panel (its texts would need a text renderer; SVG leaves them to the
// viewer).
#if defined(_WIN32)
#include <windows.h>
#include <zlib.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "host/drawing/display_font.h"
#include "host/drawing/display_font_metrics.h"
#include "host/drawing/font_caches.h"
#include "host/picture/picture_writing.h"

namespace host {

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

void append_u32_be(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

// One PNG chunk: length, type, data, and the CRC of type and data.
void append_chunk(std::string& png, const char* type, const std::string& data) {
  append_u32_be(png, static_cast<uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  png += typed;
  append_u32_be(png, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(typed.data()),
                                                 static_cast<uInt>(typed.size()))));
}

// RGBA, 8 bits a channel, each row unfiltered, deflated by zlib.
std::string png_bytes(const PictureImage& image) {
  const auto width = static_cast<std::size_t>(image.box.width_px);
  const auto height = static_cast<std::size_t>(image.box.height_px);
  std::string rows;
  rows.reserve(height * (1 + 4 * width));
  for (std::size_t y = 0; y < height; ++y) {
    rows.push_back('\0');  // filter: none
    for (std::size_t x = 0; x < width; ++x) {
      const uint32_t argb = image.argb[y * width + x];
      for (int shift : {16, 8, 0, 24}) rows.push_back(static_cast<char>(argb >> shift));
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("cannot encode a picture's image");
  }
  packed.resize(packed_size);

  std::string header;
  append_u32_be(header, static_cast<uint32_t>(width));
  append_u32_be(header, static_cast<uint32_t>(height));
  header +=
      std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  append_chunk(png, "IHDR", header);
  append_chunk(png, "IDAT", packed);
  append_chunk(png, "IEND", "");
  return png;
}

std::string base64(const std::string& bytes) {
  static constexpr char DIGITS[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? DIGITS[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return out;
}

}  // namespace

DisplayTextExtent measure_display_text(const std::string& text, double font_px) {
  DisplayTextExtent extent;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return extent;
  // A negative height asks for the em size in pixels, as pango's pixel size does.
  HFONT font = CreateFontW(-static_cast<int>(std::lround(font_px)), 0, 0, 0, FW_NORMAL, FALSE,
                           FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, DEFAULT_PITCH, wide(DISPLAY_FONT_FAMILY).c_str());
  HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
  const std::wstring shown = wide(text);
  SIZE size{};
  TEXTMETRICW metrics{};
  if (GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size) &&
      GetTextMetricsW(dc, &metrics)) {
    extent = {static_cast<double>(size.cx), static_cast<double>(metrics.tmHeight),
              static_cast<double>(metrics.tmAscent)};
  }
  if (previous != nullptr) SelectObject(dc, previous);
  if (font != nullptr) DeleteObject(font);
  DeleteDC(dc);
  return extent;
}

// GDI keeps no font of ours between measurements: nothing to release.
void release_font_caches_at_exit() {}

std::string image_data_uri(const PictureImage& image) {
  return "data:image/png;base64," + base64(png_bytes(image));
}

void write_picture_png(const std::filesystem::path& path, const PanelPicture&) {
  throw std::runtime_error("cannot write the picture " + path.string() +
                           ": this ins-host writes pictures as SVG only (the PNG needs cairo "
                           "and pango, which have no Windows build here)");
}

}  // namespace host
#endif
