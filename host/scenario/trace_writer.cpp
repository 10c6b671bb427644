#include "host/scenario/trace_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "host/panel/control_names.h"
#include "host/platform/checked_files.h"

namespace host {

namespace {

using Json = nlohmann::ordered_json;

std::string hex_id(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", id);
  return text;
}

Json activity_json(const Activity& activity) {
  Json events = Json::array();
  for (const KeyEvent& event : activity.events) {
    Json record = {{"id", hex_id(event.event_id)}, {"value", event.value}};
    if (event.from_mouse_row) record["from_mouse_row"] = true;
    events.push_back(std::move(record));
  }
  return Json{{"events", std::move(events)}, {"sounds", activity.sounds}};
}

Json gauge_json(const Panel& panel, const PlacedGauge& gauge) {
  Json texts = Json::object();
  Json visible = Json::array();
  Json images = Json::object();
  const std::size_t count = Panel::element_count(*gauge.header);
  for (std::size_t i = 0; i < count; ++i) {
    const ElementHeader& element = *Panel::element_at(*gauge.header, i);
    const std::string name = element_name(gauge.name, i);
    if (Panel::visible(element)) visible.push_back(name);
    if (element.kind == ELEMENT_STRING) texts[name] = panel.text_of(element);
    if (element.kind == ELEMENT_ICON && element_record<IconElement>(element).routine != nullptr) {
      images[name] = Panel::image_value(element);
    }
    if (element.kind == ELEMENT_MOVING_IMAGE) images[name] = Panel::image_value(element);
  }
  return Json{
      {"texts", std::move(texts)}, {"visible", std::move(visible)}, {"images", std::move(images)}};
}

}  // namespace

// (The stream's open of a FIFO would wait for a reader, and a device would take the trace.)
std::ofstream TraceWriter::open_plain_file(const std::filesystem::path& path) {
  if (const auto kind = not_a_plain_file(path)) {
    throw std::runtime_error("cannot write the trace " + path.string() + ": not a plain file (" +
                             *kind + ")");
  }
  std::ofstream out(path, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write the trace " + path.string());
  return out;
}

TraceWriter::TraceWriter(const std::filesystem::path& path)
    : path_(path), out_(open_plain_file(path)) {}

bool TraceWriter::write_line(const std::string& line, bool flush) {
  if (failure_) return false;
  // (A write that fails shows when the stream's buffer goes out, or at the flush.)
  out_ << line << '\n';
  if (flush) out_.flush();
  if (out_) return true;
  // (The failed write left errno with the system's reason: EFBIG past a file-size limit.)
  failure_ = "cannot write the trace " + path_.string() + ": " + std::strerror(errno);
  return false;
}

void TraceWriter::write_frame(const Panel& panel, const SimClock& clock, const Activity& activity) {
  Json record;
  record["frame"] = clock.frame_count();
  record["time_s"] = clock.time_s();
  record["tick"] = clock.tick();
  Json gauges = Json::object();
  for (const PlacedGauge& gauge : panel.gauges()) gauges[gauge.name] = gauge_json(panel, gauge);
  record["gauges"] = std::move(gauges);
  Json activity_record = activity_json(activity);
  record["events"] = std::move(activity_record["events"]);
  record["sounds"] = std::move(activity_record["sounds"]);
  Json windows = Json::array();
  for (int w = 1; w <= PANEL_WINDOW_COUNT; ++w) {
    if (panel.panel_window_open(w)) windows.push_back(w);
  }
  record["panel_windows_open"] = std::move(windows);
  if (!write_line(record.dump(-1, ' ', false, Json::error_handler_t::replace), false)) {
    throw TraceWriteError(*failure_);
  }
}

void TraceWriter::write_end(const SimClock& clock, const Activity& activity) {
  Json record;
  record["end"] = true;
  record["time_s"] = clock.time_s();
  record["tick"] = clock.tick();
  Json activity_record = activity_json(activity);
  record["events"] = std::move(activity_record["events"]);
  record["sounds"] = std::move(activity_record["sounds"]);
  write_line(record.dump(-1, ' ', false, Json::error_handler_t::replace), true);
}

}  // namespace host
