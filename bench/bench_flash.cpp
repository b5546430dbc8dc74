// Programming and verifying a 64 KB image on one simulated board at time scale 1 (identify,
// unprotect, erase, write, read back, protect, restart), next to the sum of the waits the flash
// protocol itself requires.  The counter overhead_pct is the time spent beyond those waits: the
// mailbox traffic (8192 writes and 8192 reads per copy) and the sleeps' own lateness.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <chrono>
#include <vector>

#include "firmware/spi_flash.h"
#include "firmware/spi_rom_parts.h"
#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "hw/sim/station.h"
#include "platform/clock.h"

namespace {

constexpr int64_t kRestartWaitMs = 500;  // the controller restart step's own settle wait

HostInfo LoadOneBoard(uint32_t flash_size) {
  const std::string id = flash_size == 0x10000 ? "C2 20 10" : "C2 20 11";
  nvl::bench::InstallStation(R"({"boards":[{"location":"3:0:0","flash":{"id":")" + id +
                             R"(","size":)" + std::to_string(flash_size) + "}}]}");
  HostInfo h;
  h.ucBus = 3;
  return h;
}

void BM_ProgramAndVerify64K(benchmark::State& state) {
  const uint32_t flash_size = static_cast<uint32_t>(state.range(0));
  nvl::Clock::SetTimeScale(1.0);
  const HostInfo h = LoadOneBoard(flash_size);
  std::vector<uint8_t> image(0x10000);
  uint32_t x = 1;
  for (auto& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  int64_t waits_ms = 0;
  nvl::fw::SetFlashWaitObserver([&waits_ms](int64_t ms) { waits_ms += ms; });
  double elapsed_ms = 0;
  int64_t required_ms = 0;
  for (auto _ : state) {
    waits_ms = kRestartWaitMs;
    const auto t0 = std::chrono::steady_clock::now();
    const SpiRomPart part = g_Interctl.Init_SPIRom(h);
    const int rc = g_Interctl.Update_Firmware(0, h, part, image.data(), 0x10000);
    elapsed_ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    required_ms += waits_ms;
    if (rc != 0) {
      state.SkipWithError("programming failed");
      break;
    }
  }
  nvl::fw::SetFlashWaitObserver(nullptr);
  const double n = static_cast<double>(state.iterations());
  if (n > 0 && required_ms > 0) {
    state.counters["protocol_waits_ms"] = static_cast<double>(required_ms) / n;
    state.counters["elapsed_ms"] = elapsed_ms / n;
    state.counters["overhead_pct"] =
        (elapsed_ms - static_cast<double>(required_ms)) / static_cast<double>(required_ms) * 100.0;
  }
  nvl::InstallIoLibrary(nullptr);
}
// 64 KB flash: one copy; 128 KB flash: the image and its second copy.
BENCHMARK(BM_ProgramAndVerify64K)
    ->Arg(0x10000)
    ->Arg(0x20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
