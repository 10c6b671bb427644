#include "host/flight/flight_plan.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string_view>

#include "host/platform/checked_files.h"
#include "host/platform/plain_text.h"

namespace flight {

namespace {

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

// The line of an offset in the text, counted on from the last offset asked about: the reader
// asks in the order of the text, so naming the line of every waypoint costs one pass in all.
class LineCounter {
 public:
  explicit LineCounter(const std::string& text) : text_(text) {}
  int line_at(std::size_t offset) {
    if (offset < counted_to_) counted_to_ = 0, line_ = 1;  // never in order of reading; correct
    line_ += static_cast<int>(std::count(text_.begin() + static_cast<long>(counted_to_),
                                         text_.begin() + static_cast<long>(offset), '\n'));
    counted_to_ = offset;
    return line_;
  }

 private:
  const std::string& text_;
  std::size_t counted_to_ = 0;
  int line_ = 1;
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The text between <tag> and </tag> within [from, until), the search never looking past
// `until` (a waypoint's own element), so that reading every waypoint is one pass over the text.
// False when absent.
bool element_text(const std::string& text, const std::string& tag, std::size_t from,
                  std::size_t until, std::string& value, std::size_t& at) {
  const std::string_view within(text.data() + from, until - from);
  const std::string open = "<" + tag + ">";
  const std::size_t start = within.find(open);
  if (start == std::string_view::npos) return false;
  const std::size_t end = within.find("</" + tag + ">", start);
  if (end == std::string_view::npos) return false;
  value = std::string(within.substr(start + open.size(), end - start - open.size()));
  at = from + start;
  return true;
}

bool parse_double(const std::string& text, double& value) {
  const std::string t = trim(text);
  if (t.empty()) return false;
  const char* first = t.data();
  if (*first == '+') ++first;
  const char* last = t.data() + t.size();
  auto [end, error] = std::from_chars(first, last, value);
  // from_chars also reads "nan" and "inf", which no plan means as a position or an altitude
  // (and NaN would pass every range check).
  return error == std::errc{} && end == last && std::isfinite(value);
}

// "LAT,LON[,ALT]" as a WorldPosition or a key=value pair of fields.
bool parse_position(const std::string& lat_text, const std::string& lon_text, PlanWaypoint& wp) {
  return parse_coordinate(lat_text, true, wp.lat_deg) &&
         parse_coordinate(lon_text, false, wp.lon_east_deg);
}

std::string where(const std::string& label, int line) {
  return label + ":" + std::to_string(line) + ": ";
}

// Adds a waypoint with a position, refusing the plan as soon as it has more than the INS holds
// (without reading the rest of a plan of thousands).
void add_waypoint(FlightPlan& plan, const PlanWaypoint& wp, const std::string& label) {
  if (plan.waypoints.size() == MAX_PLAN_WAYPOINTS) {
    throw PlanError(where(label, wp.line) + "the plan has more than " +
                    std::to_string(MAX_PLAN_WAYPOINTS) + " waypoints (the " +
                    std::to_string(MAX_PLAN_WAYPOINTS + 1) + "th, " + wp.ident +
                    ", is here); the INS holds " + std::to_string(MAX_PLAN_WAYPOINTS));
  }
  plan.waypoints.push_back(wp);
}

FlightPlan parse_xml(const std::string& text, const std::string& label) {
  FlightPlan plan;
  plan.syntax = PlanSyntax::Xml;
  LineCounter lines(text);
  std::string value;
  std::size_t at = 0;
  if (element_text(text, "Title", 0, text.size(), value, at)) plan.title = trim(value);
  if (element_text(text, "CruisingAlt", 0, text.size(), value, at)) {
    double alt_ft = 0.0;
    if (parse_double(value, alt_ft) && alt_ft > 0.0) plan.cruise_alt_ft = alt_ft;
  }
  std::size_t search = 0;
  while (true) {
    std::size_t start = text.find("<ATCWaypoint", search);
    if (start == std::string::npos) break;
    const char after = start + 12 < text.size() ? text[start + 12] : '\0';
    search = start + 12;
    if (after != ' ' && after != '>' && after != '\t' && after != '\r' && after != '\n') continue;
    std::size_t end = text.find("</ATCWaypoint>", start);
    if (end == std::string::npos) {
      throw PlanError(where(label, lines.line_at(start)) +
                      "an <ATCWaypoint> element is not closed");
    }
    search = end;
    PlanWaypoint wp;
    wp.line = lines.line_at(start);
    const std::size_t tag_end = text.find('>', start);
    const std::string open_tag = text.substr(start, tag_end - start);
    const std::size_t id_at = open_tag.find("id=\"");
    if (id_at != std::string::npos) {
      const std::size_t close = open_tag.find('"', id_at + 4);
      if (close != std::string::npos) wp.ident = open_tag.substr(id_at + 4, close - id_at - 4);
    }
    if (wp.ident.empty() && element_text(text, "ICAOIdent", start, end, value, at)) {
      wp.ident = trim(value);
    }
    if (wp.ident.empty()) wp.ident = "WP" + std::to_string(plan.waypoints.size() + 1);
    if (!element_text(text, "WorldPosition", start, end, value, at)) {
      throw PlanError(where(label, wp.line) + "waypoint " + wp.ident +
                      " has no position (<WorldPosition>): the plan names its waypoints without "
                      "coordinates, and the INS can only import positions");
    }
    wp.line = lines.line_at(at);
    const std::vector<std::string> fields = split(value, ',');
    if (fields.size() < 2 || !parse_position(fields[0], fields[1], wp)) {
      throw PlanError(where(label, wp.line) + "the position \"" + trim(value) + "\" of waypoint " +
                      wp.ident + " does not read");
    }
    add_waypoint(plan, wp, label);
  }
  return plan;
}

FlightPlan parse_key_value(const std::string& text, const std::string& label) {
  FlightPlan plan;
  plan.syntax = PlanSyntax::KeyValue;
  std::istringstream in(text);
  std::string line;
  int line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = lower(trim(line.substr(0, equals)));
    const std::string value = line.substr(equals + 1);
    if (key == "title") plan.title = trim(value);
    if (key == "cruising_altitude") {
      double alt_ft = 0.0;
      if (parse_double(value, alt_ft) && alt_ft > 0.0) plan.cruise_alt_ft = alt_ft;
    }
    if (key.rfind("waypoint.", 0) != 0) continue;
    // FS2004 layout: region, ident, airway, ident, type, lat, lon, alt; FS2002 layout: ident,
    // type, lat, lon, alt. The latitude is the first field that reads as one.
    const std::vector<std::string> fields = split(value, ',');
    PlanWaypoint wp;
    wp.line = line_number;
    std::size_t lat_field = fields.size();
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
      const std::string f = trim(fields[i]);
      if (!f.empty() && (f[0] == 'N' || f[0] == 'S') && f.find('*') != std::string::npos) {
        lat_field = i;
        break;
      }
    }
    const std::string ident_field = lat_field >= 5 && fields.size() > 1 ? fields[1]
                                    : fields.empty()                    ? ""
                                                                        : fields[0];
    wp.ident = trim(ident_field);
    if (wp.ident.empty()) wp.ident = "WP" + std::to_string(plan.waypoints.size() + 1);
    if (lat_field == fields.size()) {
      throw PlanError(where(label, line_number) + "waypoint " + wp.ident +
                      " has no position: the INS can only import positions");
    }
    if (!parse_position(fields[lat_field], fields[lat_field + 1], wp)) {
      throw PlanError(where(label, line_number) + "the position of waypoint " + wp.ident +
                      " does not read");
    }
    add_waypoint(plan, wp, label);
  }
  return plan;
}

// `raw` converted from `charset` to UTF-8 by iconv: the whole text, or `whole` false with what
// converted before the first byte that did not (and `known` false when iconv has no such
// character set).
struct Converted {
  std::string text;
  bool known = true;
  bool whole = true;
};

Converted convert_to_utf8(const std::string& raw, const std::string& charset) {
  Converted result;
  const iconv_t converter = iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    result.known = result.whole = false;
    return result;
  }
  result.text.assign(raw.size() * 3 + 16, '\0');  // at most 3 bytes for every 1, and room
  std::string input = raw;
  char* in = input.data();
  std::size_t in_left = input.size();
  char* out = result.text.data();
  std::size_t out_left = result.text.size();
  const std::size_t status = iconv(converter, &in, &in_left, &out, &out_left);
  iconv_close(converter);
  result.text.resize(result.text.size() - out_left);
  result.whole = status != static_cast<std::size_t>(-1) && in_left == 0;
  return result;
}

// UTF-16 text with its byte order mark (as FSX-family tools save mission plans) as UTF-8, the
// mark dropped; a plan that does not decode is refused at the line where decoding stopped.
std::string utf8_from_utf16(const std::string& raw, const std::string& label) {
  Converted converted = convert_to_utf8(raw, "UTF-16");
  if (!converted.known) {
    throw PlanError(where(label, 1) + "the plan is UTF-16 text, which this system cannot decode");
  }
  std::string& text = converted.text;
  if (!converted.whole) {
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    throw PlanError(where(label, line) + "the plan's UTF-16 text does not decode here");
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // the mark, if iconv kept it
  return text;
}

// The character set an XML declaration names (`<?xml ... encoding="windows-1250"?>`), or empty.
std::string declared_encoding(const std::string& text) {
  if (text.rfind("<?xml", 0) != 0) return "";
  const std::size_t end = text.find("?>");
  const std::size_t key = text.find("encoding=", 0);
  if (end == std::string::npos || key == std::string::npos || key > end || key + 10 > end)
    return "";
  const char quote = text[key + 9];
  const std::size_t close = text.find(quote, key + 10);
  if ((quote != '"' && quote != '\'') || close == std::string::npos || close > end) return "";
  return text.substr(key + 10, close - key - 10);
}

// Text that is not UTF-8 comes from an older planner, which writes its titles and idents in the
// 8-bit code page of the machine it ran on: the one the XML declaration names when it names one
// that is not UTF-8, else Windows' Western code page (Latin-1 with letters in 0x80 to 0x9F),
// else Latin-1 itself, which takes every byte. Positions are ASCII in all of them, and a line
// stays the line it was, so what the INS imports from the same bytes is read alike.
std::string utf8_from_code_page(const std::string& raw) {
  std::string declared = lower(declared_encoding(raw));
  if (declared == "utf-8" || declared == "utf8") declared.clear();  // the declaration is wrong
  for (const std::string& charset : {declared, std::string("WINDOWS-1252")}) {
    if (charset.empty()) continue;
    Converted converted = convert_to_utf8(raw, charset);
    if (converted.whole) return std::move(converted.text);
  }
  return convert_to_utf8(raw, "ISO-8859-1").text;
}

}  // namespace

bool parse_coordinate(const std::string& raw, bool is_latitude, double& degrees) {
  const std::string text = trim(raw);
  if (text.empty()) return false;
  const double limit = is_latitude ? 90.0 : 180.0;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (std::isalpha(static_cast<unsigned char>(letter)) == 0) {
    double value = 0.0;
    if (!parse_double(text, value) || std::abs(value) > limit) return false;
    degrees = value;
    return true;
  }
  double sign = 0.0;
  if (letter == (is_latitude ? 'N' : 'E')) sign = 1.0;
  if (letter == (is_latitude ? 'S' : 'W')) sign = -1.0;
  if (sign == 0.0) return false;
  // Up to three numbers (degrees, minutes, seconds) with any separators between them.
  double parts[3] = {0.0, 0.0, 0.0};
  int count = 0;
  std::size_t i = 1;
  while (i < text.size()) {
    if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
      if (text[i] == '-' || text[i] == '+') return false;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[end])) != 0 || text[end] == '.')) {
      ++end;
    }
    if (count == 3 || !parse_double(text.substr(i, end - i), parts[count])) return false;
    ++count;
    i = end;
  }
  if (count == 0 || parts[1] >= 60.0 || parts[2] >= 60.0) return false;
  const double value = parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
  if (value > limit) return false;
  degrees = sign * value;
  return true;
}

FlightPlan parse_flight_plan(const std::string& raw, const std::string& label) {
  const bool utf16 = raw.size() >= 2 && ((raw[0] == '\xFF' && raw[1] == '\xFE') ||
                                         (raw[0] == '\xFE' && raw[1] == '\xFF'));
  std::string text = utf16 ? utf8_from_utf16(raw, label) : raw;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  if (!is_utf8(text)) text = utf8_from_code_page(text);
  FlightPlan plan;
  if (text.find("<ATCWaypoint") != std::string::npos ||
      text.find("<FlightPlan.FlightPlan") != std::string::npos) {
    plan = parse_xml(text, label);
  } else if (lower(text.substr(0, 512)).find("[flightplan]") != std::string::npos) {
    plan = parse_key_value(text, label);
  } else {
    throw PlanError(where(label, 1) +
                    "not a flight plan the INS imports: neither the XML form nor the key=value "
                    "[flightplan] form");
  }
  if (plan.waypoints.size() < 2) {
    throw PlanError(where(label, 1) + "the plan has " + std::to_string(plan.waypoints.size()) +
                    " waypoint(s) with a position; a flight needs at least two");
  }
  return plan;
}

std::string read_plan_file(const std::filesystem::path& path) {
  try {
    return host::read_input_file(path, {"the plan file", "a plan", MAX_PLAN_FILE_BYTES});
  } catch (const host::FileError& refused) {
    throw PlanError(refused.what());
  }
}

FlightPlan read_flight_plan(const std::filesystem::path& path) {
  return parse_flight_plan(read_plan_file(path), path.string());
}

}  // namespace flight
