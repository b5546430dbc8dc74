// The command-line actions on simulated stations, as a station script runs them: the executable,
// its settings file and the station file in one folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/options.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

const char* kTwoBoards = R"({"boards":[
  {"location":"5:0:0","family":"B","firmware_version":"221004_00_02_0B","svid":"abcd","ssid":"1234"},
  {"location":"3:0:0","family":"A","firmware_version":"221004_00_01_0A","svid":"1e7c","ssid":"5301"}]})";
const char* kSameVersion = R"({"boards":[
  {"location":"5:0:0","family":"B","firmware_version":"22100A_00_01_0A","svid":"abcd","ssid":"1234"},
  {"location":"3:0:0","family":"A","firmware_version":"22100A_00_01_0A","svid":"abcd","ssid":"1234"}]})";
const char* kNoBoard = R"({"boards":[]})";
const char* kSameIds = R"({"boards":[
  {"location":"5:0:0","family":"B","svid":"1e7c","ssid":"1234"},
  {"location":"3:0:0","family":"A","svid":"1e7c","ssid":"1234"}]})";

std::string Banner() {
  return BannerText();
}

class ActionTest : public ::testing::Test {
 protected:
  void Station(const char* json) {
    st_.WriteStation(json);
    st_.WriteExampleSettings();
  }
  std::string LoadLine() const {
    return "Load [" + st_.dir().File("NVL7310MPTool.ini") + "] Setting file...\r\n";
  }
  StationDir st_;
};

TEST_F(ActionTest, ShowVersionsOfTwoBoardsInScanOrder) {
  Station(kTwoBoards);
  const ProcessResult r = st_.Run({"/D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Banner() +
                       "Target Host[0] > Bus:0x03 Device:0x00 Function:0x00\r\n"
                       "SSID-->5301 / SVID-->1e7c\r\n"
                       "Version-->221004_00_01_0A\r\n\r\n"
                       "Target Host[1] > Bus:0x05 Device:0x00 Function:0x00\r\n"
                       "SSID-->1234 / SVID-->abcd\r\n"
                       "Version-->221004_00_02_0B\r\n\r\n"
                       "ErroCode [0]\r\n");
}

TEST_F(ActionTest, ShowVersionsWithoutBoard) {
  Station(kNoBoard);
  const ProcessResult r = st_.Run({"/S", "/D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Banner() + LoadLine() + "Device Not Found !!\nErroCode [0]\r\n");
}

TEST_F(ActionTest, FailedSvidReadShowsFFFF) {
  st_.WriteStation(
      R"({"boards":[{"location":"3:0:0","firmware_version":"221004_00_01_0A","ssid":"5301",
    "faults":[{"effect":"error","command":"0x40","address":"0xE260"}]}]})");
  st_.WriteExampleSettings();
  const ProcessResult r = st_.Run({"/D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("SSID--> / SVID-->FFFF\r\n"), std::string::npos) << r.out;
}

struct CompareCase {
  const char* name;
  const char* station;
  std::vector<std::string> args;
  int status;
  const char* tail;  // the end of stdout
};

class CompareTest : public ActionTest, public ::testing::WithParamInterface<CompareCase> {};

TEST_P(CompareTest, ExitCodeAndVerdicts) {
  const CompareCase& c = GetParam();
  Station(c.station);
  const ProcessResult r = st_.Run(c.args);
  EXPECT_EQ(r.status, c.status) << r.out;
  const std::string tail = c.tail;
  ASSERT_GE(r.out.size(), tail.size()) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, CompareTest,
    ::testing::Values(
        CompareCase{"version_any_case",
                    kSameVersion,
                    {"/T", "22100a_00_01_0a"},
                    0,
                    "Version-->22100A_00_01_0A\r\n\r\nPASS!!\r\n\r\n\r\nErroCode [0]\r\n"},
        CompareCase{"version_other",
                    kTwoBoards,
                    {"/T", "221004_00_02_0B"},
                    254,
                    "Input Version is 221004_00_02_0B \r\n"
                    "Target Host[0] > Bus:0x03 Device:0x00 Function:0x00\r\n"
                    "Version-->221004_00_01_0A\r\n\r\nFAIL!!\r\n\r\n\r\nErroCode [-2]\r\n"},
        CompareCase{
            "version_no_board",
            kNoBoard,
            {"/T", "221004_00_01_0A"},
            252,
            "Input Version is 221004_00_01_0A \r\nDeviceNot Found!!\r\n\r\n\r\nErroCode [-4]\r\n"},
        CompareCase{"version_then_o",
                    kSameVersion,
                    {"/T", "22100A_00_01_0A", "/O"},
                    254,
                    "Input Version is 22100A_00_01_0A /O \r\n"
                    "Target Host[0] > Bus:0x03 Device:0x00 Function:0x00\r\n"
                    "Version-->22100A_00_01_0A\r\n\r\nFAIL!!\r\n\r\n\r\nErroCode [-2]\r\n"},
        CompareCase{"ids_holding_auto",
                    kSameVersion,
                    {"/I", "1234/ABCD"},
                    246,
                    // "/A" inside the value is the auto option: 1234BCD is compared and fails
                    "SSID-->1234 / SVID-->abcd\r\nFAIL!!\r\n\r\n\r\nErroCode [-10]\r\n"},
        CompareCase{"ids_any_case",
                    kSameIds,
                    {"/I", "1234/1E7C"},
                    0,
                    "SSID-->1234 / SVID-->1e7c\r\nPASS!!\r\n\r\n\r\nErroCode [0]\r\n"},
        CompareCase{"ids_differ",
                    kTwoBoards,
                    {"/I", "5301/1e7c"},
                    246,
                    "SSID-->1234 / SVID-->abcd\r\nFAIL!!\r\n\r\n\r\nErroCode [-10]\r\n"},
        CompareCase{"ids_no_board",
                    kNoBoard,
                    {"/I", "1234/abcd"},
                    252,
                    "DeviceNot Found!!\r\n\r\n\r\nErroCode [-4]\r\n"},
        CompareCase{
            "assigned",
            kTwoBoards,
            {"/P", "3:0:0", "/D"},
            0,
            "Input [Bus:Dev:Fun]=[3:0:0] \r\n"
            "Target Host[0] > Bus:0x03 Device:0x00 Function:0x00\r\n"
            "SSID-->5301 / SVID-->1e7c\r\nVersion-->221004_00_01_0A\r\n\r\nErroCode [0]\r\n"},
        CompareCase{"assigned_empty",
                    kTwoBoards,
                    {"/P", "4:0:0", "/D"},
                    252,
                    "Input [Bus:Dev:Fun]=[4:0:0] \r\n"
                    "Assigned location can't find NVL device!!\r\nErroCode [-4]\r\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(ActionTest, IdsCompareHoldingAutoKeepsTheProcessAlive) {
  Station(R"({"boards":[{"location":"3:0:0","ssid":"0001","svid":"a123"}]})");
  RunOptions o;
  o.term_after_ms = 1500;
  // "//A" leaves one "/" once the auto option is taken out: 0001/a123 is compared and passes.
  const ProcessResult r = st_.Run({"/I", "0001//Aa123"}, o);
  EXPECT_EQ(r.status, 0);  // ended by SIGTERM through the close request, with exit code 0
  EXPECT_NE(r.out.find("PASS!!\r\n\r\n\r\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("ErroCode"), std::string::npos) << r.out;
}

TEST_F(ActionTest, VersionReportOfTwoHostsInTheWorkingFolder) {
  Station(kTwoBoards);
  const std::string work = st_.dir().File("work");
  std::filesystem::create_directories(work);
  RunOptions o;
  o.cwd = work;
  const ProcessResult r = st_.Run({"/O"}, o);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(work + "/NVL720xVersion.txt"),
            "0:221004_00_01_0A\tSVID: 1e7c\tSSID: 5301\r\n"
            "1:221004_00_02_0B\tSVID: abcd\tSSID: 1234\r\n");
  EXPECT_FALSE(std::filesystem::exists(st_.dir().File("NVL720xVersion.txt")));
}

TEST_F(ActionTest, VersionReportWithoutHostWritesNothing) {
  Station(kNoBoard);
  const ProcessResult r = st_.Run({"/O"});
  EXPECT_EQ(r.status, 252);
  EXPECT_FALSE(std::filesystem::exists(st_.dir().File("NVL720xVersion.txt")));
}

TEST_F(ActionTest, VersionReportPadsAFailedVersion) {
  st_.WriteStation(R"({"boards":[{"location":"3:0:0","faults":[{"effect":"error","space":8}]}]})");
  st_.WriteExampleSettings();
  ASSERT_EQ(st_.Run({"/O"}).status, 0);
  EXPECT_EQ(st_.dir().Read("NVL720xVersion.txt"), "0:000000000000\tSVID: \tSSID: \r\n");
}

TEST_F(ActionTest, InvalidSettingsInSilentModeEndStartUp) {
  st_.WriteStation(kTwoBoards);
  st_.dir().Write("NVL7310MPTool.ini", "[version]\r\nver=12\r\n[main]\r\ninit_main=1\r\n");
  const ProcessResult r = st_.Run({"/S", "/D"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, Banner() + "Load [" + st_.dir().File("NVL7310MPTool.ini") +
                       "] Setting file failed!!...\r\nErroCode [-1]\r\n");
  EXPECT_NE(r.err.find("Loaded ini file is not match current MP Tool version"), std::string::npos)
      << r.err;
}

TEST_F(ActionTest, MissingSettingsWithPageZeroGoOn) {
  st_.WriteStation(kNoBoard);
  const ProcessResult r = st_.Run({"/S", "/D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Banner() + LoadLine() + "Device Not Found !!\nErroCode [0]\r\n");
  EXPECT_NE(r.err.find(st_.dir().File("NVL7310MPTool.ini") + " File/Path is not exist"),
            std::string::npos)
      << r.err;
}

TEST_F(ActionTest, SilentAloneStaysUpUntilTerminated) {
  Station(kTwoBoards);
  RunOptions o;
  o.term_after_ms = 1000;
  const ProcessResult r = st_.Run({"/S"}, o);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Banner() + LoadLine());
}

}  // namespace
}  // namespace nvl::test
