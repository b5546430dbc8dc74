// Start-up in this process, without command-line options: the window would stay, so its state
// can be looked at.
#include <gtest/gtest.h>

#include "app/main_dlg.h"
#include "config/ini.h"
#include "discovery/utility.h"
#include "platform/program_paths.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

class StartupStateTest : public SimStationTest {
 protected:
  void TearDown() override {
    SetProgramDirForTest("");
    g_Ini.vResetForTest();
    SimStationTest::TearDown();
  }
  TempDir dir_;
};

TEST_F(StartupStateTest, WindowRunFillsTheResultListWithTheHosts) {
  LoadStation(R"({"boards":[{"location":"3:0:0","firmware_version":"221004_00_01_0A","ssid":"5301"},
                            {"location":"5:0:0","family":"B","firmware_version":"221004_00_02_0B"}]})");
  dir_.Write("NVL7310MPTool.ini",
             ReadFile(std::string(NVL_SOURCE_DIR) + "/examples/NVL7310MPTool.ini"));
  SetProgramDirForTest(dir_.path());
  CNVL720_MPToolDlg dlg;  // a fresh window object; no options, so start-up returns
  ASSERT_TRUE(dlg.OnInitDialog());
  EXPECT_TRUE(dlg.m_bStartEnabled);
  EXPECT_FALSE(dlg.m_bUnlocked);
  EXPECT_EQ(g_Utility.m_ucHostCount, 2);
  auto row_holds = [&](int row, const std::string& text) {
    for (int col = 0; col < dlg.m_ListCtrlResult.GetColumnCount(); ++col) {
      if (dlg.strGetResultItemTable(row, col) == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(row_holds(0, "221004_00_01_0A"));
  EXPECT_TRUE(row_holds(1, "221004_00_02_0B"));
  EXPECT_FALSE(row_holds(2, "221004_00_02_0B"));
}

TEST_F(StartupStateTest, MissingSettingsDisableStart) {
  LoadStation(R"({"boards":[]})");
  SetProgramDirForTest(dir_.path());
  CNVL720_MPToolDlg dlg;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(dlg.OnInitDialog());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(dlg.m_bStartEnabled);
  EXPECT_NE(err.find("File/Path is not exist"), std::string::npos) << err;
  EXPECT_EQ(dlg.m_strSettingsPath, dir_.File("NVL7310MPTool.ini"));
}

}  // namespace
}  // namespace nvl::test
