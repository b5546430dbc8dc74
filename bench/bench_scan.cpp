// A full PCI scan: on this machine's real sysfs through the Linux transport (needs root; skipped
// otherwise), and on a simulated station of eight boards (the scan then also reads every host's
// device information).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/bench_support.h"
#include "discovery/utility.h"
#include "hw/interctl.h"
#include "hw/linux_transport.h"
#include "hw/nvlio.h"

namespace {

void BM_ScanLinuxSysfs(benchmark::State& state) {
  if (geteuid() != 0) {
    state.SkipWithError("needs root");
    return;
  }
  nvl::InstallIoLibrary(nvl::MakeMailboxIoLibrary(std::make_unique<nvl::LinuxTransport>()));
  if (LoadNvlIODriver() == 0) {
    state.SkipWithError("no sysfs access");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(g_Interctl.ScanPciBus(""));
  nvl::InstallIoLibrary(nullptr);
}
BENCHMARK(BM_ScanLinuxSysfs)->Unit(benchmark::kMillisecond);

void BM_ScanEightSimulatedBoards(benchmark::State& state) {
  std::string boards;
  for (int i = 0; i < 8; ++i) {
    boards += std::string(i ? "," : "") + R"({"location":")" + std::to_string(i + 1) +
              R"(:0:0","family":")" + (i % 2 ? "B" : "A") +
              R"(","firmware_version":"221004_00_01_0A"})";
  }
  nvl::bench::InstallStation(R"({"boards":[)" + boards + "]}");
  for (auto _ : state)
    benchmark::DoNotOptimize(g_Interctl.ScanPciBus("221004_00_01_0A"));
  state.counters["hosts"] = g_Utility.m_ucHostCount;
  nvl::InstallIoLibrary(nullptr);
}
BENCHMARK(BM_ScanEightSimulatedBoards)->Unit(benchmark::kMillisecond);

}  // namespace
