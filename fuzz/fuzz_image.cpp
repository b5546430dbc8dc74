// Fuzz target of the firmware image parser: the check, the version read and the parsed view,
// on data of exactly the fuzzed length, so any read past it is caught by the sanitizers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "discovery/utility.h"
#include "firmware/fw_image.h"
#include "hw/interctl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap copy of exactly `size` bytes (the fuzzer's own buffer may be larger or absent).
  std::vector<uint8_t> image(data, data + size);
  const uint8_t* p = image.empty() ? nullptr : image.data();

  g_Utility.m_dwFWFileLength = static_cast<uint32_t>(size);
  uint8_t version[6] = {};
  const int rc = g_Interctl.Get_Version_From_File(p, size, version);
  if (rc != 0 && rc != -3) std::abort();

  BinFileStruct parsed;
  const int parse_rc = g_Utility.GetBinFileStruct(p, size, parsed);
  if (rc == 0) {
    // A checked image parses in full and agrees with the file state.
    if (parse_rc != 0) std::abort();
    if (parsed.wCfgLength != g_Utility.m_wCfgBlockLength) std::abort();
    if (parsed.dwCodeLength != g_Utility.m_dwFWCodeLength) std::abort();
    if (parsed.pFWCode.size() != parsed.dwCodeLength) std::abort();
    if (parsed.pCfgBody.size() + CFG_BODY_OFFSET != parsed.wCfgLength) std::abort();
    if (nvl::fw::Checksum8(parsed.pFWCode.data(), parsed.pFWCode.size()) != parsed.bCodeChecksum) {
      std::abort();
    }
    if (std::memcmp(version, parsed.pFWCode.data() + FW_VERSION_OFFSET, FW_VERSION_LENGTH) != 0) {
      std::abort();
    }
    (void)strFormatFirmwareVersion(version);
  }
  return 0;
}
