// The host's own plan reader (`ins-host fly`, host/flight/flight_plan.cpp) on XML plans of
// 99 to 10 000 waypoints in the layout the planning tools write: the time to read a plan the
// INS can take, and the time to refuse one it cannot (more than 99 waypoints).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "host/flight/flight_plan.h"

namespace {

std::string xml_plan(int waypoints) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" "
      "version=\"1,0\">\n    <Descr>AceXML Document</Descr>\n    <FlightPlan.FlightPlan>\n"
      "        <Title>Benchmark plan</Title>\n        <CruisingAlt>35000</CruisingAlt>\n";
  for (int i = 0; i < waypoints; ++i) {
    char position[96];
    std::snprintf(position, sizeof position, "N%d\xC2\xB0 %d' %d.%02d\",W%d\xC2\xB0 %d' 0.00\"",
                  i % 80, i % 60, i % 60, i % 100, i % 170, (i * 7) % 60);
    const std::string id = "WP" + std::to_string(i);
    text += "        <ATCWaypoint id=\"" + id + "\">\n" +
            "            <ATCWaypointType>Intersection</ATCWaypointType>\n" +
            "            <WorldPosition>" + position + ",+035000.00</WorldPosition>\n" +
            "            <ICAO>\n                <ICAOIdent>" + id +
            "</ICAOIdent>\n            </ICAO>\n        </ATCWaypoint>\n";
  }
  return text + "    </FlightPlan.FlightPlan>\n</SimBase.Document>\n";
}

void BM_HostPlanReaderXml(benchmark::State& state) {
  const std::string text = xml_plan(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    try {
      benchmark::DoNotOptimize(flight::parse_flight_plan(text, "bench.PLN"));
    } catch (const flight::PlanError& refused) {
      benchmark::DoNotOptimize(refused.what());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HostPlanReaderXml)
    ->Arg(99)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.2);

}  // namespace
