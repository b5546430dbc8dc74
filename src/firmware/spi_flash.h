// SPI flash programming through the controller's MCU (the CInterctl members declared in
// hw/interctl.h, implemented in firmware/spi_flash.cpp): identify the part from the part table
// (firmware/spi_rom_parts.h), unprotect, erase, write in sections of 8-byte commands, read back
// and compare, retry, protect again and restart the controller.
//
// Choices made here:
//  - Second copy.  When the first copy was verified, the flash holds at least 128 KB and the
//    image at most 64 KB, the image is written a second time.  The second copy starts at the
//    first sector boundary at or after the end of the first copy (the image length rounded up
//    to the sector size), never inside the sector that holds the end of the first copy, so its
//    erase cannot touch the first copy.  For images of whole sectors that is the image length
//    itself.  When the rounded start plus the image would not fit the flash, the second copy is
//    left out.
//  - Compare.  A piece whose three reads all fail ends the compare with the channel's error; it
//    is never compared as zero bytes, so an unreadable flash cannot pass as a zero-filled image.
//  - Split erase near the end of the flash.  The split erase's last step reaches past the chunk
//    when the chunk's sector count is odd (five or more).  The chip decodes only the address bits
//    of its own size, so a step reaching past the end of the flash would go on erasing at
//    address 0 and destroy a copy already verified.  Such a step is cut at the end of the flash;
//    an erase whose own range is not inside the flash is refused (ERR_INVALID_PARAMETER, nothing
//    sent).
//  - Refusals.  Update_Firmware refuses (ERR_INVALID_PARAMETER, nothing sent) an empty image, a
//    record that names no part, and an image longer than the flash, which would otherwise be
//    written past the end of the chip.
//  - Stops.  Every wait goes through nvl::Clock::SleepMs; a wait cut short by a stop request
//    ends the operation at once with kIoErrTimeout (no further attempt).
#pragma once

#include <cstdint>
#include <functional>

#include "firmware/spi_rom_parts.h"

// Flash commands of the MCU (space SPACE_FLASH).
inline constexpr uint8_t CMD_SPI_OPCODE = 0x19;        // one SPI opcode
inline constexpr uint8_t CMD_SPI_SETUP = 0x1B;         // SPI set-up byte
inline constexpr uint8_t CMD_SPI_WRITE_STATUS = 0x1C;  // status register write
inline constexpr uint8_t CMD_SPI_ERASE = 0x30;         // erase sectors
inline constexpr uint8_t CMD_SPI_BEGIN = 0x11;         // begin a section write
inline constexpr uint8_t CMD_SPI_BEGIN_PACED = 0x1D;   // begin a section write, paced parts
inline constexpr uint8_t CMD_SPI_WRITE8 = 0x1E;        // write 8 bytes
inline constexpr uint8_t CMD_SPI_END = 0x1F;           // last piece of a section

inline constexpr uint8_t SPI_WRITE_ENABLE = 0x06;
inline constexpr uint8_t SPI_WRITE_DISABLE = 0x04;
inline constexpr uint32_t SPI_STATUS_UNPROTECT = 0x0301;  // opcode 0x01, status 0x03
inline constexpr uint32_t SPI_STATUS_PROTECT = 0x9F01;    // opcode 0x01, status 0x9F
inline constexpr uint8_t SPI_SETUP_DEFAULT = 0x80;
inline constexpr uint8_t SPI_SETUP_ALTERNATE = 0x20;  // parts identified as C2 22 10 / C2 22 11
inline constexpr uint32_t SPI_PACING_ADDR = 0xF341;   // data memory byte read for paced parts

inline constexpr uint32_t FLASH_BACKUP_MIN_FLASH = 0x20000;  // flash size for a second copy
inline constexpr uint32_t FLASH_BACKUP_MAX_IMAGE = 0x10000;  // image size for a second copy
inline constexpr int FLASH_ATTEMPTS = 3;
inline constexpr uint32_t FLASH_SECTORS_PER_CHUNK = 16;
inline constexpr int ERR_FLASH_MISMATCH = -6;

// The waits of the protocol, station milliseconds.
inline constexpr int64_t kFlashStatusWaitMs = 200;
inline constexpr int64_t kFlashEraseEndWaitMs = 500;
inline constexpr int64_t kFlashAfterEraseWaitMs = 1000;
inline constexpr int64_t kFlashSplitEraseUnitMs = 5;

namespace nvl::fw {

// Sizes derived from a part record.
inline uint32_t SectorSize(const SpiRomPart& part) {
  return part.bSectorSize4K * 4096u;
}
inline uint32_t FlashSize(const SpiRomPart& part) {
  return part.wFlashSize4K * 4096u;
}

// Where the second copy of an image of `length` bytes goes, or 0 when there is none.
uint32_t SecondCopyAddress(const SpiRomPart& part, uint32_t length);

// Observes every wait the flash operations ask for (station milliseconds), before it is made.
// Used to sum the protocol's own waits (benchmark) and to check them (tests).  Empty: none.
// Not to be changed while flash operations run.
void SetFlashWaitObserver(std::function<void(int64_t)> observer);

}  // namespace nvl::fw
