// The panel against the fixture gauge module, loaded through the real loader: placement and
// frames, drawing, hit-testing, repeats, key events and host variables.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "host/panel/mouse_list.h"
#include "host_rig.h"

namespace host_test {
namespace {

using host::Panel;

// (The records are packed to 4 bytes: their 8-byte fields are read as copies, with a unary plus,
// where EXPECT_EQ would take a reference to them.)
TEST(PanelDrawing, EveryElementKindIsAskedForItsValue) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.frames(1);
  EXPECT_EQ(rig.text(COUNTS), "A0 B0 R0");
  // The display's degree byte 0xB0 reads as the UTF-8 degree sign; the result is kept.
  EXPECT_EQ(rig.text(DEGREE), "N12\u00B0");
  // The results are kept where the simulator keeps them: a text's as its first source
  // variable's value, an icon's as its current image, a moving image's as its previous values.
  EXPECT_EQ(+element_record<TextElement>(rig.element(DEGREE)).sources[0].value, 42.5);
  EXPECT_EQ(element_record<IconElement>(rig.element(DIAL)).current_image, 0);
  EXPECT_EQ(+element_record<MovingImageElement>(rig.element(WHEEL)).previous_x, 0.25);
  EXPECT_EQ(+element_record<MovingImageElement>(rig.element(WHEEL)).previous_y, 0.0);
  EXPECT_EQ(Panel::image_value(rig.element(WHEEL)), 0.0);  // the wheel travels vertically
}

TEST(PanelDrawing, ATextRoutineIsLentExactlyItsWindowAndTheTerminatorWithAGuardBehind) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  // Before the first draw no buffer is lent: a routine then has nowhere to write.
  EXPECT_EQ(element_record<TextElement>(rig.element(LONG_TEXT)).text_buffer, nullptr);
  rig.frames(1);
  // "ABCDEFGH" cut at the 3-character window, by the routine itself.
  EXPECT_EQ(rig.text(LONG_TEXT), "ABC");
  const char* lent = element_record<TextElement>(rig.element(LONG_TEXT)).text_buffer;
  ASSERT_NE(lent, nullptr);
  EXPECT_EQ(lent[3], '\0');
  for (std::size_t i = 0; i < host::TEXT_GUARD_BYTES; ++i)
    EXPECT_EQ(lent[4 + i], host::TEXT_GUARD_BYTE);
}

#ifndef NDEBUG
TEST(PanelDrawing, ARoutineThatWritesPastItsWindowIsCaughtByTheGuard) {
  HostRig rig;
  rig.panel->place({"FIXTURE_OVERRUN"});
  try {
    rig.frames(1);
    FAIL() << "the overrun went unseen";
  } catch (const host::TextOverrun& overrun) {
    EXPECT_STREQ(overrun.what(),
                 "the text routine of element 0 of FIXTURE_OVERRUN wrote past its window of 2 "
                 "characters and the terminator");
  }
}
#endif

TEST(PanelDrawing, HiddenElementsAreNotDrawnAndShowWhenTheModuleClearsTheBit) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.frames(5);
  EXPECT_EQ(rig.text(SERVICES), "I1 U5 H0");  // element 9's routine never ran
  EXPECT_FALSE(Panel::visible(rig.element(LAMP)));
  rig.panel->click(rig.gauge(), {125, 15});  // the repeating box shows the lamp
  rig.frames(1);
  EXPECT_TRUE(Panel::visible(rig.element(LAMP)));
  EXPECT_FALSE(Panel::visible(rig.element(HIDDEN_PROBE)));
}

TEST(PanelDrawing, WhatIsDrawnFollowsTheHiddenBitFrameByFrameNotAsItWasAtPlacement) {
  // The panel lists the elements it may draw once, at placement, when element 9 is hidden and
  // element 3 shown; each frame must still read the bit as it is then.
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.frames(2);
  EXPECT_EQ(rig.text(SERVICES), "I1 U2 H0");
  rig.element(HIDDEN_PROBE).image_flags &= ~IMAGE_HIDDEN;
  rig.frames(3);
  EXPECT_EQ(rig.text(SERVICES), "I1 U5 H3");  // drawn in each of the three frames
  rig.element(HIDDEN_PROBE).image_flags |= IMAGE_HIDDEN;
  rig.element(COUNTS).image_flags |= IMAGE_HIDDEN;
  rig.panel->click(rig.gauge(), {15, 15});  // box A: COUNTS would read "A1 B0 R0" if drawn
  rig.frames(2);
  EXPECT_EQ(rig.text(SERVICES), "I1 U7 H3");
  EXPECT_EQ(rig.text(COUNTS), "A0 B0 R0");  // hidden: its last text stays
  rig.element(COUNTS).image_flags &= ~IMAGE_HIDDEN;
  rig.frames(1);
  EXPECT_EQ(rig.text(COUNTS), "A1 B0 R0");
}

TEST(PanelDrawing, EachTextKeepsItsOwnBufferWhileOthersAreHiddenAndShown) {
  // The walk finds a text's buffer by the order it met the texts last frame; hiding and showing
  // texts changes that order, and no text may then be handed another one's buffer.
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.frames(1);
  const std::vector<std::size_t> texts = {COUNTS, DEGREE, LONG_TEXT, SERVICES};
  auto expect_own_buffers = [&](const std::string& when) {
    for (std::size_t index : texts) {
      const ElementHeader& e = rig.element(index);
      if (!Panel::visible(e)) continue;
      EXPECT_EQ(+element_record<TextElement>(e).text_buffer, rig.panel->text_bytes(e).data())
          << when << ", element " << index;
    }
    EXPECT_EQ(rig.text(DEGREE), "N12\u00B0") << when;
    EXPECT_EQ(rig.text(LONG_TEXT), "ABC") << when;
  };
  expect_own_buffers("all shown");
  for (std::size_t hidden : {COUNTS, DEGREE, SERVICES}) {
    rig.element(hidden).image_flags |= IMAGE_HIDDEN;
    rig.frames(2);
    expect_own_buffers("element " + std::to_string(hidden) + " hidden");
    rig.element(hidden).image_flags &= ~IMAGE_HIDDEN;
    rig.frames(2);
    expect_own_buffers("element " + std::to_string(hidden) + " shown again");
  }
  EXPECT_EQ(rig.text(COUNTS), "A0 B0 R0");
}

TEST(PanelServices, CodesFourSixAndTwelveInPlacementOrder) {
  HostRig rig;
  rig.panel->place({"FIXTURE_B", "FIXTURE"});
  rig.frames(1);
  EXPECT_EQ(rig.text(SERVICE_CALLS), "B4F4B6F6");
  rig.frames(2);
  EXPECT_EQ(rig.text(SERVICE_CALLS), "B6F6");
  rig.log.frame_written();
  rig.panel->remove();
  rig.panel->remove();  // a second removal sends nothing
  const std::vector<host::KeyEvent> sent = {{0x2000C, 3, false}};
  EXPECT_EQ(rig.log.since_frame().events, sent);
}

TEST(PanelServices, UnknownGaugeNamePlacesNothing) {
  HostRig rig;
  EXPECT_THROW(rig.panel->place({"FIXTURE", "NOPE"}), host::UnknownGauge);
  EXPECT_FALSE(rig.panel->placed());
}

// Which box (by its position among the list's rows) a point reaches, or -1 for none.
TEST(PanelMouse, FirstBoxThatHoldsThePointWinsAndGroupsFence) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  const MouseRow* rows = rig.gauge().header->mouse_list;
  struct Case {
    MousePoint point;
    int row;  // index into the fixture's mouse list
  };
  const Case cases[] = {
      {{15, 15}, 2},    // inside A and B: A comes first
      {{10, 10}, 2},    // A's top left corner is inside
      {{30, 30}, 3},    // A's far edge is outside A, B holds it
      {{45, 45}, 3},    // B only
      {{5, 5}, -1},     // first group, no box there; Z holds it but its group does not
      {{5, 70}, 6},     // Z through its group's box
      {{125, 15}, 8},   // R
      {{155, 15}, 9},   // host-event row
      {{100, 50}, -1},  // outside the first group, on no box
      {{199, 99}, -1},
  };
  for (const Case& c : cases) {
    const MouseRow* hit = host::hit_test(rows, c.point);
    const int index = hit == nullptr ? -1 : static_cast<int>(hit - rows);
    EXPECT_EQ(index, c.row) << "point " << c.point.x << "," << c.point.y;
  }
}

TEST(PanelMouse, RoutineGetsThePointAndTheRowsFlags) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.panel->click(rig.gauge(), {70, 80});
  rig.panel->click(rig.gauge(), {15, 15});
  rig.panel->click(rig.gauge(), {45, 45});
  rig.panel->click(rig.gauge(), {190, 95});  // on no box: nothing happens
  rig.frames(1);
  EXPECT_EQ(rig.text(POINT), "70,80,20000000");
  EXPECT_EQ(rig.text(COUNTS), "A1 B1 R0");
  EXPECT_EQ(Panel::image_value(rig.element(DIAL)), 1.0);
}

// A hold gives one call at the press and one per started tenth of a second after it, whatever
// the frame rate: ceil(10 x held seconds) calls in all.
TEST(PanelMouse, HeldRepeatingBoxCallsEveryTenthOfASecond) {
  struct Case {
    int fps;
    int frames_held;
    int calls;
  };
  const Case cases[] = {{30, 30, 10}, {30, 3, 1}, {30, 4, 2}, {10, 10, 10},
                        {5, 5, 10},   {1, 1, 10}, {60, 15, 3}};
  for (const Case& c : cases) {
    HostRig rig;
    rig.clock.set_fps(c.fps);
    rig.panel->place({"FIXTURE"});
    rig.panel->press(rig.gauge(), {125, 15});
    rig.frames(c.frames_held);
    rig.panel->release();
    rig.frames(3);  // nothing more once released
    EXPECT_EQ(rig.text(COUNTS), "A0 B0 R" + std::to_string(c.calls))
        << c.fps << " fps, " << c.frames_held << " frames";
  }
}

// Held on the wall clock, a box repeats only when its holder says so, however many frames run:
// a quick click at 64 times the frame rate acts once.
TEST(PanelMouse, WallClockHoldRepeatsOnlyWhenTheHolderSays) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.panel->press(rig.gauge(), {125, 15}, host::RepeatClock::WALL);
  rig.frames(300);
  EXPECT_EQ(rig.text(COUNTS), "A0 B0 R1");
  rig.panel->repeat_held();
  rig.panel->repeat_held();
  rig.panel->release();
  rig.panel->repeat_held();  // released: nothing
  rig.frames(1);
  EXPECT_EQ(rig.text(COUNTS), "A0 B0 R3");
}

// The first repeat comes after the first delay, then one per interval; each is counted once,
// however the looks at the clock fall.
TEST(WallClockRepeats, FirstDelayThenSteadyRate) {
  using host::WallClockRepeats;
  using std::chrono::milliseconds;
  struct Case {
    std::vector<int> looks_ms;  // times since the press at which the repeats are taken
    int repeats;
  };
  const Case cases[] = {
      {{100}, 0},              // a quick click
      {{499}, 0},              // just before the first delay
      {{500}, 1},              // at it
      {{550, 650, 750}, 3},    // one per interval, taken as they come
      {{1249}, 8},             // a slow look takes all that fell due
      {{300, 1249, 1249}, 8},  // and none twice
      {{10000}, 96},           // ten seconds held
  };
  const auto pressed = WallClockRepeats::Clock::time_point{} + std::chrono::hours(1);
  for (const Case& c : cases) {
    WallClockRepeats repeats(pressed);
    int taken = 0;
    for (int ms : c.looks_ms) taken += repeats.take_due(pressed + milliseconds(ms));
    EXPECT_EQ(taken, c.repeats) << "last look at " << c.looks_ms.back() << " ms";
    EXPECT_GT(repeats.next_due(), pressed + milliseconds(c.looks_ms.back()));
  }
}

TEST(PanelMouse, HeldBoxWithoutRepeatActsOnce) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.panel->press(rig.gauge(), {15, 15});
  rig.frames(30);
  rig.panel->release();
  rig.frames(1);
  EXPECT_EQ(rig.text(COUNTS), "A1 B0 R0");
}

TEST(PanelEvents, KeyEventsAreRecordedAndActedOn) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.panel->click(rig.gauge(), {155, 55});  // the module sends 0x101FA, 270
  rig.panel->click(rig.gauge(), {155, 15});  // the row's own host event 0x10174 (window 2)
  const std::vector<host::KeyEvent> sent = {{0x101FA, 270, false}, {0x10174, 0, true}};
  EXPECT_EQ(rig.log.since_frame().events, sent);
  // The bug is handed out as an event for the autopilot, not set on the aircraft by the panel.
  EXPECT_EQ(rig.aircraft.heading_bug_mag_deg, 0.0);
  const host::HostEvents raised = rig.panel->take_raised();
  EXPECT_EQ(raised.heading_bug_mag_deg, 270.0);
  EXPECT_EQ(raised.heading_bug_sets, 1u);
  EXPECT_EQ(rig.panel->take_raised().heading_bug_sets, 0u) << "taken once";
  for (int w = 1; w <= PANEL_WINDOW_COUNT; ++w) EXPECT_EQ(rig.panel->panel_window_open(w), w == 2);
  rig.panel->click(rig.gauge(), {155, 15});
  EXPECT_FALSE(rig.panel->panel_window_open(2));
}

TEST(PanelEvents, PanelWindowEventsToggleOnlyTheirWindow) {
  HostRig rig;
  for (uint32_t id = 0x10173; id <= 0x1017A; ++id) rig.panel->trigger_key_event(id, 0);
  rig.panel->trigger_key_event(0x1017B, 0);  // beyond window 8: not a window
  rig.panel->trigger_key_event(0x10172, 0);
  for (int w = 1; w <= 8; ++w) EXPECT_TRUE(rig.panel->panel_window_open(w)) << w;
  rig.panel->trigger_key_event(0x10177, 0);
  EXPECT_FALSE(rig.panel->panel_window_open(5));
}

// Below 18 frames a second the tick skips values; it is always trunc(18 x seconds).
TEST(PanelTime, TickAdvances18PerSecondWhateverTheFrameRate) {
  for (int fps : {1, 5, 10, 17, 18, 30, 60}) {
    HostRig rig;
    rig.clock.set_fps(fps);
    rig.panel->place({"FIXTURE"});
    for (int frame = 1; frame <= 2 * fps; ++frame) {
      rig.frames(1);
      const auto expected = static_cast<long>(std::floor(18.0 * frame / fps + 1e-9));
      ASSERT_EQ(rig.text(VARS), "T" + std::to_string(expected) + " U-7.5")
          << fps << " fps, frame " << frame;
    }
  }
}

TEST(PanelTime, ChangingTheRateKeepsTheTickReached) {
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.frames(15);  // 0.5 s at 30 fps: tick 9
  rig.clock.set_fps(10);
  rig.frames(5);  // 0.5 s more: tick 18
  EXPECT_EQ(rig.text(VARS), "T18 U-7.5");
  EXPECT_DOUBLE_EQ(rig.clock.time_s(), 1.0);
}

}  // namespace
}  // namespace host_test
