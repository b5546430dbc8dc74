// The controller's command mailbox in PCI configuration space.  0xE0 (hand-back) and 0xF0..0xFC
// (reply data and the words the mailbox clear zeroes) are the controller's fixed registers; the
// command registers at 0xC0..0xDC are this project's own map, see docs/mailbox.md.
#pragma once

#include <cstdint>

namespace nvl::mbx {

inline constexpr uint32_t kCommand = 0xC0;    // dword: bits 7:0 command code, bits 15:8 space
inline constexpr uint32_t kSize = 0xC4;       // dword: payload or reply byte count
inline constexpr uint32_t kAddress = 0xC8;    // dword: MCU address within the space
inline constexpr uint32_t kDataLow = 0xCC;    // dword: payload bytes 0..3, little-endian
inline constexpr uint32_t kDataHigh = 0xD0;   // dword: payload bytes 4..7, little-endian
inline constexpr uint32_t kDoorbell = 0xD4;   // byte: write kRing to post the command
inline constexpr uint32_t kStatus = 0xD8;     // dword, read only: the status bits below
inline constexpr uint32_t kSequence = 0xDC;   // dword, read only: commands taken so far
inline constexpr uint32_t kHandBack = 0xE0;   // byte: 1 after a short reply was taken
inline constexpr uint32_t kReplyData = 0xF0;  // bytes 0xF0..0xF7: reply data bytes 0..7
inline constexpr uint32_t kClearWords[4] = {0xF0, 0xF4, 0xF8, 0xFC};

inline constexpr uint8_t kRing = 0x01;

// Status bits.
inline constexpr uint32_t kStatusBusy = 1u << 0;        // posted, not yet taken by the MCU
inline constexpr uint32_t kStatusDone = 1u << 1;        // taken and carried out
inline constexpr uint32_t kStatusReplyReady = 1u << 2;  // reply data valid at kReplyData
inline constexpr uint32_t kStatusError = 1u << 3;       // the MCU refused the command
inline constexpr uint32_t kStatusErrorCodeShift = 16;   // bits 31:16: the MCU's error number

// Reply record filled by ReadCMD (44 bytes): the echoed command words, then the data.
inline constexpr uint32_t kRecordSize = 44;
inline constexpr uint32_t kRecordDataOffset = 12;  // bytes 12..19: the eight reply data bytes
inline constexpr uint32_t kRecordStatusOffset = 20;

}  // namespace nvl::mbx
