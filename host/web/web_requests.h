// The web panel's requests, read and checked before anything is changed: a request is either
// what it asks for, in the host's own terms, or the reason it cannot be done (an HTTP status
// and a message naming the field that is wrong). Nothing here touches the session, so a bad
// request changes nothing by construction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/flight/flight_plan.h"

namespace host::web {

struct RequestError {
  int status = 400;
  std::string message;
};

template <typename T>
using Parsed = std::variant<T, RequestError>;

// Largest JSON body an API request may carry, and the largest plan file.
inline constexpr std::size_t MAX_JSON_BODY_BYTES = 16 * 1024;
inline constexpr std::size_t MAX_PLAN_BYTES = flight::MAX_PLAN_FILE_BYTES;

// The clickable extent of a placed gauge, in its own pixels.
struct GaugeExtent {
  std::string name;
  int32_t width = 0;
  int32_t height = 0;
};

// {"gauge": "INS", "x": 103, "y": 91, "action": "down" | "up" | "hold", "client": ID,
//  "stream": ID}: `hold` says the client still holds its press; `client` and `stream` (optional)
// say whose press it is (live_session.h).
enum class MouseAction { DOWN, UP, HOLD };
struct MouseRequest {
  std::string gauge;
  int32_t x = 0;
  int32_t y = 0;
  MouseAction action = MouseAction::DOWN;
  std::string client;
  std::string stream;
};
Parsed<MouseRequest> parse_mouse_request(const std::string& body,
                                         const std::vector<GaugeExtent>& gauges);

// {"name": "battery", "value": 1}: a scenario `set` name in its unit, within the range the
// scenario language gives it.
struct SetRequest {
  std::string name;
  double value = 0.0;
};
Parsed<SetRequest> parse_set_request(const std::string& body);

// {"rate": 1..64, "paused": bool, "motion": bool}, each optional, at least one.
inline constexpr int MAX_RATE = 64;
struct SimRequest {
  std::optional<int> rate;
  std::optional<bool> paused;
  std::optional<bool> motion;
};
Parsed<SimRequest> parse_sim_request(const std::string& body);

// {"alt_ft": 1000..45000, "tas_kt": 150..650}
struct TakeoffRequest {
  double alt_ft = 35000.0;
  double tas_kt = 480.0;
};
Parsed<TakeoffRequest> parse_takeoff_request(const std::string& body);

// A client's or an event stream's id: 1 to 64 letters, digits, '-' or '_'.
inline constexpr std::size_t MAX_CLIENT_ID_BYTES = 64;
std::optional<RequestError> check_client_id(const std::string& what, const std::string& id);

// A plan's file name as the user gave it: a plain name of at most 100 bytes of UTF-8 text without
// folders or control bytes.
std::optional<RequestError> check_plan_name(const std::string& name);

// A body sent as a form (Content-Type application/x-www-form-urlencoded, which curl sends for
// -d and --data-binary unless told another type): refused (415), saying how to send `path`'s
// body instead. The HTTP library reads a form only up to 8 KiB, and takes its text for form
// fields; a plan is a file's bytes, an API request JSON. Nothing for any other type.
std::optional<RequestError> refuse_form_body(const std::string& content_type,
                                             const std::string& path);

// The body of a plan upload (?name=FILE.PLN): the plan file's bytes, not a form, not nothing.
std::optional<RequestError> check_plan_body(const std::string& content_type,
                                            const std::string& body);

}  // namespace host::web
