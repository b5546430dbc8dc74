#include "config/ini.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include "support/capture_sink.h"

#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "discovery/utility.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"
#include "platform/station_path.h"
#include "support/sim_fixture.h"

namespace {

using nvl::test::ReadFile;
using nvl::test::TempDir;

constexpr const char* kHead = "[version]\r\nver=18\r\n";
const std::string kInvalid = " Line of Configuration String in INI file is invalid !";

// A record with every file field set to something other than 0 / empty.
MpSettings FullRecord() {
  MpSettings s;
  s.ver = 18;
  s.init_main = 2;
  s.fw_update_enable = 0;
  s.fw_binary_name = "FIRMWARE\\NVL7310.BIN";
  s.fw_check_enable = 1;
  s.signal_line_test_enable = 1;
  s.fixture_test_enable = 1;
  s.test_speed = 7;
  s.test_port = 3;
  s.test_timeout = 250;
  s.loopback_test_enable = 1;
  s.subsys_enable = 1;
  s.svid = "1B21";
  s.ssid = "2142";
  s.PCISPEED_enable = 1;
  s.MAX_PCIe_SPEED = 3;
  s.check_downstream_usb_enable = 1;
  s.CustInfo_enable = 1;
  s.CustInfo = "LINE 7 = A";
  s.spi_wrsr_ver = "1.2.3.4";
  s.savelog_enable = 1;
  s.savelogBarCode_enable = 1;
  s.SN_Numbers = -12;
  return s;
}

const char* const kFullRecordText =
    "[version]\r\n"
    "ver=18\r\n"
    "[main]\r\n"
    "init_main=2\r\n"
    "[fw]\r\n"
    "fw_update_enable=0\r\n"
    "fw_binary_name=FIRMWARE\\NVL7310.BIN\r\n"
    "fw_check_enable=1\r\n"
    "[test]\r\n"
    "signal_line_test_enable=1\r\n"
    "fixture_test_enable=1\r\n"
    "test_speed=7\r\n"
    "test_port=3\r\n"
    "test_timeout=250\r\n"
    "loopback_test_enable=1\r\n"
    "[config]\r\n"
    "subsys_enable=1\r\n"
    "svid=1B21\r\n"
    "ssid=2142\r\n"
    "PCISPEED_enable=1\r\n"
    "MAX_PCIe_SPEED=3\r\n"
    "check_downstream_usb_enable=1\r\n"
    "CustInfo_enable=1\r\n"
    "CustInfo=LINE 7 = A\r\n"
    "spi_wrsr_ver=1.2.3.4\r\n"
    "\r\n"
    "[LOG]\r\n"
    "savelog_enable=1\r\n"
    "savelogBarCode_enable=1\r\n"
    "SN_Numbers=-12\r\n";

void SetPageOptions(MpSettings& s) {
  s.bExternalSettingEnable = 1;
  s.bBatteryChargePortB = 1;
  s.bTerminationEnable = 1;
  s.szHsCurDrivingA = "7";
  s.szSsCurDrivingB = "F";
}

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_Ini.vResetForTest();
    g_Utility.vResetForTest();
    nvl::SetMessageSink(&sink_);
    nvl::SetProgramDirForTest(dir_.path());
  }
  void TearDown() override {
    nvl::SetMessageSink(nullptr);
    nvl::SetProgramDirForTest("");
    chmod(path().c_str(), 0644);
    g_Ini.vResetForTest();
    g_Utility.vResetForTest();
  }

  std::string path() const { return dir_.File("NVL7310MPTool.ini"); }
  bool Load(const std::string& text) {
    dir_.Write("NVL7310MPTool.ini", text);
    return g_Ini.LoadSettings(path());
  }
  std::string NotExist(const std::string& p) const { return p + " File/Path is not exist"; }

  TempDir dir_;
  nvl::test::CaptureSink sink_;
};

// --- one line after a valid version line ----------------------------------------------------

struct LineCase {
  const char* name;
  std::string lines;  // appended after kHead
  bool ok;
  std::function<void(const MpSettings&)> check;
};

TEST_F(IniTest, KeyAndValueRules) {
  const LineCase cases[] = {
      {"value upper-cased", "svid=abcd\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.svid, "ABCD"); }},
      {"comment after a number", "test_port=2 / port\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_port, 2); }},
      {"only the first = splits", "CustInfo=a=b\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.CustInfo, "A=B"); }},
      {"keys ignore case", "INIT_MAIN=2\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.init_main, 2); }},
      {"key under a wrong section", "[fw]\r\nssid=12ab\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.ssid, "12AB"); }},
      {"sections ignore case", "[LOG]\r\n[log]\r\n[Config]\r\n[TEST]\r\n[Main]\r\n[FW]\r\n", true,
       [](const MpSettings&) {}},
      {"path cut at the comment", "fw_binary_name=C:/fw/a.bin\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.fw_binary_name, "C:"); }},
      {"blanks, tabs, VT and FF trimmed", " \tsavelog_enable \t= \t1\v\f\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.savelog_enable, 1); }},
      {"inner blanks of a text kept", "CustInfo=  a  b  \r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.CustInfo, "A  B"); }},
      {"later line replaces a text", "svid=1111\r\nsvid=22\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.svid, "22"); }},
      {"key alone is the whole line", "svid\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.svid, ""); }},
      {"empty text", "ssid=\r\n", true, [](const MpSettings& s) { EXPECT_EQ(s.ssid, ""); }},
      {"negative timeout", "test_timeout= -250\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_timeout, -250); }},
      {"plus sign", "test_timeout=+31\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_timeout, 31); }},
      {"digits then text", "test_timeout=12ms\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_timeout, 12); }},
      {"no digits", "test_timeout=ms12\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_timeout, 0); }},
      {"sign without digits", "test_timeout=-\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_timeout, 0); }},
      {"32-bit limits", "test_timeout=2147483647\r\nSN_Numbers=-2147483648\r\n", true,
       [](const MpSettings& s) {
         EXPECT_EQ(s.test_timeout, INT_MAX);
         EXPECT_EQ(s.SN_Numbers, INT_MIN);
       }},
      {"too large saturates", "test_timeout=99999999999999999999999\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.test_timeout, INT_MAX); }},
      {"too small saturates", "SN_Numbers=-99999999999999999999999\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.SN_Numbers, INT_MIN); }},
      {"8-bit keeps the low 8 bits", "test_speed=258\r\ntest_port=-1\r\n", true,
       [](const MpSettings& s) {
         EXPECT_EQ(s.test_speed, 2);
         EXPECT_EQ(s.test_port, 255);
       }},
      {"8-bit of a saturated value", "MAX_PCIe_SPEED=99999999999999\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.MAX_PCIe_SPEED, 0xFF); }},
      {"LF line ends", "init_main=1\nfw_check_enable=1\n", true,
       [](const MpSettings& s) {
         EXPECT_EQ(s.init_main, 1);
         EXPECT_EQ(s.fw_check_enable, 1);
       }},
      {"last line without line end", "init_main=1", true,
       [](const MpSettings& s) { EXPECT_EQ(s.init_main, 1); }},
      {"254-character text kept", "CustInfo=" + std::string(254, 'q') + "\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.CustInfo, std::string(254, 'Q')); }},
      {"255-character text refused", "CustInfo=" + std::string(255, 'q') + "\r\n", false,
       [](const MpSettings& s) { EXPECT_EQ(s.CustInfo, ""); }},
      {"long text cut by a comment is fine", "svid=ab/" + std::string(5000, 'x') + "\r\n", true,
       [](const MpSettings& s) { EXPECT_EQ(s.svid, "AB"); }},
      {"unknown key", "unknown=1\r\n", false, [](const MpSettings&) {}},
      {"unknown section", "[other]\r\n", false, [](const MpSettings&) {}},
      {"blank-only line counts as an empty key", "   \r\n", false, [](const MpSettings&) {}},
      {"comment-only line", "// a note\r\n", false, [](const MpSettings&) {}},
      {"key with inner blank", "test port=1\r\n", false,
       [](const MpSettings& s) { EXPECT_EQ(s.test_port, 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_Ini.vResetForTest();
    sink_.texts.clear();
    EXPECT_EQ(Load(kHead + c.lines), c.ok);
    EXPECT_EQ(g_Utility.m_bSettingsLoaded, c.ok);
    EXPECT_EQ(sink_.texts.size(), c.ok ? 0u : 1u);
    c.check(g_Ini);
  }
}

TEST_F(IniTest, UnrecognisedKeysAreListedWithTheirLineCount) {
  EXPECT_FALSE(
      Load(std::string(kHead) + "\r\n\r\ninit_main=1\r\n Bogus = 3 \r\n\r\nno_equals\r\n"));
  ASSERT_EQ(sink_.texts.size(), 1u);
  // Empty lines are not counted: "Bogus" is the fourth counted line.
  EXPECT_EQ(sink_.texts[0], "4" + kInvalid + "(Bogus)\r\n5" + kInvalid + "(no_equals)\r\n");
  EXPECT_EQ(g_Ini.init_main, 1);  // fields as read
}

TEST_F(IniTest, OverlongTextIsReportedAsItsLine) {
  EXPECT_FALSE(Load(std::string(kHead) + "fw_binary_name=" + std::string(300, 'a') + "\r\n"));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0], "3" + kInvalid + "(fw_binary_name)\r\n");
}

TEST_F(IniTest, HugeKeyIsQuotedCut) {
  const std::string key(10000, 'k');
  EXPECT_FALSE(Load(std::string(kHead) + key + "\r\n"));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0], "3" + kInvalid + "(" + std::string(254, 'k') + ")\r\n");
}

// --- version ------------------------------------------------------------------------------

TEST_F(IniTest, VersionMustBe18) {
  const std::string version_line =
      "Loaded ini file is not match current MP Tool version(c) Please load property file(000012)"
      "\r\n";
  EXPECT_FALSE(Load("[version]\r\nver=12\r\nsvid=ab\r\n"));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0], version_line);
  EXPECT_EQ(g_Ini.ver, 12);  // fields as read
  EXPECT_EQ(g_Ini.svid, "AB");
  EXPECT_FALSE(g_Utility.m_bSettingsLoaded);

  // Without a ver line the version is 0.
  sink_.texts.clear();
  EXPECT_FALSE(Load("init_main=1\r\n"));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0],
            "Loaded ini file is not match current MP Tool version(0) Please load property "
            "file(000012)\r\n");

  // 18 + 256 keeps the low 8 bits: 18.
  sink_.texts.clear();
  EXPECT_TRUE(Load("ver=274\r\n"));
  EXPECT_TRUE(sink_.texts.empty());
}

TEST_F(IniTest, VersionLineFollowsTheListOfInvalidLines) {
  EXPECT_FALSE(Load("ver=17\r\nwhat=1\r\n"));
  ASSERT_EQ(sink_.texts.size(), 2u);
  const std::string list = "2" + kInvalid + "(what)\r\n";
  EXPECT_EQ(sink_.texts[0], list);
  EXPECT_EQ(sink_.texts[1], list +
                                "Loaded ini file is not match current MP Tool version(11) Please "
                                "load property file(000012)\r\n");
}

// --- the file itself -------------------------------------------------------------------------

TEST_F(IniTest, MissingReadOnlyOrDirectoryIsRefusedWithAllFieldsZero) {
  struct Case {
    const char* name;
    std::function<std::string()> make;  // returns the path to load
  } cases[] = {
      {"missing", [&] { return dir_.File("none.ini"); }},
      {"read-only",
       [&] {
         dir_.Write("ro.ini", kFullRecordText);
         chmod(dir_.File("ro.ini").c_str(), 0444);
         return dir_.File("ro.ini");
       }},
      {"directory",
       [&] {
         std::filesystem::create_directory(dir_.File("d.ini"));
         return dir_.File("d.ini");
       }},
      {"empty path", [] { return std::string(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_Ini.Settings() = FullRecord();
    SetPageOptions(g_Ini);
    g_Utility.m_bSettingsLoaded = true;
    sink_.texts.clear();
    const std::string p = c.make();
    EXPECT_FALSE(g_Ini.LoadSettings(p));
    EXPECT_FALSE(g_Utility.m_bSettingsLoaded);
    EXPECT_EQ(g_Ini.Settings(), MpSettings{});
    ASSERT_EQ(sink_.texts.size(), 1u);
    EXPECT_EQ(sink_.texts[0], NotExist(p));
  }
}

TEST_F(IniTest, IsFileAccessibleShowsTheMessageOnlyWhenAsked) {
  dir_.Write("rw", "x");
  EXPECT_TRUE(CIni::IsFileAccessible(dir_.File("rw"), true));
  EXPECT_FALSE(CIni::IsFileAccessible(dir_.File("gone"), false));
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_FALSE(CIni::IsFileAccessible(dir_.File("gone"), true));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0], NotExist(dir_.File("gone")));
}

TEST_F(IniTest, LoadClearsEarlierContentAndPageOptions) {
  g_Ini.Settings() = FullRecord();
  SetPageOptions(g_Ini);
  EXPECT_TRUE(Load(std::string(kHead) + "test_port=1\r\n"));
  MpSettings expected;
  expected.ver = 18;
  expected.test_port = 1;
  EXPECT_EQ(g_Ini.Settings(), expected);
}

TEST_F(IniTest, MoreThan30CountedLinesFailSilently) {
  // Section lines are counted too; empty lines are not.
  auto file = [](int counted) {
    std::string s = kHead;
    for (int i = 2; i < counted; ++i)
      s += (i % 2 ? "[fw]\r\n\r\n" : "init_main=1\r\n");
    return s;
  };
  EXPECT_TRUE(Load(file(30)));
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_FALSE(Load(file(31)));
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_EQ(g_Ini.init_main, 1);  // fields as read
  // 286 lines would be 30 in an 8-bit counter; still too many.
  EXPECT_FALSE(Load(file(286)));
  EXPECT_FALSE(Load(file(256)));
  EXPECT_TRUE(sink_.texts.empty());
}

// --- firmware file check ------------------------------------------------------------------

TEST_F(IniTest, FirmwareFileCheckedOnlyWhenUpdateEnabled) {
  std::filesystem::create_directories(dir_.File("Firmware"));
  dir_.Write("Firmware/nvl7310_fw.bin", "image");
  struct Case {
    const char* name;
    std::string lines;
    bool ok;
    std::string message;  // empty: none
  } cases[] = {
      {"found case-insensitively",
       "fw_update_enable=1\r\nfw_binary_name=firmware\\NVL7310_FW.bin\r\n", true, ""},
      {"missing", "fw_update_enable=1\r\nfw_binary_name=other.bin\r\n", false,
       NotExist(dir_.File("OTHER.BIN"))},
      {"missing but update off", "fw_update_enable=0\r\nfw_binary_name=other.bin\r\n", true, ""},
      {"update value 2 is not 1", "fw_update_enable=2\r\nfw_binary_name=other.bin\r\n", true, ""},
      {"drive letter root", "fw_update_enable=1\r\nfw_binary_name=C:/fw/a.bin\r\n", false,
       NotExist("/")},
      {"no name: the program directory", "fw_update_enable=1\r\n", false, NotExist(dir_.path())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sink_.texts.clear();
    EXPECT_EQ(Load(kHead + c.lines), c.ok);
    EXPECT_EQ(g_Utility.m_bSettingsLoaded, c.ok);
    if (c.message.empty()) {
      EXPECT_TRUE(sink_.texts.empty());
    } else {
      ASSERT_EQ(sink_.texts.size(), 1u);
      EXPECT_EQ(sink_.texts[0], c.message);
    }
  }
}

TEST_F(IniTest, UnrecognisedKeyFailsEvenWhenTheFirmwareFileExists) {
  dir_.Write("fw.bin", "image");
  EXPECT_FALSE(Load(std::string(kHead) + "fw_update_enable=1\r\nfw_binary_name=fw.bin\r\nx=1\r\n"));
  EXPECT_FALSE(g_Utility.m_bSettingsLoaded);
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0], "5" + kInvalid + "(x)\r\n");
}

TEST_F(IniTest, FileWrittenOnAnotherStationLoads) {
  std::filesystem::create_directories(dir_.File("Images/Rev_B"));
  dir_.Write("Images/Rev_B/Nvl7310_Fw.Bin", "image");
  const std::string text =
      "[version]\r\nVER=18\r\n[Main]\r\nInit_Main=1\r\n[FW]\r\nFW_UPDATE_ENABLE=1\r\n"
      "FW_BINARY_NAME=IMAGES\\REV_B\\NVL7310_FW.BIN\r\n[CONFIG]\r\nSVID=1b21\r\n"
      "[log]\r\nsavelog_enable=1 // daily log\r\n";
  EXPECT_TRUE(Load(text));
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_EQ(g_Ini.init_main, 1);
  EXPECT_EQ(g_Ini.svid, "1B21");
  EXPECT_EQ(g_Ini.savelog_enable, 1);
  EXPECT_EQ(g_Ini.fw_binary_name, "IMAGES\\REV_B\\NVL7310_FW.BIN");
}

// --- garbage ---------------------------------------------------------------------------------

TEST_F(IniTest, GarbageNeverCrashesAndFails) {
  std::string binary;
  for (int i = 0; i < 512; ++i)
    binary.push_back(static_cast<char>((i * 37) & 0xFF));
  const std::string cases[] = {
      binary,
      std::string("ver\0=18\r\n", 9),  // NUL inside a key
      std::string(kHead) + std::string("\0svid=1\r\n", 9),
      std::string(100000, 'x'),
      std::string(kHead) + std::string(70000, '=') + "\r\n",
      std::string(kHead) + "\r\r\n",
      "\xEF\xBB\xBF[version]\r\nver=18\r\n",  // a byte-order mark makes the first key unknown
  };
  for (const auto& text : cases) {
    g_Ini.vResetForTest();
    EXPECT_FALSE(Load(text));
    EXPECT_FALSE(g_Utility.m_bSettingsLoaded);
  }
}

TEST_F(IniTest, NulInsideATextIsKept) {
  EXPECT_TRUE(Load(std::string(kHead) + std::string("CustInfo=a\0b\r\n", 14)));
  EXPECT_EQ(g_Ini.CustInfo, std::string("A\0B", 3));
}

TEST_F(IniTest, EmptyFileFailsTheVersionCheck) {
  EXPECT_FALSE(Load(""));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_NE(sink_.texts[0].find("(0) Please load property file(000012)"), std::string::npos);
}

// --- saving ----------------------------------------------------------------------------------

TEST_F(IniTest, SavedTextIsExactlyTheFileFormat) {
  g_Ini.Settings() = FullRecord();
  g_Ini.ver = 5;  // always written as 18
  SetPageOptions(g_Ini);
  EXPECT_EQ(g_Ini.strSettingsText(), kFullRecordText);

  dir_.Write("NVL7310MPTool.ini", "old content that is longer than nothing");
  EXPECT_TRUE(g_Ini.SaveSettings(path()));
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_EQ(ReadFile(path()), kFullRecordText);
}

TEST_F(IniTest, EmptyRecordText) {
  const std::string expected =
      "[version]\r\nver=18\r\n[main]\r\ninit_main=0\r\n[fw]\r\nfw_update_enable=0\r\n"
      "fw_binary_name=\r\nfw_check_enable=0\r\n[test]\r\nsignal_line_test_enable=0\r\n"
      "fixture_test_enable=0\r\ntest_speed=0\r\ntest_port=0\r\ntest_timeout=0\r\n"
      "loopback_test_enable=0\r\n[config]\r\nsubsys_enable=0\r\nsvid=\r\nssid=\r\n"
      "PCISPEED_enable=0\r\nMAX_PCIe_SPEED=0\r\ncheck_downstream_usb_enable=0\r\n"
      "CustInfo_enable=0\r\nCustInfo=\r\nspi_wrsr_ver=\r\n\r\n[LOG]\r\nsavelog_enable=0\r\n"
      "savelogBarCode_enable=0\r\nSN_Numbers=0\r\n";
  EXPECT_EQ(g_Ini.strSettingsText(), expected);
}

TEST_F(IniTest, SavedFileHas29LinesAndLoadsBackWithoutMessage) {
  g_Ini.Settings() = FullRecord();
  SetPageOptions(g_Ini);
  dir_.Write("NVL7310MPTool.ini", "");
  ASSERT_TRUE(g_Ini.SaveSettings(path()));

  const std::string text = ReadFile(path());
  int non_empty = 0;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (end > start) ++non_empty;
  }
  EXPECT_EQ(start, text.size());  // every line ends with CR LF
  EXPECT_EQ(non_empty, 29);

  g_Ini.vResetForTest();
  EXPECT_TRUE(g_Ini.LoadSettings(path()));
  EXPECT_TRUE(sink_.texts.empty());
  MpSettings expected = FullRecord();  // page options not saved
  EXPECT_EQ(g_Ini.Settings(), expected);
}

TEST_F(IniTest, SavedFirmwarePathLoadsBackToTheSameFile) {
  std::filesystem::create_directories(dir_.File("fw"));
  dir_.Write("fw/Board_A.bin", "image");
  TempDir elsewhere;
  elsewhere.Write("Other.Rom", "image");
  const std::string files[] = {dir_.File("fw/Board_A.bin"), elsewhere.File("Other.Rom")};
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    g_Ini.vResetForTest();
    g_Ini.fw_update_enable = 1;
    g_Ini.fw_binary_name = f;  // as the browse dialog sets it
    dir_.Write("NVL7310MPTool.ini", "");
    ASSERT_TRUE(g_Ini.SaveSettings(path()));
    EXPECT_TRUE(g_Ini.LoadSettings(path()));
    EXPECT_TRUE(sink_.texts.empty());
    EXPECT_EQ(nvl::ResolveStationPath(g_Ini.fw_binary_name), f);
  }
  EXPECT_NE(ReadFile(path()).find("fw_binary_name=" + nvl::StationPathText(files[1]) + "\r\n"),
            std::string::npos);
}

TEST_F(IniTest, SaveToANewFileWarnsThenCreatesIt) {
  const std::string p = dir_.File("new.ini");
  EXPECT_TRUE(g_Ini.SaveSettings(p));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.texts[0], NotExist(p));
  EXPECT_EQ(ReadFile(p), g_Ini.strSettingsText());
}

TEST_F(IniTest, SaveNeverReplacesAReadOnlyFileOrWritesIntoAMissingFolder) {
  dir_.Write("NVL7310MPTool.ini", "keep");
  chmod(path().c_str(), 0444);
  EXPECT_FALSE(g_Ini.SaveSettings(path()));
  EXPECT_EQ(ReadFile(path()), "keep");

  EXPECT_FALSE(g_Ini.SaveSettings(dir_.File("no/such/dir.ini")));
}

TEST_F(IniTest, ExampleSettingsFileLoads) {
  const std::string example = std::string(NVL_SOURCE_DIR) + "/examples/NVL7310MPTool.ini";
  dir_.Write("NVL7310MPTool.ini", ReadFile(example));
  EXPECT_TRUE(g_Ini.LoadSettings(path()));
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_EQ(g_Ini.ver, 18);
  // Saving it again gives the same bytes.
  EXPECT_EQ(g_Ini.strSettingsText(), ReadFile(example));
}

}  // namespace
