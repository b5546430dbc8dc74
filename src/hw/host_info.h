// One target host: a controller of the family found on the PCI bus, with its identity and the
// results of the last run.  The table of eight lives in g_Utility (discovery/utility.h).
#pragma once

#include <cstdint>
#include <string>

inline constexpr int HOST_MAX = 8;
inline constexpr uint8_t HOST_INDEX_NONE = 0xFF;

struct HostInfo {
  uint8_t ucIndex = 0;              // position in the table; 0xFF: the record holds no host
  uint8_t ucFwUpdateResult = 0;     // 1: the last firmware update passed
  uint8_t ucFwCheckResult = 0;      // 1: the last firmware check passed
  int32_t dwTestResult = 0;         // last signal line / fixture test, 0 = passed
  uint8_t ucTerminationResult = 0;  // last termination test, 0 = passed
  uint8_t ucLoopbackResult = 0;     // last loop-back test, 0 = passed
  uint8_t ucSpiWrsr = 0;            // flash status register; 0 not read, 0xFF read failed
  uint8_t ucChipType = 0xFF;        // 0xFF: not read or the read failed
  uint8_t ucDeviceType = 0;         // family: 0 = A, 1 = B
  uint8_t ucBus = 0;
  uint8_t ucDevice = 0;
  uint8_t ucFunction = 0;
  std::string strFWVersion;
  std::string strSSID;        // four lower-case hex digits
  std::string strSVID;        // four lower-case hex digits
  std::string strFWFileName;  // firmware file used for this host
  uint8_t ucPcieLink = 0;
  uint32_t dwMemBase = 0;                // BAR0 with its low four bits cleared
  void* pMmio = nullptr;                 // xHCI register window mapping
  uint8_t ucPortFlag[4] = {0, 0, 0, 0};  // root port k+1 last seen connected and powered
};
