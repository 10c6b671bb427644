#include "host/web/web_requests.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <nlohmann/json.hpp>

#include "host/aircraft/host_variables.h"
#include "host/platform/plain_text.h"

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

}  // namespace

Parsed<MouseRequest> parse_mouse_request(const std::string& body,
                                         const std::vector<GaugeExtent>& gauges) {
  Parsed<json> parsed = object_of(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return *error;
  const json& o = std::get<json>(parsed);
  if (auto error = only_keys(o, {"gauge", "x", "y", "action", "client", "stream"})) return *error;
  auto gauge = o.find("gauge");
  if (gauge == o.end() || !gauge->is_string()) return bad("\"gauge\" must be a gauge's name");
  const GaugeExtent* extent = nullptr;
  for (const GaugeExtent& g : gauges) {
    if (g.name == gauge->get<std::string>()) extent = &g;
  }
  if (extent == nullptr) return bad("no gauge " + gauge->dump() + " on the panel");
  MouseRequest request{extent->name, 0, 0, MouseAction::DOWN, "", ""};
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
  if (action == o.end() || !action->is_string() ||
      (*action != "down" && *action != "up" && *action != "hold")) {
    return bad("\"action\" must be \"down\", \"up\" or \"hold\"");
  }
  request.action = *action == "down" ? MouseAction::DOWN
                   : *action == "up" ? MouseAction::UP
                                     : MouseAction::HOLD;
  for (auto [key, out] :
       {std::pair{"client", &request.client}, std::pair{"stream", &request.stream}}) {
    auto it = o.find(key);
    if (it == o.end()) continue;
    if (!it->is_string()) return bad(std::string("\"") + key + "\" must be text");
    if (auto error = check_client_id(key, it->get<std::string>())) return *error;
    *out = it->get<std::string>();
  }
  return request;
}

std::optional<RequestError> check_client_id(const std::string& what, const std::string& id) {
  const bool fits = !id.empty() && id.size() <= MAX_CLIENT_ID_BYTES &&
                    std::all_of(id.begin(), id.end(), [](char c) {
                      return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
                    });
  if (fits) return std::nullopt;
  return bad("\"" + what + "\" must be 1 to " + std::to_string(MAX_CLIENT_ID_BYTES) +
             " letters, digits, '-' or '_'");
}

Parsed<SetRequest> parse_set_request(const std::string& body) {
  Parsed<json> parsed = object_of(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) return *error;
  const json& o = std::get<json>(parsed);
  if (auto error = only_keys(o, {"name", "value"})) return *error;
  auto name = o.find("name");
  if (name == o.end() || !name->is_string()) return bad("\"name\" must be a condition's name");
  const std::string text = name->get<std::string>();
  const std::optional<ConditionRange> range = HostVariables::condition_range(text);
  if (!range) return bad("unknown condition " + name->dump());
  SetRequest request{text, 0.0};
  const std::string unit = range->flag ? "0 or 1" : std::string(range->unit);
  if (auto error = need_number(o, "value", range->min, range->max, request.value)) {
    error->message += " (" + text + (unit.empty() ? "" : ", " + unit) + ")";
    return *error;
  }
  if (range->flag && request.value != 0.0 && request.value != 1.0) {
    return bad("\"value\" for " + text + " must be 0 or 1");
  }
  if (range->whole && request.value != std::trunc(request.value)) {
    return bad("\"value\" for " + text + " must be a whole number");
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
  // The name is shown in the page and kept in the panel's state, both JSON.
  if (!flight::is_utf8(name)) return bad("the plan's file name (\"name\") is not UTF-8 text");
  for (char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
      return bad("the plan's file name \"" + name + "\" may not hold folders or control bytes");
    }
  }
  if (name == "." || name == "..") return bad("\"" + name + "\" is not a file name");
  return std::nullopt;
}

}  // namespace host::web
