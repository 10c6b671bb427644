// The tables the host reads at load: Linkage, ImportTable, every gauge record, element chain and
// mouse list. The expected values are written out here from the panel's drawings, row by row, so
// a wrong number in the module's tables shows up as a difference.
#include "module/gauge_tables.h"

#include <cstring>
#include <string>
#include <vector>

#include "boundary/gauge_vocabulary.h"
#include "cdu/cdu_cycle.h"
#include "cdu/display_windows.h"
#include "cdu/function_keys.h"
#include "cdu/images.h"
#include "cdu/keyboard.h"
#include "msu/mode_selector.h"
#include "nav/navigation_cycle.h"
#include "state/gauge_elements.h"
#include "tests/unit/test_support.h"

using test_support::ModuleTest;

namespace {

// The records are packed to 4 bytes as the simulator reads them, so an 8-byte field (a
// reference, a double) may sit where no reference to it may point: the checks read such fields
// as a copy, with a unary plus, since EXPECT_EQ takes its arguments by reference.

constexpr uint32_t H = 0x40000000;  // hidden at load
constexpr uint32_t CLICK = 0x20000000;
constexpr uint32_t REPEAT = 0x20200000;

// A chain as the host follows it: each list holds one element (and the terminator), and each
// element refers to the list of the next.
std::vector<ElementHeader*> chain(ElementHeader* const* list) {
  std::vector<ElementHeader*> elements;
  while (list != nullptr && list[0] != nullptr && elements.size() < 100) {
    EXPECT_EQ(list[1], nullptr) << "a list of more than one element at " << elements.size();
    elements.push_back(list[0]);
    list = list[0]->next_list;
  }
  return elements;
}

// The CDU's or the MSU's chain as the cycles reach it, by depth.
std::vector<ElementHeader*> by_depth(ElementHeader* const* table, int count) {
  return {table, table + count};
}

GaugeHeader* gauge(int index) {
  return Linkage.gauges[index];
}

// An image element: kind, first bitmap, number of images, position, flags at load. (The
// simulator takes an image's size from its bitmap; the art's tests hold the bitmaps to it.)
struct ImageRow {
  ElementKind kind;
  int32_t bitmap;
  int32_t images;
  int32_t x, y;
  uint32_t flags;
};

// The fields every element's header holds, as the module sets them: what the host owns is zero.
void expect_header(const ElementHeader* e, const GaugeHeader* owner) {
  EXPECT_EQ(+e->gauge, owner);
  EXPECT_EQ(e->previous_position.x, 0);
  EXPECT_EQ(e->previous_position.y, 0);
  EXPECT_EQ(e->pivot.x, 0);
  EXPECT_EQ(e->pivot.y, 0);
  EXPECT_EQ(+e->previous, nullptr);
  EXPECT_EQ(+e->failure, nullptr);
  EXPECT_EQ(e->special_flags, 0u);
  EXPECT_EQ(e->reserved, 0u);
}

void expect_image(const ElementHeader* e, const ImageRow& row) {
  EXPECT_EQ(e->kind, row.kind);
  EXPECT_EQ(e->bitmap_id, row.bitmap);
  EXPECT_EQ(e->position.x, row.x);
  EXPECT_EQ(e->position.y, row.y);
  EXPECT_EQ(e->image_flags, row.flags);
  if (e->kind == ELEMENT_ICON) {
    const auto& icon = element_record<IconElement>(*e);
    EXPECT_EQ(icon.image_count, row.images);
    EXPECT_EQ(icon.source.token_id, 0u);
    EXPECT_EQ(icon.switch_type, 0);
    EXPECT_EQ(icon.current_image, 0);
    EXPECT_EQ(+icon.image_data, nullptr);
  } else {
    EXPECT_EQ(row.images, 1);
  }
}

// A text window: characters, position, text box, and its routine.
struct TextRow {
  uint16_t chars;
  int32_t x, y, w, h;
  ElementRoutine routine;
};

// A mouse row as the host reads it.
struct BoxRow {
  MouseRowKind kind;
  int32_t x, y, w, h;
  int32_t cursor;
  uint32_t flags;
  uint32_t host_event;
  MouseRoutine routine;
};

void expect_mouse_list(const MouseRow* rows, const std::vector<BoxRow>& expected) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("mouse row " + std::to_string(i));
    const MouseRow& r = rows[i];
    const BoxRow& x = expected[i];
    EXPECT_EQ(r.kind, x.kind);
    EXPECT_EQ(r.x, x.x);
    EXPECT_EQ(r.y, x.y);
    EXPECT_EQ(r.width, x.w);
    EXPECT_EQ(r.height, x.h);
    if (x.kind == MOUSE_BOX) {
      EXPECT_EQ(r.cursor, x.cursor);
      EXPECT_EQ(r.event_flags, x.flags);
    }
    EXPECT_EQ(r.help_id, 0u);
    EXPECT_EQ(r.host_event_id, x.host_event);
    EXPECT_EQ(+r.routine, x.routine);
    EXPECT_EQ(+r.host_data, nullptr);
    if (r.kind == MOUSE_END) break;
  }
  EXPECT_EQ(rows[expected.size() - 1].kind, MOUSE_END);
}

BoxRow open_whole() {
  return {MOUSE_GROUP_OPEN, 0, 0, 0, 0, 0, 0, 0, nullptr};
}
BoxRow close_row() {
  return {MOUSE_GROUP_CLOSE, 0, 0, 0, 0, 0, 0, 0, nullptr};
}
BoxRow end_row() {
  return {MOUSE_END, 0, 0, 0, 0, 0, 0, 0, nullptr};
}
BoxRow click(int32_t x, int32_t y, int32_t w, int32_t h, int32_t cursor, uint32_t flags,
             MouseRoutine routine) {
  return {MOUSE_BOX, x, y, w, h, cursor, flags, 0, routine};
}

// Every element of every gauge, for snapshots of their flags.
std::vector<ElementHeader*> all_elements() {
  std::vector<ElementHeader*> all;
  for (std::size_t g = 0; g < MODULE_GAUGE_COUNT; ++g) {
    for (ElementHeader* e : chain(Linkage.gauges[g]->element_list)) all.push_back(e);
  }
  return all;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Module table and gauge records.
// ---------------------------------------------------------------------------------------------

TEST(ModuleTable, LinkageListsTheTwentyGaugesInOrder) {
  EXPECT_EQ(Linkage.module_id, 0x13u);
  EXPECT_EQ(Linkage.flags, 0u);
  EXPECT_EQ(Linkage.priority, 0u);
  EXPECT_EQ(Linkage.version, 0x800u);
  ASSERT_NE(+Linkage.module_init, nullptr);
  ASSERT_NE(+Linkage.module_deinit, nullptr);

  const char* names[] = {"INS",
                         "INS_UPDATE",
                         "INS_ALT_UPDATE",
                         "ALIGN",
                         "INSicon1024_01",
                         "INSicon1024_02",
                         "INSicon1024_03",
                         "INSicon1024_04",
                         "INSicon1024_05",
                         "INSicon1024_06",
                         "INSicon1024_07",
                         "INSicon1024_08",
                         "INSicon_01",
                         "INSicon_02",
                         "INSicon_03",
                         "INSicon_04",
                         "INSicon_05",
                         "INSicon_06",
                         "INSicon_07",
                         "INSicon_08"};
  static_assert(sizeof names / sizeof names[0] == 20);
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(names[i]);
    const GaugeHeader* g = Linkage.gauges[i];
    ASSERT_NE(g, nullptr);
    EXPECT_STREQ(+g->name, names[i]);
    EXPECT_EQ(g->header_version, 800u);
    for (std::size_t k = 0; k < GAUGE_PHASE_ROUTINES; ++k)
      EXPECT_EQ(+g->phase_routines[k], nullptr);
    EXPECT_EQ(g->width_mm, 100u);
    EXPECT_EQ(g->height_mm, 0u);
    EXPECT_EQ(g->x_adjust, 0.0f);
    EXPECT_EQ(g->y_adjust, 0.0f);
    EXPECT_EQ(g->position.x, 0);
    EXPECT_EQ(g->position.y, 0);
    EXPECT_EQ(+g->user_data, 0u);
    EXPECT_EQ(+g->parameters, nullptr);
    EXPECT_EQ(+g->usage, nullptr);
    EXPECT_NE(+g->element_list, nullptr);
    EXPECT_NE(+g->mouse_list, nullptr);
    EXPECT_NE(+g->service, nullptr);
  }
  EXPECT_EQ(Linkage.gauges[20], nullptr);
}

TEST(ModuleTable, EachGaugeIsServedByItsOwnRoutine) {
  EXPECT_EQ(+gauge(0)->service, &ins_service);
  EXPECT_EQ(+gauge(1)->service, &ins_update_service);
  EXPECT_EQ(+gauge(2)->service, &ins_alt_update_service);
  EXPECT_EQ(+gauge(3)->service, &align_service);
  // The sixteen icons share one routine that is none of the four above.
  const GaugeServiceRoutine icon_service = gauge(4)->service;
  for (GaugeServiceRoutine named :
       {&ins_service, &ins_update_service, &ins_alt_update_service, &align_service}) {
    EXPECT_NE(icon_service, named);
  }
  for (int i = 4; i < 20; ++i) EXPECT_EQ(+gauge(i)->service, icon_service) << i;
}

TEST_F(ModuleTest, ImportTableHoldsThePanelServicesSlotThenATerminator) {
  EXPECT_EQ(ImportTable.panel_services.module_id, 0x0Fu);
  EXPECT_EQ(ImportTable.terminator.module_id, 0u);
  EXPECT_EQ(+ImportTable.terminator.table, nullptr);
  // The host writes its table into the slot; every call of the module goes through it.
  EXPECT_EQ(+ImportTable.panel_services.table, &test_support::test_panel_services());
}

// ---------------------------------------------------------------------------------------------
// Element chains.
// ---------------------------------------------------------------------------------------------

TEST_F(ModuleTest, InsChainHasEveryImageInDrawingOrder) {
  const ImageRow images[] = {
      {ELEMENT_STATIC_IMAGE, 4096, 1, 0, 0, 0x3},  // 0 face
      {ELEMENT_ICON, 4099, 1, 38, 72, H | 0x7},    // 1 HOLD lit
      {ELEMENT_ICON, 4102, 1, 275, 71, H | 0x7},   // 2 BAT lit
      {ELEMENT_ICON, 4105, 1, 324, 71, H | 0x7},   // 3 ALERT lit
      {ELEMENT_ICON, 4108, 1, 38, 72, H | 0x3},    // 4 HOLD pressed
      {ELEMENT_ICON, 4111, 1, 84, 71, H | 0x3},    // 5 SET pressed
      {ELEMENT_ICON, 4114, 1, 84, 71, H | 0x7},    // 6 SET lit
      {ELEMENT_ICON, 4117, 1, 148, 72, H | 0x3},   // 7 INSERT pressed
      {ELEMENT_ICON, 4120, 1, 227, 71, H | 0x3},   // 8 LAST WPT pressed
      {ELEMENT_ICON, 4123, 1, 227, 71, H | 0x7},   // 9 LAST WPT lit
      {ELEMENT_ICON, 4126, 1, 174, 175, H | 0x3},  // 10 WYPT CHG pressed
      {ELEMENT_ICON, 4129, 1, 285, 266, H | 0x3},  // 11 CLEAR pressed
      {ELEMENT_ICON, 4132, 1, 225, 266, H | 0x3},  // 12 key 0 pressed
      {ELEMENT_ICON, 4135, 1, 225, 125, H | 0x3},  // 13 key 1
      {ELEMENT_ICON, 4138, 1, 274, 125, H | 0x3},  // 14 key 2
      {ELEMENT_ICON, 4141, 1, 323, 125, H | 0x3},  // 15 key 3
      {ELEMENT_ICON, 4144, 1, 225, 172, H | 0x3},  // 16 key 4
      {ELEMENT_ICON, 4147, 1, 274, 172, H | 0x3},  // 17 key 5
      {ELEMENT_ICON, 4150, 1, 323, 172, H | 0x3},  // 18 key 6
      {ELEMENT_ICON, 4153, 1, 225, 219, H | 0x3},  // 19 key 7
      {ELEMENT_ICON, 4156, 1, 274, 219, H | 0x3},  // 20 key 8
      {ELEMENT_ICON, 4159, 1, 323, 219, H | 0x3},  // 21 key 9
      {ELEMENT_ICON, 4162, 8, 35, 178, 0x3},       // 22 data-selector knob
      {ELEMENT_ICON, 4172, 1, 142, 255, H | 0x3},  // 23 switch at AUTO
      {ELEMENT_ICON, 4175, 1, 142, 255, H | 0x3},  // 24 switch at MAN
  };
  const TextRow texts[] = {
      {10, 206, 24, 140, 36, right_display_text},  // 25
      {9, 40, 24, 126, 36, left_display_text},     // 26
      {1, 344, 38, 15, 20, w_letter_text},         // 27
      {1, 344, 21, 15, 20, e_letter_text},         // 28
      {1, 169, 38, 15, 20, s_letter_text},         // 29
      {1, 169, 21, 15, 20, n_letter_text},         // 30
      {2, 178, 124, 28, 38, to_number_text},       // 31
      {2, 151, 124, 28, 38, from_number_text},     // 32
  };
  const std::vector<ElementHeader*> ins = chain(gauge(0)->element_list);
  ASSERT_EQ(ins.size(), 35u);
  EXPECT_EQ(by_depth(ins_chain, INS_ELEMENT_COUNT), ins);
  for (const ElementHeader* e : ins) expect_header(e, gauge(0));

  for (std::size_t depth = 0; depth < 25; ++depth) {
    SCOPED_TRACE("INS depth " + std::to_string(depth));
    expect_image(ins[depth], images[depth]);
    // Only the knob asks a routine for its image; the others are shown and hidden.
    if (depth > 0) {
      EXPECT_EQ(+element_record<IconElement>(*ins[depth]).routine,
                depth == 22 ? &data_selector_knob_image : nullptr);
    }
  }
  for (std::size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE("INS depth " + std::to_string(25 + i));
    const ElementHeader* e = ins[25 + i];
    const TextRow& t = texts[i];
    EXPECT_EQ(e->kind, ELEMENT_STRING);
    EXPECT_EQ(e->bitmap_id, -1);
    EXPECT_EQ(e->position.x, t.x);
    EXPECT_EQ(e->position.y, t.y);
    EXPECT_EQ(e->image_flags, 0x6u);
    const auto& text = element_record<TextElement>(*e);
    EXPECT_EQ(text.char_count, t.chars);
    EXPECT_EQ(text.box_size.x, t.w);
    EXPECT_EQ(text.box_size.y, t.h);
    EXPECT_STREQ(text.font_face, "Quartz");  // inline, zero-terminated
    EXPECT_EQ(text.font_weight, 500);
    EXPECT_EQ(text.charset, 1u);
    EXPECT_EQ(text.text_color, 0x3CB9FAu);  // red FA, green B9, blue 3C: amber
    EXPECT_EQ(text.background_color, 0u);
    EXPECT_EQ(text.draw_flags, 0x25u);  // centred both ways, single line
    EXPECT_EQ(+text.routine, t.routine);
    EXPECT_EQ(text.char_height, t.h);
    // What the host owns is empty at load: no buffer lent yet, no handles.
    EXPECT_EQ(+text.text_buffer, nullptr);
    for (std::size_t k = 0; k < sizeof text.handles / sizeof text.handles[0]; ++k)
      EXPECT_EQ(+text.handles[k], nullptr);
    for (const HostVar& source : text.sources) EXPECT_EQ(source.token_id, 0u);
  }
  const struct {
    int32_t x;
    ElementRoutine vertical;
  } wheels[] = {{56, thumbwheel_tens_vertical}, {82, thumbwheel_units_vertical}};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("INS depth " + std::to_string(33 + i));
    const ElementHeader* e = ins[33 + i];
    // The strip 4181; its mask, the window, is the resource after it (4182).
    expect_image(e, {ELEMENT_MOVING_IMAGE, 4181, 1, wheels[i].x, 120, 0x7});
    const auto& wheel = element_record<MovingImageElement>(*e);
    EXPECT_EQ(+wheel.x_minimum, 0.0);
    EXPECT_EQ(+wheel.x_maximum, 0.0);
    EXPECT_EQ(+wheel.y_minimum, 0.0);
    EXPECT_EQ(+wheel.y_maximum, 9.0);  // a value v shows digit v
    EXPECT_EQ(+wheel.x_routine, &thumbwheel_horizontal);
    EXPECT_EQ(+wheel.y_routine, wheels[i].vertical);
    EXPECT_EQ(wheel.x_source.token_id, 0u);
    EXPECT_EQ(wheel.y_source.token_id, 0u);
  }
}

TEST_F(ModuleTest, ElementDepthNamesMatchTheChain) {
  const std::vector<ElementHeader*> ins = chain(gauge(0)->element_list);
  ASSERT_EQ(ins.size(), static_cast<std::size_t>(INS_ELEMENT_COUNT));
  EXPECT_EQ(ins[INS_DEPTH_HOLD_LIT]->bitmap_id, 4099);
  EXPECT_EQ(ins[INS_DEPTH_ALERT_LIT]->bitmap_id, 4105);
  EXPECT_EQ(ins[INS_DEPTH_SET_LIT]->bitmap_id, 4114);
  EXPECT_EQ(ins[INS_DEPTH_LAST_WPT_LIT]->bitmap_id, 4123);
  EXPECT_EQ(ins[INS_DEPTH_KEY0_PRESSED + 9]->bitmap_id, 4159);
  EXPECT_EQ(ins[INS_DEPTH_SWITCH_MAN]->bitmap_id, 4175);
  EXPECT_EQ(+element_record<TextElement>(*ins[INS_DEPTH_FROM_NUMBER]).routine, &from_number_text);
  EXPECT_EQ(+element_record<MovingImageElement>(*ins[INS_DEPTH_THUMBWHEEL_UNITS]).y_routine,
            &thumbwheel_units_vertical);
  for (int depth = 0; depth < INS_ELEMENT_COUNT; ++depth) {
    EXPECT_EQ(&ins_element(depth), ins[static_cast<std::size_t>(depth)]) << depth;
  }
  const std::vector<ElementHeader*> align = chain(gauge(3)->element_list);
  ASSERT_EQ(align.size(), static_cast<std::size_t>(ALIGN_ELEMENT_COUNT));
  EXPECT_EQ(align[ALIGN_DEPTH_READY_NAV_LIT]->bitmap_id, 4191);
  EXPECT_EQ(+element_record<IconElement>(*align[ALIGN_DEPTH_MODE_KNOB]).routine, &mode_knob_image);
  for (int depth = 0; depth < ALIGN_ELEMENT_COUNT; ++depth) {
    EXPECT_EQ(&align_element(depth), align[static_cast<std::size_t>(depth)]) << depth;
  }
}

TEST_F(ModuleTest, AlignUpdateAndIconChains) {
  const std::vector<ElementHeader*> align = chain(gauge(3)->element_list);
  ASSERT_EQ(align.size(), 4u);
  for (const ElementHeader* e : align) expect_header(e, gauge(3));
  expect_image(align[0], {ELEMENT_STATIC_IMAGE, 4185, 1, 0, 0, 0x3});
  expect_image(align[1], {ELEMENT_ICON, 4188, 1, 293, 31, H | 0x7});  // BAT lit
  expect_image(align[2], {ELEMENT_ICON, 4191, 1, 206, 31, H | 0x7});  // READY NAV lit
  expect_image(align[3], {ELEMENT_ICON, 4194, 4, 63, 12, 0x3});       // mode knob
  EXPECT_EQ(+element_record<IconElement>(*align[3]).routine, &mode_knob_image);
  EXPECT_EQ(+align[3]->next_list, nullptr);  // the chain ends there

  for (int g : {1, 2}) {
    SCOPED_TRACE(gauge(g)->name);
    const std::vector<ElementHeader*> update = chain(gauge(g)->element_list);
    ASSERT_EQ(update.size(), 1u);
    expect_header(update[0], gauge(g));
    expect_image(update[0], {ELEMENT_STATIC_IMAGE, 4178, 1, 0, 0, H | 0x3});
  }
  // Each placement hides its own.
  EXPECT_NE(chain(gauge(1)->element_list)[0], chain(gauge(2)->element_list)[0]);

  for (int i = 4; i < 20; ++i) {
    SCOPED_TRACE(gauge(i)->name);
    const std::vector<ElementHeader*> icon = chain(gauge(i)->element_list);
    ASSERT_EQ(icon.size(), 1u);
    expect_header(icon[0], gauge(i));
    const bool large = i < 12;
    expect_image(icon[0], {ELEMENT_STATIC_IMAGE, large ? 4200 : 4203, 1, 0, 0, 0x7});
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse lists.
// ---------------------------------------------------------------------------------------------

TEST(MouseLists, InsBoxesReachTheirRoutines) {
  const std::vector<BoxRow> rows = {
      open_whole(),
      click(0, 0, 30, 59, 1, CLICK, plan_spot),
      click(82, 185, 38, 82, 4, CLICK, data_selector_cw),
      click(43, 182, 38, 82, 3, CLICK, data_selector_ccw),
      click(38, 72, 39, 39, 1, CLICK, hold_key),
      click(84, 72, 39, 39, 1, CLICK, set_key),
      click(148, 72, 55, 39, 1, CLICK, insert_key),
      click(227, 72, 39, 39, 1, CLICK, last_wpt_key),
      click(167, 247, 44, 22, 4, CLICK, switch_to_man),
      click(121, 247, 44, 22, 3, CLICK, switch_to_auto),
      click(285, 266, 55, 39, 1, CLICK, clear_key),
      click(225, 266, 39, 39, 1, CLICK, digit_key<0>),
      click(225, 125, 39, 39, 1, CLICK, digit_key<1>),
      click(274, 125, 39, 39, 1, CLICK, digit_key<2>),
      click(323, 125, 39, 39, 1, CLICK, digit_key<3>),
      click(225, 172, 39, 39, 1, CLICK, digit_key<4>),
      click(274, 172, 39, 39, 1, CLICK, digit_key<5>),
      click(323, 172, 39, 39, 1, CLICK, digit_key<6>),
      click(225, 219, 39, 39, 1, CLICK, digit_key<7>),
      click(274, 219, 39, 39, 1, CLICK, digit_key<8>),
      click(323, 219, 39, 39, 1, CLICK, digit_key<9>),
      click(174, 175, 39, 39, 1, REPEAT, wypt_chg_key),
      click(82, 115, 50, 20, 4, REPEAT, thumbwheel_units_up),
      click(82, 136, 50, 20, 3, REPEAT, thumbwheel_units_down),
      click(31, 115, 50, 20, 4, REPEAT, thumbwheel_tens_up),
      click(31, 136, 50, 20, 3, REPEAT, thumbwheel_tens_down),
      click(150, 271, 31, 21, 1, CLICK, lamp_test_spot),
      close_row(),
      end_row(),
  };
  ASSERT_EQ(rows.size(), 26u + 3u);
  expect_mouse_list(gauge(0)->mouse_list, rows);
}

TEST(MouseLists, EveryDigitKeyBoxCoversItsPressedImage) {
  const MouseRow* rows = gauge(0)->mouse_list;
  // Boxes of keys 0..9 are rows 11..20 of the list; pressed images are depths 12..21, each
  // 39 x 39 (the art's tests hold the bitmaps to that size).
  for (int d = 0; d <= 9; ++d) {
    SCOPED_TRACE(d);
    const MouseRow& box = rows[11 + d];
    const ElementHeader& image = ins_element(INS_DEPTH_KEY0_PRESSED + d);
    EXPECT_EQ(box.x, image.position.x);
    EXPECT_EQ(box.y, image.position.y);
    EXPECT_EQ(box.width, 39);
    EXPECT_EQ(box.height, 39);
  }
}

TEST(MouseLists, AlignAndUpdateGauges) {
  expect_mouse_list(gauge(3)->mouse_list,
                    {open_whole(), click(101, 1, 55, 101, 4, CLICK, mode_knob_cw),
                     click(44, 1, 55, 101, 3, CLICK, mode_knob_ccw), close_row(), end_row()});
  for (int g : {1, 2}) {
    SCOPED_TRACE(g);
    expect_mouse_list(gauge(g)->mouse_list, {open_whole(), close_row(), end_row()});
  }
}

TEST(MouseLists, IconsOfBothSizesSendTheSameHostEvents) {
  for (int n = 1; n <= 8; ++n) {
    const uint32_t event = 0x10173u + static_cast<uint32_t>(n - 1);
    for (int32_t size : {19, 12}) {
      const int index = (size == 19 ? 4 : 12) + n - 1;
      SCOPED_TRACE(gauge(index)->name);
      expect_mouse_list(gauge(index)->mouse_list,
                        {open_whole(),
                         {MOUSE_GROUP_OPEN, 0, 0, size, size, 0, 0, 0, nullptr},
                         {MOUSE_BOX, 0, 0, size, size, 5, CLICK, event, nullptr},
                         close_row(),
                         close_row(),
                         end_row()});
    }
  }
  EXPECT_EQ(gauge(11)->mouse_list[2].host_event_id, 0x1017Au);  // icon 8: the last event
}

// ---------------------------------------------------------------------------------------------
// Service codes and the test reset.
// ---------------------------------------------------------------------------------------------

// Every code other than 4, 6 and 12 must leave the module as it was: the shared state, every
// element's flags, the host's variables and events. The state is compared as the bytes of the
// one live instance before and after (not of a copy, whose padding could differ), so any change
// of any field shows.
TEST_F(ModuleTest, ServiceCodesOtherThanFourSixAndTwelveChangeNothing) {
  // A state in which a frame cycle would have plenty to do.
  set_var(HOST_VAR_TICK, 1000.0);
  set_var(HOST_VAR_BATTERY, 1.0);
  set_var(HOST_VAR_MAIN_POWER, 1.0);
  set_var(HOST_VAR_LATITUDE, 5000000.0);
  set_var(HOST_VAR_LONGITUDE, 1.0e13);
  set_var(HOST_VAR_AP_MASTER, 1.0);
  set_var(HOST_VAR_AP_HEADING, 1.0);
  ins_state.mode_selector = 3;
  ins_state.ins_powered = 1;
  ins_state.nav_ready = 1;
  ins_state.hold_active = 1;
  ins_state.lamp_test_active = 1;
  ins_state.lamp_test_end_tick = 1000;
  ins_state.set_pressed = 1;
  ins_state.set_release_tick = 1000;
  workdir.write("WAYPOINTS.DAT", "0 0.1 0.2\n1 0.3 0.4\n");

  const std::vector<ElementHeader*> elements = all_elements();
  std::vector<unsigned char> before(sizeof(InsState));
  std::memcpy(before.data(), &ins_state, sizeof(InsState));
  std::vector<uint32_t> flags_before;
  for (ElementHeader* e : elements) flags_before.push_back(e->image_flags);

  const int32_t codes[] = {0, 1, 2, 3, 5, 7, 8, 9, 10, 11, 13, 14, 15, 16, 17, 100, -1};
  for (std::size_t g = 0; g < MODULE_GAUGE_COUNT; ++g) {
    for (int32_t code : codes) {
      SCOPED_TRACE(std::string(gauge(static_cast<int>(g))->name) + " code " + std::to_string(code));
      Linkage.gauges[g]->service(Linkage.gauges[g], code, 0);
      EXPECT_EQ(std::memcmp(before.data(), &ins_state, sizeof(InsState)), 0);
      for (std::size_t i = 0; i < elements.size(); ++i) {
        EXPECT_EQ(elements[i]->image_flags, flags_before[i]) << "element " << i;
      }
      EXPECT_EQ(test_support::test_host().lookups, 0);
      EXPECT_TRUE(events().empty());
    }
  }
  EXPECT_EQ(workdir.read("WAYPOINTS.DAT"), "0 0.1 0.2\n1 0.3 0.4\n");
}

TEST_F(ModuleTest, IconGaugesDoNothingOnAnyCode) {
  std::vector<unsigned char> before(sizeof(InsState));
  std::memcpy(before.data(), &ins_state, sizeof(InsState));
  for (int i = 4; i < 20; ++i) {
    for (int32_t code : {4, 6, 12}) gauge(i)->service(gauge(i), code, 0);
  }
  EXPECT_EQ(std::memcmp(before.data(), &ins_state, sizeof(InsState)), 0);
  EXPECT_EQ(test_support::test_host().lookups, 0);
  EXPECT_TRUE(events().empty());
}

TEST_F(ModuleTest, ResetRestoresEveryHiddenBitAndTheState) {
  const std::vector<ElementHeader*> elements = all_elements();
  std::vector<uint32_t> at_load;
  for (ElementHeader* e : elements) at_load.push_back(e->image_flags);
  // Flip every element's hidden bit, as a run of cycles might leave them.
  for (ElementHeader* e : elements) e->image_flags ^= IMAGE_HIDDEN;
  ins_state.data_selector = 6;
  ins_state.to_waypoint = 12;

  reset_module_for_tests();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    EXPECT_EQ(elements[i]->image_flags, at_load[i]) << "element " << i;
  }
  EXPECT_EQ(ins_state.data_selector, 3);
  EXPECT_EQ(ins_state.to_waypoint, 0);
  // The chains stay linked.
  EXPECT_EQ(chain(gauge(0)->element_list).size(), 35u);
}
