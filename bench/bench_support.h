// Benchmark set-up: a simulated station from station-file text, loaded behind the IO library.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "hw/nvlio.h"
#include "hw/sim/station.h"

namespace nvl::bench {

inline void InstallStation(const std::string& json) {
  std::string error;
  auto boards = sim::ParseStationText(json, "bench", error);
  if (!boards) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  InstallIoLibrary(MakeMailboxIoLibrary(std::make_unique<sim::Station>(std::move(*boards))));
  LoadNvlIODriver();
}

}  // namespace nvl::bench
