// The frames `ins-host link` owes FlightGear's time (FrameEpoch, the rules LinkPacer counts by):
// each case a run of FlightGear samples, the frames owed at each taken as run before the next.
#include "host/link/link_pacer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using host::link::FrameEpoch;

constexpr double FPS = 30.0;

struct Sample {
  double time_s;
  uint64_t connection;
  int64_t owed;  // the frames owed at this sample
};

struct EpochCase {
  std::string name;
  std::vector<Sample> samples;
};

// A case is shown by its name, not its bytes.
void PrintTo(const EpochCase& epoch_case, std::ostream* out) {
  *out << epoch_case.name;
}

class FrameEpochRules : public ::testing::TestWithParam<EpochCase> {};

TEST_P(FrameEpochRules, OwesTheFramesOfFlightGearTimeSinceItsEpoch) {
  FrameEpoch epoch;
  for (std::size_t i = 0; i < GetParam().samples.size(); ++i) {
    const Sample& sample = GetParam().samples[i];
    const int64_t owed = epoch.frames_owed(sample.time_s, sample.connection, FPS);
    EXPECT_EQ(owed, sample.owed) << "sample " << i << " at " << sample.time_s << " s";
    epoch.frames_ran(owed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    LinkPacer, FrameEpochRules,
    ::testing::Values(
        // The first time seen is the epoch; from there, 30 frames a FlightGear second, a part
        // frame owed only once it is whole.
        EpochCase{"RunningOn", {{100.0, 1, 0}, {101.0, 1, 30}, {101.25, 1, 7}, {101.5, 1, 8}}},
        // The clock goes back (a FlightGear reset): a new epoch there, nothing owed for the
        // time that went back, and the frames counted on from it.
        EpochCase{"ClockGoesBack", {{100.0, 1, 0}, {101.0, 1, 30}, {50.0, 1, 0}, {50.5, 1, 15}}},
        // A jump of more than 2 s past the frames run starts a new epoch rather than running
        // the frames at once; a jump within 2 s is caught up.
        EpochCase{"JumpOverTwoSeconds",
                  {{100.0, 1, 0}, {101.75, 1, 52}, {104.0, 1, 0}, {104.125, 1, 3}}},
        // Paused, FlightGear's time stands and so do the frames; on resuming they are counted
        // on from the same epoch, the part frame owed before the pause included: no burst for
        // the pause, no frame lost to it.
        EpochCase{"Pause",
                  {{100.0, 1, 0}, {100.25, 1, 7}, {100.25, 1, 0}, {100.25, 1, 0}, {100.5, 1, 8}}},
        // A new connection starts a new epoch, at whatever time that FlightGear has.
        EpochCase{"Reconnection",
                  {{100.0, 1, 0}, {101.0, 1, 30}, {101.5, 2, 0}, {102.0, 2, 15}, {30.0, 3, 0}}}),
    [](const ::testing::TestParamInfo<EpochCase>& param_info) { return param_info.param.name; });

}  // namespace
