// The simulated transport's cost: mailbox read transactions per second, and one 4 KB
// Read_8051_Memory (512 transactions of 8 bytes).
#include <benchmark/benchmark.h>

#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "hw/sim/station.h"

namespace {

HostInfo LoadOneBoard() {
  std::string error;
  auto specs = nvl::sim::ParseStationText(R"({"boards":[{"location":"3:0:0"}]})", "bench", error);
  nvl::InstallIoLibrary(
      nvl::MakeMailboxIoLibrary(std::make_unique<nvl::sim::Station>(std::move(*specs))));
  LoadNvlIODriver();
  HostInfo h;
  h.ucBus = 3;
  return h;
}

void BM_MailboxRead8(benchmark::State& state) {
  const HostInfo h = LoadOneBoard();
  uint8_t out[8];
  for (auto _ : state) {
    benchmark::DoNotOptimize(g_Interctl.McuCommandRead(h, SPACE_DATA, 0x1000, 8, 0, out));
  }
  state.SetItemsProcessed(state.iterations());
  nvl::InstallIoLibrary(nullptr);
}
BENCHMARK(BM_MailboxRead8);

void BM_Read4KB(benchmark::State& state) {
  const HostInfo h = LoadOneBoard();
  std::vector<uint8_t> out(4096);
  for (auto _ : state) {
    benchmark::DoNotOptimize(g_Interctl.Read_8051_Memory(h, SPACE_DATA, 0x1000, 4096, out.data()));
  }
  state.SetBytesProcessed(state.iterations() * 4096);
  nvl::InstallIoLibrary(nullptr);
}
BENCHMARK(BM_Read4KB)->Unit(benchmark::kMicrosecond);

}  // namespace
