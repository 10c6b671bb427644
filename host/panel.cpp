#include "host/panel.h"

#include <algorithm>
#include <cstring>

#include "host/display_text.h"
#include "host/mouse_list.h"

namespace host {

namespace {

// Upper bound on the elements read from one chain, so a chain that loops back on itself cannot
// hang the host.
constexpr std::size_t MAX_CHAIN_ELEMENTS = 4096;

// Repeats of a held box come every tenth of a simulated second.
constexpr int64_t REPEATS_PER_SECOND = 10;

std::size_t text_buffer_bytes(const ElementHeader& element) {
  return std::max<std::size_t>(MIN_TEXT_BUFFER_BYTES, element.char_count + 1);
}

// Whether drawing the element asks the module anything: a text (even one without a routine gets
// its buffer lent), an icon or a moving image with a routine.
bool asks_the_module(const ElementHeader& element) {
  switch (element.kind) {
    case ELEMENT_STRING:
      return true;
    case ELEMENT_ICON:
      return element.routine != nullptr;
    case ELEMENT_MOVING_IMAGE:
      return element.routine != nullptr || element.vertical_routine != nullptr;
    default:
      return false;
  }
}

}  // namespace

Panel::Panel(ModuleLoader& module, Aircraft& aircraft, SimClock& clock, HostVariables& variables,
             ActivityLog& log)
    : PanelServiceHandler(variables),
      module_(module),
      aircraft_(aircraft),
      clock_(clock),
      log_(log) {
  set_panel_service_handler(this);
  module_.install_services(panel_service_table());
}

Panel::~Panel() {
  remove();
  // The module keeps pointers to our text buffers in its elements; take them back.
  for (const PlacedGauge& gauge : gauges_) {
    for (std::size_t i = 0; i < element_count(*gauge.header); ++i) {
      ElementHeader* element = element_at(*gauge.header, i);
      if (text_buffers_.contains(element)) {
        element->text_buffer = nullptr;
        element->text_buffer_size = 0;
      }
    }
  }
  if (panel_service_handler() == this) set_panel_service_handler(nullptr);
}

void Panel::place(const std::vector<std::string>& names) {
  std::vector<PlacedGauge> gauges;
  for (const std::string& name : names) {
    GaugeHeader* header = module_.find_gauge(name);
    if (header == nullptr) throw UnknownGauge(name);
    gauges.push_back({name, header});
  }
  gauges_ = std::move(gauges);
  placed_ = true;
  list_drawn_elements();
  for (const PlacedGauge& gauge : gauges_) {
    if (gauge.header->service != nullptr) {
      gauge.header->service(gauge.header, SERVICE_PRE_INITIALIZE, 0);
    }
  }
}

void Panel::remove() {
  if (!placed_ || removed_) return;
  removed_ = true;
  release();
  for (const PlacedGauge& gauge : gauges_) {
    if (gauge.header->service != nullptr) gauge.header->service(gauge.header, SERVICE_PRE_KILL, 0);
  }
}

void Panel::run_frame() {
  deliver_due_repeats();
  clock_.advance_frame();
  aircraft_.step(clock_.dt_s());
  for (const PlacedGauge& gauge : gauges_) {
    if (gauge.header->service != nullptr)
      gauge.header->service(gauge.header, SERVICE_PRE_UPDATE, 0);
  }
  draw();
  if (held_row_ != nullptr) ++held_frames_;
}

void Panel::deliver_due_repeats() {
  if (held_row_ == nullptr) return;
  // Repeat k is due once k tenths of a second have passed since the press; it is delivered at
  // the first frame boundary at or after that time. Counted in frames so that no rounding of
  // times can add or drop a repeat.
  while (held_frames_ * REPEATS_PER_SECOND >= next_repeat_ * clock_.fps()) {
    activate(*held_row_, held_point_);
    ++next_repeat_;
  }
}

void Panel::list_drawn_elements() {
  drawn_elements_.clear();
  for (const PlacedGauge& gauge : gauges_) {
    ElementHeader* element = gauge.header->elements;
    for (std::size_t i = 0; element != nullptr && i < MAX_CHAIN_ELEMENTS; ++i) {
      if (asks_the_module(*element)) {
        DrawnElement drawn{element, nullptr, 0};
        if (element->kind == ELEMENT_STRING) {
          std::vector<char>& buffer = text_buffers_[element];
          if (buffer.size() < text_buffer_bytes(*element))
            buffer.assign(text_buffer_bytes(*element), '\0');
          drawn.text = buffer.data();
          drawn.text_size = static_cast<uint32_t>(buffer.size());
        }
        drawn_elements_.push_back(drawn);
      }
      element = element->next;
    }
  }
}

void Panel::draw() {
  for (const DrawnElement& drawn : drawn_elements_) {
    ElementHeader& element = *drawn.element;
    if (!visible(element)) continue;
    if (drawn.text != nullptr) {  // a text element
      element.text_buffer = drawn.text;
      element.text_buffer_size = drawn.text_size;
      if (element.routine != nullptr) element.current_value = element.routine(&element);
      drawn.text[drawn.text_size - 1] = '\0';  // whatever the routine wrote, the text ends inside
      continue;
    }
    if (element.routine != nullptr) element.current_value = element.routine(&element);
    if (element.kind == ELEMENT_MOVING_IMAGE && element.vertical_routine != nullptr)
      element.current_value_y = element.vertical_routine(&element);
  }
}

const MouseRow* Panel::click(const PlacedGauge& gauge, MousePoint point) {
  const MouseRow* row = hit_test(gauge.header->mouse_rows, point);
  if (row != nullptr) activate(*row, point);
  return row;
}

const MouseRow* Panel::press(const PlacedGauge& gauge, MousePoint point) {
  release();
  const MouseRow* row = click(gauge, point);
  if (row != nullptr && (row->event_flags & MOUSE_LEFT_REPEAT) != 0) {
    held_row_ = row;
    held_point_ = point;
    held_frames_ = 0;
    next_repeat_ = 1;
  }
  return row;
}

void Panel::release() {
  if (held_row_ == nullptr) return;
  // Repeats that fell due after the last frame boundary but before the release still count:
  // the button was down at their time. One due exactly at the release does not.
  while (held_frames_ * REPEATS_PER_SECOND > next_repeat_ * clock_.fps()) {
    activate(*held_row_, held_point_);
    ++next_repeat_;
  }
  held_row_ = nullptr;
}

void Panel::activate(const MouseRow& row, MousePoint point) {
  if (row.routine != nullptr) {
    row.routine(&point, row.event_flags);
  } else if (row.host_event_id != 0) {
    KeyEvent event{row.host_event_id, 0, true};
    log_.record_event(event);
    act_on(event);
  }
}

const PlacedGauge* Panel::find(std::string_view name) const {
  for (const PlacedGauge& gauge : gauges_) {
    if (gauge.name == name) return &gauge;
  }
  return nullptr;
}

ElementHeader* Panel::element_at(const GaugeHeader& gauge, std::size_t index) {
  ElementHeader* element = gauge.elements;
  for (std::size_t i = 0; element != nullptr && i < index && i < MAX_CHAIN_ELEMENTS; ++i) {
    element = element->next;
  }
  return index < MAX_CHAIN_ELEMENTS ? element : nullptr;
}

std::size_t Panel::element_count(const GaugeHeader& gauge) {
  std::size_t count = 0;
  for (ElementHeader* e = gauge.elements; e != nullptr && count < MAX_CHAIN_ELEMENTS; e = e->next) {
    ++count;
  }
  return count;
}

std::string Panel::text_of(const ElementHeader& element) const {
  return latin1_to_utf8(text_bytes(element));
}

std::string_view Panel::text_bytes(const ElementHeader& element) const {
  if (&element != last_text_element_) {
    auto found = text_buffers_.find(&element);
    if (found == text_buffers_.end()) return {};
    last_text_element_ = &element;
    last_text_buffer_ = &found->second;
  }
  const std::vector<char>& buffer = *last_text_buffer_;
  return std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

double Panel::image_value(const ElementHeader& element) {
  if (element.kind == ELEMENT_MOVING_IMAGE && element.y_travel_px != 0)
    return element.current_value_y;
  return element.current_value;
}

bool Panel::panel_window_open(int window) const {
  if (window < 1 || window > PANEL_WINDOW_COUNT) return false;
  return panel_windows_[static_cast<std::size_t>(window - 1)];
}

uint32_t Panel::trigger_key_event(uint32_t event_id, uint32_t value) {
  KeyEvent event{event_id, value, false};
  log_.record_event(event);
  act_on(event);
  return 0;
}

void Panel::act_on(const KeyEvent& event) {
  if (event.event_id == EVENT_HEADING_BUG_SET) {
    // The value is a whole number of degrees; read it signed so a negative bug stays negative.
    aircraft_.heading_bug_mag_deg = static_cast<double>(static_cast<int32_t>(event.value));
  } else if (event.event_id >= EVENT_PANEL_WINDOW_1 &&
             event.event_id < EVENT_PANEL_WINDOW_1 + PANEL_WINDOW_COUNT) {
    bool& open = panel_windows_[event.event_id - EVENT_PANEL_WINDOW_1];
    open = !open;
  }
}

}  // namespace host
