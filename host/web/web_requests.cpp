#include "host/web/web_requests.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace host::web {

namespace {

using nlohmann::json;

RequestError bad(std::string message) {
  return RequestError{400, std::move(message)};
}

// The body as a JSON object, or why it is not one.
Parsed<json> object_of(const std::string& body) {
  if (body.size() > MAX_JSON_BODY_BYTES) {
    return RequestError{413, "request body of " + std::to_string(body.size()) +
                                 " bytes is larger than " + std::to_string(MAX_JSON_BODY_BYTES)};
  }
  json value = json::parse(body, nullptr, false);
  if (value.is_discarded()) return bad("the body is not valid JSON");
  if (!value.is_object()) return bad("the body must be a JSON object");
  return value;
}

// Every key of `object` must be one of `known`.
std::optional<RequestError> only_keys(const json& object,
                                      std::initializer_list<const char*> known) {
  for (const auto& item : object.items()) {
    bool found = false;
    for (const char* key : known) found = found || item.key() == key;
    if (!found) return bad("unknown field \"" + item.key() + "\"");
  }
  return std::nullopt;
}

std::optional<RequestError> need_number(const json& object, const char* key, double min, double max,
                                        double& out) {
  auto it = object.find(key);
  if (it == object.end()) return bad(std::string("missing field \"") + key + "\"");
  if (!it->is_number()) return bad(std::string("\"") + key + "\" must be a number");
  const double value = it->get<double>();
  if (!std::isfinite(value) || value < min || value > max) {
    return bad(std::string("\"") + key + "\" " + json(value).dump() + " is out of range " +
               json(min).dump() + ".." + json(max).dump());
  }
  out = value;
  return std::nullopt;
}

const std::vector<ConditionRange> CONDITION_RANGES = {
    {"lat", -90.0, 90.0, false, "degrees north"},
    {"lon", -180.0, 180.0, false, "degrees east"},
    {"heading", 0.0, 360.0, false, "degrees magnetic"},
    {"magvar", -90.0, 90.0, false, "degrees, east positive"},
    {"gs", 0.0, 1000.0, false, "knots"},
    {"wind_dir", 0.0, 360.0, false, "degrees true, from"},
    {"wind_speed", 0.0, 250.0, false, "knots"},
    {"mach", 0.0, 3.0, false, "Mach"},
    {"oat", -90.0, 60.0, false, "degrees Celsius"},
    {"battery", 0.0, 1.0, true, "0 or 1"},
    {"main_power", 0.0, 1.0, true, "0 or 1"},
    {"ap_master", 0.0, 1.0, true, "0 or 1"},
    {"ap_heading", 0.0, 1.0, true, "0 or 1"},
    {"tick", 0.0, 2147483647.0, true, "ticks"},
    {"altitude", -1500.0, 60000.0, false, "feet"},
    {"tas", 0.0, 700.0, false, "knots"},
};

}  // namespace

const std::vector<ConditionRange>& condition_ranges() {
  return CONDITION_RANGES;
}

Parsed<MouseRequest> parse_mouse_request(const std::string& body,
                                         const std::vector<GaugeExtent>& gauges) {
  Parsed<json> parsed = object_of(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return *error;
  const json& o = std::get<json>(parsed);
  if (auto error = only_keys(o, {"gauge", "x", "y", "action"})) return *error;
  auto gauge = o.find("gauge");
  if (gauge == o.end() || !gauge->is_string()) return bad("\"gauge\" must be a gauge's name");
  const GaugeExtent* extent = nullptr;
  for (const GaugeExtent& g : gauges) {
    if (g.name == gauge->get<std::string>()) extent = &g;
  }
  if (extent == nullptr) return bad("no gauge " + gauge->dump() + " on the panel");
  MouseRequest request{extent->name, 0, 0, true};
  for (auto [key, limit, out] :
       {std::tuple{"x", extent->width, &request.x}, std::tuple{"y", extent->height, &request.y}}) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_number_integer()) {
      return bad(std::string("\"") + key + "\" must be a whole number of gauge pixels");
    }
    const auto value = it->get<int64_t>();
    if (value < 0 || value >= limit) {
      return bad(std::string("\"") + key + "\" " + std::to_string(value) + " is outside the " +
                 extent->name + " gauge (0.." + std::to_string(limit - 1) + ")");
    }
    *out = static_cast<int32_t>(value);
  }
  auto action = o.find("action");
  if (action == o.end() || !action->is_string() || (*action != "down" && *action != "up")) {
    return bad("\"action\" must be \"down\" or \"up\"");
  }
  request.down = *action == "down";
  return request;
}

Parsed<SetRequest> parse_set_request(const std::string& body) {
  Parsed<json> parsed = object_of(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return *error;
  const json& o = std::get<json>(parsed);
  if (auto error = only_keys(o, {"name", "value"})) return *error;
  auto name = o.find("name");
  if (name == o.end() || !name->is_string()) return bad("\"name\" must be a condition's name");
  const ConditionRange* range = nullptr;
  for (const ConditionRange& r : CONDITION_RANGES) {
    if (r.name == name->get<std::string>()) range = &r;
  }
  if (range == nullptr) return bad("unknown condition " + name->dump());
  SetRequest request{range->name, 0.0};
  if (auto error = need_number(o, "value", range->min, range->max, request.value)) {
    error->message += std::string(" (") + range->name + ", " + range->unit + ")";
    return *error;
  }
  if (range->whole && request.value != std::trunc(request.value)) {
    return bad(std::string("\"value\" for ") + range->name + " must be " + range->unit);
  }
  return request;
}

Parsed<SimRequest> parse_sim_request(const std::string& body) {
  Parsed<json> parsed = object_of(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return *error;
  const json& o = std::get<json>(parsed);
  if (auto error = only_keys(o, {"rate", "paused", "motion"})) return *error;
  if (o.empty()) return bad("nothing to change: give \"rate\", \"paused\" or \"motion\"");
  SimRequest request;
  if (auto it = o.find("rate"); it != o.end()) {
    if (!it->is_number_integer() || it->get<int64_t>() < 1 || it->get<int64_t>() > MAX_RATE) {
      return bad("\"rate\" must be a whole number 1.." + std::to_string(MAX_RATE));
    }
    request.rate = static_cast<int>(it->get<int64_t>());
  }
  for (auto [key, out] :
       {std::pair{"paused", &request.paused}, std::pair{"motion", &request.motion}}) {
    if (auto it = o.find(key); it != o.end()) {
      if (!it->is_boolean()) return bad(std::string("\"") + key + "\" must be true or false");
      *out = it->get<bool>();
    }
  }
  return request;
}

Parsed<TakeoffRequest> parse_takeoff_request(const std::string& body) {
  Parsed<json> parsed = object_of(body.empty() ? "{}" : body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return *error;
  const json& o = std::get<json>(parsed);
  if (auto error = only_keys(o, {"alt_ft", "tas_kt"})) return *error;
  TakeoffRequest request;
  if (o.contains("alt_ft")) {
    if (auto error = need_number(o, "alt_ft", 1000.0, 45000.0, request.alt_ft)) return *error;
  }
  if (o.contains("tas_kt")) {
    if (auto error = need_number(o, "tas_kt", 150.0, 650.0, request.tas_kt)) return *error;
  }
  return request;
}

std::optional<RequestError> check_plan_name(const std::string& name) {
  if (name.empty() || name.size() > 100) return bad("a plan needs a file name of 1 to 100 bytes");
  for (char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
      return bad("the plan's file name \"" + name + "\" may not hold folders or control bytes");
    }
  }
  if (name == "." || name == "..") return bad("\"" + name + "\" is not a file name");
  return std::nullopt;
}

}  // namespace host::web
