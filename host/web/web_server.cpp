#include "host/web/web_server.h"

#include <httplib.h>

#include <cstdint>
#include <memory>

#include "host/flight/flight_plan.h"
#include "host/lesson/lesson_json.h"
#include "host/live/panel_state.h"
#include "host/platform/plain_text.h"
#include "host/web/limited_server.h"
#include "host/web/panel_layout.h"
#include "host/web/plan_import_check.h"
#include "host/web/request_guard.h"
#include "store/durable_file.h"

namespace host::web {

namespace {

using live::Clock;
using live::json_text;
using live::LiveSession;
using live::LoadedPlan;
using live::PublishedState;
using live::SessionCommand;
using live::SimLoop;
using live::SimStatus;
using nlohmann::json;

constexpr const char* JSON_TYPE = "application/json";

// Connections that may wait to be accepted at once.
constexpr int LISTEN_BACKLOG = 256;

// The largest WAYPOINTS.DAT read for the map: 100 lines of at most 99 characters, with room.
constexpr std::size_t MAX_WAYPOINT_FILE_BYTES = 64 * 1024;

void reply_error(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(json_text(json{{"error", message}}), JSON_TYPE);
}

void reply_ok(httplib::Response& res, const json& body = json{{"ok", true}}) {
  res.status = 200;
  res.set_content(json_text(body), JSON_TYPE);
}

// What a refusal of the library's own (a request it could not read or route) says.
std::string library_refusal(int status, const httplib::Request& req) {
  switch (status) {
    case 404:
      return "no such path " + req.path;
    case 413:
      return "the body is larger than " + std::to_string(MAX_PLAN_BYTES / 1024) + " KiB";
    case 416:
      return "the range cannot be served";
    case 400:
      return "the request could not be read (malformed, a head over its limit, or too slow)";
    default:
      return "refused (" + std::to_string(status) + ")";
  }
}

// Runs a checked request on the simulation thread and answers with its outcome.
void run_command(SimLoop& loop, httplib::Response& res, SessionCommand command) {
  const std::string error = loop.submit(std::move(command));
  if (error.empty()) {
    reply_ok(res);
  } else {
    reply_error(res, 409, error);
  }
}

// A file of the working folder (the server's current folder) as the store reads it: a regular
// file only, so a FIFO put in its place cannot hold a thread, and no more of it than `max_bytes`,
// so a huge (or sparse) file is not read whole. Empty when there is no such file.
Parsed<std::string> read_working_file(const char* name, std::size_t max_bytes) {
  StoreFile file;
  const OpenResult opened = open_for_reading(file, name);
  if (opened == FILE_ABSENT) return std::string();
  if (opened == FILE_REFUSED) {
    return RequestError{409, std::string(name) + " in the working folder is not a plain file"};
  }
  std::string text;
  for (int byte = read_byte(file); byte != STORE_FILE_END && text.size() <= max_bytes;
       byte = read_byte(file)) {
    text.push_back(static_cast<char>(byte));
  }
  const bool read_whole = close_file(file);
  if (text.size() > max_bytes) {
    return RequestError{409, std::string(name) + " in the working folder is larger than " +
                                 std::to_string(max_bytes / 1024) + " KiB"};
  }
  if (!read_whole) return RequestError{500, std::string("cannot read ") + name};
  return text;
}

// The plans in the examples folder, by file name.
std::vector<std::string> example_names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::filesystem::path& p = entry.path();
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (entry.is_regular_file() && ext == ".PLN") names.push_back(p.filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct PlanUpload {
  std::string name;
  std::string text;
};

// The plan a request brings: one of the bundled examples by name, or the body under the file name
// the user gave, checked before it is read.
Parsed<PlanUpload> plan_upload(const httplib::Request& req,
                               const std::filesystem::path& examples_folder) {
  if (!req.has_param("example")) {
    const std::string name = req.has_param("name") ? req.get_param_value("name") : "";
    if (auto error = check_plan_name(name)) return *error;
    if (auto error = check_plan_body(req.get_header_value("Content-Type"), req.body)) return *error;
    return PlanUpload{name, req.body};
  }
  const std::string name = req.get_param_value("example");
  if (!flight::is_utf8(name)) return RequestError{400, "\"example\" is not UTF-8 text"};
  const auto examples = example_names(examples_folder);
  if (std::find(examples.begin(), examples.end(), name) == examples.end()) {
    return RequestError{404, "no example plan named \"" + name + "\""};
  }
  try {
    return PlanUpload{name, flight::read_plan_file(examples_folder / name)};
  } catch (const flight::PlanError&) {
    return RequestError{404, "cannot read the example plan \"" + name + "\""};
  }
}

// Answers a request whose body did not parse with the parser's refusal; otherwise runs the
// command `command_for` makes of it on the simulation thread.
template <typename Request, typename MakeCommand>
void run_parsed(SimLoop& loop, httplib::Response& res, const Parsed<Request>& parsed,
                MakeCommand command_for) {
  if (auto* error = std::get_if<RequestError>(&parsed)) {
    return reply_error(res, error->status, error->message);
  }
  run_command(loop, res, command_for(std::get<Request>(parsed)));
}

// The tick and frame a mouse request was taken at, read on the simulation thread. The CDU's keys
// latch for 5 ticks from a press (and from a held key's last repeat), so a page that sends a key
// again waits until the state's tick is past that, in a frame run after it.
struct TakenAt {
  int64_t tick = 0;
  int64_t frame = 0;
};

SessionCommand mouse_command(const MouseRequest& mouse, std::shared_ptr<TakenAt> taken) {
  return [mouse, taken](LiveSession& session, SimStatus&) -> std::string {
    const auto now = Clock::now();
    taken->tick = session.clock().tick();
    taken->frame = session.clock().frame_count();
    switch (mouse.action) {
      case MouseAction::UP:
        session.mouse_up(mouse.client, now);
        return "";
      case MouseAction::HOLD:
        session.still_holding(mouse.client, now);
        return "";
      case MouseAction::DOWN:
        break;
    }
    const PlacedGauge* gauge = session.panel().find(mouse.gauge);
    if (gauge == nullptr) return "no gauge " + mouse.gauge;
    session.mouse_down(*gauge, MousePoint{mouse.x, mouse.y}, {mouse.client, mouse.stream}, now);
    return "";
  };
}

SessionCommand set_command(const SetRequest& set) {
  return [set](LiveSession& session, SimStatus&) -> std::string {
    return session.set_condition(set.name, set.value) ? "" : "unknown condition " + set.name;
  };
}

SessionCommand sim_command(const SimRequest& sim) {
  return [sim](LiveSession& session, SimStatus& status) -> std::string {
    if (sim.rate) status.rate = *sim.rate;
    if (sim.paused) status.paused = *sim.paused;
    if (sim.motion) session.set_motion(*sim.motion);
    return "";
  };
}

SessionCommand takeoff_command(const TakeoffRequest& takeoff) {
  return [takeoff](LiveSession& session, SimStatus&) -> std::string {
    session.take_off(takeoff.alt_ft, takeoff.tas_kt);
    return "";
  };
}

json plan_json(const LoadedPlan& loaded) {
  json waypoints = json::array();
  for (const flight::PlanWaypoint& wp : loaded.plan.waypoints) {
    waypoints.push_back(
        {{"ident", wp.ident}, {"lat_deg", wp.lat_deg}, {"lon_east_deg", wp.lon_east_deg}});
  }
  return {{"name", loaded.name},
          {"title", loaded.plan.title},
          {"cruise_alt_ft", loaded.plan.cruise_alt_ft},
          {"waypoints", std::move(waypoints)}};
}

}  // namespace

WebServer::WebServer(SimLoop& loop, const std::vector<GaugeExtent>& gauges, json layout,
                     const ServerFolders& folders)
    : loop_(loop),
      gauges_(gauges),
      layout_text_(layout.dump()),
      folders_(folders),
      // Each open event stream holds a thread of the pool; the rest is room for ordinary
      // requests, and for connections whose requests are still arriving (each holds a thread
      // for at most its deadlines).
      server_(std::make_unique<LimitedServer>(ConnectionLimits{.body_bytes = MAX_PLAN_BYTES},
                                              MAX_STREAMS + REQUEST_THREADS)) {
  server_->set_payload_max_length(MAX_PLAN_BYTES);
  // No page of another origin may frame the panel (twelve frames would each open a stream), nor
  // read a reply of this server as an image or a script.
  server_->set_default_headers({{"X-Frame-Options", "DENY"},
                                {"Content-Security-Policy", "frame-ancestors 'none'"},
                                {"Cross-Origin-Resource-Policy", "same-origin"},
                                {"X-Content-Type-Options", "nosniff"}});
  server_->set_file_extension_and_mimetype_mapping("ttf", "font/ttf");
  server_->set_file_extension_and_mimetype_mapping("wav", "audio/wav");
  server_->set_file_extension_and_mimetype_mapping("mjs", "text/javascript");
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (const auto fault = head_fault()) {
      const_cast<httplib::Request&>(req).ranges.clear();
      reply_error(res, 400, *fault);
      res.set_header("Connection", "close");  // the stream ends the connection
      return httplib::Server::HandlerResponse::Handled;
    }
    // The library has read the Range header into the request before any handler runs, and cuts
    // every reply to it: an API reply and a refusal go out whole. (The request is the library's
    // own, not const; this hook is the only place before the cut.)
    auto& ranges = const_cast<httplib::Request&>(req).ranges;
    if (req.path.starts_with("/api/")) ranges.clear();
    const std::optional<Refusal> refusal = guard_->check(req);
    if (!refusal) return httplib::Server::HandlerResponse::Unhandled;
    ranges.clear();
    reply_error(res, refusal->status, refusal->message);
    // A refused request's body is not read: the connection ends with the reply, so that no byte
    // of that body is ever taken for a request.
    close_after_reply();
    res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
  });
  add_routes();
  add_static_files();
}

WebServer::~WebServer() {
  stop();
}

int WebServer::bind(const std::string& address, int port) {
  const int bound = port == 0 ? server_->bind_to_any_port(address)
                              : (server_->bind_to_port(address, port) ? port : -1);
  if (bound < 0) return bound;
  server_->widen_backlog(LISTEN_BACKLOG);
  guard_ = std::make_unique<RequestGuard>(address, bound);
  return bound;
}

bool WebServer::listen() {
  return guard_ != nullptr && server_->listen_after_bind();
}

bool WebServer::listening() const {
  return server_->is_running();
}

void WebServer::stop() {
  stopping_ = true;
  if (server_) server_->stop();
}

void WebServer::add_static_files() {
  server_->set_mount_point("/bitmaps-2x", folders_.bitmaps_2x_folder.string());
  server_->set_mount_point("/bitmaps", folders_.bitmaps_folder.string());
  server_->set_mount_point("/assets", folders_.assets_folder.string());
  server_->set_mount_point("/", folders_.static_folder.string());
  // The library's own refusals (no such path, a request it cannot read) say what they are.
  server_->set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;  // a refusal of ours says what it is already
    // A chunked body the server stopped reading at the limit: the library saw only a body it
    // could not read.
    if (body_over_limit()) res.status = 413;
    // The library's own limit on a form body (8 KiB), passed by a body sent as a form: the
    // form is what is wrong.
    if (res.status == 413 && !body_over_limit()) {
      if (auto form = refuse_form_body(req.get_header_value("Content-Type"), req.path)) {
        res.status = form->status;
        res.set_content(json_text(json{{"error", form->message}}), JSON_TYPE);
        return;
      }
    }
    res.set_content(json_text(json{{"error", library_refusal(res.status, req)}}), JSON_TYPE);
  });
  // A handler that throws has changed nothing: every change is the simulation thread's, made by
  // a command that either completes or reports its failure.
  server_->set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string message = "internal error";
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          message = std::string("internal error, nothing changed: ") + e.what();
        } catch (...) {
        }
        reply_error(res, 500, message);
      });
}

void WebServer::add_routes() {
  add_panel_routes();
  add_command_routes();
  add_plan_routes();
  // The lessons the page walks a pilot through (host/lesson), read afresh on each request so a
  // lesson being written shows on a reload.
  server_->Get("/api/lessons", [this](const httplib::Request&, httplib::Response& res) {
    reply_ok(res, lesson::folder_lessons_json(folders_.static_folder / "lessons"));
  });
}

// What the page draws: the panel's layout once, then its state, asked for or streamed.
void WebServer::add_panel_routes() {
  server_->Get("/api/layout", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(layout_text_, JSON_TYPE);
  });

  server_->Get("/api/panel", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(*loop_.state().json, JSON_TYPE);
  });

  server_->Get("/api/stream", [this](const httplib::Request& req, httplib::Response& res) {
    open_stream(req, res);
  });

  // What an EventSource of the panel's page carries to /api/stream in place of the header it
  // cannot send (request_guard.h).
  server_->Get("/api/stream-token", [this](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    reply_ok(res, json{{"token", guard_->stream_token()}});
  });
}

// ?id=ID names the stream, so that a press made by a page it serves ends with it.
void WebServer::open_stream(const httplib::Request& req, httplib::Response& res) {
  const std::string stream_id = req.has_param("id") ? req.get_param_value("id") : "";
  if (auto error = req.has_param("id") ? check_client_id("id", stream_id) : std::nullopt) {
    return reply_error(res, error->status, error->message);
  }
  if (open_streams_.fetch_add(1) >= MAX_STREAMS) {
    open_streams_.fetch_sub(1);
    reply_error(res, 503,
                "the panel is open in " + std::to_string(MAX_STREAMS) +
                    " browsers or programs already, as many as this server serves at once");
    return;
  }
  res.set_header("Cache-Control", "no-store");
  auto last_seq = std::make_shared<uint64_t>(0);
  res.set_chunked_content_provider(
      "text/event-stream",
      [this, last_seq](std::size_t, httplib::DataSink& sink) {
        if (stopping_ || !loop_.running()) return false;
        const PublishedState state =
            loop_.wait_for_state_after(*last_seq, std::chrono::milliseconds(1000));
        if (stopping_ || !sink.is_writable()) return false;
        std::string message;
        if (state.seq > *last_seq) {
          *last_seq = state.seq;
          message = "data: " + *state.json + "\n\n";
        } else {
          message = ": still here\n\n";  // keeps idle connections from timing out
        }
        return sink.write(message.data(), message.size());
      },
      [this, stream_id](bool) {
        open_streams_.fetch_sub(1);
        if (stream_id.empty()) return;
        loop_.submit([stream_id](LiveSession& session, SimStatus&) {
          session.stream_ended(stream_id);
          return std::string();
        });
      });
}

// What the user does to the panel and the simulation: each body is checked whole before its
// command runs on the simulation thread.
void WebServer::add_command_routes() {
  server_->Post("/api/mouse", [this](const httplib::Request& req, httplib::Response& res) {
    auto taken = std::make_shared<TakenAt>();
    run_parsed(loop_, res, parse_mouse_request(req.body, gauges_),
               [&taken](const MouseRequest& mouse) { return mouse_command(mouse, taken); });
    if (res.status == 200) {
      reply_ok(res, json{{"ok", true}, {"tick", taken->tick}, {"frame", taken->frame}});
    }
  });

  server_->Post("/api/set", [this](const httplib::Request& req, httplib::Response& res) {
    run_parsed(loop_, res, parse_set_request(req.body), set_command);
  });

  server_->Post("/api/sim", [this](const httplib::Request& req, httplib::Response& res) {
    run_parsed(loop_, res, parse_sim_request(req.body), sim_command);
  });

  add_aircraft_routes();
}

// Take-off and prepare: the host's own flight model's, or handed to the simulator flying the
// aircraft (409 with its reason when it cannot do it now).
void WebServer::add_aircraft_routes() {
  server_->Post("/api/takeoff", [this](const httplib::Request& req, httplib::Response& res) {
    if (!aircraft_.take_off) {
      return run_parsed(loop_, res, parse_takeoff_request(req.body), takeoff_command);
    }
    const std::string error = aircraft_.take_off();
    error.empty() ? reply_ok(res) : reply_error(res, 409, error);
  });
  server_->Post("/api/prepare", [this](const httplib::Request&, httplib::Response& res) {
    if (!aircraft_.prepare) {
      return reply_error(res, 409, "prepare: the host's own aircraft needs none");
    }
    const std::string error = aircraft_.prepare();
    error.empty() ? reply_ok(res) : reply_error(res, 409, error);
  });
}

// The flight plan, the plans a user may pick, and the waypoints the module has stored.
void WebServer::add_plan_routes() {
  server_->Get("/api/examples", [this](const httplib::Request&, httplib::Response& res) {
    reply_ok(res, json{{"examples", example_names(folders_.examples_folder)}});
  });

  server_->Post("/api/plan", [this](const httplib::Request& req, httplib::Response& res) {
    load_plan(req, res);
  });

  server_->Get("/api/plan", [this](const httplib::Request&, httplib::Response& res) {
    auto result = std::make_shared<json>(nullptr);
    const std::string error = loop_.submit([result](LiveSession& session, SimStatus&) {
      if (session.plan()) *result = plan_json(*session.plan());
      return std::string();
    });
    if (!error.empty()) return reply_error(res, 503, error);
    reply_ok(res, json{{"plan", *result}});
  });

  // The waypoint file is replaced whole by a rename, so a read here never sees half of it.
  server_->Get("/api/waypoints", [](const httplib::Request&, httplib::Response& res) {
    Parsed<std::string> file = read_working_file(WAYPOINT_FILE_NAME, MAX_WAYPOINT_FILE_BYTES);
    if (auto* error = std::get_if<RequestError>(&file)) {
      return reply_error(res, error->status, error->message);
    }
    reply_ok(res, json{{"waypoints", waypoints_json(std::get<std::string>(file))}});
  });
}

// A plan: the file's bytes as the body with ?name=FILE.PLN, or ?example=NAME for one of the
// bundled plans. The host reads it as `ins-host fly` does, and the reply is made, before
// anything changes: a plan it refuses, or one it cannot answer for, changes nothing.
void WebServer::load_plan(const httplib::Request& req, httplib::Response& res) {
  Parsed<PlanUpload> upload = plan_upload(req, folders_.examples_folder);
  if (auto* error = std::get_if<RequestError>(&upload)) {
    return reply_error(res, error->status, error->message);
  }
  auto [name, text] = std::move(std::get<PlanUpload>(upload));
  flight::FlightPlan plan;
  try {
    plan = flight::parse_flight_plan(text, name);
  } catch (const flight::PlanError& error) {
    return reply_error(res, 422, std::string("plan refused, nothing changed: ") + error.what());
  }
  if (auto refused = refuse_unless_imported(name, text, folders_.module, folders_.fps)) {
    return reply_error(res, refused->status, refused->message);
  }
  const std::string reply = json_text(plan_json(LoadedPlan{name, plan}));
  const std::string error =
      loop_.submit([name, plan, text](LiveSession& session, SimStatus&) -> std::string {
        session.install_plan(name, plan, text);
        return "";
      });
  if (!error.empty()) return reply_error(res, 500, "plan not loaded, nothing changed: " + error);
  res.set_content(reply, JSON_TYPE);
}

}  // namespace host::web
