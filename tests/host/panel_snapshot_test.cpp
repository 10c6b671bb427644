// Pictures of the panel as `ins-host run` writes them, checked pixel by pixel at the places the
// module's element positions give: lamps brighter when lit, a pressed key changing only its own
// box, the knob, the wheels and the windows showing what the module says. The states come from
// tests/pictures/panel_states.scn, played by the real host with the real module.
#include "host/picture/panel_snapshot.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "host/drawing/png_encoding.h"
#include "host/picture/panel_picture.h"
#include "host_rig.h"
#include "panel_art_rig.h"

namespace {

namespace fs = std::filesystem;
using art_test::ModuleTables;

class PanelPictures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string folder = (fs::temp_directory_path() / "ins-pictures-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    output_ = folder;
    const std::string command = std::string("\"") + INS_HOST_PROGRAM + "\" run \"" +
                                INS_SOURCE_DIR + "/tests/pictures/panel_states.scn\" --output \"" +
                                folder + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(output_, ignored);
  }

  static host::Bitmap picture(const std::string& name) {
    const auto read = host::read_png_bitmap(output_ / name);
    if (!read) throw std::runtime_error("no picture " + name);
    return *read;
  }

  // An element's box on the picture: the CDU stands first, the mode selector below it.
  host::PictureBox box(std::string_view gauge, std::string_view element) const {
    const host::PictureBox on_gauge = art_test::described_box(tables_.element(gauge, element));
    int32_t top = host::PICTURE_MARGIN_PX;
    if (gauge == "ALIGN") top += art_test::described_size(4096).height_px + host::PICTURE_GAP_PX;
    return {host::PICTURE_MARGIN_PX + on_gauge.x_px, top + on_gauge.y_px, on_gauge.width_px,
            on_gauge.height_px};
  }

  // Every pixel of `b` (less `inset` at each side) passed to `each`.
  static void for_pixels(const host::Bitmap& picture, const host::PictureBox& b, int32_t inset,
                         const std::function<void(uint32_t)>& each) {
    for (int32_t y = b.y_px + inset; y < b.y_px + b.height_px - inset; ++y) {
      for (int32_t x = b.x_px + inset; x < b.x_px + b.width_px - inset; ++x) each(picture.at(x, y));
    }
  }
  static double mean_luma(const host::Bitmap& picture, const host::PictureBox& b,
                          int32_t inset = 8) {
    double sum = 0, count = 0;
    for_pixels(picture, b, inset, [&](uint32_t rgb) { sum += art_test::luma(rgb), count += 1; });
    return sum / count;
  }
  // Pixels of the display's amber at full strength (the unlit segments are far fainter).
  static int lit_segment_pixels(const host::Bitmap& picture, const host::PictureBox& b) {
    int count = 0;
    for_pixels(picture, b, 0, [&](uint32_t rgb) {
      if (art_test::red(rgb) > 170 && art_test::green(rgb) > 100 && art_test::blue(rgb) < 120)
        ++count;
    });
    return count;
  }
  static bool amber(const host::Bitmap& picture, const host::PictureBox& b) {
    double r = 0, bl = 0, count = 0;
    for_pixels(picture, b, 8, [&](uint32_t rgb) {
      r += art_test::red(rgb), bl += art_test::blue(rgb), count += 1;
    });
    return r / count > 170 && (r - bl) / count > 90;
  }

  // The pixels of bitmap `id` that a transparent element draws, all at `b` on the picture;
  // `columns` limits the check to the first columns (where a later element covers the rest).
  static int mismatches(const host::Bitmap& picture, const host::PictureBox& b, uint32_t id,
                        int32_t first_row = 0, int32_t columns = -1) {
    const host::Bitmap image = art_test::bitmap(id);
    int count = 0;
    for (int32_t y = 0; y < b.height_px; ++y) {
      for (int32_t x = 0; x < (columns < 0 ? b.width_px : columns); ++x) {
        const uint32_t wanted = image.at(x, first_row + y);
        if (wanted != host::PURE_BLACK && picture.at(b.x_px + x, b.y_px + y) != wanted) ++count;
      }
    }
    return count;
  }

  static inline fs::path output_;
  ModuleTables tables_;
};

TEST_F(PanelPictures, LampTestLightsEveryLampAndWindowThatWereDarkAtLoad) {
  const host::Bitmap load = picture("load.png");
  const host::Bitmap test = picture("lamp-test.png");
  // The lamps glow brighter than their dark lenses; the lit keys turn from off-white to amber.
  for (std::string_view lamp : {"alert", "bat"}) {
    SCOPED_TRACE(lamp);
    EXPECT_GT(mean_luma(test, box("INS", lamp)), mean_luma(load, box("INS", lamp)) + 40.0);
  }
  for (std::string_view key : {"hold_lit", "set_lit", "last_wpt_lit", "alert"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(amber(load, box("INS", key)));
    EXPECT_TRUE(amber(test, box("INS", key)));
  }
  for (std::string_view window : {"left", "right", "N", "S", "E", "W", "from", "to"}) {
    SCOPED_TRACE(window);
    EXPECT_EQ(lit_segment_pixels(load, box("INS", window)), 0);
    EXPECT_GT(lit_segment_pixels(test, box("INS", window)), 20);
  }
  // Only the drawn images: the knob stands at POS, the switch at AUTO, the wheels at 0.
  EXPECT_EQ(mismatches(test, box("INS", "knob"), tables_.element("INS", "knob").bitmap_id + 3), 0);
  EXPECT_EQ(mismatches(test, box("INS", "auto"), tables_.element("INS", "auto").bitmap_id), 0);
  EXPECT_NE(mismatches(test, box("INS", "auto"), tables_.element("INS", "man").bitmap_id), 0);
}

TEST_F(PanelPictures, ReadyNavLightsGreenWhenAlignedAndTheKnobStandsAtAlign) {
  const host::Bitmap load = picture("load.png");
  const host::Bitmap aligned = picture("ready-nav.png");
  const host::PictureBox lamp = box("ALIGN", "ready_nav");
  EXPECT_GT(mean_luma(aligned, lamp), mean_luma(load, lamp) + 40.0);
  double green_lead = 0, count = 0;
  for_pixels(aligned, lamp, 8, [&](uint32_t rgb) {
    green_lead += art_test::green(rgb) - art_test::red(rgb), count += 1;
  });
  EXPECT_GT(green_lead / count, 60.0);
  const uint32_t off_image = tables_.element("ALIGN", "knob").bitmap_id;
  EXPECT_EQ(mismatches(load, box("ALIGN", "knob"), off_image), 0);
  EXPECT_EQ(mismatches(aligned, box("ALIGN", "knob"), off_image + 2), 0);
  EXPECT_GT(mismatches(aligned, box("ALIGN", "knob"), off_image), 100);
}

TEST_F(PanelPictures, APressedKeyChangesOnlyItsOwnBoxWhileHoldStaysLit) {
  const host::Bitmap before = picture("before-key.png");
  const host::Bitmap pressed = picture("hold-and-key.png");
  ASSERT_EQ(before.width_px, pressed.width_px);
  ASSERT_EQ(before.height_px, pressed.height_px);
  const host::PictureBox key = box("INS", "key5_pressed");
  int inside = 0, outside = 0;
  for (int32_t y = 0; y < before.height_px; ++y) {
    for (int32_t x = 0; x < before.width_px; ++x) {
      if (before.at(x, y) == pressed.at(x, y)) continue;
      const bool in_key = x >= key.x_px && x < key.x_px + key.width_px && y >= key.y_px &&
                          y < key.y_px + key.height_px;
      ++(in_key ? inside : outside);
    }
  }
  EXPECT_GT(inside, key.width_px * key.height_px / 10);
  EXPECT_EQ(outside, 0);
  EXPECT_TRUE(amber(before, box("INS", "hold_lit")));
  EXPECT_TRUE(amber(pressed, box("INS", "hold_lit")));
}

TEST_F(PanelPictures, KnobWheelsAndWindowsShowAWaypointEntry) {
  const host::Bitmap entry = picture("waypt-entry.png");
  const ElementHeader& knob = tables_.element("INS", "knob");
  EXPECT_EQ(mismatches(entry, box("INS", "knob"), knob.bitmap_id + 4), 0);  // WAY PT
  EXPECT_GT(mismatches(entry, box("INS", "knob"), knob.bitmap_id + 3), 100);

  // The wheels show 0 and 7: the strip's cells through the 30 x 30 window. The units wheel is
  // drawn after the tens wheel and covers its right-hand columns.
  const ElementHeader& tens = tables_.element("INS", "tens");
  const ElementHeader& units = tables_.element("INS", "units");
  const int32_t cell = art_test::described_size(host::moving_mask_id(tens)).height_px;
  host::PictureBox tens_window = box("INS", "tens"), units_window = box("INS", "units");
  tens_window.height_px = units_window.height_px = cell;
  EXPECT_EQ(mismatches(entry, units_window, units.bitmap_id, 7 * cell), 0);
  EXPECT_EQ(mismatches(entry, tens_window, tens.bitmap_id, 0, units.position.x - tens.position.x),
            0);
  EXPECT_GT(mismatches(entry, units_window, units.bitmap_id, 8 * cell), 20);

  // Transparency: around the knob (pure black in its image) and below the wheels' windows
  // (where the strip goes on) the face shows, as the bitmap of element 0 has it.
  const host::Bitmap face = art_test::bitmap(
      static_cast<uint32_t>(art_test::elements_of(tables_.gauge("INS"))[0]->bitmap_id));
  const host::Bitmap knob_image = art_test::bitmap(knob.bitmap_id + 4);
  const host::PictureBox knob_box = box("INS", "knob");
  int surround = 0, surround_not_face = 0;
  for (int32_t y = 0; y < knob_image.height_px; ++y) {
    for (int32_t x = 0; x < knob_image.width_px; ++x) {
      if (knob_image.at(x, y) != host::PURE_BLACK) continue;
      ++surround;
      if (entry.at(knob_box.x_px + x, knob_box.y_px + y) !=
          face.at(knob.position.x + x, knob.position.y + y)) {
        ++surround_not_face;
      }
    }
  }
  EXPECT_GT(surround, 1000);
  EXPECT_EQ(surround_not_face, 0);
  for (int32_t y = cell; y < cell + 10; ++y) {
    for (int32_t x = 0; x < units_window.width_px; ++x) {
      ASSERT_EQ(entry.at(units_window.x_px + x, units_window.y_px + y),
                face.at(units.position.x + x, units.position.y + y))
          << "the strip shows below its window at " << x << "," << y;
    }
  }

  EXPECT_GT(lit_segment_pixels(entry, box("INS", "left")), 100);
  EXPECT_GT(lit_segment_pixels(entry, box("INS", "N")), 10);
  EXPECT_EQ(lit_segment_pixels(entry, box("INS", "S")), 0);
  EXPECT_TRUE(amber(entry, box("INS", "set_lit")));
  EXPECT_FALSE(amber(entry, box("INS", "hold_lit")));
}

TEST_F(PanelPictures, TheSvgShowsWhatThePngShows) {
  // Both writers render one draw list: the SVG, rendered, matches the PNG in every image pixel
  // and in each window the same text (the two renderers may antialias its edges apart).
  for (const std::string name : {"load", "lamp-test", "waypt-entry"}) {
    SCOPED_TRACE(name);
    const fs::path rendered = output_ / (name + ".svg.png");
    const std::string command = std::string("\"") + INS_RSVG_CONVERT + "\" \"" +
                                (output_ / (name + ".svg")).string() + "\" -o \"" +
                                rendered.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const host::Bitmap png = picture(name + ".png");
    const host::Bitmap svg = picture(name + ".svg.png");
    ASSERT_EQ(svg.width_px, png.width_px);
    ASSERT_EQ(svg.height_px, png.height_px);
    std::vector<host::PictureBox> windows;
    for (std::string_view w : {"left", "right", "N", "S", "E", "W", "from", "to"}) {
      windows.push_back(box("INS", w));
    }
    int elsewhere = 0;
    for (int32_t y = 0; y < png.height_px; ++y) {
      for (int32_t x = 0; x < png.width_px; ++x) {
        const bool in_window = std::any_of(windows.begin(), windows.end(), [&](const auto& b) {
          return x >= b.x_px && x < b.x_px + b.width_px && y >= b.y_px && y < b.y_px + b.height_px;
        });
        if (!in_window && png.at(x, y) != svg.at(x, y)) ++elsewhere;
      }
    }
    EXPECT_EQ(elsewhere, 0);
    for (const host::PictureBox& b : windows) {
      EXPECT_NEAR(mean_luma(svg, b, 0), mean_luma(png, b, 0), 3.0) << b.x_px << "," << b.y_px;
    }
  }
}

// A picture is drawn with the bitmaps beside the module its panel's gauges come from: a module
// loaded from another folder with that folder's, and back again with the first folder's.
TEST(PanelSnapshotBitmaps, EachModuleIsDrawnWithTheBitmapsBesideIt) {
  std::string root = (fs::temp_directory_path() / "ins-snapshot-folders-XXXXXX").string();
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  const uint32_t red = 0xC03020, blue = 0x2040D0;
  const std::vector<std::pair<fs::path, uint32_t>> folders = {{fs::path(root) / "red", red},
                                                              {fs::path(root) / "blue", blue}};
  for (const auto& [folder, colour] : folders) {
    fs::create_directories(folder / "bitmaps");
    fs::copy_file(INS_FIXTURE_MODULE, folder / "fixture_gauge.so");
    // The fixture's face: bitmap 1, 200 x 100, in one colour.
    const std::vector<uint32_t> face(200 * 100, colour);
    host::write_png_file(folder / "bitmaps" / "1.png",
                         host::png_from_rgb({face.data(), 200, 100, 200}));
  }
  // Pixels of each colour on a picture of the panel loaded from `folder`.
  auto colours_drawn = [&](const fs::path& folder, const std::string& name) {
    host_test::HostRig rig(folder / "fixture_gauge.so");
    rig.panel->place({"FIXTURE"});
    rig.frames(1);
    const fs::path picture = fs::path(root) / name;
    host::write_panel_snapshot(picture, *rig.panel, 0.0);
    const auto read = host::read_png_bitmap(picture);
    if (!read) throw std::runtime_error("no picture " + name);
    return std::pair{std::count(read->rgb.begin(), read->rgb.end(), red),
                     std::count(read->rgb.begin(), read->rgb.end(), blue)};
  };
  const auto first = colours_drawn(folders[0].first, "red-1.png");
  const auto second = colours_drawn(folders[1].first, "blue.png");
  const auto third = colours_drawn(folders[0].first, "red-2.png");
  fs::remove_all(root);
  EXPECT_GT(first.first, 10000);
  EXPECT_EQ(first.second, 0);
  EXPECT_EQ(second.first, 0);
  EXPECT_GT(second.second, 10000);
  EXPECT_EQ(third, first);
}

}  // namespace
