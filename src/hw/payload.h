// Mailbox payload words: bytes first .. first+3 of a payload of `size` bytes, little-endian
// (byte first in bits 0-7); bytes at or beyond size count as 0.
#pragma once

#include <cstdint>

inline uint32_t PackLittleEndian(const uint8_t* bytes, uint32_t size, uint32_t first) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < 4 && first + i < size; ++i) {
    v |= static_cast<uint32_t>(bytes[first + i]) << (8 * i);
  }
  return v;
}
