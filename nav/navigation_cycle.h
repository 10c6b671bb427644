// The navigation computer: the service routines of the two update gauges and their cycle.
//
// Once per frame the cycle turns the host's position and air data into the leg guidance the CDU
// shows (distance and time to go, cross-track, track angle error, desired track, track, drift,
// wind) and, while HOLD is engaged, steers the aircraft by sending the wind-corrected magnetic
// heading with EVENT_HEADING_BUG_SET and changes legs in AUTO. Everything it computes goes into
// ins_state; navigation outputs read 0 while nav_ready is 0.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"

// "INS_UPDATE": the full cycle, with the coupling permits that can drop HOLD.
void GAUGE_CALLBACK ins_update_service(GaugeHeader* gauge, int32_t service_code, uint32_t extra);
// "INS_ALT_UPDATE": the same cycle without the coupling-permit step.
void GAUGE_CALLBACK ins_alt_update_service(GaugeHeader* gauge, int32_t service_code,
                                           uint32_t extra);

// One frame of navigation. `check_coupling_permits` selects whether host variables 103 and 106
// are read and can release HOLD (INS_UPDATE) or are left alone (INS_ALT_UPDATE).
void navigation_cycle(bool check_coupling_permits);

// The steps of navigation_cycle, in the order it runs them. The order is part of the contract:
// the coupled actions send the heading the previous frame computed, and the drift angle uses
// the previous frame's ground speed and track. Each step reads and writes ins_state only.
namespace navigation_steps {

// Which waypoint the cross-track geometry is measured from.
enum class CrossTrackReference { TO_WAYPOINT, FROM_WAYPOINT };

void load_to_waypoint_on_request();    // file read only when reload_to_waypoint is set
void load_from_waypoint_on_request();  // line to_waypoint - 1, only when reload_from_waypoint is
                                       // set
void compute_leg_geometry();           // leg, to and from central angles; distance to go
void run_coupled_actions();            // steering event, AUTO leg change, MAN release
void apply_coupling_permits();         // host variables 103 and 106 (INS_UPDATE only)
void read_heading();
void compute_drift_angle();  // uses the previous frame's ground speed and track
void read_ground_speed();
void compute_time_to_go();
void read_magnetic_variation();
void compute_direct_course();
void read_wind_and_airspeed();
void compute_wind_correction();
void compute_steering_course();
void convert_steering_to_degrees();
void refresh_shown_wind();
CrossTrackReference compute_cross_track_angle();
void compute_cross_track_distance();
void compute_track_angle_error(CrossTrackReference reference);
void compute_desired_track();
void compute_track();

}  // namespace navigation_steps
