// The "Setting Register" state: row count rule, validation and the records of "Save".
#include "firmware/reg_settings.h"

#include <gtest/gtest.h>

#include "support/capture_sink.h"

#include "platform/message_sink.h"

namespace {

class RegSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_SetReg.vResetForTest();
    nvl::SetMessageSink(&sink_);
    g_SetReg.vInitDialog();
  }
  void TearDown() override {
    nvl::SetMessageSink(nullptr);
    g_SetReg.vResetForTest();
  }
  static void Row(int k, int bytes, const std::string& address, const std::string& value) {
    g_SetReg.m_Rows[k - 1].nBytesIndex = bytes;
    g_SetReg.m_Rows[k - 1].strAddress = address;
    g_SetReg.m_Rows[k - 1].strValue = value;
  }
  nvl::test::CaptureSink sink_;
};

TEST_F(RegSettingsTest, SetUpEnablesOnlyRowOne) {
  EXPECT_EQ(1, g_SetReg.m_nRegNumber);
  EXPECT_TRUE(g_SetReg.m_Rows[0].bEnabled);
  for (int k = 1; k < REG_SETTING_MAX; ++k)
    EXPECT_FALSE(g_SetReg.m_Rows[k].bEnabled) << k;
}

TEST_F(RegSettingsTest, NumberEnablesRows) {
  const struct {
    const char* text;
    int number;
    int enabled;
    bool message;
  } cases[] = {{"", 0, 0, false},     {"0", 0, 0, false},   {"5", 5, 5, false},
               {"16", 16, 16, false}, {"17", 17, 16, true}, {"99999999999", 2147483647, 16, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sink_.texts.clear();
    g_SetReg.OnEnChangeEditNumber(c.text);
    EXPECT_EQ(c.number, g_SetReg.m_nRegNumber);
    for (int k = 0; k < REG_SETTING_MAX; ++k)
      EXPECT_EQ(k < c.enabled, g_SetReg.m_Rows[k].bEnabled) << k;
    if (c.message) {
      EXPECT_EQ(std::vector<std::string>{"Manual Setting Number Invalid (0-16)\r\n"}, sink_.texts);
    } else {
      EXPECT_TRUE(sink_.texts.empty());
    }
  }
}

TEST_F(RegSettingsTest, Conversions) {
  const struct {
    std::string text;
    bool valid;
    uint16_t address;
    uint32_t value;
  } cases[] = {{"E241", true, 0xE241, 0xE241},
               // The box holds 126 characters: what lies behind them never counts.
               {std::string(118, '0') + "1234ABCD" + "GGGG", true, 0xABCD, 0x1234ABCD},
               {std::string(126, 'F') + "-", true, 0xFFFF, 0xFFFFFFFF},
               {"e241", true, 0xE241, 0xE241},
               {"", true, 0, 0},
               {"123456789", true, 0x6789, 0x23456789},
               {"G1", false, 0, 0},
               {"12 3", false, 0, 0},
               {"-1", false, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.address, g_SetReg.EditGetsettingAfddress(c.text));
    EXPECT_EQ(c.valid, g_SetReg.m_bRegValid);
    EXPECT_EQ(c.value, g_SetReg.EditGetsettingValue(c.text));
    EXPECT_EQ(c.valid, g_SetReg.m_bRegValid);
  }
}

TEST_F(RegSettingsTest, MakeRegSettingRecordKeepsOnlyTheWidth) {
  EXPECT_EQ((RegSettingRecord{0xCC, 1, 0x41, 0xE2, 0xFF, 0, 0, 0}),
            MakeRegSettingRecord(1, 0xE241, 0x1FF));
  EXPECT_EQ((RegSettingRecord{0xCC, 2, 0x41, 0xE2, 0x34, 0x12, 0, 0}),
            MakeRegSettingRecord(2, 0xE241, 0xAB1234));
  EXPECT_EQ((RegSettingRecord{0xCC, 4, 0x50, 0x00, 0xD4, 0xC3, 0xB2, 0xA1}),
            MakeRegSettingRecord(4, 0x0050, 0xA1B2C3D4));
}

TEST_F(RegSettingsTest, SaveConvertsTheUsedRows) {
  g_SetReg.OnEnChangeEditNumber("3");
  Row(1, 1, "E241", "1234");
  Row(2, 2, "0050", "A1B2C3D4");
  Row(3, 0, "1", "1FF");
  Row(4, 2, "G", "G");  // beyond the number: not looked at
  ASSERT_TRUE(g_SetReg.OnBnClickedSave());
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_EQ(3, g_SetReg.nUsableRecords());
  EXPECT_EQ((RegSettingRecord{0xCC, 2, 0x41, 0xE2, 0x34, 0x12, 0, 0}), g_SetReg.m_RegSetting[0]);
  EXPECT_EQ((RegSettingRecord{0xCC, 4, 0x50, 0x00, 0xD4, 0xC3, 0xB2, 0xA1}),
            g_SetReg.m_RegSetting[1]);
  EXPECT_EQ((RegSettingRecord{0xCC, 1, 0x01, 0x00, 0xFF, 0, 0, 0}), g_SetReg.m_RegSetting[2]);
}

TEST_F(RegSettingsTest, RefusedRowShowsItsTextAndNoSettingIsUsable) {
  const struct {
    const char* address;
    const char* value;
    const char* text;
  } cases[] = {{"G1", "1", "Manual Setting Address Invalid (0-F)\r\n"},
               {"1", "xyz", "Manual Setting Value Invalid (0-F)\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sink_.texts.clear();
    g_SetReg.OnEnChangeEditNumber("3");
    Row(1, 0, "1", "1");
    Row(2, 0, "2", "2");
    Row(3, 0, c.address, c.value);
    EXPECT_FALSE(g_SetReg.OnBnClickedSave());
    EXPECT_EQ(std::vector<std::string>{c.text}, sink_.texts);
    EXPECT_EQ(0, g_SetReg.nUsableRecords());
  }
}

TEST_F(RegSettingsTest, NumberZeroSavesWithNoRecords) {
  g_SetReg.OnEnChangeEditNumber("0");
  EXPECT_TRUE(g_SetReg.OnBnClickedSave());
  EXPECT_EQ(0, g_SetReg.nUsableRecords());
}

TEST_F(RegSettingsTest, NumberAboveSixteenSavesSixteenRows) {
  g_SetReg.OnEnChangeEditNumber("17");
  for (int k = 1; k <= REG_SETTING_MAX; ++k)
    Row(k, 2, std::to_string(k), "AB");
  ASSERT_TRUE(g_SetReg.OnBnClickedSave());
  EXPECT_EQ(16, g_SetReg.nUsableRecords());
  EXPECT_EQ((RegSettingRecord{0xCC, 4, 0x16, 0, 0xAB, 0, 0, 0}), g_SetReg.m_RegSetting[15]);
}

TEST_F(RegSettingsTest, CancelAfterSaveDiscardsTheSettings) {
  g_SetReg.OnEnChangeEditNumber("1");
  Row(1, 0, "1", "1");
  ASSERT_TRUE(g_SetReg.OnBnClickedSave());
  ASSERT_EQ(1, g_SetReg.nUsableRecords());
  g_SetReg.vInitDialog();       // opened again ...
  g_SetReg.vDiscardSettings();  // ... and cancelled
  EXPECT_EQ(0, g_SetReg.nUsableRecords());
}

}  // namespace
