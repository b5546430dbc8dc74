#include "hw/sim/spi_flash.h"

namespace nvl::sim {

SpiFlashChip::SpiFlashChip(const FlashSpec& desc, uint8_t status)
    : spec_(desc), status_(status), contents_(desc.size, 0xFF), stuck_(desc.size, 0) {
  for (const auto& s : spec_.stuck_bits) {
    if (s.address < spec_.size) stuck_[s.address] |= s.mask;
  }
}

std::array<uint8_t, 3> SpiFlashChip::ReadId(uint8_t opcode, uint32_t argument) const {
  if (opcode == spec_.id_opcode && argument == spec_.id_arg) return spec_.id;
  return {0xFF, 0xFF, 0xFF};
}

bool SpiFlashChip::Opcode(uint8_t opcode) {
  switch (opcode) {
    case 0x06:
      status_ = static_cast<uint8_t>(status_ | kFlashStatusWel);
      return true;
    case 0x04:
      status_ = static_cast<uint8_t>(status_ & ~kFlashStatusWel);
      return true;
    default:
      return false;
  }
}

bool SpiFlashChip::WriteStatus(uint8_t opcode, uint8_t value) {
  if (opcode != 0x01) return false;
  if (status_ & kFlashStatusWel) status_ = static_cast<uint8_t>(value & 0xFC);
  status_ = static_cast<uint8_t>(status_ & ~kFlashStatusWel);
  return true;
}

bool SpiFlashChip::Erase(uint32_t address, uint32_t sectors) {
  if (Protected() || sectors == 0 || address >= spec_.size) return false;
  ++erases_;
  // The chip decodes only the address bits of its own size: sectors past the end continue at
  // address 0, as on a real part (at most once round the chip).
  const uint32_t total = spec_.size / spec_.sector_size;
  const uint32_t first = address / spec_.sector_size;
  const uint32_t n = sectors < total ? sectors : total;
  for (uint32_t i = 0; i < n; ++i) {
    const uint64_t at = static_cast<uint64_t>((first + i) % total) * spec_.sector_size;
    for (uint64_t k = at; k < at + spec_.sector_size; ++k)
      contents_[k] = 0xFF;
  }
  return true;
}

bool SpiFlashChip::BeginSection(uint32_t address) {
  if (Protected() || address >= spec_.size) return false;
  in_section_ = true;
  return true;
}

bool SpiFlashChip::ProgramBytes(uint32_t address, const uint8_t* bytes, uint32_t count) {
  if (!in_section_ || Protected() || static_cast<uint64_t>(address) + count > spec_.size) {
    in_section_ = false;
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    contents_[address + i] =
        static_cast<uint8_t>((contents_[address + i] & bytes[i]) | stuck_[address + i]);
  }
  return true;
}

bool SpiFlashChip::Program(uint32_t address, const uint8_t* bytes, uint32_t count) {
  return ProgramBytes(address, bytes, count);
}

bool SpiFlashChip::EndSection(uint32_t address, const uint8_t* bytes, uint32_t count) {
  const bool ok = count == 0 ? in_section_ && !Protected() : ProgramBytes(address, bytes, count);
  in_section_ = false;
  return ok;
}

bool SpiFlashChip::Read(uint32_t address, uint32_t count, uint8_t* out) {
  if (count == 0 || count > 8 || static_cast<uint64_t>(address) + count > spec_.size) return false;
  for (uint32_t i = 0; i < count; ++i)
    out[i] = contents_[address + i];
  if (reads_++ < spec_.read_mismatches) out[0] = static_cast<uint8_t>(~out[0]);
  return true;
}

}  // namespace nvl::sim
