#include "nav/present_position.h"

#include "core/geodesy.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"

void update_present_position() {
  InsState& s = ins_state;

  s.present_lat_deg = refresh_host_var(HV_LATITUDE) * HOST_LAT_DEG_PER_UNIT;
  const DegreesMinutes lat = split_degrees(s.present_lat_deg);
  s.present_lat_whole = lat.whole;
  s.present_lat_minutes = lat.minutes;
  s.present_lat_abs_whole = lat.abs_whole;
  s.present_lat_abs_minutes = lat.abs_minutes;

  const double raw_lon = refresh_host_var(HV_LONGITUDE);
  s.present_lon_deg = raw_lon > HOST_LON_WEST_THRESHOLD ? raw_lon * HOST_LON_DEG_PER_UNIT - 360.0
                                                        : raw_lon * HOST_LON_DEG_PER_UNIT;
  const DegreesMinutes lon = split_degrees(s.present_lon_deg);
  s.present_lon_whole = lon.whole;
  s.present_lon_minutes = lon.minutes;
  s.present_lon_abs_whole = lon.abs_whole;
  s.present_lon_abs_minutes = lon.abs_minutes;

  s.present_lat = degrees_to_radians(s.present_lat_whole + s.present_lat_minutes / 60.0);
  s.present_lon_east = degrees_to_radians(s.present_lon_whole + s.present_lon_minutes / 60.0);
  s.present_lon = -s.present_lon_east;
}

void update_to_waypoint_display() {
  InsState& s = ins_state;

  s.to_lat_deg = radians_to_degrees(s.to_lat);
  const DegreesMinutes lat = split_degrees(s.to_lat_deg);
  s.to_lat_abs_whole = lat.abs_whole;
  s.to_lat_abs_minutes = lat.abs_minutes;

  s.to_lon_deg = radians_to_degrees(s.to_lon);
  const DegreesMinutes lon = split_degrees(s.to_lon_deg);
  s.to_lon_abs_whole = lon.abs_whole;
  s.to_lon_abs_minutes = lon.abs_minutes;
}
