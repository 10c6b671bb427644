// A small gauge module for testing the host: one gauge, "FIXTURE", with an element of every
// kind and a mouse list with groups, overlapping boxes, a repeating box and a host-event row.
// Everything it does is visible through its own tables (texts, image values, the hidden bit)
// and the two panel services, so tests see it exactly as they see the real module.
//
// Elements (chain order):
//   0 static image, the face (200 x 100)
//   1 icon, 4 images: image = clicks on box A, modulo 4
//   2 icon, hidden at load: shown from the first call of the repeating box on
//   3 text "A<a> B<b> R<r>": calls of the routines of boxes A, B and R
//   4 text "N12" and the degree byte 0xB0; returns 42.5
//   5 text in a 3-character window: "ABCDEFGH", cut at the window ("ABC")
//   6 text "<x>,<y>,<flags hex>": the point and flags the routine of box P last received
//   7 text "T<tick> U<unknown>": host variable 1 and the unknown id 9999 (preset -7.5)
//   8 moving image: horizontal 0.25, vertical = calls of box R (vertical travel 90 px)
//   9 icon, hidden at load, whose routine counts its calls (a hidden element is not drawn)
//  10 text "I<code 4> U<code 6> H<calls of element 9>"
//  11 text: the service calls of both gauges since the last draw, in order ("F4B4F6B6" ...)
// A second gauge "FIXTURE_B" has only a face; its service routine also writes to element 11's
// call record, so tests see the order in which the host serves the placed gauges.
// A third gauge "FIXTURE_OVERRUN" has one 2-character text whose routine writes five characters
// and the terminator, past the buffer the host lent it: the host's guard must see it.
// Mouse list (boxes in order, x, y, w, h):
//   group whole gauge
//     group 0,0,100,50: A 10,10,20,20 click (plays "sound\fixture\a.wav"); B 10,10,40,40 click
//     group 0,60,50,40: Z 0,0,200,100 click (reached only through its group's box)
//     R 120,10,20,20 click + repeat
//     E 150,10,20,20 click, no routine, host event 0x10174
//     K 150,50,20,20 click: sends key event 0x101FA with 270
//     P 60,60,30,30 click: records the point and flags
//   Service code 12 sends key event 0x2000C with the number of code-6 calls.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstring>

#include "boundary/gauge_api.h"

namespace {

int clicks_a = 0, clicks_b = 0, clicks_z = 0, calls_r = 0;
int services_init = 0, services_update = 0, hidden_probe_calls = 0;
int last_x = -1, last_y = -1;
uint32_t last_flags = 0;
HostVar tick_var = {1, nullptr, 0, 0.0, 0.0};
HostVar unknown_var = {9999, nullptr, 0, -7.5, 0.0};

PanelService routine(std::size_t index) {
  PanelServiceTable* table = ImportTable.panel_services.table;
  return table != nullptr ? table->routines[index] : nullptr;
}

void lookup(HostVar* var) {
  if (PanelService s = routine(PANEL_ROUTINE_LOOKUP_VAR)) {
    reinterpret_cast<LookupVarService>(s)(var);
  }
}

void send_event(uint32_t id, uint32_t value) {
  if (PanelService s = routine(PANEL_ROUTINE_TRIGGER_KEY_EVENT)) {
    reinterpret_cast<TriggerKeyEventService>(s)(id, value);
  }
}

using Play = int (*)(const char*, const char*, int);

void play(const char* path) {
  // Found by name among the libraries already loaded, as the INS module binds it.
#if defined(_WIN32)
  HMODULE library = GetModuleHandleA("GaugeSound.dll");  // no reference of ours to drop
  if (library == nullptr) return;
  // (through the generic function type, which converts to every other without a warning)
  auto entry = reinterpret_cast<void (*)()>(GetProcAddress(library, "GaugePlaySound"));
  if (auto p = reinterpret_cast<Play>(entry)) {
    p(path, nullptr, 0);
  }
#else
  void* library = dlopen("GaugeSound.so", RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return;
  if (auto p = reinterpret_cast<Play>(dlsym(library, "GaugePlaySound"))) p(path, nullptr, 0);
  dlclose(library);
#endif
}

// Writes a text as a well-behaved routine does: no more than the window's characters and the
// terminator (the host tells no other size), nothing before the host has lent a buffer.
void write(ElementHeader* e, const char* format, auto... values) {
  TextElement& text = element_record<TextElement>(*e);
  if (text.text_buffer != nullptr) {
    std::snprintf(text.text_buffer, std::size_t{text.char_count} + 1, format, values...);
  }
}

double GAUGE_CALLBACK dial_image(ElementHeader*) {
  return clicks_a % 4;
}
double GAUGE_CALLBACK counts_text(ElementHeader* e) {
  write(e, "A%d B%d R%d", clicks_a, clicks_b, calls_r);
  return 0;
}
double GAUGE_CALLBACK degree_text(ElementHeader* e) {
  write(e, "N12\xB0");
  return 42.5;
}
double GAUGE_CALLBACK long_text(ElementHeader* e) {
  write(e, "%s", "ABCDEFGH");
  return 0;
}
double GAUGE_CALLBACK overrunning_text(ElementHeader* e) {
  TextElement& text = element_record<TextElement>(*e);
  if (text.text_buffer != nullptr) std::memcpy(text.text_buffer, "OVER!", 6);
  return 0;
}
double GAUGE_CALLBACK point_text(ElementHeader* e) {
  write(e, "%d,%d,%X", last_x, last_y, last_flags);
  return 0;
}
double GAUGE_CALLBACK vars_text(ElementHeader* e) {
  lookup(&tick_var);
  lookup(&unknown_var);
  write(e, "T%.0f U%.1f", tick_var.value, unknown_var.value);
  return 0;
}
double GAUGE_CALLBACK wheel_x(ElementHeader*) {
  return 0.25;
}
double GAUGE_CALLBACK wheel_y(ElementHeader*) {
  return calls_r;
}
double GAUGE_CALLBACK hidden_probe(ElementHeader*) {
  ++hidden_probe_calls;
  return 0;
}
char service_calls[64] = "";

void note_service(char gauge, int32_t code) {
  const std::size_t used = std::strlen(service_calls);
  std::snprintf(service_calls + used, sizeof service_calls - used, "%c%d", gauge, code);
}

double GAUGE_CALLBACK service_calls_text(ElementHeader* e) {
  write(e, "%s", service_calls);
  service_calls[0] = '\0';
  return 0;
}

double GAUGE_CALLBACK services_text(ElementHeader* e) {
  write(e, "I%d U%d H%d", services_init, services_update, hidden_probe_calls);
  return 0;
}

// An element's record of any kind: its kind's record starts the slot.
union Slot {
  StaticImageElement static_image;
  IconElement icon;
  MovingImageElement moving;
  TextElement text;
};

ElementHeader& header(Slot& slot) {
  return *reinterpret_cast<ElementHeader*>(&slot);
}

Slot image(ElementKind kind, uint32_t flags, ElementRoutine routine, int32_t images = 1) {
  Slot slot{};
  if (kind == ELEMENT_ICON) {
    slot.icon = IconElement{};
    slot.icon.image_count = images;
    slot.icon.routine = routine;
  } else if (kind == ELEMENT_MOVING_IMAGE) {
    slot.moving = MovingImageElement{};
    slot.moving.x_routine = routine;
  }
  header(slot).kind = kind;
  header(slot).image_flags = flags;
  header(slot).bitmap_id = 1;
  return slot;
}

Slot text(uint16_t chars, ElementRoutine routine) {
  Slot slot{};
  slot.text = TextElement{};
  slot.text.char_count = chars;
  slot.text.box_size = {60, 20};
  slot.text.routine = routine;
  header(slot).kind = ELEMENT_STRING;
  header(slot).image_flags = 0x6;
  header(slot).bitmap_id = NO_BITMAP;
  return slot;
}

// Vertical values 0..9 over the strip's travel (the fixture has no bitmaps to measure it by).
Slot wheel() {
  Slot slot = image(ELEMENT_MOVING_IMAGE, 0x7, wheel_x);
  slot.moving.y_routine = wheel_y;
  slot.moving.y_maximum = 9.0;
  return slot;
}

constexpr int ELEMENT_COUNT = 12;
Slot elements[ELEMENT_COUNT] = {
    image(ELEMENT_STATIC_IMAGE, 0x3, nullptr),
    image(ELEMENT_ICON, 0x3, dial_image, 4),
    image(ELEMENT_ICON, IMAGE_HIDDEN | 0x7, nullptr),
    text(12, counts_text),
    text(4, degree_text),
    text(3, long_text),
    text(16, point_text),
    text(16, vars_text),
    wheel(),
    image(ELEMENT_ICON, IMAGE_HIDDEN | 0x3, hidden_probe, 2),
    text(16, services_text),
    text(40, service_calls_text),
};
// The lists: lists[0] the gauge's, lists[n] the next list of element n - 1.
ElementHeader* element_lists[ELEMENT_COUNT][2];

int32_t GAUGE_CALLBACK box_a(const MousePoint*, uint32_t) {
  ++clicks_a;
  play("sound\\fixture\\a.wav");
  return 0;
}
int32_t GAUGE_CALLBACK box_b(const MousePoint*, uint32_t) {
  return ++clicks_b;
}
int32_t GAUGE_CALLBACK box_z(const MousePoint*, uint32_t) {
  return ++clicks_z;
}
int32_t GAUGE_CALLBACK box_r(const MousePoint*, uint32_t) {
  return ++calls_r;
}
int32_t GAUGE_CALLBACK box_k(const MousePoint*, uint32_t) {
  send_event(0x101FA, 270);
  return 0;
}
int32_t GAUGE_CALLBACK box_p(const MousePoint* point, uint32_t flags) {
  last_x = point->x;
  last_y = point->y;
  last_flags = flags;
  return 0;
}

constexpr uint32_t CLICK = MOUSE_LEFT_SINGLE;
MouseRow row(MouseRowKind kind, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t flags = 0,
             MouseRoutine routine = nullptr, uint32_t host_event = 0) {
  return {kind, x, y, w, h, CURSOR_HAND, 0, flags, host_event, routine, nullptr};
}

MouseRow mouse_rows[] = {
    row(MOUSE_GROUP_OPEN, 0, 0, 0, 0),
    row(MOUSE_GROUP_OPEN, 0, 0, 100, 50),
    row(MOUSE_BOX, 10, 10, 20, 20, CLICK, box_a),
    row(MOUSE_BOX, 10, 10, 40, 40, CLICK, box_b),
    row(MOUSE_GROUP_CLOSE, 0, 0, 0, 0),
    row(MOUSE_GROUP_OPEN, 0, 60, 50, 40),
    row(MOUSE_BOX, 0, 0, 200, 100, CLICK, box_z),
    row(MOUSE_GROUP_CLOSE, 0, 0, 0, 0),
    row(MOUSE_BOX, 120, 10, 20, 20, CLICK | MOUSE_LEFT_REPEAT, box_r),
    row(MOUSE_BOX, 150, 10, 20, 20, CLICK, nullptr, 0x10174),
    row(MOUSE_BOX, 150, 50, 20, 20, CLICK, box_k),
    row(MOUSE_BOX, 60, 60, 30, 30, CLICK, box_p),
    row(MOUSE_GROUP_CLOSE, 0, 0, 0, 0),
    row(MOUSE_END, 0, 0, 0, 0),
};

void GAUGE_CALLBACK service(GaugeHeader*, int32_t code, uint32_t) {
  note_service('F', code);
  if (code == SERVICE_PRE_INITIALIZE) ++services_init;
  if (code == SERVICE_PRE_UPDATE) {
    ++services_update;
    // The lamp follows the repeating box: shown once it has been called.
    if (calls_r > 0) header(elements[2]).image_flags &= ~IMAGE_HIDDEN;
  }
  if (code == SERVICE_PRE_KILL) send_event(0x2000C, static_cast<uint32_t>(services_update));
}

GaugeHeader fixture{};

GaugeHeader make_gauge() {
  for (int i = 0; i < ELEMENT_COUNT; ++i) {
    element_lists[i][0] = &header(elements[i]);
    header(elements[i]).gauge = &fixture;
    if (i > 0) header(elements[i - 1]).next_list = element_lists[i];
  }
  GaugeHeader g{};
  g.header_version = GAUGE_HEADER_VERSION;
  g.name = "FIXTURE";
  g.element_list = element_lists[0];
  g.width_mm = 100;
  g.mouse_list = mouse_rows;
  g.service = service;
  return g;
}

const bool fixture_made = (fixture = make_gauge(), true);

Slot second_face = image(ELEMENT_STATIC_IMAGE, 0x3, nullptr);
ElementHeader* second_list[] = {&header(second_face), nullptr};
MouseRow second_rows[] = {row(MOUSE_GROUP_OPEN, 0, 0, 0, 0), row(MOUSE_GROUP_CLOSE, 0, 0, 0, 0),
                          row(MOUSE_END, 0, 0, 0, 0)};
void GAUGE_CALLBACK second_service(GaugeHeader*, int32_t code, uint32_t) {
  note_service('B', code);
}

GaugeHeader make_second_gauge() {
  GaugeHeader g{};
  g.header_version = GAUGE_HEADER_VERSION;
  g.name = "FIXTURE_B";
  g.element_list = second_list;
  g.width_mm = 25;
  g.mouse_list = second_rows;
  g.service = second_service;
  return g;
}

GaugeHeader fixture_b = make_second_gauge();

Slot overrunning = text(2, overrunning_text);
ElementHeader* overrunning_list[] = {&header(overrunning), nullptr};
MouseRow overrunning_rows[] = {row(MOUSE_END, 0, 0, 0, 0)};

GaugeHeader make_overrunning_gauge() {
  GaugeHeader g{};
  g.header_version = GAUGE_HEADER_VERSION;
  g.name = "FIXTURE_OVERRUN";
  g.element_list = overrunning_list;
  g.width_mm = 25;
  g.mouse_list = overrunning_rows;
  return g;
}

GaugeHeader fixture_overrun = make_overrunning_gauge();

void GAUGE_CALLBACK nothing() {}

}  // namespace

extern "C" {
GAUGE_EXPORT ModuleLinkage Linkage = {
    MODULE_ID, nothing, nothing, 0, 0, MODULE_VERSION, {&fixture, &fixture_b, &fixture_overrun}};
GAUGE_EXPORT ModuleImports ImportTable = {{PANEL_SERVICES_MODULE_ID, nullptr}, {0, nullptr}};
}
