// The position of one waypoint line of a flight plan, read from the text that follows the tag
// (XML form) or starts at the latitude (key=value form), in every shape real plans write.
//
// The two syntaxes' rules, followed exactly, so that a plan in their shapes gives the waypoint
// file they define, to the last digit (rounding edges included):
//   XML form        N47° 26' 58.82",W122° 18' 30.40",+000433.00   degrees, minutes, seconds
//   key=value form  N47* 26.98', W122* 18.51', +000429.00          degrees, decimal minutes
// A field that a line in these shapes does not supply keeps the value the last such line gave it
// (zeros before the first). Any hemisphere letter but S (latitude) or E (longitude) is positive.
//
// Shapes that real tools write in the XML form and that its rule misreads (it takes them apart
// as degrees, minutes and seconds), read as what they are when the whole position is in that
// shape; anything else is left to the rule:
//   signed decimal degrees   54.285833 , -130.444678,+116.0    north and EAST positive
//   degrees, decimal minutes S22° 47.50',W45° 12.29',+1761.00  any degree sign (UTF-8, Latin-1, *)
#pragma once

enum PlanLineSyntax : int { SYNTAX_NONE = 0, SYNTAX_XML = 1, SYNTAX_KEY_VALUE = 2 };

// The fields of the rules' shapes, as the last line in those shapes left them.
struct RuleFields {
  char lat_hemisphere = '\0';
  int lat_degrees = 0;
  float lat_minutes = 0.0f;
  float lat_seconds = 0.0f;
  char lon_hemisphere = '\0';
  int lon_degrees = 0;
  float lon_minutes = 0.0f;
  float lon_seconds = 0.0f;
};

struct PlanPosition {
  float lat = 0.0f;  // radians, north positive
  float lon = 0.0f;  // radians, WEST positive, as the waypoint file has them
  bool own = false;  // the line gave both coordinates itself, none carried over from another
};

// Reads the position of one waypoint line whose syntax is `syntax`.
PlanPosition read_plan_position(const char* text, int syntax, RuleFields& fields);

// Whether a position may be written to the waypoint file: finite, latitude within 90 degrees
// and longitude within 180 degrees either side. The limits are taken as single precision holds
// them (90 and 180 degrees round up by a few 1e-8 radians), so that the poles and the
// antimeridian themselves stay on the globe.
bool on_the_globe(double lat, double lon);
