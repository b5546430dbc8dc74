#include "firmware/image_builder.h"

#include <cstring>

#include "firmware/fw_image.h"
#include "platform/text.h"

namespace nvl::fw {
namespace {

void PutLe(std::vector<uint8_t>& out, size_t offset, uint32_t value, uint32_t size) {
  for (uint32_t i = 0; i < size; ++i)
    out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void SetError(std::string* error, const char* text) {
  if (error != nullptr) *error = text;
}

}  // namespace

std::optional<BuiltImage> BuildImage(const ImageSpec& desc, std::string* error) {
  const bool b = desc.family == ImageFamily::B;
  const uint8_t type = b ? FW_DEVICE_TYPE_B : FW_DEVICE_TYPE_A;
  if (desc.code_size < FW_VERSION_OFFSET + FW_VERSION_LENGTH) {
    SetError(error, "code size must be at least 0x86 bytes (the version lies at code offset 0x80)");
    return std::nullopt;
  }
  if (!b && desc.code_size > 0xFFFF) {
    SetError(error, "family A code size must fit its 16-bit length field (at most 0xFFFF)");
    return std::nullopt;
  }
  const uint64_t cfg_length64 = uint64_t{CFG_BODY_OFFSET} + REG_RECORD_LENGTH * desc.records.size();
  if (cfg_length64 > 0xFFFF) {
    SetError(error, "too many records for the 16-bit config block length");
    return std::nullopt;
  }
  const uint16_t cfg_length = static_cast<uint16_t>(cfg_length64);
  const uint32_t field = CodeLengthFieldSize(type);
  const uint64_t code = CodeOffset(cfg_length, type);
  const uint64_t end = code + desc.code_size + FW_SIGNATURE_LENGTH + 1 + FW_TRAILER_LENGTH;
  uint64_t total = end + desc.padding;
  if (desc.pad_to > total) total = desc.pad_to;
  if (total > 0xFFFFFFFFull) {
    SetError(error, "image longer than 4 GiB");
    return std::nullopt;
  }

  BuiltImage built;
  auto& out = built.bytes;
  out.assign(static_cast<size_t>(total), 0);

  // Config block.
  std::memcpy(out.data(), desc.header.data(), desc.header.size());
  PutLe(out, CFG_LENGTH_OFFSET, cfg_length, 2);
  std::memcpy(out.data() + CFG_SIGNATURE_OFFSET, b ? CFG_SIGNATURE_B : CFG_SIGNATURE_A,
              CFG_SIGNATURE_LENGTH);
  std::memcpy(out.data() + CFG_AREA_OFFSET, desc.config_area.data(), CFG_AREA_LENGTH);
  size_t at = CFG_BODY_OFFSET;
  for (const auto& r : desc.records) {
    out[at] = r.marker;
    out[at + 1] = r.width;
    PutLe(out, at + 2, r.address, 2);
    const uint32_t mask = r.width >= 4 ? 0xFFFFFFFFu : r.width >= 2 ? 0xFFFFu : 0xFFu;
    PutLe(out, at + 4, r.value & mask, 4);
    at += REG_RECORD_LENGTH;
  }
  out[cfg_length] = Checksum8(out.data(), cfg_length);
  uint32_t table[256];
  BuildCrc32Table(table);
  PutLe(out, cfg_length + 1u, Crc32(table, out.data(), cfg_length), 4);
  PutLe(out, cfg_length + 5u, desc.code_size, field);

  // Code: a reproducible byte sequence (xorshift32) with the version at 0x80.
  uint32_t state = desc.code_seed == 0 ? 0x9E3779B9u : desc.code_seed;
  for (uint32_t i = 0; i < desc.code_size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    out[code + i] = static_cast<uint8_t>(state >> 24);
  }
  std::memcpy(out.data() + code + FW_VERSION_OFFSET, desc.version.data(), FW_VERSION_LENGTH);
  const size_t behind = static_cast<size_t>(code + desc.code_size);
  std::memcpy(out.data() + behind, b ? FW_SIGNATURE_B : FW_SIGNATURE_A, FW_SIGNATURE_LENGTH);
  out[behind + FW_SIGNATURE_LENGTH] = Checksum8(out.data() + code, desc.code_size);
  std::memcpy(out.data() + behind + FW_SIGNATURE_LENGTH + 1, desc.trailer.data(),
              FW_TRAILER_LENGTH);

  built.layout.cfg_length = cfg_length;
  built.layout.code_offset = static_cast<uint32_t>(code);
  built.layout.code_length = desc.code_size;
  built.layout.image_end = static_cast<uint32_t>(end);

  switch (desc.corruption) {
    case ImageCorruption::None:
      break;
    case ImageCorruption::ConfigSignature:
      out[CFG_SIGNATURE_OFFSET + 3] = '9';
      break;
    case ImageCorruption::ConfigChecksum:
      ++out[cfg_length];
      break;
    case ImageCorruption::FirmwareSignature:
      std::memcpy(out.data() + behind, b ? FW_SIGNATURE_A : FW_SIGNATURE_B, FW_SIGNATURE_LENGTH);
      break;
    case ImageCorruption::CodeChecksum:
      ++out[behind + FW_SIGNATURE_LENGTH];
      break;
    case ImageCorruption::CfgLengthTooLarge:
      PutLe(out, CFG_LENGTH_OFFSET, 0xFFFF, 2);
      break;
    case ImageCorruption::CodeLengthTooLarge:
      PutLe(out, cfg_length + 5u, b ? 0xFFFFFFFFu : 0xFFFFu, field);
      break;
    case ImageCorruption::Truncate: {
      const size_t keep =
          desc.truncate_to != 0 ? desc.truncate_to : static_cast<size_t>(code + desc.code_size / 2);
      if (keep < out.size()) out.resize(keep);
      break;
    }
  }
  return built;
}

std::optional<ImageCorruption> ParseCorruption(const std::string& name) {
  struct Name {
    const char* text;
    ImageCorruption value;
  };
  static constexpr Name kNames[] = {
      {"none", ImageCorruption::None},
      {"cfg-signature", ImageCorruption::ConfigSignature},
      {"cfg-checksum", ImageCorruption::ConfigChecksum},
      {"fw-signature", ImageCorruption::FirmwareSignature},
      {"code-checksum", ImageCorruption::CodeChecksum},
      {"cfg-length", ImageCorruption::CfgLengthTooLarge},
      {"code-length", ImageCorruption::CodeLengthTooLarge},
      {"truncate", ImageCorruption::Truncate},
  };
  for (const auto& n : kNames) {
    if (name == n.text) return n.value;
  }
  return std::nullopt;
}

}  // namespace nvl::fw
