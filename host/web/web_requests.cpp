#include "host/web/web_requests.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "host/aircraft/host_variables.h"
#include "host/platform/plain_text.h"

namespace host::web {

namespace {

using nlohmann::json;

constexpr const char* JSON_TYPE = "application/json";

RequestError bad(std::string message) {
  return RequestError{400, std::move(message)};
}

// The body as a JSON object, or why it is not one. A key given twice in an object is refused
// by name: the parser alone would keep the last silently, and a request that says two things
// means neither for sure.
Parsed<json> object_of(const std::string& body) {
  if (body.size() > MAX_JSON_BODY_BYTES) {
    return RequestError{413, "request body of " + std::to_string(body.size()) +
                                 " bytes is larger than " + std::to_string(MAX_JSON_BODY_BYTES)};
  }
  if (body.empty()) {
    return bad("the request has no body: send a JSON object (Content-Type: application/json)");
  }
  std::vector<std::set<std::string>> keys_of_open_objects;
  std::optional<std::string> given_twice;
  const json::parser_callback_t note_keys = [&](int, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) keys_of_open_objects.emplace_back();
    if (event == json::parse_event_t::object_end && !keys_of_open_objects.empty()) {
      keys_of_open_objects.pop_back();
    }
    if (event == json::parse_event_t::key && !given_twice &&
        !keys_of_open_objects.back().insert(parsed.get<std::string>()).second) {
      given_twice = parsed.get<std::string>();
    }
    return true;
  };
  json value = json::parse(body, note_keys, false);
  if (value.is_discarded()) return bad("the body is not valid JSON");
  if (given_twice) return bad("the field " + json(*given_twice).dump() + " is given twice");
  if (!value.is_object()) return bad("the body must be a JSON object");
  return value;
}

// The whole number `value` when it lies within min..max. The JSON parser keeps a number past
// int64's range as unsigned, which read as int64 would wrap to a small (even negative) one.
std::optional<int64_t> whole_number_within(const json& value, int64_t min, int64_t max) {
  if (!value.is_number_integer()) return std::nullopt;
  if (value.is_number_unsigned() &&
      value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    return std::nullopt;
  }
  const auto whole = value.get<int64_t>();
  if (whole < min || whole > max) return std::nullopt;
  return whole;
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
    const auto value = whole_number_within(*it, 0, limit - 1);
    if (!value) {
      return bad(std::string("\"") + key + "\" " + it->dump() + " is outside the " + extent->name +
                 " gauge (0.." + std::to_string(limit - 1) + ")");
    }
    *out = static_cast<int32_t>(*value);
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
    const auto rate = whole_number_within(*it, 1, MAX_RATE);
    if (!rate) return bad("\"rate\" must be a whole number 1.." + std::to_string(MAX_RATE));
    request.rate = static_cast<int>(*rate);
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

std::optional<RequestError> refuse_form_body(const std::string& content_type,
                                             const std::string& path) {
  const std::string form = "application/x-www-form-urlencoded";
  const bool is_form =
      content_type.size() >= form.size() &&
      std::equal(form.begin(), form.end(), content_type.begin(),
                 [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
  if (!is_form) return std::nullopt;
  const std::string sent_as = "came as a form (Content-Type: " + form +
                              ", what curl sends for -d or --data-binary unless told otherwise)";
  if (path == "/api/plan") {
    return RequestError{415, "the plan " + sent_as +
                                 ": send the file's bytes as they are, with Content-Type: "
                                 "application/octet-stream (curl -H 'Content-Type: "
                                 "application/octet-stream' --data-binary @FILE.PLN)"};
  }
  return RequestError{415, "the body " + sent_as + ": send JSON, with Content-Type: " + JSON_TYPE};
}

std::optional<RequestError> check_plan_body(const std::string& content_type,
                                            const std::string& body) {
  if (auto form = refuse_form_body(content_type, "/api/plan")) return form;
  if (body.empty()) {
    return bad(
        "the request has no body: send the plan file's bytes with ?name=FILE.PLN, or "
        "load a bundled plan with ?example=NAME");
  }
  return std::nullopt;
}

}  // namespace host::web
