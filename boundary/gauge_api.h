// The one header shared by the gauge module and any host that loads it.
//
// A host loads the shared module, reads `Linkage` (the module table listing every gauge
// record), writes the address of its panel-services table into `ImportTable`, and from then
// on talks to the module only through the records below: the gauge service routine once per
// frame and at each phase of a gauge's life, element routines when it draws, and mouse
// routines when the pilot clicks. The module talks back only through the two panel services
// `lookup_var` and `trigger_key_event`.
//
// The simulator does not copy these records: it reads the module table, each gauge record, each
// element and each mouse row in place, at its own offsets, and writes its working fields
// (handles, buffers, positions, back references) into the same records. So every record here has
// exactly the simulator's layout and size, for 32-bit modules (4-byte references) and 64-bit
// ones (8-byte references): packed to 4 bytes, fields in the simulator's order and widths,
// including the fields only the host uses. The offsets and sizes of both widths are pinned at the
// end of this header, and every build (32-bit and 64-bit Windows, Linux) compiles those checks.
//
// Everything here is plain data with C linkage for the two exported tables, so a host written
// in any language that can read C structs can load the module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "boundary/invariants.h"

// The calling convention of every routine that crosses the boundary, in either direction
// (service, element and mouse routines, the module's init and deinit, the panel services). The
// simulator calls 32-bit gauges with stdcall (the routine pops its own arguments); a routine of
// the other convention would leave the stack wrong by its argument size on every call. Other
// targets have one convention, and the macro is empty there.
#if defined(_WIN32) && defined(__i386__)
#define GAUGE_CALLBACK __stdcall
#else
#define GAUGE_CALLBACK
#endif

extern "C" {

// Every record that crosses the boundary is packed to 4 bytes: no double and no 8-byte reference
// is aligned beyond 4, as the simulator lays them out.
#pragma pack(push, 4)

// ---------------------------------------------------------------------------------------------
// Service codes a host sends to a gauge's service routine, in the order of a gauge's life.
// ---------------------------------------------------------------------------------------------
enum ServiceCode : int32_t {
  SERVICE_PRE_QUERY = 0,
  SERVICE_POST_QUERY = 1,
  SERVICE_PRE_INSTALL = 2,
  SERVICE_POST_INSTALL = 3,
  SERVICE_PRE_INITIALIZE = 4,  // once, when the gauge is placed
  SERVICE_POST_INITIALIZE = 5,
  SERVICE_PRE_UPDATE = 6,  // once per frame
  SERVICE_POST_UPDATE = 7,
  SERVICE_PRE_GENERATE = 8,
  SERVICE_POST_GENERATE = 9,
  SERVICE_PRE_DRAW = 10,
  SERVICE_POST_DRAW = 11,
  SERVICE_PRE_KILL = 12,  // once, before the gauge is destroyed
  SERVICE_POST_KILL = 13,
  SERVICE_CONNECT_TO_WINDOW = 14,
  SERVICE_DISCONNECT = 15,
  SERVICE_PANEL_OPEN = 16,
  SERVICE_PANEL_CLOSE = 17,
};

// A point of a gauge, in its pixels; a box is a point and a size.
struct GaugePoint {
  int32_t x;
  int32_t y;
};
using MousePoint = GaugePoint;

// ---------------------------------------------------------------------------------------------
// Host variables: the record the module hands to lookup_var.
// ---------------------------------------------------------------------------------------------
struct HostVar {
  uint32_t token_id;    // which variable; 0 is none
  void* value_ref;      // filled by the host
  uint32_t value_type;  // the host's own tag for the value's kind
  double value;         // current value, refreshed by lookup_var
  double previous_value;
};

// ---------------------------------------------------------------------------------------------
// Elements. A gauge's element list is a null-terminated list of element references; each element
// holds a reference to the list of the elements drawn after it (or null). The modules here make
// each gauge a single chain: every list holds one element. Every element starts with the same
// header; the kind says which record it opens.
// ---------------------------------------------------------------------------------------------
enum ElementKind : int32_t {
  ELEMENT_STATIC_IMAGE = 0,
  ELEMENT_NEEDLE = 1,
  ELEMENT_STRING = 2,
  ELEMENT_SLIDER = 3,
  ELEMENT_ICON = 4,
  ELEMENT_MOVING_IMAGE = 5,
  ELEMENT_SPRITE = 6,
};

// Bits of an element's image-flags word.
constexpr uint32_t IMAGE_USE_TRANSPARENCY = 0x1;
constexpr uint32_t IMAGE_USE_ERASE = 0x2;
constexpr uint32_t IMAGE_USE_BRIGHT = 0x4;  // stays lit when the panel is dark
constexpr uint32_t IMAGE_HIDDEN = 0x40000000;

// Draw flags of a text element.
constexpr uint32_t TEXT_CENTER_HORIZONTAL = 0x01;
constexpr uint32_t TEXT_CENTER_VERTICAL = 0x04;
constexpr uint32_t TEXT_SINGLE_LINE = 0x20;

// A text element's bitmap id: it draws no bitmap.
constexpr int32_t NO_BITMAP = -1;

struct GaugeHeader;
struct ElementHeader;

// Asked by the host for an element's value whenever it draws that element: a text routine
// writes its text into the buffer the host lent (TextElement) and returns a number; an icon's
// returns the image to show; a moving image's, its position along one axis.
using ElementRoutine = double(GAUGE_CALLBACK*)(ElementHeader* element);

struct ElementHeader {
  ElementKind kind;
  int32_t bitmap_id;             // the element's bitmap resource, NO_BITMAP for a text
  GaugePoint position;           // top left corner, gauge pixels
  GaugePoint previous_position;  // host
  GaugePoint pivot;
  GaugeHeader* gauge;               // the gauge the element belongs to
  ElementHeader* previous;          // host
  ElementHeader* const* next_list;  // null-terminated list of the elements after this one, or null
  void* failure;
  uint32_t image_flags;  // IMAGE_* bits; the module changes only IMAGE_HIDDEN
  uint32_t special_flags;
  uint32_t reserved;
};

// A bitmap drawn as it is.
struct StaticImageElement {
  ElementHeader header;  // kind ELEMENT_STATIC_IMAGE
  void* image_set[4];    // host
  void* save_buffer;
  void* handles[2];
  void* reserved[2];
};

// One of several bitmaps: `image_count` images, the header's bitmap and the ids that follow; the
// routine's result is the image to show (switch type 0).
struct IconElement {
  ElementHeader header;  // kind ELEMENT_ICON
  HostVar source;        // token 0: the routine decides
  void* source_routine;
  int32_t switch_type;
  int32_t switch_count;
  double scale;
  int32_t offset;
  int32_t image_count;
  int32_t current_image;   // host
  int32_t target_image;    // host
  void* image_data;        // host
  void* save_buffer;       // host
  ElementRoutine routine;  // null for a fixed image
  uint32_t reserved;
};

// A window of a bitmap moving over it: the header's bitmap is the strip, the resource after it
// the mask whose size is the window. Each axis maps its routine's value from [minimum, maximum]
// onto the strip's travel.
struct MovingImageElement {
  ElementHeader header;  // kind ELEMENT_MOVING_IMAGE
  HostVar x_source;
  void* x_source_routine;
  double x_minimum;
  double x_maximum;
  void* x_lag_routine;
  HostVar y_source;
  void* y_source_routine;
  double y_minimum;
  double y_maximum;
  void* y_lag_routine;
  double x_scale, y_scale, x_offset, y_offset;  // host
  GaugePoint save_position;                     // host
  void* image_set[4];                           // host
  void* mask_image_set[4];                      // host
  void* mask_data;                              // host
  void* save_buffer;                            // host
  ElementRoutine x_routine;
  ElementRoutine y_routine;
  double previous_x;  // host
  double previous_y;  // host
};

constexpr std::size_t FONT_FACE_BYTES = 32;

// A text window. The host lends `text_buffer` (room for `char_count` characters and the
// terminator: the interface tells a routine no other size) and asks the routine to fill it.
// The routine's result is kept as the first source variable's current value.
struct TextElement {
  ElementHeader header;  // kind ELEMENT_STRING, bitmap NO_BITMAP
  HostVar sources[3];
  double saved_values[3];
  void* source_routines[3];
  void* source_function;
  char* text_buffer;                // lent by the host; null until it is
  char* previous_text;              // host
  GaugePoint box_size;              // width and height of the window
  void* text_image;                 // host
  void* save_buffer;                // host
  uint32_t text_color;              // 0x00BBGGRR
  uint32_t background_color;        // 0x00BBGGRR
  uint32_t highlight_color;         // 0x00BBGGRR
  void* handles[7];                 // host
  char font_face[FONT_FACE_BYTES];  // zero-terminated, inline
  int32_t font_weight;
  uint8_t charset;
  uint8_t charset_padding[3];
  uint32_t draw_flags;  // TEXT_* bits
  uint16_t char_count;  // characters the window holds
  uint16_t char_width;
  int16_t selection_start;  // -1: none
  int16_t selection_end;
  void* highlight_list;
  int32_t saved_sequence;
  int32_t char_height;  // pixels
  ElementRoutine routine;
  int32_t use_own_color;
  uint32_t own_color;
};

// ---------------------------------------------------------------------------------------------
// Mouse lists: rows in order, up to the end row; groups nest boxes, the first box that holds
// the point wins.
// ---------------------------------------------------------------------------------------------
enum MouseRowKind : int32_t {
  MOUSE_END = 0,
  MOUSE_GROUP_OPEN = 1,  // box 0,0,0,0 stands for the whole gauge
  MOUSE_BOX = 2,
  MOUSE_GROUP_CLOSE = 3,
};

constexpr int32_t CURSOR_NONE = -1;
constexpr int32_t CURSOR_NORMAL = 0;
constexpr int32_t CURSOR_UP_ARROW = 1;
constexpr int32_t CURSOR_DOWN_ARROW = 2;
constexpr int32_t CURSOR_LEFT_ARROW = 3;
constexpr int32_t CURSOR_RIGHT_ARROW = 4;
constexpr int32_t CURSOR_HAND = 5;

constexpr uint32_t MOUSE_LEFT_SINGLE = 0x20000000;
constexpr uint32_t MOUSE_LEFT_REPEAT = 0x00200000;  // with MOUSE_LEFT_SINGLE: repeats while held
constexpr uint32_t MOUSE_RIGHT_SINGLE = 0x80000000;
constexpr uint32_t MOUSE_LEFT_DRAG = 0x00800000;

// A 4-byte boolean, as the simulator's routines return them.
using GaugeBool = int32_t;

// Called on a click inside the row's box with the point (gauge pixels) and the row's flags.
using MouseRoutine = GaugeBool(GAUGE_CALLBACK*)(const GaugePoint* point, uint32_t event_flags);

struct MouseRow {
  MouseRowKind kind;
  int32_t x, y, width, height;
  int32_t cursor;
  uint32_t help_id;
  uint32_t event_flags;
  uint32_t host_event_id;  // sent by the host itself when the row names no routine
  MouseRoutine routine;
  void* host_data;  // host; null at load
};

// ---------------------------------------------------------------------------------------------
// Gauge records and the module table.
// ---------------------------------------------------------------------------------------------
using GaugeServiceRoutine = void(GAUGE_CALLBACK*)(GaugeHeader* gauge, int32_t service_code,
                                                  uint32_t extra);
using GaugePhaseRoutine = void(GAUGE_CALLBACK*)();
using ModuleRoutine = void(GAUGE_CALLBACK*)();

constexpr uint32_t GAUGE_HEADER_VERSION = 800;
// query, install, initialize, update, generate, draw, kill
constexpr uint32_t GAUGE_PHASE_ROUTINES = 7;

constexpr std::size_t REFERENCE_SIZE = sizeof(void*);
// The gauge record ends with fields the host keeps for itself, zero at load.
constexpr std::size_t GAUGE_HOST_FIELD_BYTES = REFERENCE_SIZE == 4 ? 152 : 180;

struct GaugeHeader {
  uint32_t header_version;  // GAUGE_HEADER_VERSION
  const char* name;
  ElementHeader* const* element_list;  // null-terminated list of the first elements
  GaugePhaseRoutine phase_routines[GAUGE_PHASE_ROUTINES];  // all absent in this module
  void* reserved1;
  uint32_t width_mm;
  uint32_t height_mm;
  float x_adjust;
  float y_adjust;
  void* reserved2;
  void* reserved3;
  GaugePoint position;
  void* reserved4;
  MouseRow* mouse_list;
  GaugeServiceRoutine service;
  uintptr_t user_data;  // reference-sized on 64-bit
  const char* parameters;
  const char* usage;
  unsigned char host_fields[GAUGE_HOST_FIELD_BYTES];
};

constexpr uint32_t MODULE_ID = 0x13;
constexpr uint32_t MODULE_VERSION = 0x800;
constexpr std::size_t MODULE_GAUGE_COUNT = 20;

struct ModuleLinkage {
  uint32_t module_id;  // MODULE_ID
  ModuleRoutine module_init;
  ModuleRoutine module_deinit;
  uint32_t flags;
  uint32_t priority;
  uint32_t version;                             // MODULE_VERSION
  GaugeHeader* gauges[MODULE_GAUGE_COUNT + 1];  // in panel order, null-terminated
};

// ---------------------------------------------------------------------------------------------
// The host's panel-services table: the same six fields as the module table, then routine
// references, of which the module calls two. A host fills those and may leave the others empty.
// ---------------------------------------------------------------------------------------------
using PanelService = void(GAUGE_CALLBACK*)();
constexpr std::size_t PANEL_SERVICE_ROUTINE_COUNT = 64;
constexpr std::size_t PANEL_ROUTINE_TRIGGER_KEY_EVENT = 30;  // the 31st routine
constexpr std::size_t PANEL_ROUTINE_LOOKUP_VAR = 34;         // the 35th

using LookupVarService = void(GAUGE_CALLBACK*)(HostVar* var);
using TriggerKeyEventService = int32_t(GAUGE_CALLBACK*)(uint32_t event_id, uint32_t value);

struct PanelServiceTable {
  uint32_t module_id;
  ModuleRoutine module_init;
  ModuleRoutine module_deinit;
  uint32_t flags;
  uint32_t priority;
  uint32_t version;
  PanelService routines[PANEL_SERVICE_ROUTINE_COUNT];
};

constexpr uint32_t PANEL_SERVICES_MODULE_ID = 0x0F;

struct ImportEntry {
  uint32_t module_id;
  PanelServiceTable* table;  // written by the host before any gauge routine runs
};

struct ModuleImports {
  ImportEntry panel_services;  // module id PANEL_SERVICES_MODULE_ID
  ImportEntry terminator;      // {0, null}
};

#pragma pack(pop)

// ---------------------------------------------------------------------------------------------
// The layout the simulator reads, pinned: every offset and size of its records, for 32-bit
// references (first number) and 64-bit ones (second).
// ---------------------------------------------------------------------------------------------
constexpr std::size_t by_width(std::size_t bytes_32, std::size_t bytes_64) {
  return REFERENCE_SIZE == 4 ? bytes_32 : bytes_64;
}
static_assert(REFERENCE_SIZE == 4 || REFERENCE_SIZE == 8);
#define GAUGE_AT(record, field, at_32, at_64) \
  static_assert(offsetof(record, field) == by_width(at_32, at_64), #record "." #field)
#define GAUGE_SIZE(record, size_32, size_64) \
  static_assert(sizeof(record) == by_width(size_32, size_64), "size of " #record)

GAUGE_AT(ModuleLinkage, module_id, 0, 0);
GAUGE_AT(ModuleLinkage, module_init, 4, 4);
GAUGE_AT(ModuleLinkage, module_deinit, 8, 12);
GAUGE_AT(ModuleLinkage, flags, 12, 20);
GAUGE_AT(ModuleLinkage, priority, 16, 24);
GAUGE_AT(ModuleLinkage, version, 20, 28);
GAUGE_AT(ModuleLinkage, gauges, 24, 32);

GAUGE_AT(ImportEntry, module_id, 0, 0);
GAUGE_AT(ImportEntry, table, 4, 4);
GAUGE_SIZE(ImportEntry, 8, 12);
GAUGE_AT(ModuleImports, terminator, 8, 12);

GAUGE_AT(PanelServiceTable, routines, 24, 32);
static_assert(offsetof(PanelServiceTable, routines) +
                  PANEL_ROUTINE_TRIGGER_KEY_EVENT * sizeof(PanelService) ==
              by_width(0x90, 0x110));
static_assert(offsetof(PanelServiceTable, routines) +
                  PANEL_ROUTINE_LOOKUP_VAR * sizeof(PanelService) ==
              by_width(0xA0, 0x130));

GAUGE_AT(GaugeHeader, header_version, 0, 0);
GAUGE_AT(GaugeHeader, name, 4, 4);
GAUGE_AT(GaugeHeader, element_list, 8, 12);
GAUGE_AT(GaugeHeader, phase_routines, 12, 20);
GAUGE_AT(GaugeHeader, reserved1, 40, 76);
GAUGE_AT(GaugeHeader, width_mm, 44, 84);
GAUGE_AT(GaugeHeader, height_mm, 48, 88);
GAUGE_AT(GaugeHeader, x_adjust, 52, 92);
GAUGE_AT(GaugeHeader, y_adjust, 56, 96);
GAUGE_AT(GaugeHeader, reserved2, 60, 100);
GAUGE_AT(GaugeHeader, reserved3, 64, 108);
GAUGE_AT(GaugeHeader, position, 68, 116);
GAUGE_AT(GaugeHeader, reserved4, 76, 124);
GAUGE_AT(GaugeHeader, mouse_list, 80, 132);
GAUGE_AT(GaugeHeader, service, 84, 140);
GAUGE_AT(GaugeHeader, user_data, 88, 148);
GAUGE_AT(GaugeHeader, parameters, 92, 156);
GAUGE_AT(GaugeHeader, usage, 96, 164);
GAUGE_AT(GaugeHeader, host_fields, 100, 172);
GAUGE_SIZE(GaugeHeader, 252, 352);
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

GAUGE_AT(ElementHeader, kind, 0, 0);
GAUGE_AT(ElementHeader, bitmap_id, 4, 4);
GAUGE_AT(ElementHeader, position, 8, 8);
GAUGE_AT(ElementHeader, previous_position, 16, 16);
GAUGE_AT(ElementHeader, pivot, 24, 24);
GAUGE_AT(ElementHeader, gauge, 32, 32);
GAUGE_AT(ElementHeader, previous, 36, 40);
GAUGE_AT(ElementHeader, next_list, 40, 48);
GAUGE_AT(ElementHeader, failure, 44, 56);
GAUGE_AT(ElementHeader, image_flags, 48, 64);
GAUGE_AT(ElementHeader, special_flags, 52, 68);
GAUGE_AT(ElementHeader, reserved, 56, 72);
GAUGE_SIZE(ElementHeader, 60, 76);

GAUGE_AT(HostVar, token_id, 0, 0);
GAUGE_AT(HostVar, value_ref, 4, 4);
GAUGE_AT(HostVar, value_type, 8, 12);
GAUGE_AT(HostVar, value, 12, 16);
GAUGE_AT(HostVar, previous_value, 20, 24);
GAUGE_SIZE(HostVar, 28, 32);

GAUGE_AT(StaticImageElement, image_set, 60, 76);
GAUGE_SIZE(StaticImageElement, 96, 148);

GAUGE_AT(IconElement, source, 60, 76);
GAUGE_AT(IconElement, source_routine, 88, 108);
GAUGE_AT(IconElement, switch_type, 92, 116);
GAUGE_AT(IconElement, switch_count, 96, 120);
GAUGE_AT(IconElement, scale, 100, 124);
GAUGE_AT(IconElement, offset, 108, 132);
GAUGE_AT(IconElement, image_count, 112, 136);
GAUGE_AT(IconElement, current_image, 116, 140);
GAUGE_AT(IconElement, target_image, 120, 144);
GAUGE_AT(IconElement, image_data, 124, 148);
GAUGE_AT(IconElement, save_buffer, 128, 156);
GAUGE_AT(IconElement, routine, 132, 164);
GAUGE_AT(IconElement, reserved, 136, 172);
GAUGE_SIZE(IconElement, 140, 176);

GAUGE_AT(MovingImageElement, x_source, 60, 76);
GAUGE_AT(MovingImageElement, x_source_routine, 88, 108);
GAUGE_AT(MovingImageElement, x_minimum, 92, 116);
GAUGE_AT(MovingImageElement, x_maximum, 100, 124);
GAUGE_AT(MovingImageElement, x_lag_routine, 108, 132);
GAUGE_AT(MovingImageElement, y_source, 112, 140);
GAUGE_AT(MovingImageElement, y_source_routine, 140, 172);
GAUGE_AT(MovingImageElement, y_minimum, 144, 180);
GAUGE_AT(MovingImageElement, y_maximum, 152, 188);
GAUGE_AT(MovingImageElement, y_lag_routine, 160, 196);
GAUGE_AT(MovingImageElement, x_scale, 164, 204);
GAUGE_AT(MovingImageElement, y_offset, 188, 228);
GAUGE_AT(MovingImageElement, save_position, 196, 236);
GAUGE_AT(MovingImageElement, image_set, 204, 244);
GAUGE_AT(MovingImageElement, mask_image_set, 220, 276);
GAUGE_AT(MovingImageElement, mask_data, 236, 308);
GAUGE_AT(MovingImageElement, save_buffer, 240, 316);
GAUGE_AT(MovingImageElement, x_routine, 244, 324);
GAUGE_AT(MovingImageElement, y_routine, 248, 332);
GAUGE_AT(MovingImageElement, previous_x, 252, 340);
GAUGE_AT(MovingImageElement, previous_y, 260, 348);
GAUGE_SIZE(MovingImageElement, 268, 356);

GAUGE_AT(TextElement, sources, 60, 76);
GAUGE_AT(TextElement, saved_values, 144, 172);
GAUGE_AT(TextElement, source_routines, 168, 196);
GAUGE_AT(TextElement, source_function, 180, 220);
GAUGE_AT(TextElement, text_buffer, 184, 228);
GAUGE_AT(TextElement, previous_text, 188, 236);
GAUGE_AT(TextElement, box_size, 192, 244);
GAUGE_AT(TextElement, text_image, 200, 252);
GAUGE_AT(TextElement, save_buffer, 204, 260);
GAUGE_AT(TextElement, text_color, 208, 268);
GAUGE_AT(TextElement, background_color, 212, 272);
GAUGE_AT(TextElement, highlight_color, 216, 276);
GAUGE_AT(TextElement, handles, 220, 280);
GAUGE_AT(TextElement, font_face, 248, 336);
GAUGE_AT(TextElement, font_weight, 280, 368);
GAUGE_AT(TextElement, charset, 284, 372);
GAUGE_AT(TextElement, draw_flags, 288, 376);
GAUGE_AT(TextElement, char_count, 292, 380);
GAUGE_AT(TextElement, char_width, 294, 382);
GAUGE_AT(TextElement, selection_start, 296, 384);
GAUGE_AT(TextElement, selection_end, 298, 386);
GAUGE_AT(TextElement, highlight_list, 300, 388);
GAUGE_AT(TextElement, saved_sequence, 304, 396);
GAUGE_AT(TextElement, char_height, 308, 400);
GAUGE_AT(TextElement, routine, 312, 404);
GAUGE_AT(TextElement, use_own_color, 316, 412);
GAUGE_AT(TextElement, own_color, 320, 416);
GAUGE_SIZE(TextElement, 324, 420);

GAUGE_AT(MouseRow, kind, 0, 0);
GAUGE_AT(MouseRow, x, 4, 4);
GAUGE_AT(MouseRow, y, 8, 8);
GAUGE_AT(MouseRow, width, 12, 12);
GAUGE_AT(MouseRow, height, 16, 16);
GAUGE_AT(MouseRow, cursor, 20, 20);
GAUGE_AT(MouseRow, help_id, 24, 24);
GAUGE_AT(MouseRow, event_flags, 28, 28);
GAUGE_AT(MouseRow, host_event_id, 32, 32);
GAUGE_AT(MouseRow, routine, 36, 36);
GAUGE_AT(MouseRow, host_data, 40, 44);
GAUGE_SIZE(MouseRow, 44, 52);

#undef GAUGE_AT
#undef GAUGE_SIZE

// The two symbols a module exports.
#if defined(_WIN32)
#define GAUGE_EXPORT __declspec(dllexport)
#else
#define GAUGE_EXPORT __attribute__((visibility("default")))
#endif

GAUGE_EXPORT extern ModuleLinkage Linkage;
GAUGE_EXPORT extern ModuleImports ImportTable;

}  // extern "C"

// The kind of element each record is opened by.
template <typename Record>
struct RecordKind;
template <>
struct RecordKind<StaticImageElement> {
  static constexpr ElementKind kind = ELEMENT_STATIC_IMAGE;
};
template <>
struct RecordKind<IconElement> {
  static constexpr ElementKind kind = ELEMENT_ICON;
};
template <>
struct RecordKind<MovingImageElement> {
  static constexpr ElementKind kind = ELEMENT_MOVING_IMAGE;
};
template <>
struct RecordKind<TextElement> {
  static constexpr ElementKind kind = ELEMENT_STRING;
};

// Every element record opens with its header, so a reference to the header is a reference to
// the record (the kind says which): the records are standard-layout, the header their first
// member. Every caller has looked at the kind first; a cast to another kind's record would read
// and write past a smaller record.
template <typename Record>
inline Record& element_record(ElementHeader& header) {
  INS_INVARIANT(header.kind == RecordKind<Record>::kind);
  return *reinterpret_cast<Record*>(&header);
}
template <typename Record>
inline const Record& element_record(const ElementHeader& header) {
  INS_INVARIANT(header.kind == RecordKind<Record>::kind);
  return *reinterpret_cast<const Record*>(&header);
}
