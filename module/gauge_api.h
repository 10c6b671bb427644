// The one header shared by the gauge module and any host that loads it.
//
// A host loads the shared module, reads `Linkage` (the module table listing every gauge
// record), writes the address of its panel-services table into `ImportTable`, and from then
// on talks to the module only through the records below: the gauge service routine once per
// frame and at each phase of a gauge's life, element routines when it draws, and mouse
// routines when the pilot clicks. The module talks back only through the two panel services
// `lookup_var` and `trigger_key_event`.
//
// Everything here is plain data with C linkage for the two exported tables, so a host written
// in any language that can read C structs can load the module.
#pragma once

#include <cstddef>
#include <cstdint>

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

// ---------------------------------------------------------------------------------------------
// Service codes a host sends to a gauge's service routine.
// ---------------------------------------------------------------------------------------------
constexpr uint32_t SERVICE_PRE_INSTALL = 0;
constexpr uint32_t SERVICE_PRE_INITIALIZE = 4;  // once, when the gauge is placed
constexpr uint32_t SERVICE_PRE_UPDATE = 6;      // once per frame
constexpr uint32_t SERVICE_PRE_KILL = 12;       // once, before the gauge is destroyed

// ---------------------------------------------------------------------------------------------
// Elements: each gauge draws a single chain of elements, first to last (later ones on top).
// ---------------------------------------------------------------------------------------------
enum ElementKind : uint32_t {
  ELEMENT_STATIC_IMAGE = 1,
  ELEMENT_ICON = 2,
  ELEMENT_MOVING_IMAGE = 3,
  ELEMENT_STRING = 4,
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

struct ElementHeader;

// Asked by the host for an element's value whenever it draws that element.
// Text elements write their text into `text_buffer` (at most `text_buffer_size` bytes including
// the terminator, supplied by the host) and return a number; icons return an image index;
// moving images return a position within their range.
using ElementRoutine = double(GAUGE_CALLBACK*)(ElementHeader* element);

struct ElementHeader {
  ElementKind kind;
  uint32_t image_flags;  // IMAGE_* bits; the module changes only IMAGE_HIDDEN
  int32_t x;             // position of the element's top left corner, gauge pixels
  int32_t y;
  int32_t width;  // bitmap size, or the text box of a text element
  int32_t height;
  uint32_t bitmap_id;    // first bitmap (icons: image k is bitmap_id + k); 0 for text
  uint32_t image_count;  // icons: number of images; 1 for every other image element

  // Text elements only.
  uint32_t char_count;  // characters the window holds
  const char* font_face;
  int32_t font_weight;
  uint32_t charset;
  uint32_t text_color;        // 0x00BBGGRR
  uint32_t background_color;  // 0x00BBGGRR
  uint32_t draw_flags;        // TEXT_* bits

  // Moving images only: a window of `mask_bitmap_id`'s size over the strip `bitmap_id`.
  uint32_t mask_bitmap_id;
  double x_range_min, x_range_max;  // value range of the horizontal routine
  double y_range_min, y_range_max;  // value range of the vertical routine
  int32_t x_travel_px;              // pixels the strip moves over its whole range
  int32_t y_travel_px;

  ElementRoutine routine;           // text, icon, or a moving image's horizontal value
  ElementRoutine vertical_routine;  // moving images: the vertical value
  ElementHeader* next;              // the next element of the chain, or null

  // Owned by the host: the buffer it lends a text routine, and the values it last read.
  char* text_buffer;
  uint32_t text_buffer_size;
  double current_value;    // text result, icon image index, moving image horizontal value
  double current_value_y;  // moving image vertical value
};

// ---------------------------------------------------------------------------------------------
// Mouse lists: rows in order; groups nest boxes, the first box that holds the point wins.
// ---------------------------------------------------------------------------------------------
enum MouseRowKind : uint32_t {
  MOUSE_END = 0,
  MOUSE_GROUP_OPEN = 1,  // box 0,0,0,0 stands for the whole gauge
  MOUSE_BOX = 2,
  MOUSE_GROUP_CLOSE = 3,
};

constexpr int32_t CURSOR_NONE = -1;
constexpr int32_t CURSOR_UP_ARROW = 1;
constexpr int32_t CURSOR_LEFT_ARROW = 3;
constexpr int32_t CURSOR_RIGHT_ARROW = 4;
constexpr int32_t CURSOR_HAND = 5;

constexpr uint32_t MOUSE_LEFT_SINGLE = 0x20000000;
constexpr uint32_t MOUSE_LEFT_REPEAT = 0x00200000;  // with MOUSE_LEFT_SINGLE: repeats while held

struct MousePoint {
  int32_t x;
  int32_t y;
};

// Called on a click inside the row's box with the point (gauge pixels) and the row's flags.
using MouseRoutine = int32_t(GAUGE_CALLBACK*)(const MousePoint* point, uint32_t event_flags);

struct MouseRow {
  MouseRowKind kind;
  int32_t x, y, width, height;
  int32_t cursor;
  uint32_t help_id;
  uint32_t event_flags;
  uint32_t host_event_id;  // sent by the host itself when the row names no routine
  MouseRoutine routine;
};

// ---------------------------------------------------------------------------------------------
// Gauge records and the module table.
// ---------------------------------------------------------------------------------------------
struct GaugeHeader;

using GaugeServiceRoutine = void(GAUGE_CALLBACK*)(GaugeHeader* gauge, uint32_t service_code,
                                                  uint32_t extra);
using GaugePhaseRoutine = void(GAUGE_CALLBACK*)();
using ModuleRoutine = void(GAUGE_CALLBACK*)();

constexpr uint32_t GAUGE_HEADER_VERSION = 800;
constexpr uint32_t GAUGE_PHASE_ROUTINES =
    7;  // query, install, initialize, update, generate, draw, kill

struct GaugeHeader {
  uint32_t header_version;  // GAUGE_HEADER_VERSION
  const char* name;
  ElementHeader* elements;                                 // first element of the chain
  GaugePhaseRoutine phase_routines[GAUGE_PHASE_ROUTINES];  // all absent in this module
  void* reserved1;
  uint32_t width_mm;
  uint32_t height_mm;
  double x_adjust;
  double y_adjust;
  void* reserved2;
  void* reserved3;
  int32_t x;
  int32_t y;
  void* reserved4;
  MouseRow* mouse_rows;
  GaugeServiceRoutine service;
  uint32_t user_data;
  void* parameters;
  void* host_instance;  // owned by the host: its own per-placement state
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
// Host variables and the host's panel services.
// ---------------------------------------------------------------------------------------------
struct HostVar {
  uint32_t token_id;
  void* value_ref;      // filled by the host
  uint32_t value_type;  // the host's own tag for the value's kind
  double value;         // current value, refreshed by lookup_var
  double previous_value;
};

// The host's panel-services table: an array of function slots. A host fills the two slots the
// module calls and may leave the others empty.
using PanelService = void(GAUGE_CALLBACK*)();
constexpr std::size_t PANEL_SERVICE_SLOT_COUNT = 64;
constexpr std::size_t PANEL_SLOT_TRIGGER_KEY_EVENT = 0x90 / 4;  // 36
constexpr std::size_t PANEL_SLOT_LOOKUP_VAR = 0xA0 / 4;         // 40

using LookupVarService = void(GAUGE_CALLBACK*)(HostVar* var);
using TriggerKeyEventService = uint32_t(GAUGE_CALLBACK*)(uint32_t event_id, uint32_t value);

struct PanelServiceTable {
  PanelService slots[PANEL_SERVICE_SLOT_COUNT];
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

// ---------------------------------------------------------------------------------------------
// The layout the simulator reads. With 4-byte references (32-bit Windows) the tables are exactly
// the 32-bit fields the simulator expects; with 8-byte references the same fields and slots
// simply widen, so one host of either width finds everything where it looks.
// ---------------------------------------------------------------------------------------------
constexpr std::size_t REFERENCE_SIZE = sizeof(void*);

static_assert(sizeof(PanelService) == REFERENCE_SIZE);
static_assert(offsetof(PanelServiceTable, slots) == 0);
static_assert(PANEL_SLOT_LOOKUP_VAR * sizeof(PanelService) == 0xA0 / 4 * REFERENCE_SIZE);
static_assert(PANEL_SLOT_TRIGGER_KEY_EVENT * sizeof(PanelService) == 0x90 / 4 * REFERENCE_SIZE);
static_assert(sizeof(PanelServiceTable) == PANEL_SERVICE_SLOT_COUNT * REFERENCE_SIZE);

// 32-bit: every field of the module table and of the import table is 4 bytes, in order.
static_assert(REFERENCE_SIZE != 4 || PANEL_SLOT_LOOKUP_VAR * sizeof(PanelService) == 0xA0);
static_assert(REFERENCE_SIZE != 4 || PANEL_SLOT_TRIGGER_KEY_EVENT * sizeof(PanelService) == 0x90);
static_assert(REFERENCE_SIZE != 4 ||
              (offsetof(ModuleLinkage, module_id) == 0 &&
               offsetof(ModuleLinkage, module_init) == 4 &&
               offsetof(ModuleLinkage, module_deinit) == 8 &&
               offsetof(ModuleLinkage, flags) == 12 && offsetof(ModuleLinkage, priority) == 16 &&
               offsetof(ModuleLinkage, version) == 20 && offsetof(ModuleLinkage, gauges) == 24 &&
               sizeof(ModuleLinkage) == 24 + 4 * (MODULE_GAUGE_COUNT + 1)));
static_assert(REFERENCE_SIZE != 4 ||
              (offsetof(ModuleImports, panel_services) == 0 &&
               offsetof(ImportEntry, module_id) == 0 && offsetof(ImportEntry, table) == 4 &&
               offsetof(ModuleImports, terminator) == 8 && sizeof(ModuleImports) == 16));
static_assert(REFERENCE_SIZE != 4 ||
              (offsetof(GaugeHeader, header_version) == 0 && offsetof(GaugeHeader, name) == 4 &&
               offsetof(GaugeHeader, elements) == 8 &&
               offsetof(GaugeHeader, phase_routines) == 12 &&
               offsetof(GaugeHeader, reserved1) == 40 && offsetof(GaugeHeader, width_mm) == 44));

// The two symbols a module exports.
#if defined(_WIN32)
#define GAUGE_EXPORT __declspec(dllexport)
#else
#define GAUGE_EXPORT __attribute__((visibility("default")))
#endif

GAUGE_EXPORT extern ModuleLinkage Linkage;
GAUGE_EXPORT extern ModuleImports ImportTable;

}  // extern "C"
