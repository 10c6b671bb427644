// The navigation computer's present position and the TO waypoint's display form, written into
// the INS state from the host's variables and the loaded leg.
#pragma once

// Reads host variables 71 and 72 and writes every present-position field of the state: degrees,
// whole degrees and minutes (signed and absolute), radians north-positive, east-positive and
// west-positive. Called first in each navigation cycle.
void update_present_position();
// Writes the TO waypoint's display form (degrees, absolute whole degrees and minutes) from
// to_lat/to_lon; to_lon_deg keeps the west-positive sense of to_lon.
void update_to_waypoint_display();
