// The simulated transport's cost: mailbox read transactions per second, and one 4 KB
// Read_8051_Memory (512 transactions of 8 bytes).
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "hw/interctl.h"
#include "hw/nvlio.h"

namespace {

HostInfo LoadOneBoard() {
  nvl::bench::InstallStation(R"({"boards":[{"location":"3:0:0"}]})");
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
