// The link's reading of FlightGear's replies, on lines recorded from a real FlightGear 2020.3
// session (tests/link/flightgear-c172p-phnl.csv: every value exactly as FlightGear sent it).
#include "host/link/flightgear_properties.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/link/line_reader.h"

namespace host::link {
namespace {

// The recording's columns by the property each was read from.
const std::map<std::string, std::string> COLUMN_OF = {
    {"/sim/time/elapsed-sec", "t_sim"},
    {"/sim/freeze/master", "frozen"},
    {"/sim/freeze/clock", "clock_frozen"},
    {"/position/latitude-deg", "lat"},
    {"/position/longitude-deg", "lon"},
    {"/position/altitude-ft", "alt_ft"},
    {"/orientation/heading-deg", "hdg_true"},
    {"/orientation/heading-magnetic-deg", "hdg_mag"},
    {"/instrumentation/heading-indicator/indicated-heading-deg", "hdg_dg"},
    {"/velocities/groundspeed-kt", "gs_kt"},
    {"/environment/wind-from-heading-deg", "wind_from"},
    {"/environment/wind-speed-kt", "wind_kt"},
    {"/environment/temperature-degc", "oat_c"},
    {"/velocities/mach", "mach"},
    {"/systems/electrical/volts", "bus_v"},
    {"/autopilot/settings/heading-bug-deg", "bug"},
    {"/autopilot/KAP140/locks/roll-axis", "ap_roll_axis"},
    {"/autopilot/KAP140/locks/hdg-hold", "ap_hdg_hold"},
};

std::vector<std::string> split(const std::string& line, char by) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  std::string part;
  while (std::getline(in, part, by)) parts.push_back(part);
  if (!line.empty() && line.back() == by) parts.emplace_back();
  return parts;
}

// The recorded samples, each as the reply lines FlightGear gave for the link's batch (a property
// the recording did not ask for answers as FlightGear answers one it lacks: an empty line).
std::vector<std::vector<std::string>> recorded_replies() {
  std::ifstream file(INS_SOURCE_DIR "/tests/link/flightgear-c172p-phnl.csv");
  std::string line;
  std::getline(file, line);
  const std::vector<std::string> header = split(line, ',');
  std::vector<std::vector<std::string>> replies;
  while (std::getline(file, line)) {
    const std::vector<std::string> values = split(line, ',');
    std::vector<std::string> reply;
    for (const std::string& path : sample_paths()) {
      std::string value;
      const auto column = COLUMN_OF.find(path);
      for (std::size_t i = 0; column != COLUMN_OF.end() && i < header.size(); ++i) {
        if (header[i] == column->second) value = values.at(i);
      }
      reply.push_back(value);
    }
    replies.push_back(reply);
  }
  return replies;
}

std::size_t index_of(const std::string& path) {
  const auto& paths = sample_paths();
  return static_cast<std::size_t>(std::find(paths.begin(), paths.end(), path) - paths.begin());
}

TEST(FlightGearReplies, RecordedSamplesReadAsFlightGearSentThem) {
  const auto replies = recorded_replies();
  ASSERT_GT(replies.size(), 900u);
  // The first batch of the recording: 10.50833333 s, PHNL, heading bug not yet set.
  const SampleReading first = read_sample(replies.front());
  ASSERT_TRUE(first.sample) << first.fault;
  EXPECT_DOUBLE_EQ(first.sample->sim_time_s, 10.50833333);
  EXPECT_DOUBLE_EQ(first.sample->lat_deg, 21.3252572);
  EXPECT_DOUBLE_EQ(first.sample->lon_east_deg, -157.9383447);
  EXPECT_DOUBLE_EQ(first.sample->heading_mag_deg, 82.55273415);
  EXPECT_NEAR(first.sample->magvar_east_deg(), 92.04643364 - 82.55273415, 1e-9);
  EXPECT_FALSE(first.sample->heading_bug_deg);  // the empty line of a valueless property
  EXPECT_FALSE(first.sample->paused());
  EXPECT_EQ(first.sample->ap_engaged, false);
  const auto& missing = first.missing;
  EXPECT_NE(std::find(missing.begin(), missing.end(), "/autopilot/settings/heading-bug-deg"),
            missing.end());
  // Every recorded sample reads, and the pause reads as a pause with the time standing.
  int paused = 0;
  double paused_time = -1.0;
  for (const auto& reply : replies) {
    const SampleReading reading = read_sample(reply);
    ASSERT_TRUE(reading.sample) << reading.fault;
    if (reading.sample->paused()) {
      if (paused_time < 0) paused_time = reading.sample->sim_time_s;
      EXPECT_DOUBLE_EQ(reading.sample->sim_time_s, paused_time);
      ++paused;
    }
  }
  EXPECT_GT(paused, 50);
}

TEST(FlightGearReplies, SampleSetsTheAircraft) {
  const auto replies = recorded_replies();
  // A sample after the autopilot's heading mode was engaged (bug 80.4).
  std::vector<std::string> engaged;
  for (const auto& reply : replies) {
    if (reply[index_of("/autopilot/KAP140/locks/hdg-hold")] == "true") {
      engaged = reply;
      break;
    }
  }
  ASSERT_FALSE(engaged.empty());
  const SampleReading reading = read_sample(engaged);
  ASSERT_TRUE(reading.sample) << reading.fault;
  Aircraft aircraft;
  aircraft.heading_bug_mag_deg = 123.0;  // the module's
  aircraft.alt_ft = 777.0;
  apply_sample(*reading.sample, aircraft);
  EXPECT_DOUBLE_EQ(aircraft.lat_deg, reading.sample->lat_deg);
  EXPECT_DOUBLE_EQ(aircraft.lon_east_deg, reading.sample->lon_east_deg);
  EXPECT_DOUBLE_EQ(aircraft.heading_mag_deg, reading.sample->heading_mag_deg);
  EXPECT_NEAR(aircraft.magvar_east_deg, 9.49, 0.05);  // Honolulu: about 9.5 degrees east
  EXPECT_DOUBLE_EQ(aircraft.gs_kt, reading.sample->gs_kt);
  EXPECT_DOUBLE_EQ(aircraft.wind_from_true_deg, 249.9999981);
  EXPECT_DOUBLE_EQ(aircraft.wind_speed_kt, 12.0);
  EXPECT_TRUE(aircraft.oat_set);
  EXPECT_TRUE(aircraft.mach_set);
  EXPECT_TRUE(aircraft.main_power_on);  // a 28 V bus: the alternator
  EXPECT_TRUE(aircraft.battery_on);
  EXPECT_TRUE(aircraft.ap_master_on);
  EXPECT_TRUE(aircraft.ap_heading_on);
  EXPECT_NE(aircraft.alt_ft, 777.0);
  EXPECT_DOUBLE_EQ(aircraft.heading_bug_mag_deg, 123.0);  // never FlightGear's
  // A sample without the optional values leaves what the aircraft had.
  std::vector<std::string> bare = engaged;
  for (const char* path : {"/systems/electrical/volts", "/autopilot/KAP140/locks/roll-axis",
                           "/position/altitude-ft"}) {
    bare[index_of(path)] = "";
  }
  Aircraft kept;
  kept.main_power_on = false;
  kept.ap_master_on = false;
  kept.alt_ft = 5.0;
  apply_sample(*read_sample(bare).sample, kept);
  EXPECT_FALSE(kept.main_power_on);
  EXPECT_FALSE(kept.ap_master_on);
  EXPECT_DOUBLE_EQ(kept.alt_ft, 5.0);
}

// The c172p's power: its bus at the highest of battery (24 V, up to about 24.7 V fully charged,
// as recorded on PHNL's runway), alternator (28 V) and ground power, the battery through its
// master switch.
TEST(FlightGearReplies, PowerIsTheBatteryMasterAndTheAlternatorOnLine) {
  const std::vector<std::string> recorded = recorded_replies().front();
  struct Case {
    const char* volts;
    const char* battery_master;
    bool battery;
    bool main;
  };
  const Case cases[] = {
      {"0", "false", false, false},          // standing, masters off
      {"24.74957774", "true", true, false},  // the battery alone, engine off
      {"28", "true", true, true},            // the alternator on line
      {"28", "false", false, true},          // the alternator alone: no battery
      {"24.74957774", "", true, false},      // an aircraft without the switch: a live bus
      {"7.5", "true", false, false},         // a battery run flat
  };
  for (const Case& c : cases) {
    std::vector<std::string> reply = recorded;
    reply[index_of("/systems/electrical/volts")] = c.volts;
    reply[index_of("/controls/switches/master-bat")] = c.battery_master;
    const SampleReading reading = read_sample(reply);
    ASSERT_TRUE(reading.sample) << reading.fault;
    Aircraft aircraft;
    aircraft.battery_on = !c.battery;
    aircraft.main_power_on = !c.main;
    apply_sample(*reading.sample, aircraft);
    EXPECT_EQ(aircraft.battery_on, c.battery) << c.volts << " V, master " << c.battery_master;
    EXPECT_EQ(aircraft.main_power_on, c.main) << c.volts << " V, master " << c.battery_master;
  }
}

TEST(FlightGearReplies, UnusableRepliesNameTheProperty) {
  const std::vector<std::string> good = recorded_replies().front();
  struct Case {
    const char* path;
    const char* value;
    const char* fault;
  };
  const Case cases[] = {
      {"/position/latitude-deg", "", "/position/latitude-deg has no value"},
      {"/sim/time/elapsed-sec", "", "/sim/time/elapsed-sec has no value"},
      {"/position/latitude-deg", "21.32x", "/position/latitude-deg: \"21.32x\" is not a number"},
      {"/velocities/groundspeed-kt", "nan", "is not a number"},
      {"/velocities/mach", "-ERR \"node '/velocities' not found\"", "is not a number"},
      {"/sim/freeze/master", "maybe", "/sim/freeze/master: \"maybe\" is not true or false"},
      {"/autopilot/KAP140/locks/hdg-hold", "2", "is not true or false"},
      {"/velocities/groundspeed-kt", "inf", "is not a number"},
      {"/position/latitude-deg", "1e400", "is not a number"},
      // Numbers no aircraft can have.
      {"/position/latitude-deg", "91",
       "/position/latitude-deg: \"91\" is out of range (-90 to 90)"},
      {"/position/latitude-deg", "-90.0001", "is out of range"},
      {"/position/longitude-deg", "1000", "/position/longitude-deg: \"1000\" is out of range"},
      {"/position/longitude-deg", "1e308", "is out of range"},
      {"/position/longitude-deg", "-540.5", "is out of range"},
      {"/orientation/heading-magnetic-deg", "1e17", "is out of range"},
      {"/orientation/heading-deg", "-360.5", "is out of range"},
      {"/orientation/heading-deg", "720", "is out of range"},
      {"/velocities/groundspeed-kt", "90000", "is out of range (0 to 4000)"},
      {"/velocities/groundspeed-kt", "-3", "is out of range"},
      {"/sim/time/elapsed-sec", "-1", "is out of range"},
      {"/sim/time/elapsed-sec", "1e300", "is out of range"},
      // The optional ones too: a value out of range is no missing value, it is a broken peer.
      {"/autopilot/settings/heading-bug-deg", "1e17", "is out of range"},
      {"/environment/wind-from-heading-deg", "-1e9", "is out of range"},
      {"/fdm/jsbsim/velocities/vtrue-kts", "5000", "is out of range"},
      {"/velocities/mach", "1e5", "is out of range"},
      {"/position/altitude-ft", "-1e6", "is out of range"},
      {"/systems/static/pressure-inhg", "-2", "is out of range"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> reply = good;
    reply[index_of(c.path)] = c.value;
    const SampleReading reading = read_sample(reply);
    EXPECT_FALSE(reading.sample) << c.path << " = " << c.value;
    EXPECT_NE(reading.fault.find(c.fault), std::string::npos) << reading.fault;
  }
  std::vector<std::string> short_reply(good.begin(), good.end() - 1);
  EXPECT_FALSE(read_sample(short_reply).sample);
  EXPECT_NE(read_sample(short_reply).fault.find("reply lines"), std::string::npos);
}

TEST(FlightGearReplies, AnglesOneTurnOutAreTakenBackIntoRange) {
  const std::vector<std::string> good = recorded_replies().front();
  struct Case {
    const char* path;
    const char* value;
    double FlightGearSample::*field;
    double read;
  };
  const Case cases[] = {
      // Just past the antimeridian, and on it.
      {"/position/longitude-deg", "190", &FlightGearSample::lon_east_deg, -170.0},
      {"/position/longitude-deg", "-180.5", &FlightGearSample::lon_east_deg, 179.5},
      {"/position/longitude-deg", "180", &FlightGearSample::lon_east_deg, -180.0},
      {"/position/longitude-deg", "-180", &FlightGearSample::lon_east_deg, -180.0},
      {"/position/latitude-deg", "-90", &FlightGearSample::lat_deg, -90.0},  // the pole itself
      {"/orientation/heading-magnetic-deg", "-10", &FlightGearSample::heading_mag_deg, 350.0},
      {"/orientation/heading-magnetic-deg", "360", &FlightGearSample::heading_mag_deg, 0.0},
      {"/orientation/heading-deg", "719.5", &FlightGearSample::heading_true_deg, 359.5},
      {"/velocities/groundspeed-kt", "4000", &FlightGearSample::gs_kt, 4000.0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> reply = good;
    reply[index_of(c.path)] = c.value;
    const SampleReading reading = read_sample(reply);
    ASSERT_TRUE(reading.sample) << c.path << " = " << c.value << ": " << reading.fault;
    EXPECT_DOUBLE_EQ((*reading.sample).*c.field, c.read) << c.path << " = " << c.value;
  }
}

TEST(FlightGearReplies, LinesSplitAcrossChunksReadWhole) {
  // The reply bytes of a recorded batch, "\r\n" after each line, cut at every place: the lines
  // come out the same however the chunks fall.
  const std::vector<std::string> lines = recorded_replies().at(10);
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
    LineReader reader;
    std::vector<std::string> out;
    reader.feed(std::string_view(bytes).substr(0, cut));
    while (auto line = reader.next_line()) out.push_back(*line);
    EXPECT_LE(out.size(), lines.size());
    reader.feed(std::string_view(bytes).substr(cut));
    while (auto line = reader.next_line()) out.push_back(*line);
    ASSERT_EQ(out, lines) << "cut at byte " << cut;
    EXPECT_EQ(reader.waiting(), 0u);
  }
  // A line whose end has not come yet is held back, not given half.
  LineReader reader;
  reader.feed("21.3252572\r\n-157.93");
  EXPECT_EQ(reader.next_line(), "21.3252572");
  EXPECT_FALSE(reader.next_line());
  reader.feed("83447\r\n");
  EXPECT_EQ(reader.next_line(), "-157.9383447");
}

TEST(FlightGearReplies, CommandsAreTheWritesFlightGearTakes) {
  EXPECT_EQ(heading_bug_command(111.0), "setd /autopilot/settings/heading-bug-deg 111.000\r\n");
  const std::string engage = kap140_heading_mode_commands(80.0, 26.8858);
  for (const char* line : {"setd /autopilot/settings/heading-bug-deg 80.000\r\n",
                           "setb /autopilot/KAP140/locks/hdg-hold true\r\n",
                           "setb /autopilot/KAP140/locks/roll-axis true\r\n",
                           "seti /autopilot/KAP140/locks/roll-mode 2\r\n",
                           "setd /autopilot/KAP140/settings/target-alt-pressure 26.886\r\n",
                           "setb /autopilot/KAP140/locks/alt-hold true\r\n"}) {
    EXPECT_NE(engage.find(line), std::string::npos) << line;
  }
  // The altitude hold comes after the heading mode cleared the locks.
  EXPECT_GT(engage.find("locks/alt-hold true"), engage.find("locks/alt-hold false"));
  EXPECT_EQ(prepare_commands(),
            "setb /controls/switches/master-bat true\r\n"
            "setb /controls/switches/master-alt true\r\n"
            "setb /controls/switches/master-avionics true\r\n");
  const std::string request = sample_request();
  EXPECT_EQ(request.rfind("get /sim/time/elapsed-sec\r\n", 0), 0u);
  // One line a path, then the line FlightGear answers with the batch's end.
  EXPECT_EQ(std::count(request.begin(), request.end(), '\n'),
            static_cast<long>(sample_paths().size()) + 1);
  EXPECT_TRUE(request.ends_with("\r\npwd\r\n"));
}

// A take-off from PHNL's runway 08L heading east: the start position one nautical mile ahead on
// the aircraft's true heading (a minute of arc east, at this latitude 1/cos(21.3) of a minute of
// longitude), in the air, and FlightGear's reposition after it.
TEST(FlightGearReplies, TakeOffPutsTheAircraftInTheAirAhead) {
  FlightGearSample standing;
  standing.lat_deg = 21.3252;
  standing.lon_east_deg = -157.9432;
  standing.heading_true_deg = 90.0;
  const TakeoffPoint point = takeoff_point(standing, 1.0, 3000.0, 100.0);
  EXPECT_NEAR(point.lat_deg, standing.lat_deg, 1e-4);
  EXPECT_NEAR((point.lon_east_deg - standing.lon_east_deg) * 60.0 * std::cos(0.37220), 1.0, 0.002);
  const std::string out = takeoff_commands(point);
  for (const char* line :
       {"setd /sim/presets/latitude-deg 21.32", "setd /sim/presets/altitude-ft 3000.000\r\n",
        "setd /sim/presets/airspeed-kt 100.000\r\n", "setd /sim/presets/heading-deg 90.000\r\n",
        "setb /sim/presets/onground false\r\n", "setd /controls/gear/brake-parking 0\r\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(out.ends_with("run reposition\r\n"));
  // Northward, the latitude moves instead.
  standing.heading_true_deg = 0.0;
  EXPECT_NEAR((takeoff_point(standing, 2.0, 3000.0, 100.0).lat_deg - standing.lat_deg) * 60.0, 2.0,
              0.001);
}

}  // namespace
}  // namespace host::link
