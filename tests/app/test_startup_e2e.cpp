// The executable as a station script sees it: stdout, stderr and the exit status.
#include <gtest/gtest.h>

#include <regex>

#include "app/options.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

const char* kOneBoard = R"({"boards":[{"location":"3:0:0","family":"A"}]})";

struct MissingValueCase {
  const char* name;
  const char* args;
  int status;
  const char* code;
  const char* message;
};

class MissingValue : public ::testing::TestWithParam<MissingValueCase> {};

TEST_P(MissingValue, EndsWithItsCodeBeforeTheBanner) {
  const MissingValueCase c = GetParam();
  StationDir st;
  st.WriteStation(kOneBoard);
  const ProcessResult r = st.Run({c.args});
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, std::string("ErroCode [") + c.code + "]\r\n");
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Options, MissingValue,
    ::testing::Values(
        MissingValueCase{"version", "/T", 255, "-1", "Please Input Version!!\r\n"},
        MissingValueCase{"ids", "/I", 255, "-1", "Please Input SSID/SVID!!\r\n"},
        MissingValueCase{"location", "/P", 246, "-10",
                         "Please Input PCI Address Parameter Bus:Device:Function!!! "},
        MissingValueCase{"signal", "/G", 255, "-1", "Please Input [Port][Speed]!!\r\n"},
        MissingValueCase{"fixture", "/F", 255, "-1", "Please Input [Port][Speed]!!\r\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Startup, UsageEndsWithZeroAndPrintsNothing) {
  StationDir st;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/?"}, std::vector<std::string>{"/S", "/?"}}) {
    const ProcessResult r = st.Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(UsageText()), std::string::npos) << r.err;
  }
}

TEST(Startup, DriverFailureExitsOneWithoutErroCode) {
  StationDir st;
  const ProcessResult silent =
      st.Run({"/S", "/D"}, {{"NVLIO_STATION", st.dir().File("none.json")}});
  EXPECT_EQ(silent.status, 1);
  EXPECT_TRUE(std::regex_match(
      silent.out, std::regex("={19}NVL7310 MPTool \\(Ver 1\\.1\\.2\\.2\\)={25}\r\n"
                             "Load \\[.*NVL7310MPTool\\.ini\\] Setting file\\.\\.\\.\r\n"
                             "\r\nCNVL720_MPToolDlg::OnInitDialog:[0-9]+: InitializeNVLIO Error! "
                             "!\\(-7\\)\n\r\n")))
      << silent.out;
  EXPECT_NE(silent.err.find("none.json"), std::string::npos) << silent.err;

  // Not silent: the same text goes to the message box instead of the console.
  const ProcessResult shown = st.Run({"/D"}, {{"NVLIO_STATION", st.dir().File("none.json")}});
  EXPECT_EQ(shown.status, 1);
  EXPECT_EQ(shown.out.find("InitializeNVLIO"), std::string::npos);
  EXPECT_EQ(shown.out.find("ErroCode"), std::string::npos);
  EXPECT_NE(shown.err.find("InitializeNVLIO Error! !(-7)"), std::string::npos) << shown.err;
}

TEST(Startup, StationFileIsAnnouncedOnStderr) {
  StationDir st;
  st.WriteStation(kOneBoard);
  const ProcessResult r = st.Run({"/P"});
  EXPECT_EQ(r.err.find("simulated station"), std::string::npos)  // ended before the driver loads
      << r.err;
  StationDir bad;
  bad.WriteStation(R"({"boards":[{"location":"3:0:0"},{"location":"3:0:0"}]})");
  const ProcessResult refused = bad.Run({"/S", "/D"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("two boards at location 3:0:0"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace nvl::test
