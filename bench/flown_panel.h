// The real substitute host's panel with the INS module (INS.so) placed as a simulator places it
// (INS, INS_UPDATE, ALIGN), brought by a pilot's actions into the busiest ordinary state: power
// on, aligned, NAV, on the first leg of a three-leg plan with HOLD engaged in AUTO, so every
// frame runs the three cycles, sends the steering event and draws every window and image.
//
// Shared by the benchmarks and by the frame probe (allocation and file check, callgrind count).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/aircraft/aircraft.h"
#include "host/aircraft/host_variables.h"
#include "host/aircraft/sim_clock.h"
#include "host/panel/activity_log.h"
#include "host/panel/module_loader.h"
#include "host/panel/panel.h"
#include "host/panel/sound_link.h"
#include "host/platform/working_folder.h"

namespace bench {

class FlownPanel {
 public:
  // Makes a temporary working folder with the plan's waypoint file, loads INS.so and
  // GaugeSound.so from the build folder and flies to the state above. Throws
  // std::runtime_error when the panel does not reach it (so nothing idle gets measured).
  FlownPanel();
  ~FlownPanel();
  FlownPanel(const FlownPanel&) = delete;
  FlownPanel& operator=(const FlownPanel&) = delete;

  // One ordinary frame: the three gauges' code 6 and the draw of every element, then the host
  // forgets the frame's key events (keeping its lists' capacity).
  void frame();

  // Moves the aircraft 1.9 NM short of the first leg's TO waypoint: the next frame changes the
  // leg in AUTO, the frame after it reads the new leg from the waypoint file.
  void approach_leg_end();

  std::string text(std::string_view gauge, std::string_view window) const;
  // Key events with the steering id sent since the last call.
  int steering_events() const;

 private:
  void click(std::string_view gauge, std::string_view control);
  void run(int frames);

  host::WorkingFolder folder_;
  host::ActivityLog log_;
  host::SoundLink sound_;
  host::Aircraft aircraft_;
  host::SimClock clock_;
  host::HostVariables variables_;
  std::unique_ptr<host::ModuleLoader> module_;
  std::unique_ptr<host::Panel> panel_;
};

}  // namespace bench
