// coastlines_pack <topology.json> <packed file>: the build's step that reads Natural Earth's
// land outlines once, as a flight's map draws them, and packs them for `ins-host fly`
// (flight::read_packed_coastlines), which then reads them with no parsing.
#include <iostream>

#include "host/flight/coastlines.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: coastlines_pack <topology.json> <packed file>\n";
    return 2;
  }
  const auto lines = flight::read_coastlines(argv[1]);
  if (!lines) {
    std::cerr << argv[1] << ": not a topology with land arcs (or not readable)\n";
    return 1;
  }
  if (!flight::write_packed_coastlines(argv[2], *lines)) {
    std::cerr << argv[2] << ": cannot write\n";
    return 1;
  }
  return 0;
}
