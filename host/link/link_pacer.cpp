#include "host/link/link_pacer.h"

#include <cmath>

#include "host/flight/flight_model.h"

namespace host::link {

int64_t FrameEpoch::frames_owed(double time_s, uint64_t connection, double fps) {
  const bool new_epoch =
      !epoch_time_s_ || connection != epoch_connection_ || time_s < last_time_s_ ||
      (time_s - *epoch_time_s_) * fps - static_cast<double>(frames_since_epoch_) >
          MAX_CATCH_UP_S * fps;
  if (new_epoch) {
    epoch_time_s_ = time_s;
    epoch_connection_ = connection;
    frames_since_epoch_ = 0;
  }
  last_time_s_ = time_s;
  return static_cast<int64_t>(std::floor((time_s - *epoch_time_s_) * fps)) - frames_since_epoch_;
}

int64_t LinkPacer::frames_owed(live::LiveSession& session) {
  view_ = link_.view();
  if (!view_.sample) return 0;
  const FlightGearSample& sample = *view_.sample;
  // Set before every batch, not only on a new sample: FlightGear moves the aircraft, never the
  // host's flight model, a condition set on the page or a plan standing it at its departure.
  session.set_motion(false);
  apply_sample(sample, session.aircraft());
  return epoch_.frames_owed(sample.sim_time_s, view_.connection, session.clock().fps());
}

void LinkPacer::frames_ran(int64_t count, const HostEvents& raised) {
  epoch_.frames_ran(count);
  if (!raised.heading_bug_mag_deg) return;
  // Only frames run on live data steer FlightGear: never paused, stale or disconnected (what
  // the module sent then is dropped; it sends again from fresh data).
  if (view_.state != LinkState::live || !view_.sample) return;
  // FlightGear's bug is a direction: nothing else the module could hold is ever written.
  const double module_bug = *raised.heading_bug_mag_deg;
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
