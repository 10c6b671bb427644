#include "host/link/link_pacer.h"

#include <cmath>

#include "host/flight/flight_model.h"

namespace host::link {

int64_t LinkPacer::frames_owed(web::LiveSession& session) {
  view_ = link_.view();
  if (!view_.sample) return 0;
  const FlightGearSample& sample = *view_.sample;
  // Set before every batch, not only on a new sample: FlightGear moves the aircraft, never the
  // host's flight model, a condition set on the page or a plan standing it at its departure.
  session.set_motion(false);
  apply_sample(sample, session.aircraft());
  const double fps = session.clock().fps();
  const double t = sample.sim_time_s;
  const bool new_epoch =
      !epoch_time_s_ || view_.connection != epoch_connection_ || t < last_time_s_ ||
      (t - *epoch_time_s_) * fps - static_cast<double>(frames_since_epoch_) > MAX_CATCH_UP_S * fps;
  if (new_epoch) {
    epoch_time_s_ = t;
    epoch_connection_ = view_.connection;
    frames_since_epoch_ = 0;
  }
  last_time_s_ = t;
  return static_cast<int64_t>(std::floor((t - *epoch_time_s_) * fps)) - frames_since_epoch_;
}

void LinkPacer::frames_ran(web::LiveSession& session, int64_t count) {
  frames_since_epoch_ += count;
  const uint64_t sets = session.heading_bug_sets();
  if (sets == seen_bug_sets_) return;
  seen_bug_sets_ = sets;
  // Only frames run on live data steer FlightGear: never paused, stale or disconnected (what
  // the module sent then is dropped; it sends again from fresh data).
  if (view_.state != LinkState::live || !view_.sample) return;
  // FlightGear's bug is a direction: nothing else the module could hold is ever written.
  const double module_bug = session.aircraft().heading_bug_mag_deg;
  if (!std::isfinite(module_bug)) return;
  const double bug = flight::wrap_360_deg(module_bug);
  const auto flightgear_bug = view_.sample->heading_bug_deg;
  const bool changed = !bug_written_deg_ || *bug_written_deg_ != bug;
  const double off =
      flightgear_bug ? std::fabs(flight::wrap_180_deg(*flightgear_bug - bug)) : 180.0;
  // FlightGear's bug elsewhere (moved in FlightGear): set again, once per sample.
  const bool moved = off > BUG_TOLERANCE_DEG && view_.sample_seq != bug_written_seq_;
  if ((changed || moved) && link_.write_heading_bug(bug)) {
    bug_written_deg_ = bug;
    bug_written_seq_ = view_.sample_seq;
  }
}

nlohmann::json LinkPacer::state_json() const {
  nlohmann::json out = {{"state", state_name(view_.state)},
                        {"text", view_.text(link_.peer())},
                        {"flightgear", link_.peer()},
                        {"silent_s", view_.silent_s},
                        {"fault", view_.fault},
                        {"missing", view_.missing},
                        {"heading_bug_writes", view_.heading_bug_writes},
                        {"heading_mode_engaged", view_.heading_mode_engaged}};
  if (view_.sample) {
    out["sim_time_s"] = view_.sample->sim_time_s;
    out["heading_bug_deg"] = view_.sample->heading_bug_deg
                                 ? nlohmann::json(*view_.sample->heading_bug_deg)
                                 : nlohmann::json(nullptr);
  } else {
    out["sim_time_s"] = nullptr;
    out["heading_bug_deg"] = nullptr;
  }
  // FlightGear's autopilot as its own locks say (null where FlightGear has no value): the page
  // tells from them what steers the aircraft.
  const auto lock = [this](std::optional<bool> FlightGearSample::*member) {
    const bool known = view_.sample && (*view_.sample).*member;
    return known ? nlohmann::json(*((*view_.sample).*member)) : nlohmann::json(nullptr);
  };
  out["autopilot"] = {{"engaged", lock(&FlightGearSample::ap_engaged)},
                      {"heading_mode", lock(&FlightGearSample::ap_heading_mode)}};
  return out;
}

}  // namespace host::link
