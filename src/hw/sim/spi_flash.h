// The SPI flash chip on a simulated board, as the board's MCU sees it.  The MCU turns the
// mailbox's flash commands into calls here; the chip keeps its contents, a status register with
// a write-enable latch and block-protect bits, and the faults the station file injects.
//
// Behaviour:
//  - Identification: a read with the chip's own opcode and argument answers its three
//    identification bytes; any other opcode or argument answers FF FF FF (nothing drives the bus).
//  - Status register: bit 1 is the write-enable latch (set by opcode 0x06, cleared by 0x04 and by
//    every status write); a status write takes effect only while the latch is set and keeps
//    bits 7..2 of the value.  Any of the block-protect bits 4..2 protects the whole chip.
//  - Erase and program are refused while the chip is protected.  The MCU sets the latch itself
//    for them, as it drives the SPI bus.  Sectors are erased to 0xFF; programming clears bits
//    only (new = old AND data); stuck bits never clear.  An erase must start inside the chip;
//    its sectors that lie past the end continue at address 0, since the chip decodes only the
//    address bits of its own size.
//  - A section write begins with 0x11 or 0x1D; 8-byte writes and the end piece are refused
//    outside a section, and the end piece closes it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace nvl::sim {

struct StuckBits {
  uint32_t address = 0;
  uint8_t mask = 0;  // bits that stay 1 however they are programmed
};

// The chip as the station file describes it ("flash" object of a board).
struct FlashSpec {
  std::array<uint8_t, 3> id{0xC2, 0x20, 0x11};
  uint8_t id_opcode = 0x9F;
  uint8_t id_arg = 0x00;
  uint32_t size = 0x20000;
  uint32_t sector_size = 0x1000;
  std::vector<StuckBits> stuck_bits;
  uint64_t read_mismatches = 0;  // the first k data reads answer wrong data
};

inline constexpr uint8_t kFlashStatusWel = 0x02;
inline constexpr uint8_t kFlashStatusProtectBits = 0x1C;

class SpiFlashChip {
 public:
  SpiFlashChip(const FlashSpec& desc, uint8_t status);

  std::array<uint8_t, 3> ReadId(uint8_t opcode, uint32_t argument) const;
  uint8_t Status() const { return status_; }
  bool Protected() const { return (status_ & kFlashStatusProtectBits) != 0; }
  // One SPI opcode; false for an opcode the MCU does not pass on.
  bool Opcode(uint8_t opcode);
  // Status register write: `opcode` must be 0x01.
  bool WriteStatus(uint8_t opcode, uint8_t value);
  bool Erase(uint32_t address, uint32_t sectors);
  bool BeginSection(uint32_t address);
  bool Program(uint32_t address, const uint8_t* bytes, uint32_t count);
  bool EndSection(uint32_t address, const uint8_t* bytes, uint32_t count);
  bool Read(uint32_t address, uint32_t count, uint8_t* out);

  const std::vector<uint8_t>& contents() const { return contents_; }
  const FlashSpec& desc() const { return spec_; }
  uint64_t erase_count() const { return erases_; }

 private:
  bool ProgramBytes(uint32_t address, const uint8_t* bytes, uint32_t count);

  FlashSpec spec_;
  uint8_t status_;
  std::vector<uint8_t> contents_;
  std::vector<uint8_t> stuck_;  // per byte: bits that never clear
  bool in_section_ = false;
  uint64_t reads_ = 0;
  uint64_t erases_ = 0;
};

}  // namespace nvl::sim
