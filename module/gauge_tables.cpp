// Linkage, ImportTable and the records of the module's 20 gauges: their element chains and mouse
// lists exactly as the host reads them at load.

#include "module/gauge_tables.h"

#include <array>
#include <cstddef>

#include "cdu/cdu_cycle.h"
#include "cdu/display_windows.h"
#include "cdu/function_keys.h"
#include "cdu/images.h"
#include "cdu/keyboard.h"
#include "module/gauge_vocabulary.h"
#include "msu/mode_selector.h"
#include "nav/navigation_cycle.h"
#include "state/gauge_elements.h"
#include "state/ins_state.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Element builders. Flags are given as at load; the cycles change only the hidden bit.
// ---------------------------------------------------------------------------------------------
constexpr uint32_t OPAQUE_ERASE = IMAGE_USE_TRANSPARENCY | IMAGE_USE_ERASE;               // 0x3
constexpr uint32_t BRIGHT = IMAGE_USE_TRANSPARENCY | IMAGE_USE_ERASE | IMAGE_USE_BRIGHT;  // 0x7
constexpr uint32_t TEXT_FLAGS = IMAGE_USE_ERASE | IMAGE_USE_BRIGHT;                       // 0x6

constexpr const char* DISPLAY_FONT = "Quartz";
constexpr int32_t DISPLAY_FONT_WEIGHT = 500;
constexpr uint32_t DISPLAY_CHARSET = 1;
constexpr uint32_t DISPLAY_AMBER = 0x3CB9FA;
constexpr uint32_t DISPLAY_DRAW_FLAGS =
    TEXT_CENTER_HORIZONTAL | TEXT_CENTER_VERTICAL | TEXT_SINGLE_LINE;

constexpr ElementHeader static_image(uint32_t bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                                     uint32_t flags) {
  ElementHeader e{};
  e.kind = ELEMENT_STATIC_IMAGE;
  e.image_flags = flags;
  e.x = x;
  e.y = y;
  e.width = w;
  e.height = h;
  e.bitmap_id = bitmap;
  e.image_count = 1;
  return e;
}

constexpr ElementHeader icon(uint32_t bitmap, uint32_t images, int32_t x, int32_t y, int32_t w,
                             int32_t h, uint32_t flags, ElementRoutine routine = nullptr) {
  ElementHeader e = static_image(bitmap, x, y, w, h, flags);
  e.kind = ELEMENT_ICON;
  e.image_count = images;
  e.routine = routine;
  return e;
}

constexpr ElementHeader text(uint32_t chars, int32_t x, int32_t y, int32_t w, int32_t h,
                             ElementRoutine routine) {
  ElementHeader e{};
  e.kind = ELEMENT_STRING;
  e.image_flags = TEXT_FLAGS;
  e.x = x;
  e.y = y;
  e.width = w;
  e.height = h;
  e.char_count = chars;
  e.font_face = DISPLAY_FONT;
  e.font_weight = DISPLAY_FONT_WEIGHT;
  e.charset = DISPLAY_CHARSET;
  e.text_color = DISPLAY_AMBER;
  e.background_color = 0;
  e.draw_flags = DISPLAY_DRAW_FLAGS;
  e.routine = routine;
  return e;
}

// A thumbwheel: the 30 x 300 digit strip 4181 seen through the 30 x 30 window masked by 4182;
// vertical values 0..9 move the strip over 270 pixels, the horizontal range has no travel.
constexpr uint32_t DIGIT_STRIP_BITMAP = 4181;
constexpr uint32_t DIGIT_WINDOW_MASK = 4182;

constexpr ElementHeader thumbwheel(int32_t x, int32_t y, ElementRoutine vertical) {
  ElementHeader e = static_image(DIGIT_STRIP_BITMAP, x, y, 30, 300, BRIGHT);
  e.kind = ELEMENT_MOVING_IMAGE;
  e.mask_bitmap_id = DIGIT_WINDOW_MASK;
  e.x_range_min = 0.0;
  e.x_range_max = 0.0;
  e.y_range_min = 0.0;
  e.y_range_max = 9.0;
  e.x_travel_px = 0;
  e.y_travel_px = 300 - 30;
  e.routine = thumbwheel_horizontal;
  e.vertical_routine = vertical;
  return e;
}

constexpr uint32_t HIDDEN = IMAGE_HIDDEN;

// Pressed image of digit key d (1..9): bitmaps rise by 3 per key; three columns, three rows.
constexpr ElementHeader digit_pressed_image(int d) {
  const int column = (d - 1) % 3;
  const int row = (d - 1) / 3;
  return icon(4135 + 3 * static_cast<uint32_t>(d - 1), 1, 225 + 49 * column, 125 + 47 * row, 39, 39,
              HIDDEN | OPAQUE_ERASE);
}

// ---------------------------------------------------------------------------------------------
// The INS (CDU) chain, in drawing order.
// ---------------------------------------------------------------------------------------------
constexpr auto INS_CHAIN_AT_LOAD = std::to_array<ElementHeader>({
    static_image(4096, 0, 0, 400, 308, OPAQUE_ERASE),        // 0 face
    icon(4099, 1, 38, 72, 39, 39, HIDDEN | BRIGHT),          // 1 HOLD lit
    icon(4102, 1, 275, 71, 38, 40, HIDDEN | BRIGHT),         // 2 BAT lit
    icon(4105, 1, 324, 71, 38, 40, HIDDEN | BRIGHT),         // 3 ALERT lit
    icon(4108, 1, 38, 72, 39, 39, HIDDEN | OPAQUE_ERASE),    // 4 HOLD pressed
    icon(4111, 1, 84, 71, 38, 40, HIDDEN | OPAQUE_ERASE),    // 5 SET pressed
    icon(4114, 1, 84, 71, 38, 40, HIDDEN | BRIGHT),          // 6 SET lit
    icon(4117, 1, 148, 72, 55, 39, HIDDEN | OPAQUE_ERASE),   // 7 INSERT pressed
    icon(4120, 1, 227, 71, 38, 40, HIDDEN | OPAQUE_ERASE),   // 8 LAST WPT pressed
    icon(4123, 1, 227, 71, 38, 40, HIDDEN | BRIGHT),         // 9 LAST WPT lit
    icon(4126, 1, 174, 175, 39, 39, HIDDEN | OPAQUE_ERASE),  // 10 WYPT CHG pressed
    icon(4129, 1, 285, 266, 55, 39, HIDDEN | OPAQUE_ERASE),  // 11 CLEAR pressed
    icon(4132, 1, 225, 266, 39, 39, HIDDEN | OPAQUE_ERASE),  // 12 key 0 pressed
    digit_pressed_image(1),                                  // 13..21 keys 1..9 pressed
    digit_pressed_image(2),
    digit_pressed_image(3),
    digit_pressed_image(4),
    digit_pressed_image(5),
    digit_pressed_image(6),
    digit_pressed_image(7),
    digit_pressed_image(8),
    digit_pressed_image(9),
    icon(4162, 8, 35, 178, 97, 97, OPAQUE_ERASE, data_selector_knob_image),  // 22 knob
    icon(4172, 1, 142, 255, 46, 53, HIDDEN | OPAQUE_ERASE),                  // 23 switch at AUTO
    icon(4175, 1, 142, 255, 46, 53, HIDDEN | OPAQUE_ERASE),                  // 24 switch at MAN
    text(10, 206, 24, 140, 36, right_display_text),                          // 25
    text(9, 40, 24, 126, 36, left_display_text),                             // 26
    text(1, 344, 38, 15, 20, w_letter_text),                                 // 27
    text(1, 344, 21, 15, 20, e_letter_text),                                 // 28
    text(1, 169, 38, 15, 20, s_letter_text),                                 // 29
    text(1, 169, 21, 15, 20, n_letter_text),                                 // 30
    text(2, 178, 124, 28, 38, to_number_text),                               // 31
    text(2, 151, 124, 28, 38, from_number_text),                             // 32
    thumbwheel(56, 120, thumbwheel_tens_vertical),                           // 33
    thumbwheel(82, 120, thumbwheel_units_vertical),                          // 34
});

constexpr auto ALIGN_CHAIN_AT_LOAD = std::to_array<ElementHeader>({
    static_image(4185, 0, 0, 400, 102, OPAQUE_ERASE),              // 0 face
    icon(4188, 1, 293, 31, 39, 39, HIDDEN | BRIGHT),               // 1 BAT lit
    icon(4191, 1, 206, 31, 39, 39, HIDDEN | BRIGHT),               // 2 READY NAV lit
    icon(4194, 4, 63, 12, 77, 77, OPAQUE_ERASE, mode_knob_image),  // 3 mode knob
});

// The cycles show and hide elements by their depth in the chain, so each depth the cycles name
// must hold the element it names: an element added, dropped or moved in a chain fails here.
static_assert(INS_CHAIN_AT_LOAD.size() == INS_ELEMENT_COUNT);
static_assert(ALIGN_CHAIN_AT_LOAD.size() == ALIGN_ELEMENT_COUNT);

constexpr bool at_depth(const ElementHeader& element, uint32_t bitmap, ElementRoutine routine) {
  return element.bitmap_id == bitmap && element.routine == routine;
}

static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_FACE], 4096, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_HOLD_LIT], 4099, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_BAT_LIT], 4102, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_ALERT_LIT], 4105, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_HOLD_PRESSED], 4108, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_SET_PRESSED], 4111, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_SET_LIT], 4114, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_INSERT_PRESSED], 4117, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_LAST_WPT_PRESSED], 4120, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_LAST_WPT_LIT], 4123, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_WYPT_CHG_PRESSED], 4126, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_CLEAR_PRESSED], 4129, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_KEY0_PRESSED], 4132, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_KEY0_PRESSED + 9], 4159, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_DATA_SELECTOR_KNOB], 4162,
                       data_selector_knob_image));
static_assert(INS_CHAIN_AT_LOAD[INS_DEPTH_DATA_SELECTOR_KNOB].image_count ==
              SELECTOR_POSITION_COUNT);
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_SWITCH_AUTO], 4172, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_SWITCH_MAN], 4175, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_RIGHT_DISPLAY], 0, right_display_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_LEFT_DISPLAY], 0, left_display_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_W_LETTER], 0, w_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_E_LETTER], 0, e_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_S_LETTER], 0, s_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_N_LETTER], 0, n_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_TO_NUMBER], 0, to_number_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_FROM_NUMBER], 0, from_number_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_THUMBWHEEL_TENS], DIGIT_STRIP_BITMAP,
                       thumbwheel_horizontal));
static_assert(INS_CHAIN_AT_LOAD[INS_DEPTH_THUMBWHEEL_TENS].vertical_routine ==
              thumbwheel_tens_vertical);
static_assert(INS_CHAIN_AT_LOAD[INS_DEPTH_THUMBWHEEL_UNITS].vertical_routine ==
              thumbwheel_units_vertical);
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_FACE], 4185, nullptr));
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_BAT_LIT], 4188, nullptr));
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_READY_NAV_LIT], 4191, nullptr));
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_MODE_KNOB], 4194, mode_knob_image));
static_assert(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_MODE_KNOB].image_count == MODE_KNOB_POSITION_COUNT);

constexpr ElementHeader UPDATE_IMAGE_AT_LOAD =
    static_image(4178, 0, 0, 10, 10, HIDDEN | OPAQUE_ERASE);
constexpr ElementHeader LARGE_ICON_AT_LOAD = static_image(4200, 0, 0, 19, 19, BRIGHT);
constexpr ElementHeader SMALL_ICON_AT_LOAD = static_image(4203, 0, 0, 12, 12, BRIGHT);

constexpr int ICON_COUNT = PANEL_WINDOW_COUNT;

// The live chains the host draws; the arrays above are their load-time values.
std::array<ElementHeader, INS_ELEMENT_COUNT> ins_chain = INS_CHAIN_AT_LOAD;
std::array<ElementHeader, ALIGN_ELEMENT_COUNT> align_chain = ALIGN_CHAIN_AT_LOAD;
ElementHeader ins_update_image = UPDATE_IMAGE_AT_LOAD;
ElementHeader ins_alt_update_image = UPDATE_IMAGE_AT_LOAD;
std::array<ElementHeader, ICON_COUNT> large_icon_images;
std::array<ElementHeader, ICON_COUNT> small_icon_images;

template <std::size_t N>
void link_chain(std::array<ElementHeader, N>& chain) {
  for (std::size_t i = 0; i + 1 < N; ++i) chain[i].next = &chain[i + 1];
  chain[N - 1].next = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Mouse lists.
// ---------------------------------------------------------------------------------------------
constexpr uint32_t CLICK = MOUSE_LEFT_SINGLE;
constexpr uint32_t REPEATS = MOUSE_LEFT_SINGLE | MOUSE_LEFT_REPEAT;

constexpr MouseRow group_open(int32_t x = 0, int32_t y = 0, int32_t w = 0, int32_t h = 0) {
  return {MOUSE_GROUP_OPEN, x, y, w, h, CURSOR_NONE, 0, 0, 0, nullptr};
}
constexpr MouseRow box(int32_t x, int32_t y, int32_t w, int32_t h, int32_t cursor, uint32_t flags,
                       MouseRoutine routine) {
  return {MOUSE_BOX, x, y, w, h, cursor, 0, flags, 0, routine};
}
constexpr MouseRow event_box(int32_t size, uint32_t host_event) {
  return {MOUSE_BOX, 0, 0, size, size, CURSOR_HAND, 0, CLICK, host_event, nullptr};
}
constexpr MouseRow group_close() {
  return {MOUSE_GROUP_CLOSE, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr};
}
constexpr MouseRow list_end() {
  return {MOUSE_END, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr};
}

constexpr int INS_MOUSE_BOX_COUNT = 26;
constexpr auto INS_MOUSE_ROWS_AT_LOAD = std::to_array<MouseRow>({
    group_open(),
    box(0, 0, 30, 59, CURSOR_UP_ARROW, CLICK, plan_spot),
    box(82, 185, 38, 82, CURSOR_RIGHT_ARROW, CLICK, data_selector_cw),
    box(43, 182, 38, 82, CURSOR_LEFT_ARROW, CLICK, data_selector_ccw),
    box(38, 72, 39, 39, CURSOR_UP_ARROW, CLICK, hold_key),
    box(84, 72, 39, 39, CURSOR_UP_ARROW, CLICK, set_key),
    box(148, 72, 55, 39, CURSOR_UP_ARROW, CLICK, insert_key),
    box(227, 72, 39, 39, CURSOR_UP_ARROW, CLICK, last_wpt_key),
    box(167, 247, 44, 22, CURSOR_RIGHT_ARROW, CLICK, switch_to_man),
    box(121, 247, 44, 22, CURSOR_LEFT_ARROW, CLICK, switch_to_auto),
    box(285, 266, 55, 39, CURSOR_UP_ARROW, CLICK, clear_key),
    box(225, 266, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_0),
    box(225, 125, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_1),
    box(274, 125, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_2),
    box(323, 125, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_3),
    box(225, 172, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_4),
    box(274, 172, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_5),
    box(323, 172, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_6),
    box(225, 219, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_7),
    box(274, 219, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_8),
    box(323, 219, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key_9),
    box(174, 175, 39, 39, CURSOR_UP_ARROW, REPEATS, wypt_chg_key),
    box(82, 115, 50, 20, CURSOR_RIGHT_ARROW, REPEATS, thumbwheel_units_up),
    box(82, 136, 50, 20, CURSOR_LEFT_ARROW, REPEATS, thumbwheel_units_down),
    box(31, 115, 50, 20, CURSOR_RIGHT_ARROW, REPEATS, thumbwheel_tens_up),
    box(31, 136, 50, 20, CURSOR_LEFT_ARROW, REPEATS, thumbwheel_tens_down),
    box(150, 271, 31, 21, CURSOR_UP_ARROW, CLICK, lamp_test_spot),
    group_close(),
    list_end(),
});

constexpr auto ALIGN_MOUSE_ROWS_AT_LOAD = std::to_array<MouseRow>({
    group_open(),
    box(101, 1, 55, 101, CURSOR_RIGHT_ARROW, CLICK, mode_knob_cw),
    box(44, 1, 55, 101, CURSOR_LEFT_ARROW, CLICK, mode_knob_ccw),
    group_close(),
    list_end(),
});

// The host walks a list to its end row and matches groups by nesting: a list must open with a
// group, close every group it opens, and end exactly once, at its last row.
template <std::size_t N>
constexpr bool well_formed(const std::array<MouseRow, N>& rows) {
  int depth = 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (rows[i].kind == MOUSE_GROUP_OPEN) ++depth;
    if (rows[i].kind == MOUSE_GROUP_CLOSE && --depth < 0) return false;
    if ((rows[i].kind == MOUSE_END) != (i + 1 == N)) return false;
  }
  return N > 0 && rows[0].kind == MOUSE_GROUP_OPEN && depth == 0;
}

template <std::size_t N>
constexpr int box_count(const std::array<MouseRow, N>& rows) {
  int boxes = 0;
  for (const MouseRow& row : rows) boxes += row.kind == MOUSE_BOX;
  return boxes;
}

static_assert(well_formed(INS_MOUSE_ROWS_AT_LOAD) &&
              box_count(INS_MOUSE_ROWS_AT_LOAD) == INS_MOUSE_BOX_COUNT);
static_assert(well_formed(ALIGN_MOUSE_ROWS_AT_LOAD) && box_count(ALIGN_MOUSE_ROWS_AT_LOAD) == 2);

// The live lists the host hit-tests (the host holds them through non-const pointers).
auto ins_mouse_rows = INS_MOUSE_ROWS_AT_LOAD;
auto align_mouse_rows = ALIGN_MOUSE_ROWS_AT_LOAD;

MouseRow ins_update_mouse_rows[] = {group_open(), group_close(), list_end()};
MouseRow ins_alt_update_mouse_rows[] = {group_open(), group_close(), list_end()};

// Icon n (1..8) sends host event EVENT_PANEL_WINDOW_1 + n - 1 when clicked; the host sends it
// itself.
constexpr int ICON_ROW_COUNT = 6;
using IconRows = std::array<MouseRow, ICON_ROW_COUNT>;

constexpr IconRows icon_rows(int32_t size, int n) {
  return {group_open(),
          group_open(0, 0, size, size),
          event_box(size, EVENT_PANEL_WINDOW_1 + static_cast<uint32_t>(n - 1)),
          group_close(),
          group_close(),
          list_end()};
}

template <int32_t SIZE>
constexpr std::array<IconRows, ICON_COUNT> all_icon_rows() {
  std::array<IconRows, ICON_COUNT> rows{};
  for (int n = 1; n <= ICON_COUNT; ++n) rows[static_cast<std::size_t>(n - 1)] = icon_rows(SIZE, n);
  return rows;
}

std::array<IconRows, ICON_COUNT> large_icon_rows = all_icon_rows<19>();
std::array<IconRows, ICON_COUNT> small_icon_rows = all_icon_rows<12>();

// ---------------------------------------------------------------------------------------------
// Gauge records.
// ---------------------------------------------------------------------------------------------
void GAUGE_CALLBACK do_nothing() {}
void GAUGE_CALLBACK icon_service(GaugeHeader*, uint32_t, uint32_t) {}

GaugeHeader gauge_record(const char* name, ElementHeader* elements, MouseRow* mouse_rows,
                         GaugeServiceRoutine service) {
  GaugeHeader g{};
  g.header_version = GAUGE_HEADER_VERSION;
  g.name = name;
  g.elements = elements;
  g.width_mm = 100;
  g.height_mm = 0;
  g.x_adjust = 0.0;
  g.y_adjust = 0.0;
  g.mouse_rows = mouse_rows;
  g.service = service;
  g.user_data = 0;
  g.parameters = nullptr;
  return g;
}

constexpr const char* LARGE_ICON_NAMES[ICON_COUNT] = {
    "INSicon1024_01", "INSicon1024_02", "INSicon1024_03", "INSicon1024_04",
    "INSicon1024_05", "INSicon1024_06", "INSicon1024_07", "INSicon1024_08"};
constexpr const char* SMALL_ICON_NAMES[ICON_COUNT] = {"INSicon_01", "INSicon_02", "INSicon_03",
                                                      "INSicon_04", "INSicon_05", "INSicon_06",
                                                      "INSicon_07", "INSicon_08"};

std::array<GaugeHeader, MODULE_GAUGE_COUNT> gauges;

// Builds the records and links the chains before the host reads Linkage. Runs during the
// module's static initialisation, which completes before dlopen returns.
bool build_gauges() {
  link_chain(ins_chain);
  link_chain(align_chain);
  gauges[GAUGE_INS] = gauge_record("INS", ins_chain.data(), ins_mouse_rows.data(), ins_service);
  gauges[GAUGE_INS_UPDATE] =
      gauge_record("INS_UPDATE", &ins_update_image, ins_update_mouse_rows, ins_update_service);
  gauges[GAUGE_INS_ALT_UPDATE] = gauge_record("INS_ALT_UPDATE", &ins_alt_update_image,
                                              ins_alt_update_mouse_rows, ins_alt_update_service);
  gauges[GAUGE_ALIGN] =
      gauge_record("ALIGN", align_chain.data(), align_mouse_rows.data(), align_service);
  for (std::size_t n = 0; n < ICON_COUNT; ++n) {
    large_icon_images[n] = LARGE_ICON_AT_LOAD;
    small_icon_images[n] = SMALL_ICON_AT_LOAD;
    gauges[GAUGE_FIRST_LARGE_ICON + n] = gauge_record(LARGE_ICON_NAMES[n], &large_icon_images[n],
                                                      large_icon_rows[n].data(), icon_service);
    gauges[GAUGE_FIRST_SMALL_ICON + n] = gauge_record(SMALL_ICON_NAMES[n], &small_icon_images[n],
                                                      small_icon_rows[n].data(), icon_service);
  }
  return true;
}

const bool gauges_built = build_gauges();

static_assert(GAUGE_FIRST_SMALL_ICON + ICON_COUNT == MODULE_GAUGE_COUNT);

}  // namespace

extern "C" {

ModuleLinkage Linkage = {
    MODULE_ID, do_nothing, do_nothing, 0, 0, MODULE_VERSION, {&gauges[0],  &gauges[1],  &gauges[2],
                                                              &gauges[3],  &gauges[4],  &gauges[5],
                                                              &gauges[6],  &gauges[7],  &gauges[8],
                                                              &gauges[9],  &gauges[10], &gauges[11],
                                                              &gauges[12], &gauges[13], &gauges[14],
                                                              &gauges[15], &gauges[16], &gauges[17],
                                                              &gauges[18], &gauges[19], nullptr}};

ModuleImports ImportTable = {{PANEL_SERVICES_MODULE_ID, nullptr}, {0, nullptr}};

}  // extern "C"

ElementHeader* ins_elements() {
  return ins_chain.data();
}
ElementHeader* align_elements() {
  return align_chain.data();
}

void restore_load_time_element_flags() {
  for (std::size_t i = 0; i < ins_chain.size(); ++i)
    ins_chain[i].image_flags = INS_CHAIN_AT_LOAD[i].image_flags;
  for (std::size_t i = 0; i < align_chain.size(); ++i)
    align_chain[i].image_flags = ALIGN_CHAIN_AT_LOAD[i].image_flags;
  ins_update_image.image_flags = UPDATE_IMAGE_AT_LOAD.image_flags;
  ins_alt_update_image.image_flags = UPDATE_IMAGE_AT_LOAD.image_flags;
  for (ElementHeader& image : large_icon_images) {
    image.image_flags = LARGE_ICON_AT_LOAD.image_flags;
  }
  for (ElementHeader& image : small_icon_images) {
    image.image_flags = SMALL_ICON_AT_LOAD.image_flags;
  }
}

void reset_module_for_tests() {
  ins_state = InsState{};
  restore_load_time_element_flags();
}
