// CUtility: the process-wide g_Utility holds the table of target hosts, the state of the firmware
// file last examined, the settings-loaded flag and the error texts.  Its operations are
// implemented beside the data they serve:
//   discovery/utility.cpp     host table, error texts
//   firmware/...              firmware file loading and parsing
//   app/version_report.cpp    the version report
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hw/host_info.h"

struct BinFileStruct;

class CUtility {
 public:
  CUtility();
  virtual ~CUtility() = default;
  CUtility(const CUtility&) = delete;
  CUtility& operator=(const CUtility&) = delete;

  // --- host table ---
  static void ResetHostInfo(HostInfo& host);
  void vBlankHostTable();
  // Back to the state at construction (tests start each scenario from it).
  void vResetForTest();

  uint8_t m_ucHostCount = 0;
  HostInfo m_HostInfo[HOST_MAX];

  // --- error texts ---
  static const char* strErrorText(int code);

  // --- settings ---
  bool m_bSettingsLoaded = false;

  // --- firmware file state (the file last examined) ---
  std::string m_strFileFWVersion;
  uint8_t m_bFWChipType = 0;
  uint8_t m_bFWDeviceType = 0;
  uint16_t m_wCfgBlockLength = 0;
  uint32_t m_dwFWCodeLength = 0;
  uint8_t m_bCfgChecksum = 0;
  uint8_t m_bFWCodeChecksum = 0;
  uint32_t m_dwFWFileLength = 0;
  uint32_t m_dwCrc32Table[256] = {};
  std::string m_strConfigRomPath;

  // --- firmware file operations (firmware/fw_file.cpp; bounds rules in firmware/fw_image.h) ---
  // Measures the file into m_dwFWFileLength: 0, or -3 when it cannot be opened.
  int bFWBinFileLength(const std::string& path);
  // Reads the whole file into the start of `buffer` (grown when shorter than the file, never
  // shrunk) and its length into m_dwFWFileLength: 0, -3 cannot be opened or read, -8 no memory.
  int bOpenFWBinFile(const std::string& path, std::vector<uint8_t>& buffer);
  // Parses the `length` valid bytes at `image` by m_bFWDeviceType: 0, -3 when a field lies
  // outside them, -8 no memory (the structure then stays as far as filled).
  int GetBinFileStruct(const uint8_t* image, size_t length, BinFileStruct& out);
  // Fills m_dwCrc32Table.
  void vInitCrc32Table();

  // --- USB device enumeration (porttest/usb_scan.cpp) ---
  // Sets m_bUsbDeviceFound to 1 when a device that is not a hub is connected anywhere below a
  // target controller (at most eight controllers are looked at); leaves it unchanged otherwise,
  // so the caller clears it first.
  void ScanUsbDevices();
  uint8_t m_bUsbDeviceFound = 0;
  std::string m_strRootHubPath;  // the root hub scanned last (sysfs name, or "sim-b:d:f")

  // --- version report (app/version_report.cpp) ---
  int WriteVersionReport();
};

extern CUtility g_Utility;
