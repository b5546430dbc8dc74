// Protocol tests of the command channel: the exact IO library call sequence of each operation,
// recorded over a simulated board.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "hw/interctl.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

using Calls = std::vector<std::string>;

const char* kTwoBoards = R"({
  "boards": [
    {"location": "3:0:0", "family": "A", "port_status": 1,
     "memory": [{"address": "0x1000", "bytes": "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF"}]},
    {"location": "5:0:0", "family": "B", "port_status": 0}
  ]
})";

Calls ReadChunk8(uint8_t space, uint32_t address) {
  return {Cmd(0x40, space, 8, address, 0, 0), "Wait_Read_Ready", "ReadCMD", "Wait_Read_Ready",
          "ReadCMD"};
}

Calls ReadShort(uint8_t space, uint32_t address, uint32_t size) {
  Calls c = {Cmd(0x40, space, size, address, 0, 0), "Wait_Read_Ready", "ReadCMD",
             "Wait_Read_Ready"};
  for (uint32_t i = 0; i < size; ++i)
    c.push_back("PCI_Read_BYTE(" + Hex(0xF0 + i) + ")");
  c.push_back("PCI_Write_Byte(0xE0,0x1)");
  return c;
}

Calls operator+(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CommandChannelTest : public SimStationTest {
 protected:
  void SetUp() override {
    LoadStation(kTwoBoards);
    a_.ucBus = 3;
    a_.ucDeviceType = 0;
    b_.ucBus = 5;
    b_.ucDeviceType = 1;
  }
  HostInfo a_, b_;
};

TEST_F(CommandChannelTest, ThirteenByteReadIsEightThenFiveWithShortReply) {
  uint8_t out[13] = {};
  ASSERT_EQ(g_Interctl.Read_8051_Memory(a_, SPACE_DATA, 0x1000, 13, out), 0);
  EXPECT_EQ(io()->Calls(), ReadChunk8(4, 0x1000) + ReadShort(4, 0x1008, 5));
  for (int i = 0; i < 13; ++i)
    EXPECT_EQ(out[i], 0x11 * i) << "byte " << i;
}

TEST_F(CommandChannelTest, EightByteReadTakesReplyRecordWithoutHandBack) {
  uint8_t out[8] = {};
  ASSERT_EQ(g_Interctl.McuCommandRead(a_, SPACE_DATA, 0x1008, 8, 0, out), 0);
  EXPECT_EQ(io()->Calls(), ReadChunk8(4, 0x1008));
  EXPECT_EQ(out[0], 0x88);
  EXPECT_EQ(out[7], 0xFF);
}

TEST_F(CommandChannelTest, ReadAboveEightBytesIsRefusedWithoutAccess) {
  uint8_t out[9] = {};
  EXPECT_EQ(g_Interctl.McuCommandRead(a_, SPACE_DATA, 0x1000, 9, 0, out), -10);
  EXPECT_TRUE(io()->Calls().empty());
}

TEST_F(CommandChannelTest, WritesOfSixteenAndSeventeenBytes) {
  uint8_t bytes[17];
  for (int i = 0; i < 17; ++i)
    bytes[i] = static_cast<uint8_t>(0xA0 + i);
  const Calls eight_at_0 = {Cmd(0x23, 4, 8, 0x2000, 0xA3A2A1A0, 0xA7A6A5A4), "Wait_Write_Ready"};
  const Calls eight_at_8 = {Cmd(0x23, 4, 8, 0x2008, 0xABAAA9A8, 0xAFAEADAC), "Wait_Write_Ready"};

  ASSERT_EQ(g_Interctl.Write_8051_Memory(a_, 0x2000, 16, bytes), 0);
  EXPECT_EQ(io()->Calls(), eight_at_0 + eight_at_8);

  io()->Clear();
  ASSERT_EQ(g_Interctl.Write_8051_Memory(a_, 0x2000, 17, bytes), 0);
  EXPECT_EQ(io()->Calls(), (eight_at_0 + eight_at_8 +
                            Calls({Cmd(0x23, 4, 1, 0x2010, 0xB0, 0), "Wait_Write_Ready"})));
  for (uint32_t i = 0; i < 17; ++i)
    EXPECT_EQ(Board(3)->PeekData(0x2000 + i), bytes[i]);
}

TEST_F(CommandChannelTest, ChunkPacksBytesLittleEndian) {
  const uint8_t bytes[3] = {0x11, 0x22, 0x33};
  ASSERT_EQ(g_Interctl.McuWriteChunk(a_, 0x3000, 3, bytes), 0);
  EXPECT_EQ(io()->Calls(), (Calls{Cmd(0x23, 4, 3, 0x3000, 0x00332211, 0), "Wait_Write_Ready"}));
}

TEST_F(CommandChannelTest, ZeroLengthTransfersTouchNothing) {
  uint8_t byte = 0;
  EXPECT_EQ(g_Interctl.Read_8051_Memory(a_, SPACE_DATA, 0x1000, 0, &byte), 0);
  EXPECT_EQ(g_Interctl.Write_8051_Memory(a_, 0x1000, 0, &byte), 0);
  EXPECT_TRUE(io()->Calls().empty());
}

struct ChipCase {
  uint8_t family;
  uint8_t code;
  uint8_t expected;
};

class ChipTypeTest : public SimStationTest, public ::testing::WithParamInterface<ChipCase> {};

TEST_P(ChipTypeTest, FirstCodeByteDecides) {
  const ChipCase c = GetParam();
  const std::string json = std::string(R"({"boards":[{"location":"1:2:3","family":")") +
                           (c.family == 0 ? "A" : "B") + R"(","chip_code":)" +
                           std::to_string(c.code) + "}]}";
  LoadStation(json);
  HostInfo h;
  h.ucBus = 1;
  h.ucDevice = 2;
  h.ucFunction = 3;
  h.ucDeviceType = c.family;
  uint8_t type = 0x55;
  ASSERT_EQ(g_Interctl.GetChipType(h, &type), 0);
  EXPECT_EQ(type, c.expected);
  const uint32_t at = c.family == 0 ? 0xF38C : 0x150B2;
  EXPECT_EQ(io()->Calls(), ReadShort(4, at, 4));
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, ChipTypeTest,
                         ::testing::Values(ChipCase{0, 0x2F, 0xFF}, ChipCase{0, 0x30, 0x00},
                                           ChipCase{0, 0xFF, 0x00}, ChipCase{1, 0x53, 1},
                                           ChipCase{1, 0x52, 0}, ChipCase{1, 0x73, 0}));

TEST_F(CommandChannelTest, McuControlWithAndWithoutMailboxClear) {
  const Calls clear = {"PCI_Write_Byte(0xE0,0x0)", "PCI_Write_DWORD(0xF0,0x0)",
                       "PCI_Write_DWORD(0xF4,0x0)", "PCI_Write_DWORD(0xF8,0x0)",
                       "PCI_Write_DWORD(0xFC,0x0)"};
  const Calls control_a = {Cmd(0x23, 4, 1, 0xF340, 2, 0), "Wait_Write_Ready",
                           Cmd(0x23, 4, 1, 0xF342, 1, 0), "Wait_Write_Ready"};
  const Calls control_b = {Cmd(0x23, 4, 1, 0x15040, 2, 0), "Wait_Write_Ready",
                           Cmd(0x23, 4, 1, 0x15042, 1, 0), "Wait_Write_Ready"};
  ASSERT_EQ(g_Interctl.WriteMcuControl(a_, 1), 0);
  EXPECT_EQ(io()->Calls(), clear + control_a);
  io()->Clear();
  ASSERT_EQ(g_Interctl.WriteMcuControl(a_, 0), 0);
  EXPECT_EQ(io()->Calls(), control_a);
  io()->Clear();
  ASSERT_EQ(g_Interctl.WriteMcuControl(b_, 0), 0);
  EXPECT_EQ(io()->Calls(), control_b);
}

TEST_F(CommandChannelTest, PortCommandPollsStatusUntilARead) {
  const Calls post = {Cmd(0x80, 4, 1, 0, 0x21, 0), "Wait_Write_Ready"};
  EXPECT_EQ(g_Interctl.McuPortCommand(a_, 0x21), 0);  // status byte 1
  EXPECT_EQ(io()->Calls(), post + ReadShort(0x81, 0, 1));

  io()->Clear();
  b_.ucBus = 5;
  EXPECT_EQ(g_Interctl.McuPortCommand(b_, 0x21), -1);  // status byte 0: fails after one poll
  EXPECT_EQ(io()->Calls(), post + ReadShort(0x81, 0, 1));
}

TEST_F(CommandChannelTest, DiscoveryControlBitIsClearedInPlace) {
  Board(3)->PokeData(DISCOVERY_CONTROL_ADDR, 0xFF);
  ASSERT_EQ(g_Interctl.ClearDiscoveryControlBit(a_), 0);
  EXPECT_EQ(Board(3)->PeekData(DISCOVERY_CONTROL_ADDR), 0xFB);
  EXPECT_EQ(io()->Calls(), (ReadShort(4, 0xF3B4, 1) +
                            Calls({Cmd(0x23, 4, 1, 0xF3B4, 0xFB, 0), "Wait_Write_Ready"})));
}

TEST_F(CommandChannelTest, FlashStatusReadUsesTheReplyRecord) {
  uint8_t reply[8] = {};
  ASSERT_EQ(g_Interctl.Read_SPIRom_WRSR(a_, reply), 0);
  EXPECT_EQ(io()->Calls(), (Calls{Cmd(0x4C, 0x10, 2, 0, 0x05, 0), "Wait_Read_Ready", "ReadCMD",
                                  "Wait_Read_Ready", "ReadCMD"}));
}

TEST_F(CommandChannelTest, FirmwareVersionIsOneSixByteRead) {
  uint8_t v[6] = {};
  ASSERT_EQ(g_Interctl.GetFirmwareVersion(a_, v), 0);
  EXPECT_EQ(io()->Calls(), ReadShort(8, 0x80, 6));
}

TEST_F(CommandChannelTest, DifferentBoardsFromDifferentThreads) {
  Board(5)->PokeData(0x4000, 0x5A);
  std::atomic<int> failures{0};
  auto worker = [&](HostInfo host, uint8_t expected) {
    for (int i = 0; i < 300; ++i) {
      uint8_t v = 0;
      const uint8_t w = static_cast<uint8_t>(expected ^ i);
      if (g_Interctl.Write_8051_Memory(host, 0x4001, 1, &w) != 0 ||
          g_Interctl.Read_8051_Memory(host, SPACE_DATA, 0x4001, 1, &v) != 0 || v != w) {
        ++failures;
      }
    }
  };
  std::thread t1(worker, a_, 0x11);
  std::thread t2(worker, b_, 0x22);
  t1.join();
  t2.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Board(5)->PeekData(0x4000), 0x5A);
}

// Faults injected by the station file reach the caller as the library's failures.
struct FaultCase {
  const char* name;
  const char* faults;
  int expected;    // result of the third read
  int good_reads;  // reads that succeed before it
};

class FaultTest : public SimStationTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, ReadsFailAsInjected) {
  const FaultCase c = GetParam();
  LoadStation(std::string(R"({"boards":[{"location":"3:0:0","faults":)") + c.faults + "}]}");
  HostInfo h;
  h.ucBus = 3;
  int ok = 0;
  int last = 0;
  for (int i = 0; i < 3; ++i) {
    uint8_t v[4];
    last = g_Interctl.Read_8051_Memory(h, SPACE_DATA, 0xF38C, 4, v);
    if (last == 0) ++ok;
  }
  EXPECT_EQ(ok, c.good_reads);
  EXPECT_EQ(last, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    StationFaults, FaultTest,
    ::testing::Values(
        FaultCase{"refused", R"([{"effect":"error","command":"0x40","space":4}])", -1, 0},
        FaultCase{"never_ready", R"([{"effect":"no_ready"}])", -9, 0},
        FaultCase{"after_two", R"([{"effect":"error","after":2}])", -1, 2},
        FaultCase{"once", R"([{"effect":"error","times":1}])", 0, 2},
        FaultCase{"other_address", R"([{"effect":"error","address":"0xE260"}])", 0, 3}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(CommandChannelTest, EmptyLocationFailsWithoutHanging) {
  HostInfo nowhere;
  nowhere.ucBus = 200;
  uint8_t v[4];
  EXPECT_LT(g_Interctl.Read_8051_Memory(nowhere, SPACE_DATA, 0, 4, v), 0);
  EXPECT_EQ(PCI_Read_DWORD(200, 0, 0, 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace nvl::test

namespace nvl::test {
namespace {

// Ending the process unloads the driver while workers may still be in a transaction: the
// unload waits for calls in progress, and every later call is refused as "not loaded".
TEST_F(CommandChannelTest, UnloadWhileAWorkerIsReadingIsSafe) {
  std::atomic<bool> started{false};
  std::atomic<int> last{0};
  std::thread worker([&] {
    uint8_t v[8];
    for (int i = 0; i < 10000000; ++i) {  // ends at the unload
      last = g_Interctl.Read_8051_Memory(a_, SPACE_DATA, 0x1000, 8, v);
      started = true;
      if (last == kIoErrNotLoaded) return;
    }
  });
  while (!started)
    std::this_thread::yield();
  UnloadNvlIODriver();
  worker.join();
  EXPECT_EQ(last.load(), kIoErrNotLoaded);
  uint8_t v[1];
  EXPECT_EQ(g_Interctl.McuCommandRead(a_, SPACE_DATA, 0x1000, 1, 0, v), kIoErrNotLoaded);
}

}  // namespace
}  // namespace nvl::test
