// Linkage, ImportTable and the records of the module's 20 gauges: their element chains and mouse
// lists exactly as the host reads them at load.

#include "module/gauge_tables.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

#include "boundary/gauge_vocabulary.h"
#include "cdu/cdu_cycle.h"
#include "cdu/display_windows.h"
#include "cdu/function_keys.h"
#include "cdu/images.h"
#include "cdu/keyboard.h"
#include "msu/mode_selector.h"
#include "nav/navigation_cycle.h"
#include "state/gauge_elements.h"
#include "state/ins_state.h"

namespace {

// ---------------------------------------------------------------------------------------------
// What each element is, as the tables below list it: the fields the module sets in the record of
// its kind. Flags are given as at load; the cycles change only the hidden bit.
// ---------------------------------------------------------------------------------------------
constexpr uint32_t OPAQUE_ERASE = IMAGE_USE_TRANSPARENCY | IMAGE_USE_ERASE;               // 0x3
constexpr uint32_t BRIGHT = IMAGE_USE_TRANSPARENCY | IMAGE_USE_ERASE | IMAGE_USE_BRIGHT;  // 0x7
constexpr uint32_t TEXT_FLAGS = IMAGE_USE_ERASE | IMAGE_USE_BRIGHT;                       // 0x6

constexpr char DISPLAY_FONT[] = "Quartz";
constexpr int32_t DISPLAY_FONT_WEIGHT = 500;
constexpr uint8_t DISPLAY_CHARSET = 1;
constexpr uint32_t DISPLAY_AMBER = 0x3CB9FA;
constexpr uint32_t DISPLAY_DRAW_FLAGS =
    TEXT_CENTER_HORIZONTAL | TEXT_CENTER_VERTICAL | TEXT_SINGLE_LINE;
static_assert(sizeof DISPLAY_FONT <= FONT_FACE_BYTES);

struct ElementAtLoad {
  ElementKind kind = ELEMENT_STATIC_IMAGE;
  int32_t bitmap = NO_BITMAP;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t flags = 0;
  int32_t images = 0;                  // icons: how many, from `bitmap` on
  ElementRoutine routine = nullptr;    // icon, text, or a moving image's horizontal value
  ElementRoutine y_routine = nullptr;  // moving images: the vertical value
  uint16_t chars = 0;                  // texts: the window's characters and its box
  int32_t box_width = 0;
  int32_t box_height = 0;
  double x_minimum = 0.0, x_maximum = 0.0;  // moving images: the routines' value ranges
  double y_minimum = 0.0, y_maximum = 0.0;
};

constexpr ElementAtLoad static_image(int32_t bitmap, int32_t x, int32_t y, uint32_t flags) {
  ElementAtLoad e;
  e.kind = ELEMENT_STATIC_IMAGE;
  e.bitmap = bitmap;
  e.x = x;
  e.y = y;
  e.flags = flags;
  return e;
}

constexpr ElementAtLoad icon(int32_t bitmap, int32_t images, int32_t x, int32_t y, uint32_t flags,
                             ElementRoutine routine = nullptr) {
  ElementAtLoad e = static_image(bitmap, x, y, flags);
  e.kind = ELEMENT_ICON;
  e.images = images;
  e.routine = routine;
  return e;
}

constexpr ElementAtLoad text(uint16_t chars, int32_t x, int32_t y, int32_t width, int32_t height,
                             ElementRoutine routine) {
  ElementAtLoad e = static_image(NO_BITMAP, x, y, TEXT_FLAGS);
  e.kind = ELEMENT_STRING;
  e.chars = chars;
  e.box_width = width;
  e.box_height = height;
  e.routine = routine;
  return e;
}

// A thumbwheel: the 30 x 300 digit strip 4181 seen through the 30 x 30 window masked by 4182,
// the resource after it; vertical values 0..9 move the strip over its whole travel, the
// horizontal range has none.
constexpr int32_t DIGIT_STRIP_BITMAP = 4181;

constexpr ElementAtLoad thumbwheel(int32_t x, int32_t y, ElementRoutine vertical) {
  ElementAtLoad e = static_image(DIGIT_STRIP_BITMAP, x, y, BRIGHT);
  e.kind = ELEMENT_MOVING_IMAGE;
  e.routine = thumbwheel_horizontal;
  e.y_routine = vertical;
  e.y_maximum = 9.0;
  return e;
}

constexpr uint32_t HIDDEN = IMAGE_HIDDEN;

// Pressed image of digit key d (1..9): bitmaps rise by 3 per key; three columns, three rows.
constexpr ElementAtLoad digit_pressed_image(int d) {
  const int column = (d - 1) % 3;
  const int row = (d - 1) / 3;
  return icon(4135 + 3 * (d - 1), 1, 225 + 49 * column, 125 + 47 * row, HIDDEN | OPAQUE_ERASE);
}

// ---------------------------------------------------------------------------------------------
// The INS (CDU) chain, in drawing order.
// ---------------------------------------------------------------------------------------------
constexpr auto INS_CHAIN_AT_LOAD = std::to_array<ElementAtLoad>({
    static_image(4096, 0, 0, OPAQUE_ERASE),          // 0 face, 400 x 308
    icon(4099, 1, 38, 72, HIDDEN | BRIGHT),          // 1 HOLD lit
    icon(4102, 1, 275, 71, HIDDEN | BRIGHT),         // 2 BAT lit
    icon(4105, 1, 324, 71, HIDDEN | BRIGHT),         // 3 ALERT lit
    icon(4108, 1, 38, 72, HIDDEN | OPAQUE_ERASE),    // 4 HOLD pressed
    icon(4111, 1, 84, 71, HIDDEN | OPAQUE_ERASE),    // 5 SET pressed
    icon(4114, 1, 84, 71, HIDDEN | BRIGHT),          // 6 SET lit
    icon(4117, 1, 148, 72, HIDDEN | OPAQUE_ERASE),   // 7 INSERT pressed
    icon(4120, 1, 227, 71, HIDDEN | OPAQUE_ERASE),   // 8 LAST WPT pressed
    icon(4123, 1, 227, 71, HIDDEN | BRIGHT),         // 9 LAST WPT lit
    icon(4126, 1, 174, 175, HIDDEN | OPAQUE_ERASE),  // 10 WYPT CHG pressed
    icon(4129, 1, 285, 266, HIDDEN | OPAQUE_ERASE),  // 11 CLEAR pressed
    icon(4132, 1, 225, 266, HIDDEN | OPAQUE_ERASE),  // 12 key 0 pressed
    digit_pressed_image(1),                          // 13..21 keys 1..9 pressed
    digit_pressed_image(2),
    digit_pressed_image(3),
    digit_pressed_image(4),
    digit_pressed_image(5),
    digit_pressed_image(6),
    digit_pressed_image(7),
    digit_pressed_image(8),
    digit_pressed_image(9),
    icon(4162, 8, 35, 178, OPAQUE_ERASE, data_selector_knob_image),  // 22 knob
    icon(4172, 1, 142, 255, HIDDEN | OPAQUE_ERASE),                  // 23 switch at AUTO
    icon(4175, 1, 142, 255, HIDDEN | OPAQUE_ERASE),                  // 24 switch at MAN
    text(10, 206, 24, 140, 36, right_display_text),                  // 25
    text(9, 40, 24, 126, 36, left_display_text),                     // 26
    text(1, 344, 38, 15, 20, w_letter_text),                         // 27
    text(1, 344, 21, 15, 20, e_letter_text),                         // 28
    text(1, 169, 38, 15, 20, s_letter_text),                         // 29
    text(1, 169, 21, 15, 20, n_letter_text),                         // 30
    text(2, 178, 124, 28, 38, to_number_text),                       // 31
    text(2, 151, 124, 28, 38, from_number_text),                     // 32
    thumbwheel(56, 120, thumbwheel_tens_vertical),                   // 33
    thumbwheel(82, 120, thumbwheel_units_vertical),                  // 34
});

constexpr auto ALIGN_CHAIN_AT_LOAD = std::to_array<ElementAtLoad>({
    static_image(4185, 0, 0, OPAQUE_ERASE),                // 0 face, 400 x 102
    icon(4188, 1, 293, 31, HIDDEN | BRIGHT),               // 1 BAT lit
    icon(4191, 1, 206, 31, HIDDEN | BRIGHT),               // 2 READY NAV lit
    icon(4194, 4, 63, 12, OPAQUE_ERASE, mode_knob_image),  // 3 mode knob
});

// The cycles show and hide elements by their depth in the chain, so each depth the cycles name
// must hold the element it names: an element added, dropped or moved in a chain fails here.
static_assert(INS_CHAIN_AT_LOAD.size() == INS_ELEMENT_COUNT);
static_assert(ALIGN_CHAIN_AT_LOAD.size() == ALIGN_ELEMENT_COUNT);
// A host follows no more elements than this in one gauge's lists.
static_assert(INS_ELEMENT_COUNT <= MAX_CHAIN_ELEMENTS && ALIGN_ELEMENT_COUNT <= MAX_CHAIN_ELEMENTS);

constexpr bool at_depth(const ElementAtLoad& element, int32_t bitmap, ElementRoutine routine) {
  return element.bitmap == bitmap && element.routine == routine;
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
static_assert(INS_CHAIN_AT_LOAD[INS_DEPTH_DATA_SELECTOR_KNOB].images == SELECTOR_POSITION_COUNT);
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_SWITCH_AUTO], 4172, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_SWITCH_MAN], 4175, nullptr));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_RIGHT_DISPLAY], NO_BITMAP, right_display_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_LEFT_DISPLAY], NO_BITMAP, left_display_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_W_LETTER], NO_BITMAP, w_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_E_LETTER], NO_BITMAP, e_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_S_LETTER], NO_BITMAP, s_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_N_LETTER], NO_BITMAP, n_letter_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_TO_NUMBER], NO_BITMAP, to_number_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_FROM_NUMBER], NO_BITMAP, from_number_text));
static_assert(at_depth(INS_CHAIN_AT_LOAD[INS_DEPTH_THUMBWHEEL_TENS], DIGIT_STRIP_BITMAP,
                       thumbwheel_horizontal));
static_assert(INS_CHAIN_AT_LOAD[INS_DEPTH_THUMBWHEEL_TENS].y_routine == thumbwheel_tens_vertical);
static_assert(INS_CHAIN_AT_LOAD[INS_DEPTH_THUMBWHEEL_UNITS].y_routine == thumbwheel_units_vertical);
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_FACE], 4185, nullptr));
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_BAT_LIT], 4188, nullptr));
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_READY_NAV_LIT], 4191, nullptr));
static_assert(at_depth(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_MODE_KNOB], 4194, mode_knob_image));
static_assert(ALIGN_CHAIN_AT_LOAD[ALIGN_DEPTH_MODE_KNOB].images == MODE_KNOB_POSITION_COUNT);

constexpr auto UPDATE_CHAIN_AT_LOAD =
    std::to_array<ElementAtLoad>({static_image(4178, 0, 0, HIDDEN | OPAQUE_ERASE)});  // 10 x 10
constexpr auto LARGE_ICON_CHAIN_AT_LOAD =
    std::to_array<ElementAtLoad>({static_image(4200, 0, 0, BRIGHT)});  // 19 x 19
constexpr auto SMALL_ICON_CHAIN_AT_LOAD =
    std::to_array<ElementAtLoad>({static_image(4203, 0, 0, BRIGHT)});  // 12 x 12

constexpr int ICON_COUNT = PANEL_WINDOW_COUNT;

// ---------------------------------------------------------------------------------------------
// The live element records the host reads and writes in place. Each element sits in a slot
// that holds a record of any kind; its kind's record starts the slot, and the host reads no
// further than that record's size.
// ---------------------------------------------------------------------------------------------
union ElementRecord {
  StaticImageElement static_image;
  IconElement icon;
  MovingImageElement moving_image;
  TextElement text;
};

ElementHeader& header_of(ElementRecord& record) {
  return *reinterpret_cast<ElementHeader*>(&record);
}

// One gauge's chain: its element records, and its lists: lists[0] is the gauge's element list,
// lists[n] the next list of element n - 1, each holding one element and the terminator.
template <std::size_t N>
struct Chain {
  std::array<ElementRecord, N> records;
  std::array<std::array<ElementHeader*, 2>, N> lists;
};

void write_header(ElementHeader& header, const ElementAtLoad& at_load, GaugeHeader* gauge,
                  ElementHeader* const* next_list) {
  header.kind = at_load.kind;
  header.bitmap_id = at_load.bitmap;
  header.position = {at_load.x, at_load.y};
  header.gauge = gauge;
  header.next_list = next_list;
  header.image_flags = at_load.flags;
}

void write_text(TextElement& element, const ElementAtLoad& at_load) {
  element.box_size = {at_load.box_width, at_load.box_height};
  element.text_color = DISPLAY_AMBER;
  element.background_color = 0;
  std::copy(std::begin(DISPLAY_FONT), std::end(DISPLAY_FONT), element.font_face);
  element.font_weight = DISPLAY_FONT_WEIGHT;
  element.charset = DISPLAY_CHARSET;
  element.draw_flags = DISPLAY_DRAW_FLAGS;
  element.char_count = at_load.chars;
  element.char_height = at_load.box_height;  // one line filling the box
  element.routine = at_load.routine;
}

// Writes the record of `at_load`'s kind into `record`, every field the module does not set zero.
void write_record(ElementRecord& record, const ElementAtLoad& at_load, GaugeHeader* gauge,
                  ElementHeader* const* next_list) {
  record = ElementRecord{};
  switch (at_load.kind) {
    case ELEMENT_ICON:
      record.icon = IconElement{};
      record.icon.image_count = at_load.images;
      record.icon.routine = at_load.routine;
      break;
    case ELEMENT_MOVING_IMAGE:
      record.moving_image = MovingImageElement{};
      record.moving_image.x_minimum = at_load.x_minimum;
      record.moving_image.x_maximum = at_load.x_maximum;
      record.moving_image.y_minimum = at_load.y_minimum;
      record.moving_image.y_maximum = at_load.y_maximum;
      record.moving_image.x_routine = at_load.routine;
      record.moving_image.y_routine = at_load.y_routine;
      break;
    case ELEMENT_STRING:
      record.text = TextElement{};
      write_text(record.text, at_load);
      break;
    default:
      record.static_image = StaticImageElement{};
      break;
  }
  write_header(header_of(record), at_load, gauge, next_list);
}

template <std::size_t N>
void build_chain(Chain<N>& chain, const std::array<ElementAtLoad, N>& at_load, GaugeHeader* gauge) {
  for (std::size_t i = 0; i < N; ++i) {
    chain.lists[i] = {&header_of(chain.records[i]), nullptr};
    write_record(chain.records[i], at_load[i], gauge,
                 i + 1 < N ? chain.lists[i + 1].data() : nullptr);
  }
}

template <std::size_t N>
void restore_flags(Chain<N>& chain, const std::array<ElementAtLoad, N>& at_load) {
  for (std::size_t i = 0; i < N; ++i) header_of(chain.records[i]).image_flags = at_load[i].flags;
}

Chain<INS_ELEMENT_COUNT> ins_elements;
Chain<ALIGN_ELEMENT_COUNT> align_elements;
Chain<1> ins_update_elements;
Chain<1> ins_alt_update_elements;
std::array<Chain<1>, ICON_COUNT> large_icon_elements;
std::array<Chain<1>, ICON_COUNT> small_icon_elements;

// ---------------------------------------------------------------------------------------------
// Mouse lists.
// ---------------------------------------------------------------------------------------------
constexpr uint32_t CLICK = MOUSE_LEFT_SINGLE;
constexpr uint32_t REPEATS = MOUSE_LEFT_SINGLE | MOUSE_LEFT_REPEAT;

constexpr MouseRow group_open(int32_t x = 0, int32_t y = 0, int32_t w = 0, int32_t h = 0) {
  return {MOUSE_GROUP_OPEN, x, y, w, h, CURSOR_NONE, 0, 0, 0, nullptr, nullptr};
}
constexpr MouseRow box(int32_t x, int32_t y, int32_t w, int32_t h, int32_t cursor, uint32_t flags,
                       MouseRoutine routine) {
  return {MOUSE_BOX, x, y, w, h, cursor, 0, flags, 0, routine, nullptr};
}
constexpr MouseRow event_box(int32_t size, uint32_t host_event) {
  return {MOUSE_BOX, 0, 0, size, size, CURSOR_HAND, 0, CLICK, host_event, nullptr, nullptr};
}
constexpr MouseRow group_close() {
  return {MOUSE_GROUP_CLOSE, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr, nullptr};
}
constexpr MouseRow list_end() {
  return {MOUSE_END, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr, nullptr};
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
    box(225, 266, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<0>),
    box(225, 125, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<1>),
    box(274, 125, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<2>),
    box(323, 125, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<3>),
    box(225, 172, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<4>),
    box(274, 172, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<5>),
    box(323, 172, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<6>),
    box(225, 219, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<7>),
    box(274, 219, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<8>),
    box(323, 219, 39, 39, CURSOR_UP_ARROW, CLICK, digit_key<9>),
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
  return N > 0 && N <= MAX_MOUSE_ROWS && rows[0].kind == MOUSE_GROUP_OPEN && depth == 0;
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
void GAUGE_CALLBACK icon_service(GaugeHeader*, int32_t, uint32_t) {}

GaugeHeader gauge_record(const char* name, ElementHeader* const* element_list, MouseRow* mouse_list,
                         GaugeServiceRoutine service) {
  GaugeHeader g{};
  g.header_version = GAUGE_HEADER_VERSION;
  g.name = name;
  g.element_list = element_list;
  g.width_mm = 100;
  g.height_mm = 0;
  g.x_adjust = 0.0f;
  g.y_adjust = 0.0f;
  g.mouse_list = mouse_list;
  g.service = service;
  g.user_data = 0;
  g.parameters = nullptr;
  g.usage = nullptr;
  return g;
}

constexpr const char* LARGE_ICON_NAMES[ICON_COUNT] = {
    "INSicon1024_01", "INSicon1024_02", "INSicon1024_03", "INSicon1024_04",
    "INSicon1024_05", "INSicon1024_06", "INSicon1024_07", "INSicon1024_08"};
constexpr const char* SMALL_ICON_NAMES[ICON_COUNT] = {"INSicon_01", "INSicon_02", "INSicon_03",
                                                      "INSicon_04", "INSicon_05", "INSicon_06",
                                                      "INSicon_07", "INSicon_08"};

std::array<GaugeHeader, MODULE_GAUGE_COUNT> gauges;

template <std::size_t N>
void place_gauge(GaugeIndex index, const char* name, Chain<N>& chain,
                 const std::array<ElementAtLoad, N>& at_load, MouseRow* mouse_list,
                 GaugeServiceRoutine service) {
  GaugeHeader& gauge = gauges[static_cast<std::size_t>(index)];
  gauge = gauge_record(name, chain.lists[0].data(), mouse_list, service);
  build_chain(chain, at_load, &gauge);
}

// Builds the records and their lists before the host reads Linkage. Runs during the module's
// static initialisation, which completes before the module's loader returns.
bool build_gauges() {
  place_gauge(GAUGE_INS, "INS", ins_elements, INS_CHAIN_AT_LOAD, ins_mouse_rows.data(),
              ins_service);
  place_gauge(GAUGE_INS_UPDATE, "INS_UPDATE", ins_update_elements, UPDATE_CHAIN_AT_LOAD,
              ins_update_mouse_rows, ins_update_service);
  place_gauge(GAUGE_INS_ALT_UPDATE, "INS_ALT_UPDATE", ins_alt_update_elements, UPDATE_CHAIN_AT_LOAD,
              ins_alt_update_mouse_rows, ins_alt_update_service);
  place_gauge(GAUGE_ALIGN, "ALIGN", align_elements, ALIGN_CHAIN_AT_LOAD, align_mouse_rows.data(),
              align_service);
  for (std::size_t n = 0; n < ICON_COUNT; ++n) {
    place_gauge(static_cast<GaugeIndex>(GAUGE_FIRST_LARGE_ICON + n), LARGE_ICON_NAMES[n],
                large_icon_elements[n], LARGE_ICON_CHAIN_AT_LOAD, large_icon_rows[n].data(),
                icon_service);
    place_gauge(static_cast<GaugeIndex>(GAUGE_FIRST_SMALL_ICON + n), SMALL_ICON_NAMES[n],
                small_icon_elements[n], SMALL_ICON_CHAIN_AT_LOAD, small_icon_rows[n].data(),
                icon_service);
  }
  // The cycles reach the CDU's and the MSU's elements by depth.
  for (std::size_t i = 0; i < INS_ELEMENT_COUNT; ++i)
    ins_chain[i] = &header_of(ins_elements.records[i]);
  for (std::size_t i = 0; i < ALIGN_ELEMENT_COUNT; ++i)
    align_chain[i] = &header_of(align_elements.records[i]);
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

}  // extern "C"

void restore_load_time_element_flags() {
  restore_flags(ins_elements, INS_CHAIN_AT_LOAD);
  restore_flags(align_elements, ALIGN_CHAIN_AT_LOAD);
  restore_flags(ins_update_elements, UPDATE_CHAIN_AT_LOAD);
  restore_flags(ins_alt_update_elements, UPDATE_CHAIN_AT_LOAD);
  for (Chain<1>& chain : large_icon_elements) restore_flags(chain, LARGE_ICON_CHAIN_AT_LOAD);
  for (Chain<1>& chain : small_icon_elements) restore_flags(chain, SMALL_ICON_CHAIN_AT_LOAD);
}

void reset_module_for_tests() {
  ins_state = InsState{};
  restore_load_time_element_flags();
}
