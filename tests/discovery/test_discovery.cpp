// Discovery and device information over simulated stations.
#include <gtest/gtest.h>

#include <regex>

#include "discovery/device_info.h"
#include "discovery/utility.h"
#include "hw/interctl.h"
#include "platform/diag_log.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

class DiscoveryTest : public SimStationTest {};

TEST_F(DiscoveryTest, HostsAppearInFunctionDeviceBusOrder) {
  LoadStation(R"({"boards":[
    {"location":"5:0:0","family":"B"},
    {"location":"3:1:0","family":"A"},
    {"location":"3:0:0","family":"A","device_id":"0x5303"},
    {"location":"0:0:1","family":"A"},
    {"location":"7:0:0","vendor_id":"0x8086","device_id":"0x5301"}
  ]})");
  g_Utility.vBlankHostTable();
  EXPECT_EQ(g_Interctl.ScanPciBus(""), 0);
  ASSERT_EQ(g_Utility.m_ucHostCount, 4);
  const std::pair<uint8_t, uint8_t> expected[] = {{3, 0}, {5, 0}, {3, 1}, {0, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g_Utility.m_HostInfo[i].ucIndex, i);
    EXPECT_EQ(g_Utility.m_HostInfo[i].ucBus, expected[i].first) << i;
    EXPECT_EQ(g_Utility.m_HostInfo[i].ucDevice, expected[i].second) << i;
  }
  EXPECT_EQ(g_Utility.m_HostInfo[3].ucFunction, 1);
  EXPECT_EQ(g_Utility.m_HostInfo[1].ucDeviceType, 1);
  for (int i = 4; i < HOST_MAX; ++i)
    EXPECT_EQ(g_Utility.m_HostInfo[i].ucIndex, 0xFF) << i;
}

TEST_F(DiscoveryTest, NineControllersGiveEightHosts) {
  std::string boards;
  for (int bus = 1; bus <= 9; ++bus) {
    boards +=
        std::string(bus > 1 ? "," : "") + R"({"location":")" + std::to_string(bus) + ":0:0\"}";
  }
  LoadStation(R"({"boards":[)" + boards + "]}");
  EXPECT_EQ(g_Interctl.ScanPciBus(""), 0);
  EXPECT_EQ(g_Utility.m_ucHostCount, 8);
  EXPECT_EQ(g_Utility.m_HostInfo[7].ucBus, 8);
}

TEST_F(DiscoveryTest, NoControllerLeavesTheRecordsAlone) {
  LoadStation(R"({"boards":[{"location":"2:0:0","vendor_id":"0x10EC"}]})");
  g_Utility.vBlankHostTable();
  EXPECT_EQ(g_Interctl.ScanPciBus(""), -6);
  EXPECT_EQ(g_Utility.m_ucHostCount, 0);
  EXPECT_EQ(g_Utility.m_HostInfo[0].ucIndex, 0xFF);
  EXPECT_EQ(g_Utility.m_HostInfo[0].strFWVersion, " ");
}

TEST_F(DiscoveryTest, DiscoveryControlWritesFollowTheFamilyAndTheCall) {
  LoadStation(R"({"boards":[{"location":"3:0:0","family":"A","discovery_control":"0xFF"},
                            {"location":"5:0:0","family":"B","memory":[{"address":"0xF3B4","bytes":"FF"}]}]})");
  EXPECT_EQ(g_Interctl.ScanPciBus(""), 0);
  EXPECT_EQ(Board(3)->PeekData(0xF3B4), 0xFB);
  EXPECT_EQ(Board(5)->PeekData(0xF3B4), 0xFF);  // the scan leaves family B alone
  EXPECT_EQ(g_Interctl.AssignPciBus(5, 0, 0, ""), 0);
  EXPECT_EQ(Board(5)->PeekData(0xF3B4), 0xFB);  // the assigned location gets the write
  EXPECT_EQ(g_Utility.m_ucHostCount, 1);
  EXPECT_EQ(g_Utility.m_HostInfo[0].ucDeviceType, 1);
}

TEST_F(DiscoveryTest, AssignOnEmptyLocationFindsNothing) {
  LoadStation(R"({"boards":[{"location":"3:0:0"}]})");
  EXPECT_EQ(g_Interctl.AssignPciBus(4, 0, 0, ""), -6);
  EXPECT_EQ(g_Utility.m_ucHostCount, 0);
  EXPECT_EQ(g_Interctl.AssignPciBus(3, 0, 0, ""), 0);
  EXPECT_EQ(g_Utility.m_HostInfo[0].ucBus, 3);
}

TEST_F(DiscoveryTest, MemoryBaseDropsTheFlagBits) {
  LoadStation(R"({"boards":[{"location":"3:0:0","bar0":"0xF7D00004"}]})");
  ASSERT_EQ(g_Interctl.ScanPciBus(""), 0);
  EXPECT_EQ(g_Utility.m_HostInfo[0].dwMemBase, 0xF7D00000u);
}

TEST_F(DiscoveryTest, IdentityOfBothFamilies) {
  LoadStation(R"({"boards":[
    {"location":"3:0:0","family":"A","firmware_version":"010203_04_05_06","svid":"1234","ssid":"abcd","pcie_link":"0x1B","flash":{"status":"0x9C"}},
    {"location":"5:0:0","family":"B","chip_code":"0x53","firmware_version":"ABCDEF_70_01_02","svid":"1e7c","ssid":"5401","flash":{"status":"0x1C"}}]})");
  ASSERT_EQ(g_Interctl.ScanPciBus("010203_04_05_06"), 0);
  const HostInfo& a = g_Utility.m_HostInfo[0];
  EXPECT_EQ(a.ucChipType, 0);
  EXPECT_EQ(a.strFWVersion, "010203_04_05_06");
  EXPECT_EQ(a.strSVID, "1234");
  EXPECT_EQ(a.strSSID, "abcd");
  EXPECT_EQ(a.ucPcieLink, 0x1B);
  EXPECT_EQ(a.ucSpiWrsr, 0x9C);  // equal versions read the status register
  const HostInfo& b = g_Utility.m_HostInfo[1];
  EXPECT_EQ(b.ucChipType, 1);
  EXPECT_EQ(b.strFWVersion, "ABCDEF_70_01_02");
  EXPECT_EQ(b.strSVID, "1e7c");
  EXPECT_EQ(b.strSSID, "5401");
  EXPECT_EQ(b.ucPcieLink, 0);
  EXPECT_EQ(b.ucSpiWrsr, 0x1C);
}

// A failing read stops the update; what it did not reach keeps its value.
struct FailCase {
  const char* name;
  const char* address;  // the read that fails
  uint8_t space;
  const char *chip, *version, *svid, *ssid;
  uint8_t link, wrsr;
  const char* log;  // the last diagnostic line, after "CInterctl::UpdateDeviceInfo:<line>: "
};

class DeviceInfoFailure : public SimStationTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(DeviceInfoFailure, StopsAtTheFailedRead) {
  const FailCase c = GetParam();
  LoadStation(std::string(R"({"boards":[{"location":"3:0:0","firmware_version":"010203_04_05_06",
      "svid":"1234","ssid":"abcd","pcie_link":"0x1F","flash":{"status":"0x5A"},
      "faults":[{"effect":"error","command":"0x40","space":)") +
              std::to_string(c.space) + R"(,"address":")" + c.address + R"("}]}]})");
  TempDir dir;
  ResetEventLogSinkForTest(dir.File("events.db"));
  HostInfo& h = g_Utility.m_HostInfo[0];
  h.ucBus = 3;
  h.strFWVersion = "old";
  h.strSVID = "old";
  h.strSSID = "old";
  h.ucPcieLink = 0x77;
  h.ucSpiWrsr = 0x66;
  h.ucChipType = 0x55;
  EXPECT_LT(g_Interctl.UpdateDeviceInfo(0, "000001_00_00_00", 0), 0);
  EXPECT_EQ(h.ucChipType, std::stoi(c.chip, nullptr, 16));
  EXPECT_EQ(h.strFWVersion, c.version);
  EXPECT_EQ(h.strSVID, c.svid);
  EXPECT_EQ(h.strSSID, c.ssid);
  EXPECT_EQ(h.ucPcieLink, c.link);
  EXPECT_EQ(h.ucSpiWrsr, c.wrsr);
  std::string last;
  PublishedEventLogSink()->store()->ReadForward([&](const EventRecord& e) {
    last = e.strings.at(0);
    return true;
  });
  EXPECT_TRUE(std::regex_match(last, std::regex("\r\nCInterctl::UpdateDeviceInfo:[0-9]+: (.*)")))
      << last;
  EXPECT_EQ(last.substr(last.find(": ") + 2), c.log);
  ResetEventLogSinkForTest("");
}

INSTANTIATE_TEST_SUITE_P(
    EachRead, DeviceInfoFailure,
    ::testing::Values(FailCase{"chip", "0xF38C", 4, "FF", "old", "old", "old", 0x77, 0x66,
                               "Get Chip Type Failed(-1), "},
                      FailCase{"version", "0x80", 8, "00", "old", "old", "old", 0x77, 0x66,
                               "Bus=3, Device=0, Function=0, GetFirmwareVersion Failed(-1), "},
                      FailCase{"svid", "0xE260", 4, "00", "010203_04_05_06", "FFFF", "old", 0x77,
                               0x66, "SVID_ADDR Failed(-1), "},
                      FailCase{"ssid", "0xE262", 4, "00", "010203_04_05_06", "1234", "FFFF", 0x77,
                               0x66, "SSID_ADDR Failed(-1), "},
                      FailCase{"link", "0xE241", 4, "00", "010203_04_05_06", "1234", "abcd", 0x77,
                               0x66, "PCIe_link_ADDR Failed(-1), "}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DiscoveryTest, FailedStatusRegisterReadShowsFF) {
  LoadStation(R"({"boards":[{"location":"3:0:0","firmware_version":"010203_04_05_06",
      "faults":[{"effect":"error","command":"0x4C"}]}]})");
  g_Utility.m_HostInfo[0].ucBus = 3;
  EXPECT_LT(g_Interctl.UpdateDeviceInfo(0, "010203_04_05_06", 0), 0);
  EXPECT_EQ(g_Utility.m_HostInfo[0].ucSpiWrsr, 0xFF);
}

struct WrsrCase {
  const char* version;
  const char* threshold;
  bool read;
};

class WrsrDecision : public ::testing::TestWithParam<WrsrCase> {};

TEST_P(WrsrDecision, ComparesHighAndLowParts) {
  const WrsrCase c = GetParam();
  EXPECT_EQ(bReadWrsrForVersion(c.version, c.threshold), c.read)
      << c.version << " vs " << c.threshold;
}

INSTANTIATE_TEST_SUITE_P(Table, WrsrDecision,
                         ::testing::Values(WrsrCase{"010203_04_05_06", "010203_04_05_06", true},
                                           WrsrCase{"010203_04_05_06", "010203_04_05_07", false},
                                           WrsrCase{"010203_04_05_06", "010203_04_05_05", true},
                                           WrsrCase{"010203_04_05_06", "", false},
                                           WrsrCase{"010303_00_00_00", "0102", true},
                                           WrsrCase{"010103_00_00_00", "0102", false},
                                           WrsrCase{"020000_00_00_00", "01FFFF_FF_FF_FF", true},
                                           WrsrCase{"000000_00_00_00", "000000_00_00_00", false}));

TEST(ParseHexText, DigitsFromTheLeft) {
  EXPECT_EQ(ParseHexText(""), 0u);
  EXPECT_EQ(ParseHexText("000012"), 18u);
  EXPECT_EQ(ParseHexText("ABCD"), 0xABCDu);
  EXPECT_EQ(ParseHexText("abcd"), 0xABCDu);
  EXPECT_EQ(ParseHexText("12G4"), 0x12u);
  EXPECT_EQ(ParseHexText("123456789"), 0x23456789u);  // low 32 bits
}

TEST(HostTable, ResetKeepsFileNameCheckResultAndFamily) {
  HostInfo h;
  h.ucIndex = 3;
  h.ucFwCheckResult = 1;
  h.ucDeviceType = 1;
  h.strFWFileName = "/fw.bin";
  h.strSVID = "1234";
  h.ucChipType = 0;
  h.ucPortFlag[2] = 1;
  CUtility::ResetHostInfo(h);
  EXPECT_EQ(h.ucIndex, 0);
  EXPECT_EQ(h.ucFwCheckResult, 1);
  EXPECT_EQ(h.ucDeviceType, 1);
  EXPECT_EQ(h.strFWFileName, "/fw.bin");
  EXPECT_EQ(h.strSVID, "");
  EXPECT_EQ(h.ucChipType, 0xFF);
  EXPECT_EQ(h.ucPortFlag[2], 0);
}

TEST(ErrorTexts, KnownAndUnknownCodes) {
  EXPECT_STREQ(CUtility::strErrorText(-2), "FW Version Unmatch");
  EXPECT_STREQ(CUtility::strErrorText(-9), "Operation timed out");
  EXPECT_STREQ(CUtility::strErrorText(-6), "Unknown error");
  EXPECT_STREQ(CUtility::strErrorText(-7), "Unknown error");
}

}  // namespace
}  // namespace nvl::test
