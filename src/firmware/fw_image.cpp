// CRC-32, checksums, the version text and the CRC table of g_Utility.
#include "firmware/fw_image.h"

#include <cstdio>

#include "discovery/utility.h"

namespace nvl::fw {
namespace {

constexpr uint32_t kCrcPolynomial = 0x04C11DB7;

uint32_t Reflect(uint32_t value, int bits) {
  uint32_t out = 0;
  for (int i = 0; i < bits; ++i) {
    if (value & (1u << i)) out |= 1u << (bits - 1 - i);
  }
  return out;
}

}  // namespace

void BuildCrc32Table(uint32_t table[256]) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = Reflect(i, 8) << 24;
    for (int step = 0; step < 8; ++step) {
      crc = (crc & 0x80000000u) ? (crc << 1) ^ kCrcPolynomial : crc << 1;
    }
    table[i] = Reflect(crc, 32);
  }
}

uint32_t Crc32(const uint32_t table[256], const uint8_t* data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i)
    crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  return ~crc;
}

uint8_t Checksum8(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; ++i)
    sum += data[i];
  return static_cast<uint8_t>(sum & 0xFFu);
}

uint32_t ReadLittleEndian(const uint8_t* p, uint32_t size) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < size; ++i)
    value |= uint32_t{p[i]} << (8 * i);
  return value;
}

}  // namespace nvl::fw

void CUtility::vInitCrc32Table() {
  nvl::fw::BuildCrc32Table(m_dwCrc32Table);
}
