// The check of a firmware image in memory and the version read from it (CInterctl).
#include <cstring>

#include "discovery/utility.h"
#include "firmware/fw_image.h"
#include "hw/interctl.h"
#include "platform/diag_log.h"

namespace {

constexpr const char* kCheckName = "CInterctl::Check_Firmware_File";
constexpr int kDataNotMatch = -3;
// The version bytes must lie inside the code.
constexpr uint64_t kMinCodeLength = FW_VERSION_OFFSET + FW_VERSION_LENGTH;

}  // namespace

int CInterctl::Check_Firmware_File(const uint8_t* image, size_t length) {
  const uint64_t avail = image == nullptr ? 0 : length;

  // 1. Config signature decides the family.
  if (avail < CFG_HEADER_LENGTH) {
    g_Utility.m_bFWDeviceType = FW_DEVICE_TYPE_NONE;
    LogMessage(1, "\r\n%s:%d: \n image length %llu shorter than the config header \n", kCheckName,
               __LINE__, static_cast<unsigned long long>(avail));
    return kDataNotMatch;
  }
  const uint8_t* signature = image + CFG_SIGNATURE_OFFSET;
  uint8_t type = FW_DEVICE_TYPE_NONE;
  if (std::memcmp(signature, CFG_SIGNATURE_A, CFG_SIGNATURE_LENGTH) == 0) {
    type = FW_DEVICE_TYPE_A;
  } else if (std::memcmp(signature, CFG_SIGNATURE_B, CFG_SIGNATURE_LENGTH) == 0) {
    type = FW_DEVICE_TYPE_B;
  }
  g_Utility.m_bFWDeviceType = type;
  if (type == FW_DEVICE_TYPE_NONE) {
    char found[CFG_SIGNATURE_LENGTH + 1] = {};  // the ten bytes are not terminated in the file
    std::memcpy(found, signature, CFG_SIGNATURE_LENGTH);
    LogMessage(1, "\r\n%s:%d: \n config signature [%10s] invalid, CFG_SIGNATURE_OFFSET=%x \n",
               kCheckName, __LINE__, found, CFG_SIGNATURE_OFFSET);
    return kDataNotMatch;
  }

  // 2. Config block checksum.
  const uint16_t cfg_length =
      static_cast<uint16_t>(nvl::fw::ReadLittleEndian(image + CFG_LENGTH_OFFSET, 2));
  g_Utility.m_wCfgBlockLength = cfg_length;
  const uint32_t field = nvl::fw::CodeLengthFieldSize(type);
  if (cfg_length < CFG_BODY_OFFSET || uint64_t{cfg_length} + 5 + field > avail) {
    LogMessage(1, "\r\n%s:%d: \n config block length L=%u outside the image (length %llu) \n",
               kCheckName, __LINE__, static_cast<unsigned>(cfg_length),
               static_cast<unsigned long long>(avail));
    return kDataNotMatch;
  }
  const uint8_t cfg_sum = nvl::fw::Checksum8(image, cfg_length);
  g_Utility.m_bCfgChecksum = cfg_sum;
  const uint8_t cfg_stored = image[cfg_length];
  if (cfg_sum != cfg_stored) {
    LogMessage(1, "\r\n%s:%d: \n config checksum invalid, stored=%02X, computed=%02X \n",
               kCheckName, __LINE__, cfg_stored, cfg_sum);
    return kDataNotMatch;
  }

  // 3. Firmware signature behind the code.
  const uint32_t code_length = nvl::fw::ReadLittleEndian(image + cfg_length + 5, field);
  const uint64_t code = nvl::fw::CodeOffset(cfg_length, type);
  const uint64_t end = code + code_length + FW_SIGNATURE_LENGTH + 1 + FW_TRAILER_LENGTH;
  if (code_length < kMinCodeLength || end > avail) {
    LogMessage(1, "\r\n%s:%d: \n firmware code length N=%u outside the image (length %llu) \n",
               kCheckName, __LINE__, code_length, static_cast<unsigned long long>(avail));
    return kDataNotMatch;
  }
  const uint8_t* fw_signature = image + code + code_length;
  const char* expected = type == FW_DEVICE_TYPE_B ? FW_SIGNATURE_B : FW_SIGNATURE_A;
  if (std::memcmp(fw_signature, expected, FW_SIGNATURE_LENGTH) != 0) {
    char found[FW_SIGNATURE_LENGTH + 1] = {};
    std::memcpy(found, fw_signature, FW_SIGNATURE_LENGTH);
    // The zero flag on %s is part of the line's fixed form; the C library ignores it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    LogMessage(1, "\r\n%s:%d: \n  firmware signature [%08s] invalid \n", kCheckName, __LINE__,
               found);
#pragma GCC diagnostic pop
    return kDataNotMatch;
  }

  // 4. Code checksum.
  g_Utility.m_dwFWCodeLength = code_length;
  const uint8_t code_sum = nvl::fw::Checksum8(image + code, code_length);
  g_Utility.m_bFWCodeChecksum = code_sum;
  const uint8_t code_stored = fw_signature[FW_SIGNATURE_LENGTH];
  if (code_sum != code_stored) {
    LogMessage(1, "\r\n%s:%d: \n firmware code checksum invalid, stored=%02X, computed=%02X \n",
               kCheckName, __LINE__, code_stored, code_sum);
    return kDataNotMatch;
  }

  // 5.
  g_Utility.m_bFWChipType = 0;
  return 0;
}

int CInterctl::Get_Version_From_File(const uint8_t* image, size_t length, uint8_t* version) {
  g_Utility.m_bFWChipType = 0;
  g_Utility.m_bFWDeviceType = 0;
  g_Utility.m_wCfgBlockLength = 0;
  g_Utility.m_dwFWCodeLength = 0;
  g_Utility.m_bCfgChecksum = 0;
  g_Utility.m_bFWCodeChecksum = 0;
  const int rc = Check_Firmware_File(image, length);
  if (rc != 0) return rc;
  const uint8_t type = g_Utility.m_bFWDeviceType;
  const uint8_t* v =
      image + nvl::fw::CodeOffset(g_Utility.m_wCfgBlockLength, type) + FW_VERSION_OFFSET;
  if (version != nullptr) std::memcpy(version, v, FW_VERSION_LENGTH);
  if (type == FW_DEVICE_TYPE_B) {
    switch (v[3]) {
      case 'p':
        g_Utility.m_bFWChipType = 1;
        break;
      case 'P':
        g_Utility.m_bFWChipType = 0;
        break;
      default:
        g_Utility.m_bFWChipType = 0xFF;
        break;
    }
  }
  return 0;
}
