// Option recognition: a table of command texts and what they leave in CmdLineOptions.
#include <gtest/gtest.h>

#include <optional>

#include "app/options.h"
#include "platform/message_sink.h"

// Failing cases list only the fields up to the message; the rest do not matter for them.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

class CapturingSink : public nvl::MessageSink {
 public:
  void Show(const std::string& caption, const std::string& text, nvl::MessageIcon) override {
    shown += "[" + caption + "]" + text;
  }
  std::string shown;
};

struct OptionCase {
  const char* name;
  const char* text;
  std::optional<int> exit_code;
  const char* message;  // what the message box showed ("" for none)
  // Expected fields, as a compact description checked below.
  bool cmdline, autom, silent, show, compare_version, output, compare_ids, assign, signal, fixture;
  int bus, device, function, port, speed;
  const char* version;
  const char* ids;
};

class OptionTest : public ::testing::TestWithParam<OptionCase> {
 protected:
  void SetUp() override { nvl::SetMessageSink(&sink_); }
  void TearDown() override { nvl::SetMessageSink(nullptr); }
  CapturingSink sink_;
};

TEST_P(OptionTest, Recognition) {
  const OptionCase& c = GetParam();
  CmdLineOptions o;
  o.m_strCmdLine = c.text;
  EXPECT_EQ(RecognizeOptions(o), c.exit_code);
  EXPECT_EQ(sink_.shown, c.message);
  if (c.exit_code && *c.exit_code != 0) return;  // fields past the failing step do not matter
  EXPECT_EQ(o.m_bCmdLine, c.cmdline);
  EXPECT_EQ(o.m_bAutoMode, c.autom);
  EXPECT_EQ(o.m_bSilent, c.silent);
  EXPECT_EQ(o.m_bShowFWVersion, c.show);
  EXPECT_EQ(o.m_bCompareFWVersion, c.compare_version);
  EXPECT_EQ(o.m_bOutputVersionFile, c.output);
  EXPECT_EQ(o.m_bCompareSubSysID, c.compare_ids);
  EXPECT_EQ(o.m_bAssignPciAddress, c.assign);
  EXPECT_EQ(o.m_bSignalTest, c.signal);
  EXPECT_EQ(o.m_bFixtureTest, c.fixture);
  EXPECT_EQ(o.m_ucAssignBus, c.bus);
  EXPECT_EQ(o.m_ucAssignDevice, c.device);
  EXPECT_EQ(o.m_ucAssignFunction, c.function);
  EXPECT_EQ(o.m_ucTestPort, c.port);
  EXPECT_EQ(o.m_ucTestSpeed, c.speed);
  EXPECT_EQ(o.m_strInputVersion, c.version);
  EXPECT_EQ(o.m_strInputSubSysID, c.ids);
}

const std::string kUsageShown = "[NVL7310 MPTool]" + UsageText();
const char* kPciMessage = "[Error]Please Input PCI Address Parameter Bus:Device:Function!!! ";

//                 name text exit message  cmd   auto   sil    show   cmpv   out    cmpi   asg sig
//                 fix   b  d  f  p  s  version ids
const OptionCase kCases[] = {
    {"nothing", "",    std::nullopt, "", false, false, false, false, false, false, false,
     false,     false, false,        0,  0,     0,     0,     0,     "",    ""},
    {"silent_show", "/s /D", std::nullopt, "", true, false, true, true, false, false, false,
     false,         false,   false,        0,  0,    0,     0,    0,    "",    ""},
    {"version_missing", "/T", -1, "[]Please Input Version!!\r\n"},
    {"version",
     "/T 010203_04_05_06 ",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     true,
     false,
     false,
     false,
     false,
     false,
     0,
     0,
     0,
     0,
     0,
     "010203_04_05_06",
     ""},
    {"version_then_o",
     "/T 010203_04_05_06 /O",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     true,
     true,
     false,
     false,
     false,
     false,
     0,
     0,
     0,
     0,
     0,
     "010203_04_05_06 /O",
     ""},
    {"ids_missing", "/i   ", -1, "[]Please Input SSID/SVID!!\r\n"},
    {"ids_with_auto_inside",
     "/I 1234/ABCD",
     std::nullopt,
     "",
     true,
     true,
     false,
     false,
     false,
     false,
     true,
     false,
     false,
     false,
     0,
     0,
     0,
     0,
     0,
     "",
     "1234BCD"},
    {"location_missing", "/P ", -10, kPciMessage},
    {"location_low_bits",
     "/P 300:1:2",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     false,
     false,
     44,
     1,
     2,
     0,
     0,
     "",
     ""},
    // The cut leaves 3:0: as the location, so its "0" stays in the text and becomes the port.
    {"location_then_g_no_blank",
     "/P 3:0:0/G14",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     true,
     false,
     3,
     0,
     0,
     0,
     1,
     "",
     ""},
    {"location_then_g",
     "/P 3:0:0 /G 14",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     true,
     false,
     3,
     0,
     0,
     1,
     4,
     "",
     ""},
    {"location_negative",
     "/p -1:+2:x",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     false,
     false,
     255,
     2,
     0,
     0,
     0,
     "",
     ""},
    {"location_no_colon",
     "/P 5",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     false,
     false,
     0,
     0,
     5,
     0,
     0,
     "",
     ""},
    {"location_part_too_long", "/P 00000003:0:0", -10, kPciMessage},
    {"signal_missing", "/G", -1, "[]Please Input [Port][Speed]!!\r\n"},
    {"signal_letters",
     "/g p1s4",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     false,
     0,
     0,
     0,
     1,
     4,
     "",
     ""},
    {"signal_one_digit",
     "/G 2",
     std::nullopt,
     "",
     true,
     false,
     false,
     false,
     false,
     false,
     false,
     false,
     true,
     false,
     0,
     0,
     0,
     2,
     0,
     "",
     ""},
    {"fixture", "/S /F 2 1", std::nullopt, "", true, false, true, false, false, false, false,
     false,     false,       true,         0,  0,    0,     2,    1,     "",    ""},
    {"fixture_missing", "/f", -1, "[]Please Input [Port][Speed]!!\r\n"},
    {"auto_silent", "/A /S", std::nullopt, "", true, true, true, false, false, false, false,
     false,         false,   false,        0,  0,    0,    0,    0,     "",    ""},
};

INSTANTIATE_TEST_SUITE_P(Table, OptionTest, ::testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(OptionUsage, ShownForQuestionMarkEvenWithSilent) {
  for (const char* text : {"/?", "/S /?", "x/?y"}) {
    CapturingSink sink;
    nvl::SetMessageSink(&sink);
    CmdLineOptions o;
    o.m_strCmdLine = text;
    EXPECT_EQ(RecognizeOptions(o), 0) << text;
    EXPECT_EQ(sink.shown, kUsageShown) << text;
    EXPECT_FALSE(o.m_bSilent);
    EXPECT_FALSE(o.m_bCmdLine);
    nvl::SetMessageSink(nullptr);
  }
}

TEST(CommandText, TabsAndLineFeedsAreDeletedBlanksStay) {
  const char* argv[] = {"prog", "/T\t1.2", "a\nb", " /S"};
  EXPECT_EQ(BuildCommandText(4, argv), "/T1.2 ab  /S");
  const char* none[] = {"prog"};
  EXPECT_EQ(BuildCommandText(1, none), "");
}

TEST(Texts, BannerAndTitle) {
  EXPECT_EQ(BannerText(),
            "===================NVL7310 MPTool (Ver 1.1.2.2)=========================\r\n");
  EXPECT_EQ(WindowTitle(), "NVL7310 MPTool Ver 1.1.2.2");
}

}  // namespace
