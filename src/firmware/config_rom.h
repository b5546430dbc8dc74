// The config ROM builder: turns a firmware image into the image the flashing workers program,
// carrying the station's settings (subsystem IDs, PCIe link limit, customer information, manual
// register settings) as register setting records behind the image's own, and writes it to
// "Config_<version>.rom" in the program's directory.  Also the "Create New File" and "Firmware
// Info" operations of the main window and the settings page, without their window.
//
// Records added, in this order (family B when g_Utility.m_bFWDeviceType is 1, else family A):
//   subsys_enable = 1:        width 2, 0xE260 / 0x0050, svid (low 16 bits)
//   subsys_enable = 1:        width 2, 0xE262 / 0x0052, ssid (low 16 bits)
//   family A, PCISPEED_enable = 1: width 1, 0xE241, ucPcieLink of host 0 with bit 4 cleared
//                             when MAX_PCIe_SPEED < 3 and bit 3 cleared when it is < 2
//   Manual Setting on and g_SetReg valid: the first min(m_nRegNumber, 16) rows' records.
//
// Decisions of this implementation:
//   - The builder is a free function (nvl::fw::vCreateConfigRomFile) taking its page flags in
//     ConfigRomOptions, so it runs without any window; the upgrade page forwards to it.  Its log
//     lines carry the name "Upgrade::vCreateConfigRomFile".
//   - InsertCFGToBin refuses, before writing anything, an image whose rebuilt length
//     L + 1 + 4 + w + N + 13 (w = 2 for family A, 4 for B) exceeds the output size, a config
//     length L beyond 16 bits (the field would wrap), and a structure whose body does not match
//     its L.
//   - A parse failure of the image (GetBinFileStruct) is handled like a failure of
//     InsertCFGToBin: nothing is written and no host counts as updated, instead of rebuilding
//     from a half-filled structure.
//   - A failed or short write of the output file also fails the builder (no host counts as
//     updated) and removes the partial file, so the workers never program a cut image.
//   - The customer information is the first 31 bytes of the CustInfo text, zero-filled when the
//     text is shorter (the setting field is a zeroed buffer).  They go to config area bytes 0..30
//     (file bytes 0x10..0x2E), so the settings page's 31 characters all reach the image; only the
//     area's last byte (0x2F) keeps the file's content.
//   - "Create New File" and "Firmware Info" load g_Ini.fw_binary_name through
//     nvl::ResolveStationPath, the settings file's path form; the name shown by "Firmware Info"
//     is the stored value behind its last "\" (or "/").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/fw_image.h"
#include "firmware/reg_settings.h"

class CUtility;

namespace nvl::fw {

// The page flags the builder reads besides g_Ini.
struct ConfigRomOptions {
  bool bManualSetting = false;  // the settings page's "Manual Setting" box
};

// Builds the rebuilt image into `out` (`out_size` bytes, left zero behind the trailer): header
// and config area from `bfs` with L = L0 + 8 x count, the file's own body, the records, checksum,
// CRC-32, N, code, signature, code checksum, trailer.  False, with `out` untouched, when it does
// not fit (see the header comment).  The family is utility.m_bFWDeviceType; the CRC table of
// `utility` is built afresh.
bool InsertCFGToBin(CUtility& utility, uint8_t* out, size_t out_size, const BinFileStruct& bfs,
                    const RegSettingRecord* records, size_t count);

// The builder.  `image` holds at least `size` valid bytes, examined by Get_Version_From_File,
// with g_Utility.m_strFileFWVersion set.  Writes the config ROM file (replacing one of the same
// name) and sets g_Utility.m_strConfigRomPath.  True on success.
bool vCreateConfigRomFile(const uint8_t* image, uint32_t size, const ConfigRomOptions& options);

// The path the builder writes: "<program dir>/Config_<version>.rom".
std::string strConfigRomPath(const std::string& version);

// "Create New File": load fw_binary_name, read its version into m_strFileFWVersion, build the
// file.  Texts go to nvl::Messages(), or with `silent` to stdout followed by "\r\n".  True when
// the file was written.
bool OnBnClickedButtonCreateConfigFile(bool silent, const ConfigRomOptions& options);

// "Firmware Info": load fw_binary_name and show its name, version, SSID, SVID and PCIe link
// setting (from its records) in a message box.  True when the information was shown.
bool OnBnClickedButtonFWInfo();

}  // namespace nvl::fw
