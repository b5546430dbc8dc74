// CIni: the station's settings record MpSettings and its INI settings file.
//
// The process-wide g_Ini is the settings record every part of the program reads its options
// from.  The file-backed fields carry the file's key names; the device settings page keeps some
// further options in the same record that are never saved and are zeroed by every load.
//
// Loading (LoadSettings) clears the record, checks the file, then reads it line by line: empty
// lines are skipped, every other line is counted; the key is the text before the first "=", the
// value the text after it up to the first "/" (a comment), both trimmed and the value upper-cased;
// keys and the six section names compare ignoring case, and a key is accepted under any section.
// Numbers are read like atoi and kept in the field's width.  The result also becomes
// g_Utility.m_bSettingsLoaded.
//
// Decisions of this implementation (see also docs/settings-file.md):
//   - An unrecognised key fails the load in every case.  Its message is still shown, and the
//     version and firmware checks still run (and show theirs), so the operator sees every problem
//     of the file at once; a firmware file that exists does not turn such a load into a success.
//   - A text value longer than 254 characters is rejected, not cut: a cut firmware path or ID
//     would silently name something else.  Its line is reported like an unrecognised key (the
//     line number and the key) and fails the load; the field keeps its earlier content.
//   - Lines are counted with a counter that does not wrap, so a file of 286 lines cannot pass the
//     30-line limit by wrapping to 30; the message's line numbers are the true ones.
//   - Numbers that do not fit 32 bits saturate to the nearest 32-bit limit before the 8-bit
//     fields take their low 8 bits (no overflow, whatever the digits).
//   - Both LF and CR LF line ends are read; a line may hold any bytes (NUL included) and be of any
//     length.  Keys quoted in the message are cut to 254 characters.
//   - IsFileAccessible needs a regular file that the process may read and write and that has at
//     least one write permission bit: a file marked read-only (no write bits) is refused even for
//     root, as a read-only settings file is on every station.
//   - SaveSettings refuses (false) to replace a file that exists but is not accessible; the
//     firmware name is written in station form (nvl::StationPathText) so that it loads back to the
//     same file.
#pragma once

#include <cstdint>
#include <string>

// The settings-format version of this program; the file holds its hexadecimal value in
// decimal (ver=18).
inline constexpr const char* INI_VERSION_TEXT = "000012";

// Longest text a text field holds (the field is 254 characters and a terminator).
inline constexpr size_t INI_TEXT_MAX = 254;

// More counted (non-empty) lines than this fail a load.
inline constexpr unsigned INI_MAX_LINES = 30;

struct MpSettings {
  // [version]
  uint8_t ver = 0;
  // [main]
  uint8_t init_main = 0;
  // [fw]
  uint8_t fw_update_enable = 0;
  std::string fw_binary_name;
  uint8_t fw_check_enable = 0;
  // [test]
  uint8_t signal_line_test_enable = 0;
  uint8_t fixture_test_enable = 0;
  uint8_t test_speed = 0;
  uint8_t test_port = 0;
  int32_t test_timeout = 0;
  uint8_t loopback_test_enable = 0;
  // [config]
  uint8_t subsys_enable = 0;
  std::string svid;
  std::string ssid;
  uint8_t PCISPEED_enable = 0;
  uint8_t MAX_PCIe_SPEED = 0;
  uint8_t check_downstream_usb_enable = 0;
  uint8_t CustInfo_enable = 0;
  std::string CustInfo;
  std::string spi_wrsr_ver;
  // [LOG]
  uint8_t savelog_enable = 0;
  uint8_t savelogBarCode_enable = 0;
  int32_t SN_Numbers = 0;

  // --- device settings page options, not in the file ---
  uint8_t bExternalSettingEnable = 0;
  uint8_t bBatteryChargeEnable = 0;
  uint8_t bBatteryChargePortA = 0;
  uint8_t bBatteryChargePortB = 0;
  uint8_t bDisablePortEnable = 0;
  uint8_t bDisablePortA = 0;
  uint8_t bDisablePortB = 0;
  uint8_t bHsCurDrivingEnable = 0;
  std::string szHsCurDrivingA;
  std::string szHsCurDrivingB;
  uint8_t bTerminationEnable = 0;
  uint8_t bSmiEnable = 0;
  uint8_t bSmiOpenDrain = 0;
  uint8_t bSscEnable = 0;
  uint8_t bSscOn = 0;
  uint8_t bHighSpeedEnable = 0;
  uint8_t bHsRiseFallEnable = 0;
  std::string szHsRiseFallA;
  std::string szHsRiseFallB;
  uint8_t bHsMinorCurrentEnable = 0;
  std::string szHsMinorCurrentA;
  std::string szHsMinorCurrentB;
  uint8_t bSuperSpeedEnable = 0;
  uint8_t bSsDeEmphasisA = 0;
  std::string szSsDeEmphasisA;
  std::string szSsDeEmphasisB;
  uint8_t bSsPreEmphasisA = 0;
  std::string szSsCurDrivingA;
  std::string szSsCurDrivingB;

  // --- the serial number last scanned for the board in the fixture, not in the file; written by
  // the serial number dialog (app/sn_dlg.h), read by the daily result log ---
  std::string szBarCode;

  bool operator==(const MpSettings&) const = default;
};

// The settings object: its members are the MpSettings fields (g_Ini.test_speed, ...).
class CIni : public MpSettings {
 public:
  CIni() = default;
  virtual ~CIni() = default;
  CIni(const CIni&) = delete;
  CIni& operator=(const CIni&) = delete;

  // The record alone, for copies and comparisons.
  MpSettings& Settings() { return *this; }
  const MpSettings& Settings() const { return *this; }

  // Fills the record from the file at `path` (a native path); sets g_Utility.m_bSettingsLoaded
  // to the result.
  bool LoadSettings(const std::string& path);

  // Writes the record to the file at `path`, replacing it.
  bool SaveSettings(const std::string& path) const;

  // True when `path` is a regular file that can be read and written; otherwise false, and with
  // `show_message` a message box "<path> File/Path is not exist".
  static bool IsFileAccessible(const std::string& path, bool show_message);

  // The file text SaveSettings writes for the current record.
  std::string strSettingsText() const;

  // Back to the state at process start (every field 0, texts empty).
  void vResetForTest() { vClear(); }

 private:
  void vClear() { Settings() = MpSettings{}; }
};

extern CIni g_Ini;
