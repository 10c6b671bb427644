// The page's requests of an aircraft another simulator flies (`ins-host link`): the web server
// hands them on instead of acting on the host's own flight model. Whoever flies the aircraft
// fills them in; the server knows nothing of it. Each returns an error message for the page, or
// empty when the simulator was asked.
#pragma once

#include <functional>
#include <string>

namespace host::live {

struct AircraftRequests {
  // Take off (POST /api/takeoff): into the air ahead of where the aircraft stands.
  std::function<std::string()> take_off;
  // Prepare (POST /api/prepare): the aircraft's power on, standing on the ground.
  std::function<std::string()> prepare;
};

}  // namespace host::live
