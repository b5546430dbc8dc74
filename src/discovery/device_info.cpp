// UpdateDeviceInfo: reads a host's identity through the command channel into its record.
//
// Family B boards have no PCIe link byte to read; their ucPcieLink is set to 0 (the link byte
// is only used for family A configuration ROMs), rather than left holding a byte of the SSID.
#include "discovery/device_info.h"

#include <cstdio>

#include "discovery/utility.h"
#include "hw/interctl.h"
#include "platform/diag_log.h"
#include "platform/text.h"

namespace {

constexpr const char* kFunction = "CInterctl::UpdateDeviceInfo";

std::string IdText(const uint8_t* bytes) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02x%02x", bytes[1], bytes[0]);
  return buf;
}

// The four "_"-separated parts of a version text joined into one (a missing part is empty).
std::string JoinedParts(const std::string& v) {
  std::string out;
  size_t from = 0;
  for (int part = 0; part < 3; ++part) {
    const size_t at = v.find('_', from);
    if (at == std::string::npos) {
      out += v.substr(from);
      return out;
    }
    out += v.substr(from, at - from);
    from = at + 1;
  }
  return out + v.substr(from);
}

}  // namespace

uint32_t ParseHexText(const std::string& text) {
  uint32_t v = 0;
  for (char c : text) {
    const int d = nvl::HexDigit(c);
    if (d < 0) break;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return v;
}

bool bReadWrsrForVersion(const std::string& version, const std::string& threshold) {
  const std::string a = JoinedParts(version);
  const std::string b = JoinedParts(threshold);
  const auto hi = [](const std::string& s) { return ParseHexText(s.substr(0, 4)); };
  const auto lo = [](const std::string& s) {
    return ParseHexText(s.size() > 8 ? s.substr(s.size() - 8) : s);
  };
  const uint32_t hi_a = hi(a), lo_a = lo(a), hi_b = hi(b), lo_b = lo(b);
  if (hi_b == 0 && lo_b == 0) return false;
  return hi_a > hi_b || (hi_a == hi_b && lo_a >= lo_b);
}

int CInterctl::UpdateDeviceInfo(int host_index, const std::string& wrsr_threshold, uint8_t family) {
  HostInfo& host = g_Utility.m_HostInfo[host_index];
  HostInfo target = host;  // the location, with the family this call is told
  target.ucDeviceType = family;

  uint8_t chip = 0xFF;
  int rc = GetChipType(target, &chip);
  if (rc < 0) {
    LogMessage(1, "\r\n%s:%d: Get Chip Type Failed(%d), ", kFunction, __LINE__, rc);
    host.ucChipType = 0xFF;
    return rc;
  }
  host.ucChipType = chip;
  LogMessage(1, "\r\n%s:%d: Get Chip Type is, ", kFunction, __LINE__);

  uint8_t version[6] = {};
  if ((rc = GetFirmwareVersion(target, version)) < 0) {
    LogMessage(1, "\r\n%s:%d: Bus=%d, Device=%d, Function=%d, GetFirmwareVersion Failed(%d), ",
               kFunction, __LINE__, host.ucBus, host.ucDevice, host.ucFunction, rc);
    return rc;
  }
  host.strFWVersion = strFormatFirmwareVersion(version);

  uint8_t bytes[8] = {};
  struct IdRead {
    uint32_t address;
    const char* name;
    std::string* text;
  };
  const IdRead ids[] = {{family == 1 ? SVID_ADDR_B : SVID_ADDR_A, "SVID_ADDR", &host.strSVID},
                        {family == 1 ? SSID_ADDR_B : SSID_ADDR_A, "SSID_ADDR", &host.strSSID}};
  for (const IdRead& id : ids) {
    if ((rc = Read_8051_Memory(target, SPACE_DATA, id.address, 8, bytes)) < 0) {
      LogMessage(1, "\r\n%s:%d: %s Failed(%d), ", kFunction, __LINE__, id.name, rc);
      *id.text = "FFFF";
      return rc;
    }
    *id.text = IdText(bytes);
  }

  if (family != 1) {
    if ((rc = Read_8051_Memory(target, SPACE_DATA, PCIe_link_ADDR, 8, bytes)) < 0) {
      LogMessage(1, "\r\n%s:%d: PCIe_link_ADDR Failed(%d), ", kFunction, __LINE__, rc);
      return rc;
    }
    host.ucPcieLink = bytes[0];
  } else {
    host.ucPcieLink = 0;
  }

  if (!bReadWrsrForVersion(host.strFWVersion, wrsr_threshold)) {
    host.ucSpiWrsr = 0;
    return 0;
  }
  uint8_t reply[8] = {};
  if ((rc = Read_SPIRom_WRSR(target, reply)) < 0) {
    LogMessage(1, "\r\n%s:%d: Read_SPIRom_WRSR Failed(%d), ", kFunction, __LINE__, rc);
    host.ucSpiWrsr = 0xFF;
    return rc;
  }
  host.ucSpiWrsr = reply[1];
  return 0;
}
