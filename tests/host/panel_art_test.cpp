// The panel's bitmaps against the module's own tables: every bitmap an element names is there at
// exactly its size, in both forms (PNG for the hosts, 24-bit BMP for the resources), and the lit,
// pressed and knob images fit the face they are drawn over.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <vector>

#include "panel_art_rig.h"

namespace {

using art_test::BITMAP_DIR;
using art_test::BMP_DIR;
using art_test::ModuleTables;

// One bitmap as an element names it: its id, the size the element gives it, and who names it.
struct NamedBitmap {
  uint32_t id = 0;
  int32_t width_px = 0;
  int32_t height_px = 0;
  std::string owner;  // "INS hold_lit", "ALIGN knob", "INS tens mask", ...
};

std::vector<NamedBitmap> bitmaps_named_by(const ModuleTables& tables) {
  std::vector<NamedBitmap> named;
  for (const GaugeHeader* gauge : tables.module.gauges()) {
    std::size_t index = 0;
    for (const ElementHeader* e : art_test::elements_of(*gauge)) {
      const std::size_t at = index++;
      if (e->kind == ELEMENT_STRING) continue;
      const std::string owner =
          std::string(gauge->name) + " " + host::element_name(gauge->name, at);
      for (int32_t k = 0; k < art_test::image_count(*e); ++k) {
        const auto id = static_cast<uint32_t>(e->bitmap_id + k);
        const art_test::BitmapSize size = art_test::described_size(id);
        named.push_back({id, size.width_px, size.height_px, owner});
      }
      if (e->kind == ELEMENT_MOVING_IMAGE) {
        const uint32_t mask = host::moving_mask_id(*e);
        const art_test::BitmapSize size = art_test::described_size(mask);
        named.push_back({mask, size.width_px, size.height_px, owner + " mask"});
      }
    }
  }
  return named;
}

// A BMP file as a Windows resource compiler takes it: header fields and its pixels.
struct BmpFile {
  int32_t width_px = 0;
  int32_t height_px = 0;
  uint16_t bits_per_pixel = 0;
  uint32_t compression = 0;
  std::vector<uint32_t> rgb;  // top row first, as host::Bitmap
};

template <typename T>
T little_endian(const std::vector<unsigned char>& bytes, std::size_t at) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(bytes[at + i]) << (8 * i));
  return value;
}

std::optional<BmpFile> read_bmp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  BmpFile bmp;
  const auto pixels_at = little_endian<uint32_t>(bytes, 10);
  bmp.width_px = little_endian<int32_t>(bytes, 18);
  bmp.height_px = little_endian<int32_t>(bytes, 22);
  bmp.bits_per_pixel = little_endian<uint16_t>(bytes, 28);
  bmp.compression = little_endian<uint32_t>(bytes, 30);
  if (bmp.bits_per_pixel != 24 || bmp.width_px <= 0 || bmp.height_px <= 0) return bmp;
  const std::size_t stride = (static_cast<std::size_t>(bmp.width_px) * 3 + 3) / 4 * 4;
  if (bytes.size() < pixels_at + stride * static_cast<std::size_t>(bmp.height_px))
    return std::nullopt;
  for (int32_t y = 0; y < bmp.height_px; ++y) {
    const std::size_t row = pixels_at + stride * static_cast<std::size_t>(bmp.height_px - 1 - y);
    for (int32_t x = 0; x < bmp.width_px; ++x) {
      const std::size_t at = row + 3 * static_cast<std::size_t>(x);  // blue, green, red
      bmp.rgb.push_back(static_cast<uint32_t>(bytes[at + 2]) << 16 |
                        static_cast<uint32_t>(bytes[at + 1]) << 8 | bytes[at]);
    }
  }
  return bmp;
}

bool has_pure_black(const host::Bitmap& b) {
  for (uint32_t rgb : b.rgb) {
    if (rgb == host::PURE_BLACK) return true;
  }
  return false;
}

// The pixels a transparent element draws of a bitmap: every one that is not pure black.
std::vector<bool> drawn(const host::Bitmap& b) {
  std::vector<bool> shown;
  for (uint32_t rgb : b.rgb) shown.push_back(rgb != host::PURE_BLACK);
  return shown;
}

// Images drawn with a pure black surround that lets the face show around them: the turning
// knobs, the AUTO/MAN switch, the panel-window icons. Every other image covers its whole box.
bool has_surround(const GaugeHeader& gauge, std::size_t index, const ElementHeader& e) {
  const std::string name = host::element_name(gauge.name, index);
  return art_test::image_count(e) > 1 || name == "auto" || name == "man" ||
         std::string_view(gauge.name).starts_with("INSicon");
}

TEST(PanelBitmaps, EveryBitmapTheTablesNameIsThereAtItsSizeAsPngAndBmp) {
  const ModuleTables tables;
  const std::vector<NamedBitmap> named = bitmaps_named_by(tables);
  // INS: the face, 21 key and lamp images, 8 knob images, 2 switch images, and each wheel's
  // strip and mask; the two update gauges' image; ALIGN: the face, 2 lamps, 4 knob images; the
  // 16 icons.
  ASSERT_EQ(named.size(), (1u + 21u + 8u + 2u + 4u) + 2u + (1u + 2u + 4u) + 16u);
  for (const NamedBitmap& n : named) {
    SCOPED_TRACE(n.owner + ": bitmap " + std::to_string(n.id));
    const auto png = host::read_png_bitmap(BITMAP_DIR / (std::to_string(n.id) + ".png"));
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->width_px, n.width_px);
    EXPECT_EQ(png->height_px, n.height_px);
    const auto bmp = read_bmp(BMP_DIR / (std::to_string(n.id) + ".bmp"));
    ASSERT_TRUE(bmp.has_value());
    EXPECT_EQ(bmp->bits_per_pixel, 24);
    EXPECT_EQ(bmp->compression, 0u);
    EXPECT_EQ(bmp->width_px, n.width_px);
    EXPECT_EQ(bmp->height_px, n.height_px);
    EXPECT_TRUE(bmp->rgb == png->rgb) << "the BMP and the PNG hold different pixels";
  }
}

TEST(PanelBitmaps, NoBitmapBesideThoseTheTablesName) {
  const ModuleTables tables;
  std::set<std::string> named;
  for (const NamedBitmap& n : bitmaps_named_by(tables)) named.insert(std::to_string(n.id));
  std::set<std::string> rendered;
  for (const auto& entry : std::filesystem::directory_iterator(BITMAP_DIR)) {
    rendered.insert(entry.path().stem().string());
  }
  EXPECT_EQ(rendered, named);
}

TEST(PanelBitmaps, ImagesThatCoverTheirBoxHaveNoPureBlackHole) {
  // Every image element carries the transparency flag, so a pure black pixel in a face would
  // show the cockpit through it, and one in a lit or pressed key the key beneath it.
  const ModuleTables tables;
  for (const GaugeHeader* gauge : tables.module.gauges()) {
    std::size_t index = 0;
    for (const ElementHeader* e : art_test::elements_of(*gauge)) {
      const std::size_t at = index++;
      if (e->kind == ELEMENT_STRING || has_surround(*gauge, at, *e)) continue;
      ASSERT_NE(e->image_flags & IMAGE_USE_TRANSPARENCY, 0u);
      SCOPED_TRACE(std::string(gauge->name) + " " + host::element_name(gauge->name, at));
      EXPECT_FALSE(has_pure_black(art_test::bitmap(static_cast<uint32_t>(e->bitmap_id))));
      if (e->kind == ELEMENT_MOVING_IMAGE) {
        EXPECT_FALSE(has_pure_black(art_test::bitmap(host::moving_mask_id(*e))));
      }
    }
  }
}

TEST(PanelBitmaps, LitAndPressedImagesLineUpWithTheFaceBeneath) {
  // A lit or pressed image replaces its box: its edge must be the face's own pixels there, so
  // nothing shifts when it shows, and inside it must differ from the face (or it shows nothing).
  const ModuleTables tables;
  int checked = 0;
  for (std::string_view name : {"INS", "ALIGN"}) {
    const GaugeHeader& gauge = tables.gauge(name);
    const auto elements = art_test::elements_of(gauge);
    const host::Bitmap face = art_test::bitmap(static_cast<uint32_t>(elements[0]->bitmap_id));
    for (std::size_t index = 1; index < elements.size(); ++index) {
      const ElementHeader* e = elements[index];
      if (e->kind != ELEMENT_ICON || has_surround(gauge, index, *e)) continue;
      SCOPED_TRACE(std::string(name) + " " + host::element_name(name, index));
      const host::Bitmap image = art_test::bitmap(static_cast<uint32_t>(e->bitmap_id));
      int edge_mismatches = 0, inside_changes = 0;
      for (int32_t y = 0; y < image.height_px; ++y) {
        for (int32_t x = 0; x < image.width_px; ++x) {
          const bool edge = x == 0 || y == 0 || x == image.width_px - 1 || y == image.height_px - 1;
          const bool same = image.at(x, y) == face.at(e->position.x + x, e->position.y + y);
          if (edge && !same) ++edge_mismatches;
          if (!edge && !same) ++inside_changes;
        }
      }
      EXPECT_EQ(edge_mismatches, 0);
      EXPECT_GT(inside_changes, image.width_px * image.height_px / 10);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 21 + 2);  // the CDU's key and lamp images, the MSU's two lamps
}

TEST(PanelBitmaps, EachKnobsImagesTurnOneKnobAboutTheBoxCentre) {
  // The images of a knob differ only in where the knob points: each draws exactly the same
  // pixels (the knob's round outline), centred in the box, and no two are alike.
  const ModuleTables tables;
  const std::vector<std::vector<uint32_t>> knobs = {
      {4162, 4163, 4164, 4165, 4166, 4167, 4168, 4169},
      {4194, 4195, 4196, 4197},
      {static_cast<uint32_t>(tables.element("INS", "auto").bitmap_id),
       static_cast<uint32_t>(tables.element("INS", "man").bitmap_id)}};
  EXPECT_EQ(static_cast<uint32_t>(tables.element("INS", "knob").bitmap_id), knobs[0][0]);
  EXPECT_EQ(static_cast<uint32_t>(tables.element("ALIGN", "knob").bitmap_id), knobs[1][0]);
  for (const auto& ids : knobs) {
    const host::Bitmap first = art_test::bitmap(ids[0]);
    const std::vector<bool> outline = drawn(first);
    double sum_x = 0, sum_y = 0, count = 0;
    for (int32_t y = 0; y < first.height_px; ++y) {
      for (int32_t x = 0; x < first.width_px; ++x) {
        if (!outline[static_cast<std::size_t>(y * first.width_px + x)]) continue;
        sum_x += x + 0.5, sum_y += y + 0.5, count += 1;
      }
    }
    ASSERT_GT(count, 0);
    EXPECT_LT(count, first.width_px * first.height_px * 0.9) << "a knob with no surround";
    // The drop shadow falls 2 px to the lower right; the knob itself is centred.
    EXPECT_NEAR(sum_x / count, first.width_px / 2.0, 2.0) << ids[0];
    EXPECT_NEAR(sum_y / count, first.height_px / 2.0, 2.0) << ids[0];
    for (std::size_t i = 1; i < ids.size(); ++i) {
      const host::Bitmap image = art_test::bitmap(ids[i]);
      EXPECT_TRUE(drawn(image) == outline) << ids[i] << " outline differs from " << ids[0];
      EXPECT_NE(image.rgb, art_test::bitmap(ids[i - 1]).rgb) << ids[i] << " does not turn";
    }
  }
}

TEST(PanelBitmaps, DigitStripHasTenDistinctCellsAndTheMaskShowsTheWholeWindow) {
  const ModuleTables tables;
  const ElementHeader& wheel = tables.element("INS", "units");
  const host::Bitmap strip = art_test::bitmap(static_cast<uint32_t>(wheel.bitmap_id));
  const host::Bitmap mask = art_test::bitmap(host::moving_mask_id(wheel));
  const int32_t cell = strip.height_px / 10;
  ASSERT_EQ(cell, mask.height_px);
  for (uint32_t rgb : mask.rgb) ASSERT_NE(rgb, host::PURE_BLACK);
  std::set<std::vector<uint32_t>> cells;
  for (int digit = 0; digit < 10; ++digit) {
    cells.emplace(strip.rgb.begin() + digit * cell * strip.width_px,
                  strip.rgb.begin() + (digit + 1) * cell * strip.width_px);
  }
  EXPECT_EQ(cells.size(), 10u);
}

}  // namespace
