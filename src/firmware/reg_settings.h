// Manual register settings: the state behind the "Setting Register" dialog (SET_REG).
//
// Up to 16 rows, each a width ("Bytes" list index 0/1/2 = 1/2/4 bytes), a hexadecimal address
// and a hexadecimal value.  "Save" turns every used row into an 8-byte register setting record
// that the config ROM builder appends to the image's config block.  The settings live only in
// memory.  The window that shows the rows is built elsewhere; this object holds the rows' state
// and does the conversions, so the window only forwards its controls' texts.
//
// Decisions of this implementation:
//   - The address and value boxes hold at most 126 characters; a longer text handed in is cut
//     to its first 126 characters, as the box would have cut it while typing.
//   - A number text that is not all digits (the box accepts digits only) reads as its leading
//     digits; a number beyond the range of int saturates (and so counts as above 16).
//   - An empty address or value text counts as 0 and is valid.
#pragma once

#include <array>
#include <cstdint>
#include <string>

inline constexpr int REG_SETTING_MAX = 16;
inline constexpr size_t REG_EDIT_TEXT_MAX = 126;

using RegSettingRecord = std::array<uint8_t, 8>;

// The 8-byte record of one setting: 0xCC, W, A low, A high, V bits 0..7, V bits 8..15 when W is
// at least 2, V bits 16..31 when W is 4 (bytes beyond the width are 0).
RegSettingRecord MakeRegSettingRecord(uint8_t width, uint16_t address, uint32_t value);

// One row of the dialog as its controls hold it.
struct RegSettingRow {
  bool bEnabled = false;
  int nBytesIndex = 0;     // "Bytes" list: 0 "1", 1 "2", 2 "4"
  std::string strAddress;  // hexadecimal text (upper-cased by the box)
  std::string strValue;
};

class SET_REG {
 public:
  SET_REG() = default;
  virtual ~SET_REG() = default;
  SET_REG(const SET_REG&) = delete;
  SET_REG& operator=(const SET_REG&) = delete;

  // Dialog set-up on every opening: every row's "Bytes" list at "1", texts empty, the number box
  // "1" (so row 1 is enabled and rows 2..16 disabled).  Saved records are not shown again.
  void vInitDialog();

  // The number box's text changed: m_nRegNumber = its decimal value (empty is 0); rows up to the
  // number are enabled; above 16 shows "Manual Setting Number Invalid (0-16)\r\n" and all 16 rows
  // are enabled.
  void OnEnChangeEditNumber(const std::string& text);

  // "Save": converts rows 1 .. min(m_nRegNumber, 16) in order.  True: every row converted, the
  // dialog closes with OK.  False: a row was refused (its message shown, m_bRegValid 0), the
  // dialog closes as cancelled.
  bool OnBnClickedSave();

  // What the settings page does when the dialog ends as cancelled: no settings are used.
  void vDiscardSettings() { m_nRegNumber = 0; }

  // Address text to its last four hexadecimal digits; m_bRegValid 1, or 0 (and 0 returned) when
  // the text holds a character other than 0-9, A-F, a-f.
  uint16_t EditGetsettingAfddress(const std::string& text);
  // Value text to its last eight hexadecimal digits, with the same validity rule.
  uint32_t EditGetsettingValue(const std::string& text);

  // The number of records the config ROM builder takes: min(m_nRegNumber, 16) when the last
  // "Save" converted every row, else 0 (negative numbers count as 0).
  int nUsableRecords() const;

  // Back to the state at process start.
  void vResetForTest();

  int m_nRegNumber = 0;
  bool m_bRegValid = false;
  RegSettingRecord m_RegSetting[REG_SETTING_MAX] = {};
  RegSettingRow m_Rows[REG_SETTING_MAX];
  std::string m_strNumberText;
};

extern SET_REG g_SetReg;
