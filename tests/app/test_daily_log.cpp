// The daily result log, byte for byte: name by date, header, fields, CR LF, appending.
#include <gtest/gtest.h>

#include "support/hosts.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "app/daily_log.h"
#include "app/main_dlg.h"
#include "app/result_table.h"
#include "config/ini.h"
#include "discovery/utility.h"
#include "platform/program_paths.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

const char* const kHeader =
    "Date\tTime\tH#\tFW Version\tBus\tDev\tFun\tSSID\tSVID\tSLT Result\tLT Result\t"
    "USB2 Port1\tUSB2 Port2\tUSB3 Port1\tUSB3 Port2\tUSB3.1 Port1\tUSB3.1 Port2\tUpdate\t"
    "UpdateFWFile\r\n";
const char* const kHeaderSn =
    "Date\tTime\tH#\tFW Version\tPCBA_SN\tBus\tDev\tFun\tSSID\tSVID\tSLT Result\tLT Result\t"
    "USB2 Port1\tUSB2 Port2\tUSB3 Port1\tUSB3 Port2\tUSB3.1 Port1\tUSB3.1 Port2\tUpdate\t"
    "UpdateFWFile\r\n";

class DailyLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_Utility.vResetForTest();
    g_Ini.vResetForTest();
    g_Utility.vBlankHostTable();
    SetProgramDirForTest(dir_.path());
    SetTime({2026, 3, 7, 9, 5, 2});
    dlg_ = std::make_unique<CNVL720_MPToolDlg>();
    PutTwoHosts("250101_01", "250101_01");
    for (HostInfo& h : g_Utility.m_HostInfo)
      h.strFWFileName = "/station/fw.bin";
  }
  void TearDown() override {
    SetLocalTimeSourceForTest(nullptr);
    SetProgramDirForTest("");
    g_Utility.vResetForTest();
    g_Ini.vResetForTest();
  }
  void SetTime(LocalTime t) {
    SetLocalTimeSourceForTest([t] { return t; });
  }
  void Show(uint8_t page) {
    dlg_->m_nPage = page;
    dlg_->vRebuildResultTable();
  }
  // Writes the six port cells of `row` on the page shown.
  void Ports(int row, int first, const char* texts[6]) {
    for (int k = 0; k < 6; ++k)
      dlg_->vShowResultItemTable(row, CELL_PASS, first + k, texts[k]);
  }
  std::string Log(const std::string& name = "20260307.log") { return dir_.Read(name); }
  bool Exists(const std::string& name) { return std::filesystem::exists(dir_.File(name)); }

  TempDir dir_;
  std::unique_ptr<CNVL720_MPToolDlg> dlg_;
};

TEST_F(DailyLogTest, FileNameIsTheLocalDate) {
  EXPECT_EQ(strDailyLogFileName({2026, 3, 7, 0, 0, 0}), "20260307.log");
  EXPECT_EQ(strDailyLogFileName({999, 12, 31, 23, 59, 59}), "09991231.log");
}

TEST_F(DailyLogTest, FirstRunCreatesTheFileWithHeaderSecondAppendsOnlyLines) {
  g_Ini.fw_update_enable = 1;
  g_Utility.m_HostInfo[0].ucFwUpdateResult = 1;
  Show(PAGE_UPGRADE);
  dlg_->vWriteResultLog();
  const std::string first =
      std::string(kHeader) +
      "20260307\t09:05:02\t0\t250101_01\t3\t0\t0\t7310\t2e4d\t \t \t \t \t \t \t \t \tPASS\t"
      "/station/fw.bin\r\n"
      "20260307\t09:05:02\t1\t250101_01\t4\t0\t0\t7310\t2e4d\t \t \t \t \t \t \t \t \tFAIL\t"
      "/station/fw.bin\r\n";
  EXPECT_EQ(Log(), first);

  SetTime({2026, 3, 7, 17, 30, 59});
  g_Utility.m_HostInfo[1].ucFwUpdateResult = 1;
  dlg_->vWriteResultLog();
  EXPECT_EQ(Log(), first +
                       "20260307\t17:30:59\t0\t250101_01\t3\t0\t0\t7310\t2e4d\t \t \t \t \t \t \t "
                       "\t \tPASS\t/station/fw.bin\r\n"
                       "20260307\t17:30:59\t1\t250101_01\t4\t0\t0\t7310\t2e4d\t \t \t \t \t \t \t "
                       "\t \tPASS\t/station/fw.bin\r\n");
}

TEST_F(DailyLogTest, NewDayStartsANewFile) {
  Show(PAGE_MAIN);
  dlg_->vWriteResultLog();
  SetTime({2026, 3, 8, 0, 0, 1});
  dlg_->vWriteResultLog();
  ASSERT_TRUE(Exists("20260308.log"));
  const std::string next = Log("20260308.log");
  EXPECT_EQ(next.rfind(kHeader, 0), 0u);
  EXPECT_NE(next.find("20260308\t00:00:01\t0\t"), std::string::npos);
  EXPECT_EQ(Log().find("20260308"), std::string::npos);
}

TEST_F(DailyLogTest, SerialNumberFieldFollowsTheSetting) {
  g_Ini.savelogBarCode_enable = 1;
  g_Ini.szBarCode = "AB12CD";
  g_Utility.m_ucHostCount = 1;
  Show(PAGE_MAIN);
  dlg_->vWriteResultLog();
  EXPECT_EQ(Log(), std::string(kHeaderSn) +
                       "20260307\t09:05:02\t0\t250101_01\tAB12CD\t3\t0\t0\t7310\t2e4d\t \t \t \t "
                       "\t \t \t \t \t \t/station/fw.bin\r\n");

  // The header stays as created; each data line follows the setting of its run.
  g_Ini.savelogBarCode_enable = 0;
  dlg_->vWriteResultLog();
  const std::string log = Log();
  EXPECT_EQ(log.rfind(kHeaderSn, 0), 0u);
  EXPECT_NE(log.find("\r\n20260307\t09:05:02\t0\t250101_01\t3\t0\t0\t"), std::string::npos);
}

TEST_F(DailyLogTest, HeaderWithoutSerialWhenDisabled) {
  g_Utility.m_ucHostCount = 1;
  Show(PAGE_MAIN);
  dlg_->vWriteResultLog();
  EXPECT_EQ(Log().rfind(kHeader, 0), 0u);
}

struct ResultCase {
  const char* name;
  uint8_t page;
  uint8_t slt, fixture, loopback, update;
  int32_t test_result;
  uint8_t update_result;
  const char* expected_tail;  // from SLT Result to the end of the line
};

TEST_F(DailyLogTest, ResultFieldsByEnabledItems) {
  const char* ports[6] = {"PASS", "FAIL", "PASS", "PASS", "FAIL", "PASS"};
  const ResultCase cases[] = {
      {"signal line, port fail", PAGE_MAIN, 1, 0, 0, 0, -3, 0,
       "FAIL\t \tPASS\tFAIL\tPASS\tPASS\tFAIL\tPASS\t \t/station/fw.bin\r\n"},
      {"fixture passed", PAGE_MAIN, 0, 1, 0, 0, 0, 0,
       "PASS\t \tPASS\tFAIL\tPASS\tPASS\tFAIL\tPASS\t \t/station/fw.bin\r\n"},
      {"test page columns", PAGE_TEST, 1, 0, 0, 0, 0, 0,
       "PASS\t \tPASS\tFAIL\tPASS\tPASS\tFAIL\tPASS\t \t/station/fw.bin\r\n"},
      {"loop-back only", PAGE_MAIN, 0, 0, 1, 0, 0, 0,
       " \t \tPASS\tFAIL\tPASS\tPASS\tFAIL\tPASS\t \t/station/fw.bin\r\n"},
      {"firmware only", PAGE_MAIN, 0, 0, 0, 1, 0, 1,
       " \t \t \t \t \t \t \t \tPASS\t/station/fw.bin\r\n"},
      {"update on test page, not performed", PAGE_TEST, 1, 0, 0, 1, 0, 0,
       "PASS\t \tPASS\tFAIL\tPASS\tPASS\tFAIL\tPASS\tFAIL\t/station/fw.bin\r\n"},
      {"upgrade page has no port columns", PAGE_UPGRADE, 1, 0, 0, 1, 0, 1,
       "PASS\t \t \t \t \t \t \t \tPASS\t/station/fw.bin\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_.File("20260307.log"));
    g_Ini.signal_line_test_enable = c.slt;
    g_Ini.fixture_test_enable = c.fixture;
    g_Ini.loopback_test_enable = c.loopback;
    g_Ini.fw_update_enable = c.update;
    g_Utility.m_ucHostCount = 1;
    g_Utility.m_HostInfo[0].dwTestResult = c.test_result;
    g_Utility.m_HostInfo[0].ucFwUpdateResult = c.update_result;
    Show(c.page);
    if (c.page != PAGE_UPGRADE) Ports(0, c.page == PAGE_TEST ? 5 : 8, ports);
    dlg_->vWriteResultLog();
    EXPECT_EQ(Log(), std::string(kHeader) +
                         "20260307\t09:05:02\t0\t250101_01\t3\t0\t0\t7310\t2e4d\t" +
                         c.expected_tail);
  }
}

TEST_F(DailyLogTest, SeparatorsInsideFieldsBecomeSpaces) {
  g_Utility.m_ucHostCount = 1;
  g_Utility.m_HostInfo[0].strFWFileName = "/a\tb\r\nc.bin";
  Show(PAGE_MAIN);
  dlg_->vWriteResultLog();
  const std::string log = Log();
  EXPECT_NE(log.find("\t/a b  c.bin\r\n"), std::string::npos) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST_F(DailyLogTest, NoHostsWritesOnlyTheHeader) {
  g_Utility.m_ucHostCount = 0;
  Show(PAGE_MAIN);
  dlg_->vWriteResultLog();
  EXPECT_EQ(Log(), kHeader);
}

TEST_F(DailyLogTest, ExistingFileIsNeverRewritten) {
  dir_.Write("20260307.log", "old line\r\n");
  g_Utility.m_ucHostCount = 1;
  Show(PAGE_MAIN);
  dlg_->vWriteResultLog();
  const std::string log = Log();
  EXPECT_EQ(log.rfind("old line\r\n20260307\t09:05:02\t0\t", 0), 0u) << log;
}

TEST_F(DailyLogTest, MissingFolderWritesNothingAndDoesNotThrow) {
  const std::string sub = dir_.File("ro");
  std::filesystem::create_directory(sub);
  SetProgramDirForTest(sub + "/missing");
  Show(PAGE_MAIN);
  EXPECT_NO_THROW(dlg_->vWriteResultLog());
  EXPECT_FALSE(bAppendDailyLog(sub + "/missing", {2026, 3, 7, 0, 0, 0}, false, "x\r\n"));
  EXPECT_FALSE(std::filesystem::exists(sub + "/missing"));
}

TEST_F(DailyLogTest, LargeRunGoesThroughThePieces) {
  // More than one 4096-byte piece arrives whole.
  std::string lines;
  for (int i = 0; i < 300; ++i)
    lines += "line " + std::to_string(i) + " of the run\r\n";
  ASSERT_GT(lines.size(), 4096u);
  ASSERT_TRUE(bAppendDailyLog(dir_.path(), {2026, 3, 7, 0, 0, 0}, false, lines));
  EXPECT_EQ(Log(), std::string(kHeader) + lines);
}

}  // namespace
}  // namespace nvl::test
