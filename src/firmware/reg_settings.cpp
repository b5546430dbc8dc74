// The state and conversions of the "Setting Register" dialog.
#include "firmware/reg_settings.h"

#include <algorithm>
#include <climits>

#include "discovery/device_info.h"
#include "platform/message_sink.h"

SET_REG g_SetReg;

namespace {

bool IsHexText(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

std::string AsEdited(const std::string& text) {
  return text.size() > REG_EDIT_TEXT_MAX ? text.substr(0, REG_EDIT_TEXT_MAX) : text;
}

int ReadDecimal(const std::string& text) {
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

}  // namespace

RegSettingRecord MakeRegSettingRecord(uint8_t width, uint16_t address, uint32_t value) {
  RegSettingRecord r{};
  r[0] = 0xCC;
  r[1] = width;
  r[2] = static_cast<uint8_t>(address & 0xFFu);
  r[3] = static_cast<uint8_t>(address >> 8);
  r[4] = static_cast<uint8_t>(value & 0xFFu);
  if (width >= 2) r[5] = static_cast<uint8_t>((value >> 8) & 0xFFu);
  if (width == 4) {
    r[6] = static_cast<uint8_t>((value >> 16) & 0xFFu);
    r[7] = static_cast<uint8_t>(value >> 24);
  }
  return r;
}

void SET_REG::vInitDialog() {
  for (auto& row : m_Rows)
    row = RegSettingRow{};
  OnEnChangeEditNumber("1");
}

void SET_REG::OnEnChangeEditNumber(const std::string& text) {
  m_strNumberText = text;
  m_nRegNumber = ReadDecimal(text);
  for (int k = 1; k <= REG_SETTING_MAX; ++k)
    m_Rows[k - 1].bEnabled = m_nRegNumber >= k;
  if (m_nRegNumber > REG_SETTING_MAX) nvl::ShowMessage("Manual Setting Number Invalid (0-16)\r\n");
}

uint16_t SET_REG::EditGetsettingAfddress(const std::string& text) {
  const std::string edited = AsEdited(text);
  if (!IsHexText(edited)) {
    m_bRegValid = false;
    return 0;
  }
  m_bRegValid = true;
  return static_cast<uint16_t>(ParseHexText(edited) & 0xFFFFu);
}

uint32_t SET_REG::EditGetsettingValue(const std::string& text) {
  const std::string edited = AsEdited(text);
  if (!IsHexText(edited)) {
    m_bRegValid = false;
    return 0;
  }
  m_bRegValid = true;
  return ParseHexText(edited);
}

bool SET_REG::OnBnClickedSave() {
  const int rows = std::clamp(m_nRegNumber, 0, REG_SETTING_MAX);
  m_bRegValid = true;  // "Save" with no rows converts every (no) row
  for (int k = 0; k < rows; ++k) {
    const RegSettingRow& row = m_Rows[k];
    const uint16_t address = EditGetsettingAfddress(row.strAddress);
    if (!m_bRegValid) {
      nvl::ShowMessage("Manual Setting Address Invalid (0-F)\r\n");
      return false;
    }
    const uint32_t value = EditGetsettingValue(row.strValue);
    if (!m_bRegValid) {
      nvl::ShowMessage("Manual Setting Value Invalid (0-F)\r\n");
      return false;
    }
    const uint8_t width = row.nBytesIndex == 0 ? 1 : row.nBytesIndex == 1 ? 2 : 4;
    m_RegSetting[k] = MakeRegSettingRecord(width, address, value);
  }
  return true;
}

int SET_REG::nUsableRecords() const {
  if (!m_bRegValid) return 0;
  return std::clamp(m_nRegNumber, 0, REG_SETTING_MAX);
}

void SET_REG::vResetForTest() {
  m_nRegNumber = 0;
  m_bRegValid = false;
  for (auto& r : m_RegSetting)
    r = RegSettingRecord{};
  for (auto& row : m_Rows)
    row = RegSettingRow{};
  m_strNumberText.clear();
}
