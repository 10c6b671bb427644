#include "host/panel/panel.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "host/panel/display_text.h"
#include "host/panel/mouse_list.h"

namespace host {

namespace {

// At most MAX_CHAIN_ELEMENTS elements are read from one gauge's lists, so a chain that loops back
// on itself cannot hang the host.
constexpr auto MAX_ELEMENTS_READ = static_cast<std::size_t>(MAX_CHAIN_ELEMENTS);

// Repeats of a held box come every tenth of a simulated second.
constexpr int64_t REPEATS_PER_SECOND = 10;

// Whether drawing the element asks the module anything: a text (even one without a routine gets
// its buffer lent), an icon or a moving image with a routine.
bool asks_the_module(const ElementHeader& element) {
  switch (element.kind) {
    case ELEMENT_STRING:
      return true;
    case ELEMENT_ICON:
      return element_record<IconElement>(element).routine != nullptr;
    case ELEMENT_MOVING_IMAGE: {
      const auto& moving = element_record<MovingImageElement>(element);
      return moving.x_routine != nullptr || moving.y_routine != nullptr;
    }
    default:
      return false;
  }
}

// The image an icon's routine chose, as the host keeps it: the value truncated, or -1 (no
// image) for a value no image number can hold.
int32_t image_number(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return -1;
  return static_cast<int32_t>(value);
}

// Calls `visit` on each element of the lists from `list` on, in drawing order (an element, then
// the elements of its next list, then the list's next element), until `visit` returns false;
// at most MAX_CHAIN_ELEMENTS, so lists that loop cannot hang the host. Returns the count seen.
template <typename Visit>
std::size_t walk_elements(ElementHeader* const* list, Visit&& visit) {
  // The lists still to finish, each with the position reached in it.
  std::vector<std::pair<ElementHeader* const*, std::size_t>> pending;
  if (list != nullptr) pending.emplace_back(list, 0);
  std::size_t seen = 0;
  while (!pending.empty() && seen < MAX_ELEMENTS_READ) {
    auto& [current, position] = pending.back();
    ElementHeader* element = current[position];
    if (element == nullptr || position >= MAX_ELEMENTS_READ) {
      pending.pop_back();
      continue;
    }
    ++position;
    ++seen;
    if (!visit(element)) break;
    // (Copied out first: the record is packed to 4 bytes, so its 8-byte fields may sit where no
    // reference to them may point.)
    ElementHeader* const* next_list = element->next_list;
    if (next_list != nullptr) pending.emplace_back(next_list, 0);
  }
  return seen;
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
  // The module's text elements hold our buffers; take them back.
  for (const DrawnElement& drawn : drawn_elements_) {
    if (drawn.text != nullptr) element_record<TextElement>(*drawn.element).text_buffer = nullptr;
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

HostEvents Panel::run_frame() {
  deliver_due_repeats();
  clock_.advance_frame();
  aircraft_.step(clock_.dt_s());
  for (const PlacedGauge& gauge : gauges_) {
    if (gauge.header->service != nullptr)
      gauge.header->service(gauge.header, SERVICE_PRE_UPDATE, 0);
  }
  draw();
  if (held_row_ != nullptr) ++held_frames_;
  return take_raised();
}

void HostEvents::add(const HostEvents& later) {
  if (later.heading_bug_mag_deg) heading_bug_mag_deg = later.heading_bug_mag_deg;
  heading_bug_sets += later.heading_bug_sets;
}

void steer_autopilot(const HostEvents& raised, Aircraft& aircraft) {
  if (raised.heading_bug_mag_deg) aircraft.heading_bug_mag_deg = *raised.heading_bug_mag_deg;
}

HostEvents Panel::take_raised() {
  return std::exchange(raised_, HostEvents{});
}

void Panel::deliver_due_repeats() {
  if (held_row_ == nullptr || held_repeats_ != RepeatClock::SIMULATED) return;
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
    std::size_t index = 0;
    walk_elements(gauge.header->element_list, [&](ElementHeader* element) {
      if (asks_the_module(*element)) {
        DrawnElement drawn{element, nullptr, 0, gauge.name.c_str(), index};
        if (element->kind == ELEMENT_STRING) {
          // The window's characters and the terminator, then the guard.
          drawn.chars = element_record<TextElement>(*element).char_count;
          std::vector<char>& buffer = text_buffers_[element];
          buffer.assign(drawn.chars + 1, '\0');
          buffer.insert(buffer.end(), TEXT_GUARD_BYTES, TEXT_GUARD_BYTE);
          drawn.text = buffer.data();
        }
        drawn_elements_.push_back(drawn);
      }
      ++index;
      return true;
    });
  }
}

void Panel::check_guard(const DrawnElement& drawn) {
  const char* guard = drawn.text + drawn.chars + 1;
  for (std::size_t i = 0; i < TEXT_GUARD_BYTES; ++i) {
    if (guard[i] != TEXT_GUARD_BYTE) {
      throw TextOverrun("the text routine of element " + std::to_string(drawn.index) + " of " +
                        drawn.gauge + " wrote past its window of " + std::to_string(drawn.chars) +
                        " characters and the terminator");
    }
  }
}

void Panel::draw() {
  for (const DrawnElement& drawn : drawn_elements_) {
    ElementHeader& element = *drawn.element;
    if (!visible(element)) continue;
    switch (element.kind) {
      case ELEMENT_STRING: {
        auto& text = element_record<TextElement>(element);
        text.text_buffer = drawn.text;
        if (text.routine != nullptr) text.sources[0].value = text.routine(&element);
#ifndef NDEBUG
        check_guard(drawn);
#endif
        drawn.text[drawn.chars] = '\0';  // whatever the routine wrote, the text ends inside
        break;
      }
      case ELEMENT_ICON: {
        auto& icon = element_record<IconElement>(element);
        icon.current_image = image_number(icon.routine(&element));
        break;
      }
      case ELEMENT_MOVING_IMAGE: {
        auto& moving = element_record<MovingImageElement>(element);
        if (moving.x_routine != nullptr) moving.previous_x = moving.x_routine(&element);
        if (moving.y_routine != nullptr) moving.previous_y = moving.y_routine(&element);
        break;
      }
      default:
        break;
    }
  }
}

const MouseRow* Panel::click(const PlacedGauge& gauge, MousePoint point) {
  const MouseRow* row = hit_test(gauge.header->mouse_list, point);
  if (row != nullptr) activate(*row, point);
  return row;
}

const MouseRow* Panel::press(const PlacedGauge& gauge, MousePoint point, RepeatClock repeats) {
  release();
  const MouseRow* row = click(gauge, point);
  if (row != nullptr && (row->event_flags & MOUSE_LEFT_REPEAT) != 0) {
    held_row_ = row;
    held_point_ = point;
    held_repeats_ = repeats;
    held_frames_ = 0;
    next_repeat_ = 1;
  }
  return row;
}

void Panel::release() {
  if (held_row_ == nullptr) return;
  // Repeats that fell due after the last frame boundary but before the release still count:
  // the button was down at their time. One due exactly at the release does not.
  while (held_repeats_ == RepeatClock::SIMULATED &&
         held_frames_ * REPEATS_PER_SECOND > next_repeat_ * clock_.fps()) {
    activate(*held_row_, held_point_);
    ++next_repeat_;
  }
  held_row_ = nullptr;
}

void Panel::repeat_held() {
  if (held_row_ != nullptr) activate(*held_row_, held_point_);
}

int WallClockRepeats::take_due(Clock::time_point now) {
  int due = 0;
  for (; next_due_ <= now; next_due_ += INTERVAL) ++due;
  return due;
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
  ElementHeader* found = nullptr;
  std::size_t i = 0;
  walk_elements(gauge.element_list, [&](ElementHeader* element) {
    if (i++ != index) return true;
    found = element;
    return false;
  });
  return found;
}

std::size_t Panel::element_count(const GaugeHeader& gauge) {
  return walk_elements(gauge.element_list, [](ElementHeader*) { return true; });
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
  return std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size() - TEXT_GUARD_BYTES));
}

double Panel::image_value(const ElementHeader& element) {
  if (element.kind == ELEMENT_MOVING_IMAGE) {
    const auto& moving = element_record<MovingImageElement>(element);
    if (moving.y_maximum != moving.y_minimum) return moving.previous_y;
  }
  return element_value(element);
}

double Panel::element_value(const ElementHeader& element) {
  switch (element.kind) {
    case ELEMENT_STRING:
      return element_record<TextElement>(element).sources[0].value;
    case ELEMENT_ICON:
      return element_record<IconElement>(element).current_image;
    case ELEMENT_MOVING_IMAGE:
      return element_record<MovingImageElement>(element).previous_x;
    default:
      return 0.0;
  }
}

bool Panel::panel_window_open(int window) const {
  if (window < 1 || window > PANEL_WINDOW_COUNT) return false;
  return panel_windows_[static_cast<std::size_t>(window - 1)];
}

int32_t Panel::trigger_key_event(uint32_t event_id, uint32_t value) {
  KeyEvent event{event_id, value, false};
  log_.record_event(event);
  act_on(event);
  return 0;
}

void Panel::act_on(const KeyEvent& event) {
  if (event.event_id == EVENT_HEADING_BUG_SET) {
    // The value is a whole number of degrees; read it signed so a negative bug stays negative.
    raised_.heading_bug_mag_deg = static_cast<double>(static_cast<int32_t>(event.value));
    ++raised_.heading_bug_sets;
  } else if (event.event_id >= EVENT_PANEL_WINDOW_1 &&
             event.event_id < EVENT_PANEL_WINDOW_1 + PANEL_WINDOW_COUNT) {
    bool& open = panel_windows_[event.event_id - EVENT_PANEL_WINDOW_1];
    open = !open;
  }
}

}  // namespace host
