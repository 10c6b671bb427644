#include "host/flight/flight_outputs.h"

#include <GeographicLib/GeodesicLine.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "boundary/gauge_vocabulary.h"
#include "host/flight/flight_model.h"
#include "host/flight/flight_outputs_text.h"
#include "host/platform/checked_files.h"

namespace flight {

namespace {

// Each output is made in memory and written whole at the end (host::write_output_file): a
// flight's outputs are never half-written, nor written through a link in the output folder.
void write_out(const std::ostringstream& out, const std::filesystem::path& path) {
  host::write_output_file(path, out.str());
}

std::string format(const char* pattern, double a) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, a);
  return text;
}

std::string xml_escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Plans may carry stray control bytes; XML 1.0 admits none but tab, LF and CR.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out.push_back(c);
    }
  }
  return out;
}

// ISO 8601 time of `seconds` after 2000-01-01T00:00:00Z (a fixed epoch: simulated time).
void append_gpx_time(std::string& out, double seconds) {
  long total = std::lround(seconds);
  const long days = total / 86400;
  total %= 86400;
  // 2000-01-01 plus `days`, by the civil-from-days algorithm (days since 1970 = 10957 + days).
  long z = 10957 + days + 719468;
  const long era = z / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long day = doy - (153 * mp + 2) / 5 + 1;
  const long month = mp < 10 ? mp + 3 : mp - 9;
  const long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  append_whole(out, year, 4);
  out += '-';
  append_whole(out, month, 2);
  out += '-';
  append_whole(out, day, 2);
  out += 'T';
  append_whole(out, total / 3600, 2);
  out += ':';
  append_whole(out, total / 60 % 60, 2);
  out += ':';
  append_whole(out, total % 60, 2);
  out += 'Z';
}

const char* GPX_HEAD =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"ins-host fly\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

}  // namespace

std::array<TrackNumber, 8> track_csv_numbers(const TrackPoint& p) {
  return {{{p.time_s, 2},
           {p.lat_deg, 7},
           {p.lon_east_deg, 7},
           {p.alt_ft, 0},
           {p.gs_kt, 1},
           {p.tas_kt, 1},
           {p.heading_true_deg, 2},
           {p.track_true_deg, 2}}};
}

void write_track_csv(const std::filesystem::path& path, const std::vector<TrackPoint>& track) {
  std::ostringstream out;
  out << "time_s,lat_deg,lon_east_deg,alt_ft,gs_kt,tas_kt,heading_true_deg,track_true_deg,"
         "to_waypoint,hold\n";
  std::string line;
  for (const TrackPoint& p : track) {
    line.clear();
    for (const auto& [value, decimals] : track_csv_numbers(p)) {
      append_fixed(line, value, decimals);
      line += ',';
    }
    append_whole(line, p.to_waypoint);
    line += p.hold ? ",1\n" : ",0\n";
    out << line;
  }
  write_out(out, path);
}

void write_track_gpx(const std::filesystem::path& path, const std::vector<TrackPoint>& track,
                     const std::string& name) {
  std::ostringstream out;
  out << GPX_HEAD << "  <trk>\n    <name>" << xml_escaped(name) << "</name>\n    <trkseg>\n";
  std::string line;
  for (const TrackPoint& p : track) {
    line = "      <trkpt lat=\"";
    append_fixed(line, p.lat_deg, 7);
    line += "\" lon=\"";
    append_fixed(line, p.lon_east_deg, 7);
    line += "\"><ele>";
    append_fixed(line, p.alt_ft * 0.3048, 1);
    line += "</ele><time>";
    append_gpx_time(line, p.time_s);
    line += "</time></trkpt>\n";
    out << line;
  }
  out << "    </trkseg>\n  </trk>\n</gpx>\n";
  write_out(out, path);
}

void write_plan_gpx(const std::filesystem::path& path, const FlightPlan& plan) {
  std::ostringstream out;
  out << GPX_HEAD;
  auto name_of = [](std::size_t i, const PlanWaypoint& wp) {
    char number[8];
    std::snprintf(number, sizeof number, "%02zu", i + 1);
    return std::string(number) + " " + xml_escaped(wp.ident);
  };
  for (std::size_t i = 0; i < plan.waypoints.size(); ++i) {
    const PlanWaypoint& wp = plan.waypoints[i];
    out << "  <wpt lat=\"" << format("%.7f", wp.lat_deg) << "\" lon=\""
        << format("%.7f", wp.lon_east_deg) << "\"><name>" << name_of(i, wp) << "</name></wpt>\n";
  }
  out << "  <rte>\n    <name>" << xml_escaped(plan.title) << "</name>\n";
  for (std::size_t i = 0; i < plan.waypoints.size(); ++i) {
    const PlanWaypoint& wp = plan.waypoints[i];
    out << "    <rtept lat=\"" << format("%.7f", wp.lat_deg) << "\" lon=\""
        << format("%.7f", wp.lon_east_deg) << "\"><name>" << name_of(i, wp) << "</name></rtept>\n";
  }
  out << "  </rte>\n</gpx>\n";
  write_out(out, path);
}

// --- The map

namespace {

struct LatLon {
  double lat_deg, lon_deg;
};

// Points along the great circle from a to b on the navigation sphere, one every `step_nm` or so.
std::vector<LatLon> great_circle(LatLon a, LatLon b, double step_nm) {
  const GeographicLib::GeodesicLine line =
      nav_sphere().InverseLine(a.lat_deg, a.lon_deg, b.lat_deg, b.lon_deg);
  const double length_m = line.Distance();
  const int steps = std::max(1, static_cast<int>(length_m / METRES_PER_NM / step_nm));
  std::vector<LatLon> points;
  for (int i = 0; i <= steps; ++i) {
    LatLon point{};
    line.Position(length_m * i / steps, point.lat_deg, point.lon_deg);
    points.push_back(point);
  }
  return points;
}

class Projection {
 public:
  Projection(double lon_ref_deg, double mid_lat_deg)
      : lon_ref_deg_(lon_ref_deg),
        x_scale_(std::max(0.05, std::cos(mid_lat_deg * RAD_PER_DEGREE))) {}
  // Longitude unwrapped to within 180 degrees of the reference, so a flight across the
  // 180-degree meridian stays in one piece.
  double unwrapped_lon(double lon_deg) const {
    return lon_ref_deg_ + std::remainder(lon_deg - lon_ref_deg_, 360.0);
  }
  double x(double lon_deg) const { return unwrapped_lon(lon_deg) * x_scale_; }
  double x_scale() const { return x_scale_; }

 private:
  double lon_ref_deg_;
  double x_scale_;
};

double graticule_step(double span_deg) {
  for (double step : {0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0}) {
    if (span_deg / step <= 10.0) return step;
  }
  return 45.0;
}

std::string degrees_label(double value_deg, bool is_lat) {
  double v = value_deg;
  if (!is_lat) v = std::remainder(v, 360.0);
  const char hemisphere = is_lat ? (v < 0 ? 'S' : 'N') : (v < 0 ? 'W' : 'E');
  char text[32];
  std::snprintf(text, sizeof text, "%g%c", std::abs(v), hemisphere);
  if (std::abs(v) < 1e-9 || (!is_lat && std::abs(std::abs(v) - 180.0) < 1e-9)) {
    std::snprintf(text, sizeof text, "%g", std::abs(v));
  }
  return text;
}

}  // namespace

namespace {

// Text boxes on the map, in pixels, to keep labels from overprinting one another.
struct Box {
  double x, y, w, h;
  bool overlaps(const Box& o) const {
    return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
  }
};

// Width of a label in the map's 12-pixel sans-serif, generously: no glyph of it is wider.
double label_width_px(const std::string& text) {
  return 7.5 * static_cast<double>(text.size()) + 2.0;
}
constexpr double LABEL_HEIGHT_PX = 14.0;

// The first place around the point (right above, right below, left above, left below, above,
// below) where the label stays on the map and clear of every box taken; empty when none is.
std::optional<Box> free_place(double x, double y, double width_px, double map_w, double map_h,
                              const std::vector<Box>& taken) {
  const double h = LABEL_HEIGHT_PX;
  const std::array<std::array<double, 2>, 6> corners = {{{x + 7, y - 6 - h},
                                                         {x + 7, y + 6},
                                                         {x - 7 - width_px, y - 6 - h},
                                                         {x - 7 - width_px, y + 6},
                                                         {x - width_px / 2, y - 9 - h},
                                                         {x - width_px / 2, y + 9}}};
  for (const auto& corner : corners) {
    const Box box{corner[0], corner[1], width_px, h};
    if (box.x < 0 || box.y < 0 || box.x + box.w > map_w || box.y + box.h > map_h) continue;
    bool clear = true;
    for (const Box& t : taken) clear = clear && !box.overlaps(t);
    if (clear) return box;
  }
  return std::nullopt;
}

// "x,y " of a point of a polyline, a tenth of a pixel each ("%.1f,%.1f ").
void append_map_point(std::string& points, double x_px, double y_px) {
  append_fixed(points, x_px, 1);
  points += ',';
  append_fixed(points, y_px, 1);
  points += ' ';
}

// A round length for the scale bar: 1, 2 or 5 times a power of ten, at most `max_nm`.
double round_length_nm(double max_nm) {
  const double power = std::pow(10.0, std::floor(std::log10(max_nm)));
  for (double m : {5.0, 2.0, 1.0}) {
    if (m * power <= max_nm) return m * power;
  }
  return power;
}

}  // namespace

namespace {

// The planned legs as one polyline: a great circle between each pair of waypoints.
std::vector<LatLon> planned_route(const FlightPlan& plan) {
  std::vector<LatLon> planned;
  for (std::size_t i = 0; i + 1 < plan.waypoints.size(); ++i) {
    const PlanWaypoint& a = plan.waypoints[i];
    const PlanWaypoint& b = plan.waypoints[i + 1];
    for (const LatLon& p :
         great_circle({a.lat_deg, a.lon_east_deg}, {b.lat_deg, b.lon_east_deg}, 10.0)) {
      planned.push_back(p);
    }
  }
  return planned;
}

// Where on the map a latitude and longitude fall: the projection and the map's extent, in
// projected degrees and in pixels.
struct MapFrame {
  Projection projection;
  double x_min, x_max, lat_min, lat_max;
  double width_px, height_px;
  double px_per_deg, py_per_deg;

  double sx(double lon_deg) const { return (projection.x(lon_deg) - x_min) * px_per_deg; }
  double sy(double lat_deg) const { return (lat_max - lat_deg) * py_per_deg; }
};

// A frame that holds the planned legs and the flown track with a margin round them, 1000
// pixels wide and as tall as the projection makes it (300 to 2000 pixels).
MapFrame frame_around(const FlightPlan& plan, const std::vector<LatLon>& planned,
                      const std::vector<TrackPoint>& track) {
  double lat_min = 90, lat_max = -90;
  for (const LatLon& p : planned)
    lat_min = std::min(lat_min, p.lat_deg), lat_max = std::max(lat_max, p.lat_deg);
  for (const TrackPoint& p : track)
    lat_min = std::min(lat_min, p.lat_deg), lat_max = std::max(lat_max, p.lat_deg);
  const Projection projection(plan.waypoints.front().lon_east_deg, (lat_min + lat_max) / 2.0);
  double x_min = 1e300, x_max = -1e300;
  for (const LatLon& p : planned)
    x_min = std::min(x_min, projection.x(p.lon_deg)),
    x_max = std::max(x_max, projection.x(p.lon_deg));
  for (const TrackPoint& p : track)
    x_min = std::min(x_min, projection.x(p.lon_east_deg)),
    x_max = std::max(x_max, projection.x(p.lon_east_deg));

  // Margins of 8 % (at least a tenth of a degree) around everything drawn.
  const double pad = std::max({0.1, 0.08 * (x_max - x_min), 0.08 * (lat_max - lat_min)});
  x_min -= pad, x_max += pad, lat_min -= pad, lat_max += pad;
  const double width_px = 1000.0;
  const double px_per_deg = width_px / (x_max - x_min);
  const double height_px = std::min(2000.0, std::max(300.0, (lat_max - lat_min) * px_per_deg));
  const double py_per_deg = height_px / (lat_max - lat_min);
  return {projection, x_min, x_max, lat_min, lat_max, width_px, height_px, px_per_deg, py_per_deg};
}

void write_map_head(std::ostringstream& out, const MapFrame& map, const std::string& title) {
  char text[512];
  std::snprintf(text, sizeof text,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"12\">\n",
                map.width_px, map.height_px, map.width_px, map.height_px);
  out << text << "<title>" << xml_escaped(title) << "</title>\n";
  out << "<rect width=\"100%\" height=\"100%\" fill=\"#f8f8f4\"/>\n";
}

// A line wholly north or south of the map (the most of the world's) has no point on it: the
// map's y falls as the latitude rises, so its northernmost point below the map or its
// southernmost above it says so for all of its points.
bool beyond_top_or_bottom(const MapFrame& map, const std::vector<GeoPoint>& line) {
  double lat_lo = 90.0, lat_hi = -90.0;
  for (const GeoPoint& g : line)
    lat_lo = std::min(lat_lo, g.lat_deg), lat_hi = std::max(lat_hi, g.lat_deg);
  return map.sy(lat_hi) > map.height_px + 20 || map.sy(lat_lo) < -20;
}

// One coastline as polylines, cut where it leaves the map (a segment with an end on the map is
// kept whole, the rest of the world is left out) or jumps across the unwrapped meridian.
void write_coastline(std::ostringstream& out, const MapFrame& map,
                     const std::vector<GeoPoint>& line) {
  auto on_map = [&](double x, double y) {
    return x >= -20 && x <= map.width_px + 20 && y >= -20 && y <= map.height_px + 20;
  };
  std::string points;
  int count = 0;
  auto flush = [&] {
    if (count > 1) out << "<polyline points=\"" << points << "\"/>\n";
    points.clear();
    count = 0;
  };
  double px = 0, py = 0, plon = 0;
  bool have_previous = false;
  for (const GeoPoint& g : line) {
    const double x = map.sx(g.lon_deg), y = map.sy(g.lat_deg);
    const double ulon = map.projection.unwrapped_lon(g.lon_deg);
    const bool keep =
        have_previous && std::abs(ulon - plon) < 90.0 && (on_map(x, y) || on_map(px, py));
    if (!keep) {
      flush();
    } else if (count == 0) {
      append_map_point(points, px, py), ++count;
    }
    if (keep) append_map_point(points, x, y), ++count;
    px = x, py = y, plon = ulon, have_previous = true;
  }
  flush();
}

void write_coastlines(std::ostringstream& out, const MapFrame& map, const Coastlines& coastlines) {
  if (coastlines.empty()) return;
  out << "<g class=\"coast\" fill=\"none\" stroke=\"#8aa58f\" stroke-width=\"1\" "
         "stroke-linejoin=\"round\">\n";
  for (const std::vector<GeoPoint>& line : coastlines) {
    if (beyond_top_or_bottom(map, line)) continue;
    write_coastline(out, map, line);
  }
  out << "</g>\n";
}

// Parallels labelled at the left edge, meridians labelled at the bottom.
void write_graticule(std::ostringstream& out, const MapFrame& map) {
  char text[512];
  const double x_scale = map.projection.x_scale();
  const double lon_lo = map.x_min / x_scale, lon_hi = map.x_max / x_scale;
  const double lat_step = graticule_step(map.lat_max - map.lat_min);
  const double lon_step = graticule_step(lon_hi - lon_lo);
  out << "<g stroke=\"#c8c8c0\" stroke-width=\"1\" fill=\"#888\">\n";
  for (double lat = std::ceil(map.lat_min / lat_step) * lat_step; lat <= map.lat_max;
       lat += lat_step) {
    std::snprintf(text, sizeof text,
                  "<line x1=\"0\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/><text x=\"4\" y=\"%.1f\" "
                  "stroke=\"none\">%s</text>\n",
                  map.sy(lat), map.width_px, map.sy(lat), map.sy(lat) - 3,
                  degrees_label(lat, true).c_str());
    out << text;
  }
  for (double lon = std::ceil(lon_lo / lon_step) * lon_step; lon <= lon_hi; lon += lon_step) {
    const double x = (lon * x_scale - map.x_min) * map.px_per_deg;
    std::snprintf(text, sizeof text,
                  "<line x1=\"%.1f\" y1=\"0\" x2=\"%.1f\" y2=\"%.0f\"/><text x=\"%.1f\" y=\"%.0f\" "
                  "stroke=\"none\">%s</text>\n",
                  x, x, map.height_px, x + 3, map.height_px - 4, degrees_label(lon, false).c_str());
    out << text;
  }
  out << "</g>\n";
}

// Planned legs, then the flown track over them.
void write_routes(std::ostringstream& out, const MapFrame& map, const std::vector<LatLon>& planned,
                  const std::vector<TrackPoint>& track) {
  out << "<polyline fill=\"none\" stroke=\"#2a62c9\" stroke-width=\"2\" stroke-dasharray=\"8 5\" "
         "points=\"";
  std::string points;
  for (const LatLon& p : planned) append_map_point(points, map.sx(p.lon_deg), map.sy(p.lat_deg));
  out << points;
  out << "\"/>\n<polyline fill=\"none\" stroke=\"#d2352b\" stroke-width=\"1.5\" points=\"";
  points.clear();
  for (const TrackPoint& p : track) {
    append_map_point(points, map.sx(p.lon_east_deg), map.sy(p.lat_deg));
  }
  out << points << "\"/>\n";
}

struct ScaleBar {
  double length_nm, length_px, y_px;
};

// Scale bar, bottom right above the longitude labels: horizontally a degree of longitude at
// the middle latitude is 60 x cos(latitude) NM and px_per_deg x cos(latitude) pixels.
ScaleBar scale_bar_for(const MapFrame& map) {
  const double px_per_nm = map.px_per_deg / 60.0;
  const double bar_nm = round_length_nm(map.width_px * 0.2 / px_per_nm);
  return {bar_nm, bar_nm * px_per_nm, map.height_px - 28};
}

void write_scale_bar(std::ostringstream& out, const MapFrame& map, const ScaleBar& bar) {
  const double right = map.width_px - 20;
  char text[512];
  std::snprintf(text, sizeof text,
                "<g class=\"scale\"><path d=\"M%.1f,%.1f V%.1f H%.1f V%.1f\" fill=\"none\" "
                "stroke=\"#333\" stroke-width=\"1.5\"/><text x=\"%.1f\" y=\"%.1f\" "
                "text-anchor=\"end\" fill=\"#333\">%g NM</text></g>\n",
                right - bar.length_px, bar.y_px - 6, bar.y_px, right, bar.y_px - 6, right,
                bar.y_px - 10, bar.length_nm);
  out << text;
}

// The legend's box, top right.
double legend_x(const MapFrame& map) {
  return map.width_px - 200;
}

// What the waypoint labels must stay clear of: the legend's corner, the graticule's labels, the
// scale bar and every waypoint's circle.
std::vector<Box> boxes_taken_before_labels(const MapFrame& map, const ScaleBar& bar,
                                           const FlightPlan& plan) {
  const double width_px = map.width_px, height_px = map.height_px;
  std::vector<Box> taken = {{legend_x(map), 8, 190, 46},
                            {0, 0, 48, height_px},
                            {0, height_px - 18, width_px, 18},
                            {width_px - 80 - bar.length_px, bar.y_px - 24, bar.length_px + 80, 26}};
  for (const PlanWaypoint& wp : plan.waypoints) {
    taken.push_back({map.sx(wp.lon_east_deg) - 5, map.sy(wp.lat_deg) - 5, 10, 10});
  }
  return taken;
}

// Waypoints with their INS numbers, labelled in plan order, each where its label fits.
void write_waypoints(std::ostringstream& out, const MapFrame& map, const FlightPlan& plan,
                     std::vector<Box> taken) {
  char text[512];
  for (std::size_t i = 0; i < plan.waypoints.size(); ++i) {
    const PlanWaypoint& wp = plan.waypoints[i];
    const double x = map.sx(wp.lon_east_deg), y = map.sy(wp.lat_deg);
    std::snprintf(text, sizeof text,
                  "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"4\" fill=\"#fff\" stroke=\"#2a62c9\" "
                  "stroke-width=\"2\"/>\n",
                  x, y);
    out << text;
    char number[24];
    std::snprintf(number, sizeof number, "%02zu", i + 1);
    // The number and ident where they fit, else the number alone, else no label.
    for (const std::string& label : {std::string(number) + " " + wp.ident, std::string(number)}) {
      const auto box = free_place(x, y, label_width_px(label), map.width_px, map.height_px, taken);
      if (!box) continue;
      taken.push_back(*box);
      std::snprintf(text, sizeof text,
                    "<text class=\"label\" x=\"%.1f\" y=\"%.1f\" fill=\"#1a3a80\">", box->x + 1,
                    box->y + LABEL_HEIGHT_PX - 3);
      out << text << xml_escaped(label) << "</text>\n";
      break;
    }
  }
}

void write_legend(std::ostringstream& out, const MapFrame& map) {
  const double width_px = map.width_px;
  char text[512];
  std::snprintf(
      text, sizeof text,
      "<g font-size=\"13\"><rect x=\"%.0f\" y=\"8\" width=\"190\" height=\"46\" fill=\"#fff\" "
      "stroke=\"#999\"/><line x1=\"%.0f\" y1=\"24\" x2=\"%.0f\" y2=\"24\" stroke=\"#2a62c9\" "
      "stroke-width=\"2\" stroke-dasharray=\"8 5\"/><text x=\"%.0f\" y=\"28\">planned legs</text>"
      "<line x1=\"%.0f\" y1=\"42\" x2=\"%.0f\" y2=\"42\" stroke=\"#d2352b\" stroke-width=\"2\"/>"
      "<text x=\"%.0f\" y=\"46\">flown track</text></g>\n",
      legend_x(map), width_px - 190, width_px - 150, width_px - 142, width_px - 190, width_px - 150,
      width_px - 142);
  out << text;
}

}  // namespace

// The map is drawn bottom layer first: coastlines, graticule, the routes, the scale bar, the
// waypoints and their labels, the legend on top.
void write_map_svg(const std::filesystem::path& path, const FlightPlan& plan,
                   const std::vector<TrackPoint>& track, const Coastlines& coastlines) {
  const std::vector<LatLon> planned = planned_route(plan);
  const MapFrame map = frame_around(plan, planned, track);
  std::ostringstream out;
  write_map_head(out, map, plan.title);
  write_coastlines(out, map, coastlines);
  write_graticule(out, map);
  write_routes(out, map, planned, track);
  const ScaleBar bar = scale_bar_for(map);
  write_scale_bar(out, map, bar);
  write_waypoints(out, map, plan, boxes_taken_before_labels(map, bar, plan));
  write_legend(out, map);
  out << "</svg>\n";
  write_out(out, path);
}

}  // namespace flight
