// Connects the flight model to the simulated aircraft: while motion is on, every frame moves the
// aircraft from its true airspeed, heading and the wind, and the autopilot turns it to the
// heading bug while both autopilot switches are on. Off (the default), position and ground speed
// stay as a scenario set them, which is also the standstill the alignment needs.
//
// The Aircraft record stays the one truth a scenario edits between frames: each step takes the
// record's position, heading, altitude and speed into the model, steps it, and writes the result
// back with the ground speed, magnetic heading, and Mach and air temperature from the standard
// atmosphere (each unless a scenario set it).
#pragma once

#include "host/aircraft/aircraft.h"
#include "host/flight/flight_model.h"

namespace host {

class AircraftMotion {
 public:
  explicit AircraftMotion(Aircraft& aircraft);
  ~AircraftMotion();
  AircraftMotion(const AircraftMotion&) = delete;
  AircraftMotion& operator=(const AircraftMotion&) = delete;

  // `motion on`: airborne at the aircraft's altitude and airspeed, holding them.
  void motion_on();
  // `motion off`: the aircraft stops moving where it is.
  void motion_off() { on_ = false; }
  // `takeoff ALT_FT TAS_KT`: from a standstill where the aircraft stands, on its heading: the
  // ground roll, the climb to ALT_FT and the acceleration to TAS_KT; motion is on from then on.
  void take_off(double cruise_alt_ft, double cruise_tas_kt);
  // `wind ALT_FT FROM_DEG KT`: a wind layer; with layers, the wind changes with altitude and the
  // aircraft's wind conditions follow the layer at its altitude.
  void add_wind_layer(double alt_ft, flight::Wind wind);

  bool on() const { return on_; }
  const flight::FlightModel& model() const { return model_; }

 private:
  void step(double dt_s);
  void take_in();
  void give_back();

  Aircraft& aircraft_;
  flight::FlightModel model_;
  bool on_ = false;
  bool wind_layers_ = false;
  flight::WindProfile wind_profile_;
  // What the last step wrote, to tell a scenario's change of speed or level from the model's.
  double written_alt_ft_ = 0.0;
  double written_tas_kt_ = 0.0;
};

}  // namespace host
