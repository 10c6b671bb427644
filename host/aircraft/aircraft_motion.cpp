#include "host/aircraft/aircraft_motion.h"

#include "host/aircraft/host_variables.h"

namespace host {

AircraftMotion::AircraftMotion(Aircraft& aircraft) : aircraft_(aircraft) {
  aircraft_.flight_model = [this](Aircraft&, double dt_s) { step(dt_s); };
}

AircraftMotion::~AircraftMotion() {
  aircraft_.flight_model = nullptr;
}

void AircraftMotion::take_in() {
  const Aircraft& a = aircraft_;
  flight::FlightState& s = model_.state();
  s.lat_deg = a.lat_deg;
  s.lon_east_deg = a.lon_east_deg;
  s.alt_ft = a.alt_ft;
  s.tas_kt = a.tas_kt;
  s.heading_true_deg = flight::wrap_360_deg(a.heading_mag_deg + a.magvar_east_deg);
  model_.set_magvar_east_deg(a.magvar_east_deg);
  if (!wind_layers_) {
    const flight::Wind wind{a.wind_from_true_deg, a.wind_speed_kt};
    const flight::Wind now = model_.wind_now();
    if (now.from_true_deg != wind.from_true_deg || now.speed_kt != wind.speed_kt) {
      model_.set_wind(flight::WindProfile(wind));
    }
  }
}

void AircraftMotion::give_back() {
  Aircraft& a = aircraft_;
  const flight::FlightState& s = model_.state();
  a.lat_deg = s.lat_deg;
  a.lon_east_deg = s.lon_east_deg;
  a.alt_ft = s.alt_ft;
  a.tas_kt = s.tas_kt;
  a.gs_kt = s.gs_kt;
  a.heading_mag_deg = model_.heading_mag_deg();
  if (wind_layers_) {
    const flight::Wind wind = model_.wind_now();
    a.wind_from_true_deg = wind.from_true_deg;
    a.wind_speed_kt = wind.speed_kt;
  }
  update_air_data(a);
  written_alt_ft_ = a.alt_ft;
  written_tas_kt_ = a.tas_kt;
}

void AircraftMotion::motion_on() {
  take_in();
  model_.fly_as_set();
  written_alt_ft_ = aircraft_.alt_ft;
  written_tas_kt_ = aircraft_.tas_kt;
  on_ = true;
}

void AircraftMotion::take_off(double cruise_alt_ft, double cruise_tas_kt) {
  const Aircraft& a = aircraft_;
  model_.park(a.lat_deg, a.lon_east_deg, a.heading_mag_deg + a.magvar_east_deg, a.alt_ft);
  model_.start_takeoff(cruise_alt_ft, cruise_tas_kt);
  written_alt_ft_ = a.alt_ft;
  written_tas_kt_ = 0.0;
  aircraft_.tas_kt = 0.0;
  on_ = true;
}

void AircraftMotion::add_wind_layer(double alt_ft, flight::Wind wind) {
  wind_profile_.add_layer(alt_ft, wind);
  wind_layers_ = true;
  model_.set_wind(wind_profile_);
  const flight::Wind now = wind_profile_.at(aircraft_.alt_ft);
  aircraft_.wind_from_true_deg = now.from_true_deg;
  aircraft_.wind_speed_kt = now.speed_kt;
}

void AircraftMotion::step(double dt_s) {
  if (!on_) return;
  const bool level_set = aircraft_.alt_ft != written_alt_ft_;
  const bool speed_set = aircraft_.tas_kt != written_tas_kt_;
  take_in();
  // A scenario's `set altitude` or `set tas` is a new state, held from then on.
  if (level_set || speed_set) {
    model_.set_targets(level_set ? aircraft_.alt_ft : model_.target_alt_ft(),
                       speed_set ? aircraft_.tas_kt : model_.target_tas_kt());
  }
  const Aircraft& a = aircraft_;
  model_.step(dt_s, flight::Autopilot{a.ap_master_on, a.ap_heading_on, a.heading_bug_mag_deg});
  give_back();
}

}  // namespace host
