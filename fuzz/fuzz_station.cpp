// Fuzz target for the station file parser: any text is either refused with a message that names
// the file, or gives boards that load and answer configuration reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hw/sim/station.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto boards = nvl::sim::ParseStationText(text, "fuzz.json", error);
  if (!boards) {
    if (error.rfind("station file fuzz.json: ", 0) != 0) std::abort();
    return 0;
  }
  nvl::sim::Station station(std::move(*boards));
  if (!station.Open(error)) std::abort();  // a parsed station always loads
  for (const nvl::sim::VirtualController* board : station.Boards()) {
    const nvl::PciLocation at = board->desc().location;
    if (station.ReadConfig32(at, 0) == 0xFFFFFFFFu) std::abort();
    station.ReadConfig8(at, 0xF0);
  }
  return 0;
}
