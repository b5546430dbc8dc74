// Option recognition: a table of command texts and what they leave in CmdLineOptions.
#include <gtest/gtest.h>

#include <optional>

#include "app/options.h"
#include "platform/message_sink.h"

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
  const char* message;    // what the message boxes showed ("" for none)
  CmdLineOptions expect;  // every field but the remaining text (not checked after a failure)
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
  if (c.exit_code) return;  // fields past the failing step do not matter
  const CmdLineOptions& e = c.expect;
  EXPECT_EQ(o.m_bCmdLine, e.m_bCmdLine);
  EXPECT_EQ(o.m_bAutoMode, e.m_bAutoMode);
  EXPECT_EQ(o.m_bSilent, e.m_bSilent);
  EXPECT_EQ(o.m_bShowFWVersion, e.m_bShowFWVersion);
  EXPECT_EQ(o.m_bCompareFWVersion, e.m_bCompareFWVersion);
  EXPECT_EQ(o.m_bOutputVersionFile, e.m_bOutputVersionFile);
  EXPECT_EQ(o.m_bCompareSubSysID, e.m_bCompareSubSysID);
  EXPECT_EQ(o.m_bAssignPciAddress, e.m_bAssignPciAddress);
  EXPECT_EQ(o.m_bSignalTest, e.m_bSignalTest);
  EXPECT_EQ(o.m_bFixtureTest, e.m_bFixtureTest);
  EXPECT_EQ(o.m_ucAssignBus, e.m_ucAssignBus);
  EXPECT_EQ(o.m_ucAssignDevice, e.m_ucAssignDevice);
  EXPECT_EQ(o.m_ucAssignFunction, e.m_ucAssignFunction);
  EXPECT_EQ(o.m_ucTestPort, e.m_ucTestPort);
  EXPECT_EQ(o.m_ucTestSpeed, e.m_ucTestSpeed);
  EXPECT_EQ(o.m_strInputVersion, e.m_strInputVersion);
  EXPECT_EQ(o.m_strInputSubSysID, e.m_strInputSubSysID);
}

const std::string kUsageShown = "[NVL7310 MPTool]" + UsageText();
const char* kPciMessage = "[Error]Please Input PCI Address Parameter Bus:Device:Function!!! ";
const char* kPortMessage = "[]Please Input [Port][Speed]!!\r\n";

const OptionCase kCases[] = {
    {"nothing", "", std::nullopt, "", {}},
    {"silent_show",
     "/s /D",
     std::nullopt,
     "",
     {.m_bCmdLine = true, .m_bSilent = true, .m_bShowFWVersion = true}},
    {"version_missing", "/T", -1, "[]Please Input Version!!\r\n", {}},
    {"version",
     "/T 010203_04_05_06 ",
     std::nullopt,
     "",
     {.m_bCmdLine = true, .m_bCompareFWVersion = true, .m_strInputVersion = "010203_04_05_06"}},
    // The later option stays in the version text.
    {"version_then_o",
     "/T 010203_04_05_06 /O",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bCompareFWVersion = true,
      .m_bOutputVersionFile = true,
      .m_strInputVersion = "010203_04_05_06 /O"}},
    {"ids_missing", "/i   ", -1, "[]Please Input SSID/SVID!!\r\n", {}},
    // "/A" inside the value is the auto option and is taken out before /I is handled.
    {"ids_with_auto_inside",
     "/I 1234/ABCD",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bAutoMode = true,
      .m_bCompareSubSysID = true,
      .m_strInputSubSysID = "1234BCD"}},
    {"location_missing", "/P ", -10, kPciMessage, {}},
    {"location_low_bits",
     "/P 300:1:2",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bAssignPciAddress = true,
      .m_ucAssignBus = 44,
      .m_ucAssignDevice = 1,
      .m_ucAssignFunction = 2}},
    // The cut leaves 3:0: as the location, so its "0" stays in the text and becomes the port.
    {"location_then_g_no_blank",
     "/P 3:0:0/G14",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bAssignPciAddress = true,
      .m_bSignalTest = true,
      .m_ucAssignBus = 3,
      .m_ucTestPort = 0,
      .m_ucTestSpeed = 1}},
    {"location_then_g",
     "/P 3:0:0 /G 14",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bAssignPciAddress = true,
      .m_bSignalTest = true,
      .m_ucAssignBus = 3,
      .m_ucTestPort = 1,
      .m_ucTestSpeed = 4}},
    {"location_signs_and_letters",
     "/p -1:+2:x",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bAssignPciAddress = true,
      .m_ucAssignBus = 255,
      .m_ucAssignDevice = 2}},
    {"location_no_colon",
     "/P 5",
     std::nullopt,
     "",
     {.m_bCmdLine = true, .m_bAssignPciAddress = true, .m_ucAssignFunction = 5}},
    {"location_part_too_long", "/P 00000003:0:0", -10, kPciMessage, {}},
    {"signal_missing", "/G", -1, kPortMessage, {}},
    {"signal_letters",
     "/g p1s4",
     std::nullopt,
     "",
     {.m_bCmdLine = true, .m_bSignalTest = true, .m_ucTestPort = 1, .m_ucTestSpeed = 4}},
    {"signal_one_digit",
     "/G 2",
     std::nullopt,
     "",
     {.m_bCmdLine = true, .m_bSignalTest = true, .m_ucTestPort = 2}},
    {"fixture",
     "/S /F 2 1",
     std::nullopt,
     "",
     {.m_bCmdLine = true,
      .m_bSilent = true,
      .m_bFixtureTest = true,
      .m_ucTestPort = 2,
      .m_ucTestSpeed = 1}},
    {"fixture_missing", "/f", -1, kPortMessage, {}},
    {"auto_silent",
     "/A /S",
     std::nullopt,
     "",
     {.m_bCmdLine = true, .m_bAutoMode = true, .m_bSilent = true}},
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
