#include "discovery/utility.h"

CUtility g_Utility;

CUtility::CUtility() {
  for (auto& h : m_HostInfo)
    ResetHostInfo(h);
}

void CUtility::ResetHostInfo(HostInfo& host) {
  host.ucIndex = 0;
  host.ucFwUpdateResult = 0;
  host.dwTestResult = 0;
  host.ucTerminationResult = 0;
  host.ucLoopbackResult = 0;
  host.ucSpiWrsr = 0;
  host.ucBus = host.ucDevice = host.ucFunction = 0;
  host.ucPcieLink = 0;
  host.dwMemBase = 0;
  host.pMmio = nullptr;
  for (auto& flag : host.ucPortFlag)
    flag = 0;
  host.ucChipType = 0xFF;
  host.strFWVersion.clear();
  host.strSSID.clear();
  host.strSVID.clear();
}

void CUtility::vBlankHostTable() {
  for (auto& h : m_HostInfo) {
    h.ucIndex = HOST_INDEX_NONE;
    h.ucBus = h.ucDevice = h.ucFunction = 0xFF;
    h.strFWVersion = " ";
  }
}

void CUtility::vResetForTest() {
  m_ucHostCount = 0;
  for (auto& h : m_HostInfo)
    h = HostInfo{};
  for (auto& h : m_HostInfo)
    ResetHostInfo(h);
  m_bSettingsLoaded = false;
  m_strFileFWVersion.clear();
  m_bFWChipType = m_bFWDeviceType = 0;
  m_wCfgBlockLength = 0;
  m_dwFWCodeLength = 0;
  m_bCfgChecksum = m_bFWCodeChecksum = 0;
  m_dwFWFileLength = 0;
  m_strConfigRomPath.clear();
  m_bUsbDeviceFound = 0;
  m_strRootHubPath.clear();
}

const char* CUtility::strErrorText(int code) {
  switch (code) {
    case -1:
      return "IO error";
    case -2:
      return "FW Version Unmatch";
    case -3:
      return "Data not match";
    case -4:
      return "Entity not found";
    case -5:
      return "File not found";
    case -8:
      return "Insufficient memory";
    case -9:
      return "Operation timed out";
    case -10:
      return "Invalid parameter";
    default:
      return "Unknown error";
  }
}
