// The config ROM builder and the "Create New File" / "Firmware Info" operations.
#include "firmware/config_rom.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "config/ini.h"
#include "discovery/device_info.h"
#include "discovery/utility.h"
#include "hw/interctl.h"
#include "platform/diag_log.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"
#include "platform/station_path.h"

namespace nvl::fw {
namespace {

constexpr const char kBuilder[] = "Upgrade::vCreateConfigRomFile";
constexpr const char kCreate[] = "CNVL720_MPToolDlg::OnBnClickedButtonCreateConfigFile";
constexpr const char kInfo[] = "CNVL720_MPToolDlg::OnBnClickedButtonFWInfo";
constexpr uint16_t kLinkGen2 = 0x08;
constexpr uint16_t kLinkGen3 = 0x10;

void PutLe(uint8_t* p, uint32_t value, uint32_t size) {
  for (uint32_t i = 0; i < size; ++i)
    p[i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFFu);
}

void vNoHostUpdated() {
  for (auto& host : g_Utility.m_HostInfo)
    host.ucFwUpdateResult = 0;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

void Show(bool silent, const std::string& text) {
  if (silent) {
    std::fputs(text.c_str(), stdout);
    std::fputs("\r\n", stdout);
    std::fflush(stdout);
  } else {
    ShowMessage(text);
  }
}

// The records of the station's settings for an image of `device_type`.
std::vector<RegSettingRecord> CollectRecords(uint8_t device_type, const ConfigRomOptions& options) {
  const bool family_b = device_type == FW_DEVICE_TYPE_B;
  std::vector<RegSettingRecord> records;
  if (g_Ini.subsys_enable == 1) {
    records.push_back(
        MakeRegSettingRecord(2, family_b ? 0x0050 : 0xE260, ParseHexText(g_Ini.svid) & 0xFFFFu));
    records.push_back(
        MakeRegSettingRecord(2, family_b ? 0x0052 : 0xE262, ParseHexText(g_Ini.ssid) & 0xFFFFu));
  }
  if (!family_b && g_Ini.PCISPEED_enable == 1) {
    uint32_t link = g_Utility.m_HostInfo[0].ucPcieLink;
    if (g_Ini.MAX_PCIe_SPEED < 3) link &= ~uint32_t{kLinkGen3};
    if (g_Ini.MAX_PCIe_SPEED < 2) link &= ~uint32_t{kLinkGen2};
    records.push_back(MakeRegSettingRecord(1, static_cast<uint16_t>(PCIe_link_ADDR), link));
  }
  if (options.bManualSetting) {
    const int count = g_SetReg.nUsableRecords();
    for (int k = 0; k < count; ++k)
      records.push_back(g_SetReg.m_RegSetting[k]);
  }
  return records;
}

// Writes `data` to a new file at `path`, replacing one that exists; errno tells why not.
bool WriteNewFile(const std::string& path, const uint8_t* data, size_t size) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n == 0) {
      errno = EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  const int write_errno = errno;
  const bool closed = ::close(fd) == 0;
  if (done != size || !closed) {
    ::unlink(path.c_str());
    errno = done != size ? write_errno : EIO;
    return false;
  }
  return true;
}

// The loaded file and its version text, or the failure texts shown.
bool LoadWithVersion(const char* function, bool silent, FirmwareFile& file, std::string& version) {
  const std::string path = ResolveStationPath(g_Ini.fw_binary_name);
  int rc = LoadFirmwareFile(path, file);
  if (rc != 0) {
    LogMessage(1, "\r\n%s:%d:   Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", function,
               __LINE__, path.c_str(), rc);
    Show(silent, Format("\r\n%s:%d:Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n",
                        function, __LINE__, path.c_str(), rc));
    return false;
  }
  uint8_t bytes[FW_VERSION_LENGTH] = {};
  rc = g_Interctl.Get_Version_From_File(file.buffer.data(), file.dwFileLength, bytes);
  if (rc != 0) {
    LogMessage(1, "\r\n%s:%d:   Get_Version_From_File Failed!!(%d)\n", function, __LINE__, rc);
    Show(silent, Format("\r\n%s:%d:Get_Version_From_File Failed!!(%d)\n", function, __LINE__, rc));
    return false;
  }
  version = strFormatFirmwareVersion(bytes);
  return true;
}

}  // namespace

bool InsertCFGToBin(CUtility& utility, uint8_t* out, size_t out_size, const BinFileStruct& bfs,
                    const RegSettingRecord* records, size_t count) {
  const uint64_t l0 = bfs.wCfgLength;
  if (l0 < CFG_BODY_OFFSET || bfs.pCfgBody.size() != l0 - CFG_BODY_OFFSET) return false;
  if (count > 0 && records == nullptr) return false;
  const uint64_t l = l0 + uint64_t{REG_RECORD_LENGTH} * count;
  if (l > 0xFFFFu) return false;
  const uint8_t type =
      utility.m_bFWDeviceType == FW_DEVICE_TYPE_B ? FW_DEVICE_TYPE_B : FW_DEVICE_TYPE_A;
  const uint32_t field = CodeLengthFieldSize(type);
  const uint64_t n = bfs.dwCodeLength;
  if (n != bfs.pFWCode.size()) return false;
  if (type == FW_DEVICE_TYPE_A && n > 0xFFFFu) return false;
  const uint64_t end = l + 1 + 4 + field + n + FW_SIGNATURE_LENGTH + 1 + FW_TRAILER_LENGTH;
  if (out == nullptr || end > out_size) return false;

  const uint16_t length = static_cast<uint16_t>(l);
  std::memcpy(out, bfs.abHeader, CFG_HEADER_LENGTH);
  std::memcpy(out + CFG_AREA_OFFSET, bfs.abCfgArea, CFG_AREA_LENGTH);
  PutLe(out + CFG_LENGTH_OFFSET, length, 2);
  if (!bfs.pCfgBody.empty())
    std::memcpy(out + CFG_BODY_OFFSET, bfs.pCfgBody.data(), bfs.pCfgBody.size());
  for (size_t k = 0; k < count; ++k)
    std::memcpy(out + l0 + REG_RECORD_LENGTH * k, records[k].data(), REG_RECORD_LENGTH);
  out[length] = Checksum8(out, length);
  utility.vInitCrc32Table();
  PutLe(out + length + 1, Crc32(utility.m_dwCrc32Table, out, length), 4);
  PutLe(out + length + 5, static_cast<uint32_t>(n), field);
  uint8_t* p = out + CodeOffset(length, type);
  if (n > 0) std::memcpy(p, bfs.pFWCode.data(), n);
  p += n;
  std::memcpy(p, bfs.abFWSignature, FW_SIGNATURE_LENGTH);
  p[FW_SIGNATURE_LENGTH] = bfs.bCodeChecksum;
  std::memcpy(p + FW_SIGNATURE_LENGTH + 1, bfs.abFWTrailer, FW_TRAILER_LENGTH);
  return true;
}

std::string strConfigRomPath(const std::string& version) {
  return JoinPath(ProgramDir(), "Config_" + version + ".rom");
}

bool vCreateConfigRomFile(const uint8_t* image, uint32_t size, const ConfigRomOptions& options) {
  try {
    std::vector<uint8_t> out(size, 0);
    const bool rebuild = g_Ini.subsys_enable == 1 || options.bManualSetting ||
                         g_Ini.PCISPEED_enable == 1 || g_Ini.CustInfo_enable == 1;
    if (!rebuild) {
      if (size > 0) std::memcpy(out.data(), image, size);
    } else {
      BinFileStruct bfs;
      bool built = image != nullptr && g_Utility.GetBinFileStruct(image, size, bfs) == 0;
      if (built) {
        const auto records = CollectRecords(g_Utility.m_bFWDeviceType, options);
        if (g_Ini.CustInfo_enable == 1) {
          constexpr size_t kCustInfoMax = 31;
          std::memset(bfs.abCfgArea, 0, kCustInfoMax);
          std::memcpy(bfs.abCfgArea, g_Ini.CustInfo.data(),
                      std::min(kCustInfoMax, g_Ini.CustInfo.size()));
        }
        built =
            InsertCFGToBin(g_Utility, out.data(), out.size(), bfs, records.data(), records.size());
      }
      if (!built) {
        LogMessage(1, "\r\n%s:%d: InsertCFGToBin Fail!! , dwErrorCode %d", kBuilder, __LINE__,
                   errno);
        vNoHostUpdated();
        return false;
      }
    }
    if (g_Utility.m_strFileFWVersion.empty()) {
      LogMessage(1, "\r\n%s:%d: g_Utility.m_strFileFWVersion is empty ", kBuilder, __LINE__);
      return false;
    }
    g_Utility.m_strConfigRomPath = strConfigRomPath(g_Utility.m_strFileFWVersion);
    if (!WriteNewFile(g_Utility.m_strConfigRomPath, out.data(), out.size())) {
      LogMessage(1, "\r\n%s:%d: Open tmp File[%s] Fail!! , dwErrorCode %d", kBuilder, __LINE__,
                 g_Utility.m_strConfigRomPath.c_str(), errno);
      vNoHostUpdated();
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    LogMessage(1, "\r\n%s:%d:  dwErrorCode %d", kBuilder, __LINE__, ENOMEM);
    vNoHostUpdated();
    return false;
  }
}

bool OnBnClickedButtonCreateConfigFile(bool silent, const ConfigRomOptions& options) {
  FirmwareFile file;
  std::string version;
  if (!LoadWithVersion(kCreate, silent, file, version)) return false;
  g_Utility.m_strFileFWVersion = version;
  if (!vCreateConfigRomFile(file.buffer.data(), file.dwFileLength, options)) {
    LogMessage(1, "\r\n%s:%d:   vCreateConfigRomFile Failed!!", kCreate, __LINE__);
    Show(silent, Format("\r\n%s::vCreateConfigRomFile Failed!!(%d)\n", kCreate, __LINE__));
    return false;
  }
  Show(silent, Format("Config Rom File %s Created", g_Utility.m_strConfigRomPath.c_str()));
  return true;
}

bool OnBnClickedButtonFWInfo() {
  FirmwareFile file;
  std::string version;
  if (!LoadWithVersion(kInfo, false, file, version)) return false;
  BinFileStruct bfs;
  // The check passed, so the structure parses; a failure leaves the body as far as filled.
  g_Utility.GetBinFileStruct(file.buffer.data(), file.dwFileLength, bfs);
  const bool family_b = g_Utility.m_bFWDeviceType == FW_DEVICE_TYPE_B;
  std::string ssid, svid, link;
  const auto& body = bfs.pCfgBody;
  for (size_t at = 0; at + REG_RECORD_LENGTH <= body.size(); at += REG_RECORD_LENGTH) {
    const uint8_t* r = body.data() + at;
    if (r[0] != REG_RECORD_MARKER) continue;
    const uint16_t address = static_cast<uint16_t>(r[2] | (r[3] << 8));
    const std::string id = Format("%02X%02X", r[5], r[4]);
    if (address == (family_b ? 0x0052 : 0xE262)) {
      ssid = id;
    } else if (address == (family_b ? 0x0050 : 0xE260)) {
      svid = id;
    } else if (!family_b && address == PCIe_link_ADDR) {
      link = Format("PCIe Link Speed set\t: %s\r\n\t\t  %s",
                    (r[4] & kLinkGen2) ? "Gen2 " : "Gen2 disabled",
                    (r[4] & kLinkGen3) ? "Gen3 " : "Gen3 disabled");
    }
  }
  const std::string& stored = g_Ini.fw_binary_name;
  const size_t slash = stored.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? stored : stored.substr(slash + 1);
  ShowMessage(
      Format("Firmware Name\t:%s\r\nFirmware Version\t:%s\r\nSSID\t\t:%s\r\nSVID\t\t:%s\r\n%s\r\n",
             name.c_str(), version.c_str(), ssid.c_str(), svid.c_str(), link.c_str()));
  return true;
}

}  // namespace nvl::fw
