#include "host/web/web_server.h"

#include <httplib.h>

#include <fstream>
#include <sstream>

namespace host::web {

namespace {

using nlohmann::json;

constexpr const char* JSON_TYPE = "application/json";

void reply_error(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(json{{"error", message}}.dump(), JSON_TYPE);
}

void reply_ok(httplib::Response& res, json body = json{{"ok", true}}) {
  res.status = 200;
  res.set_content(body.dump(), JSON_TYPE);
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

std::optional<std::string> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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
      server_(std::make_unique<httplib::Server>()) {
  // Each open event stream holds a thread of the pool; leave room for ordinary requests.
  server_->new_task_queue = [] { return new httplib::ThreadPool(MAX_STREAMS + 8); };
  server_->set_payload_max_length(MAX_PLAN_BYTES);
  server_->set_file_extension_and_mimetype_mapping("ttf", "font/ttf");
  server_->set_file_extension_and_mimetype_mapping("wav", "audio/wav");
  server_->set_file_extension_and_mimetype_mapping("mjs", "text/javascript");
  add_routes();
  add_static_files();
}

WebServer::~WebServer() {
  stop();
}

int WebServer::bind(const std::string& address, int port) {
  if (port == 0) return server_->bind_to_any_port(address);
  return server_->bind_to_port(address, port) ? port : -1;
}

bool WebServer::listen() {
  return server_->listen_after_bind();
}

bool WebServer::listening() const {
  return server_->is_running();
}

void WebServer::stop() {
  stopping_ = true;
  if (server_) server_->stop();
}

void WebServer::add_static_files() {
  server_->set_mount_point("/bitmaps", folders_.bitmaps_folder.string());
  server_->set_mount_point("/assets", folders_.assets_folder.string());
  server_->set_mount_point("/", folders_.static_folder.string());
  // Anything not found gets a plain message rather than an empty page.
  server_->set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (res.body.empty()) {
      res.set_content(json{{"error", "no such path " + req.path}}.dump(), JSON_TYPE);
    }
  });
  server_->set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string message = "internal error";
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          message = e.what();
        }
        reply_error(res, 500, message);
      });
}

void WebServer::add_routes() {
  server_->Get("/api/layout", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(layout_text_, JSON_TYPE);
  });

  server_->Get("/api/panel", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(*loop_.state().json, JSON_TYPE);
  });

  server_->Get("/api/stream", [this](const httplib::Request&, httplib::Response& res) {
    if (open_streams_.fetch_add(1) >= MAX_STREAMS) {
      open_streams_.fetch_sub(1);
      reply_error(res, 503, "too many open panels (" + std::to_string(MAX_STREAMS) + ")");
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
        [this](bool) { open_streams_.fetch_sub(1); });
  });

  server_->Post("/api/mouse", [this](const httplib::Request& req, httplib::Response& res) {
    Parsed<MouseRequest> parsed = parse_mouse_request(req.body, gauges_);
    if (auto* error = std::get_if<RequestError>(&parsed)) {
      return reply_error(res, error->status, error->message);
    }
    const MouseRequest mouse = std::get<MouseRequest>(parsed);
    run_command(loop_, res, [mouse](LiveSession& session, SimStatus&) -> std::string {
      if (!mouse.down) {
        session.mouse_up();
        return "";
      }
      const PlacedGauge* gauge = session.panel().find(mouse.gauge);
      if (gauge == nullptr) return "no gauge " + mouse.gauge;
      session.mouse_down(*gauge, MousePoint{mouse.x, mouse.y});
      return "";
    });
  });

  server_->Post("/api/set", [this](const httplib::Request& req, httplib::Response& res) {
    Parsed<SetRequest> parsed = parse_set_request(req.body);
    if (auto* error = std::get_if<RequestError>(&parsed)) {
      return reply_error(res, error->status, error->message);
    }
    const SetRequest set = std::get<SetRequest>(parsed);
    run_command(loop_, res, [set](LiveSession& session, SimStatus&) -> std::string {
      return session.set_condition(set.name, set.value) ? "" : "unknown condition " + set.name;
    });
  });

  server_->Post("/api/sim", [this](const httplib::Request& req, httplib::Response& res) {
    Parsed<SimRequest> parsed = parse_sim_request(req.body);
    if (auto* error = std::get_if<RequestError>(&parsed)) {
      return reply_error(res, error->status, error->message);
    }
    const SimRequest sim = std::get<SimRequest>(parsed);
    run_command(loop_, res, [sim](LiveSession& session, SimStatus& status) -> std::string {
      if (sim.rate) status.rate = *sim.rate;
      if (sim.paused) status.paused = *sim.paused;
      if (sim.motion) session.set_motion(*sim.motion);
      return "";
    });
  });

  server_->Post("/api/takeoff", [this](const httplib::Request& req, httplib::Response& res) {
    Parsed<TakeoffRequest> parsed = parse_takeoff_request(req.body);
    if (auto* error = std::get_if<RequestError>(&parsed)) {
      return reply_error(res, error->status, error->message);
    }
    const TakeoffRequest takeoff = std::get<TakeoffRequest>(parsed);
    run_command(loop_, res, [takeoff](LiveSession& session, SimStatus&) -> std::string {
      session.take_off(takeoff.alt_ft, takeoff.tas_kt);
      return "";
    });
  });

  server_->Get("/api/examples", [this](const httplib::Request&, httplib::Response& res) {
    reply_ok(res, json{{"examples", example_names(folders_.examples_folder)}});
  });

  // A plan: the file's bytes as the body with ?name=FILE.PLN, or ?example=NAME for one of the
  // bundled plans. The host reads it as `ins-host fly` does; a plan it refuses changes nothing.
  server_->Post("/api/plan", [this](const httplib::Request& req, httplib::Response& res) {
    std::string name, text;
    if (req.has_param("example")) {
      name = req.get_param_value("example");
      const auto examples = example_names(folders_.examples_folder);
      if (std::find(examples.begin(), examples.end(), name) == examples.end()) {
        return reply_error(res, 404, "no example plan named \"" + name + "\"");
      }
      auto file = read_file(folders_.examples_folder / name);
      if (!file) return reply_error(res, 404, "cannot read the example plan \"" + name + "\"");
      text = std::move(*file);
    } else {
      name = req.has_param("name") ? req.get_param_value("name") : "";
      if (auto error = check_plan_name(name))
        return reply_error(res, error->status, error->message);
      text = req.body;
    }
    flight::FlightPlan plan;
    try {
      plan = flight::parse_flight_plan(text, name);
    } catch (const flight::PlanError& error) {
      return reply_error(res, 422, std::string("plan refused, nothing changed: ") + error.what());
    }
    auto result = std::make_shared<json>();
    const std::string error =
        loop_.submit([name, plan, text, result](LiveSession& session, SimStatus&) -> std::string {
          session.install_plan(name, plan, text);
          *result = plan_json(*session.plan());
          return "";
        });
    if (!error.empty()) return reply_error(res, 500, error);
    reply_ok(res, *result);
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
  server_->Get("/api/waypoints", [this](const httplib::Request&, httplib::Response& res) {
    reply_ok(res, json{{"waypoints", waypoints_json(folders_.working_folder / "WAYPOINTS.DAT")}});
  });
}

}  // namespace host::web
