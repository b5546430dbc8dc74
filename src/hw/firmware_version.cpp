#include "hw/firmware_version.h"

#include <cstdio>

#include "platform/text.h"

std::string strFormatFirmwareVersion(const uint8_t* v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X_%02X_%02X_%02X", v[0], v[1], v[2], v[3], v[4], v[5]);
  return buf;
}

std::optional<std::array<uint8_t, 6>> ParseFirmwareVersionText(const std::string& text) {
  if (text.size() != 15 || text[6] != '_' || text[9] != '_' || text[12] != '_') return std::nullopt;
  static constexpr size_t kPos[6] = {0, 2, 4, 7, 10, 13};
  std::array<uint8_t, 6> v{};
  for (size_t i = 0; i < 6; ++i) {
    const int hi = nvl::HexDigit(text[kPos[i]]);
    const int lo = nvl::HexDigit(text[kPos[i] + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    v[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return v;
}
