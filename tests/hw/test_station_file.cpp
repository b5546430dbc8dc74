// Station files: what loads, and what is refused with a message that names the file and the fault.
#include <gtest/gtest.h>

#include "hw/nvlio.h"
#include "hw/sim/station.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

struct BadStation {
  const char* name;
  const char* text;
  const char* message;  // part of the error text
};

class BadStationTest : public ::testing::TestWithParam<BadStation> {};

TEST_P(BadStationTest, IsRefusedWithItsReason) {
  const BadStation c = GetParam();
  std::string error;
  EXPECT_FALSE(sim::ParseStationText(c.text, "line7.json", error).has_value());
  EXPECT_NE(error.find("station file line7.json"), std::string::npos) << error;
  EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Refused, BadStationTest,
    ::testing::Values(
        BadStation{"not_json", "{boards: [", "not valid JSON"},
        BadStation{"empty", "", "not valid JSON"},
        BadStation{"number_overflow", R"({"boards":[{"location":"3:0:0","chip_code":1e999}]})",
                   "not valid JSON"},
        BadStation{"no_boards", R"({"format":1})", "missing field \"boards\""},
        BadStation{"boards_not_list", R"({"boards":{}})", "boards: expected a list"},
        BadStation{"two_at_one_location",
                   R"({"boards":[{"location":"3:0:0"},{"location":"3:0:0","family":"B"}]})",
                   "two boards at location 3:0:0"},
        BadStation{"unknown_field", R"({"boards":[{"location":"3:0:0","colour":"red"}]})",
                   "boards[0]: unknown field \"colour\""},
        BadStation{"wrong_type", R"({"boards":[{"location":"3:0:0","bar0":true}]})",
                   "boards[0].bar0: expected a number"},
        BadStation{"bad_number_text", R"({"boards":[{"location":"3:0:0","chip_code":"0xZZ"}]})",
                   "expected a number"},
        BadStation{"number_too_big", R"({"boards":[{"location":"3:0:0","chip_code":256}]})",
                   "out of range"},
        BadStation{"device_out_of_range", R"({"boards":[{"location":"3:32:0"}]})",
                   "expected bus:device:function"},
        BadStation{"no_location", R"({"boards":[{"family":"A"}]})", "missing field \"location\""},
        BadStation{"unknown_family", R"({"boards":[{"location":"1:0:0","family":"C"}]})",
                   "expected \"A\" or \"B\""},
        BadStation{"bad_version", R"({"boards":[{"location":"1:0:0","firmware_version":"1.2"}]})",
                   "expected a version like"},
        BadStation{"bad_svid", R"({"boards":[{"location":"1:0:0","svid":"12345"}]})",
                   "expected four hex digits"},
        BadStation{
            "memory_past_end",
            R"({"boards":[{"location":"1:0:0","memory":[{"space":8,"address":255,"bytes":"01 02"}]}]})",
            "past the end"},
        BadStation{"bad_fault_effect",
                   R"({"boards":[{"location":"1:0:0","faults":[{"effect":"explode"}]}]})",
                   "expected \"error\" or \"no_ready\""},
        BadStation{
            "overlapping_windows",
            R"({"boards":[{"location":"1:0:0","bar0":"0xF0000000"},{"location":"2:0:0","bar0":"0xF0008000"}]})",
            "overlaps"},
        BadStation{"newer_format", R"({"format":2,"boards":[]})", "format 2 is not known"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(StationFile, DefaultsFollowTheFamily) {
  std::string error;
  auto boards = sim::ParseStationText(
      R"({"comment":"two boards","boards":[{"location":"3:0:0"},{"location":"5:1:2","family":"B","device_id":"0x5402"}]})",
      "x", error);
  ASSERT_TRUE(boards) << error;
  ASSERT_EQ(boards->size(), 2u);
  EXPECT_EQ((*boards)[0].device_id, 0x5301);
  EXPECT_EQ((*boards)[0].chip_code, 0x30);
  EXPECT_EQ((*boards)[1].device_id, 0x5402);
  EXPECT_EQ((*boards)[1].location, (PciLocation{5, 1, 2}));
  EXPECT_NE((*boards)[0].bar0, (*boards)[1].bar0);
}

TEST(StationFile, ConfigSpaceShowsTheBoard) {
  std::string error;
  auto boards = sim::ParseStationText(
      R"({"boards":[{"location":"3:0:0","bar0":"0xF7D00004","svid":"abcd","ssid":"1234"}]})", "x",
      error);
  ASSERT_TRUE(boards) << error;
  sim::Station station(std::move(*boards));
  ASSERT_TRUE(station.Open(error));
  EXPECT_EQ(station.ReadConfig32({3, 0, 0}, 0x00), 0x53011E7Cu);
  EXPECT_EQ(station.ReadConfig32({3, 0, 0}, 0x10), 0xF7D00004u);
  EXPECT_EQ(station.ReadConfig32({3, 0, 0}, 0x2C), 0x1234ABCDu);
  EXPECT_EQ(station.ReadConfig32({4, 0, 0}, 0x00), 0xFFFFFFFFu);
  station.WriteConfig32({3, 0, 0}, 0x00, 0);  // identity is read only
  EXPECT_EQ(station.ReadConfig32({3, 0, 0}, 0x00), 0x53011E7Cu);
}

TEST(StationFile, MissingFileFailsTheDriverLoadAndSaysWhy) {
  TempDir dir;
  InstallIoLibrary(MakeMailboxIoLibrary(std::make_unique<sim::Station>(dir.File("nope.json"))));
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadNvlIODriver(), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(dir.File("nope.json")), std::string::npos) << err;
  EXPECT_NE(err.find("cannot be read"), std::string::npos) << err;
  // Nothing is half loaded: the library answers as unloaded.
  EXPECT_EQ(PCI_Read_DWORD(3, 0, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(WriteCmdALL(3, 0, 0, 0x40, 4, 1, 0, 0, 0), kIoErrNotLoaded);
  InstallIoLibrary(nullptr);
}

TEST(StationFile, MemoryWindowIsMappedOnlyForABoard) {
  std::string error;
  auto boards =
      sim::ParseStationText(R"({"boards":[{"location":"3:0:0","bar0":"0xF0000000"}]})", "x", error);
  ASSERT_TRUE(boards);
  InstallIoLibrary(MakeMailboxIoLibrary(std::make_unique<sim::Station>(std::move(*boards))));
  ASSERT_NE(LoadNvlIODriver(), 0);
  EXPECT_EQ(MapNvlIO(0x10000000, 0x1000), nullptr);
  void* w = MapNvlIO(0xF0000020, 4);
  ASSERT_NE(w, nullptr);
  const uint8_t out[4] = {1, 2, 3, 4};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(WriteMEM(static_cast<uint8_t*>(w) + i, 1, &out[i]), 0);
  UnmapNvlIO(w, 4);
  void* again = MapNvlIO(0xF0000000, 0x1000);
  uint8_t v = 0;
  ASSERT_EQ(ReadMEM(static_cast<uint8_t*>(again) + 0x22, 1, &v), 0);
  EXPECT_EQ(v, 3);
  UnmapNvlIO(again, 0x1000);
  InstallIoLibrary(nullptr);
}

}  // namespace
}  // namespace nvl::test
