// SPI flash programming: identification, protection, erase, section writes, compare and the
// update sequence with its attempts and second copy.  See firmware/spi_flash.h for the choices.
#include "firmware/spi_flash.h"

#include <cstring>
#include <mutex>

#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "hw/payload.h"
#include "platform/clock.h"
#include "platform/diag_log.h"

namespace nvl::fw {
namespace {

std::mutex g_observer_mutex;
std::function<void(int64_t)> g_observer;

}  // namespace

void SetFlashWaitObserver(std::function<void(int64_t)> observer) {
  std::lock_guard lock(g_observer_mutex);
  g_observer = std::move(observer);
}

// Every wait of this file: false when the thread's stop was requested.
static bool Wait(int64_t ms) {
  {
    std::lock_guard lock(g_observer_mutex);
    if (g_observer) g_observer(ms);
  }
  return nvl::Clock::SleepMs(ms);
}

uint32_t SecondCopyAddress(const SpiRomPart& part, uint32_t length) {
  const uint32_t sector = SectorSize(part);
  const uint64_t flash = FlashSize(part);
  if (sector == 0 || length == 0) return 0;
  if (flash < FLASH_BACKUP_MIN_FLASH || length > FLASH_BACKUP_MAX_IMAGE) return 0;
  const uint64_t start = (static_cast<uint64_t>(length) + sector - 1) / sector * sector;
  if (start + length > flash) return 0;
  return static_cast<uint32_t>(start);
}

}  // namespace nvl::fw

namespace {

bool IsPacedPart(const SpiRomPart& part) {
  return part.abJedecId[0] == 0xBF;
}

// Parts whose erase is given in halves with a wait after each step.
bool IsSplitErasePart(const SpiRomPart& part) {
  return (part.abJedecId[0] == 0xC8 && part.abJedecId[1] == 0x40) ||
         (part.abJedecId[0] == 0x20 && part.abJedecId[1] == 0x20);
}

bool NeedsAlternateSetup(const SpiRomPart& part) {
  return part.abJedecId[0] == 0xC2 && part.abJedecId[1] == 0x22 &&
         (part.abJedecId[2] == 0x10 || part.abJedecId[2] == 0x11);
}

}  // namespace

SpiRomPart EmptySpiRomPart() {
  SpiRomPart p;
  std::memset(&p, 0xFF, sizeof p);
  return p;
}

SpiRomPart CInterctl::Find_SPIRom_Part(const HostInfo& host) {
  for (const SpiRomPart& row : g_SpiRomPartTable) {
    uint8_t id[3] = {0, 0, 0};
    if (McuCommandRead(host, SPACE_FLASH_ID, row.bReadIdArg, 3, row.bReadIdOpcode, id) < 0) {
      return EmptySpiRomPart();
    }
    if (id[0] == row.abJedecId[0] && id[1] == row.abJedecId[1] &&
        (row.abJedecId[2] == 0xFF || row.abJedecId[2] == id[2])) {
      return row;
    }
  }
  return EmptySpiRomPart();
}

SpiRomPart CInterctl::Init_SPIRom(const HostInfo& host) {
  if (McuCommandWrite(host, CMD_SPI_SETUP, SPACE_FLASH, 1, 0, SPI_SETUP_DEFAULT, 0) < 0) {
    return EmptySpiRomPart();
  }
  const SpiRomPart part = Find_SPIRom_Part(host);
  if (bSpiRomPartEmpty(part)) return part;
  if (NeedsAlternateSetup(part) &&
      McuCommandWrite(host, CMD_SPI_SETUP, SPACE_FLASH, 1, 0, SPI_SETUP_ALTERNATE, 0) < 0) {
    return part;
  }
  Protect_SPIRom(host, 0);
  return part;
}

int CInterctl::Protect_SPIRom(const HostInfo& host, uint8_t protect) {
  int rc = McuCommandWrite(host, CMD_SPI_OPCODE, SPACE_FLASH, 1, 0, SPI_WRITE_ENABLE, 0);
  if (rc < 0) return rc;
  if (!nvl::fw::Wait(kFlashStatusWaitMs)) return kIoErrTimeout;
  rc = McuCommandWrite(host, CMD_SPI_WRITE_STATUS, SPACE_FLASH, 2, 0,
                       protect ? SPI_STATUS_PROTECT : SPI_STATUS_UNPROTECT, 0);
  if (rc < 0) return rc;
  if (!nvl::fw::Wait(kFlashStatusWaitMs)) return kIoErrTimeout;
  if (protect) {
    rc = McuCommandWrite(host, CMD_SPI_OPCODE, SPACE_FLASH, 1, 0, SPI_WRITE_DISABLE, 0);
    if (rc < 0) return rc;
    if (!nvl::fw::Wait(kFlashStatusWaitMs)) return kIoErrTimeout;
  }
  return 0;
}

int CInterctl::Erase_SPIRom(const HostInfo& host, const SpiRomPart& part, uint32_t count,
                            uint32_t address, int retry) {
  const uint32_t sector = nvl::fw::SectorSize(part);
  if (sector == 0 || count == 0) return ERR_INVALID_PARAMETER;
  // The chip decodes only the address bits of its own size: anything sent past its end would
  // land at the start of the flash.
  const uint64_t flash = nvl::fw::FlashSize(part);
  if (static_cast<uint64_t>(address) + count > flash) return ERR_INVALID_PARAMETER;
  const uint32_t flash_sectors = static_cast<uint32_t>(flash / sector);
  const uint32_t sectors = (count + sector - 1) / sector;
  const uint32_t low = part.bReadIdOpcode | (static_cast<uint32_t>(part.bReadIdArg) << 8) |
                       (static_cast<uint32_t>(part.bChipEraseOpcode) << 16) |
                       (static_cast<uint32_t>(part.bSectorSize4K) << 24);
  const uint32_t high = (part.wFlashSize4K & 0xFFu) |
                        (static_cast<uint32_t>(part.bSectorEraseOpcode) << 8) |
                        (static_cast<uint32_t>(part.bEraseWait) << 16) |
                        (static_cast<uint32_t>(part.abJedecId[0]) << 24);
  int rc = 0;
  if (IsSplitErasePart(part)) {
    const uint32_t step = sectors / 2 > 0 ? sectors / 2 : 1;
    const int64_t step_wait =
        static_cast<int64_t>(retry + 1) * part.bEraseWait * kFlashSplitEraseUnitMs;
    uint32_t at = address;
    for (uint32_t covered = 0; covered < sectors; covered += step) {
      // An odd count ends with a step past the chunk; it stops at the end of the flash, where
      // going on would erase the start of the flash (a copy already verified).
      const uint32_t left = flash_sectors - at / sector;
      const uint32_t n = step < left ? step : left;
      if (n == 0) break;
      rc = McuCommandWrite(host, CMD_SPI_ERASE, SPACE_FLASH, n, at, low, high);
      if (rc < 0) break;
      if (!nvl::fw::Wait(step_wait)) return kIoErrTimeout;
      at += n * sector;
    }
  } else {
    rc = McuCommandWrite(host, CMD_SPI_ERASE, SPACE_FLASH, sectors, address, low, high);
    if (rc < 0) {
      LogMessage(1, "\r\n%s:%d: Erease SPI Sector Failed , sector_count = %d\n",
                 "CInterctl::Erase_SPIRom", __LINE__, static_cast<int>(sectors));
      return rc;
    }
  }
  if (!nvl::fw::Wait(kFlashEraseEndWaitMs)) return kIoErrTimeout;
  return rc;
}

int CInterctl::Write_Section(const HostInfo& host, const SpiRomPart& part, const uint8_t* data,
                             uint32_t address, uint32_t count) {
  if (data == nullptr || count == 0) return ERR_INVALID_PARAMETER;
  int rc = 0;
  if (IsPacedPart(part)) {
    uint8_t mode = 0;
    rc = Read_8051_Memory(host, SPACE_DATA, SPI_PACING_ADDR, 1, &mode);
    if (rc < 0) return rc;
    const uint32_t pacing = ((mode & 0x02) ? 0x80u : 0xF0u) + 128u * m_ucSpiRetry;
    rc = McuCommandWrite(host, CMD_SPI_BEGIN_PACED, SPACE_FLASH, 0, address, pacing, 0);
  } else {
    rc = McuCommandWrite(host, CMD_SPI_BEGIN, SPACE_FLASH, 0, address, 0, 0);
  }
  if (rc < 0) return rc;

  uint32_t done = 0;
  if (count >= 8) {
    do {
      const uint32_t low = PackLittleEndian(data + done, 8, 0);
      const uint32_t high = PackLittleEndian(data + done, 8, 4);
      rc = McuCommandWrite(host, CMD_SPI_WRITE8, SPACE_FLASH, 8, address + done, low, high);
      if (rc < 0) {
        LogMessage(1, "\r\n%s:%d: Write Section Failed , add = %d, dwLow=%x, dwHigh=%x\n",
                   "CInterctl::Write_Section", __LINE__, static_cast<int>(address + done), low,
                   high);
        return rc;
      }
      done += 8;
    } while (count - done > 8);
  }
  const uint32_t rest = count - done;
  const uint32_t low = PackLittleEndian(data + done, rest, 0);
  const uint32_t high = PackLittleEndian(data + done, rest, 4);
  rc = McuCommandWrite(host, CMD_SPI_END, SPACE_FLASH, rest, address + done, low, high);
  if (rc < 0) {
    LogMessage(1, "\r\n%s:%d: Write Section (CMD_END) failed!! , add = %d, dwLow=%x, dwHigh=%x\n",
               "CInterctl::Write_Section", __LINE__, static_cast<int>(done), low, high);
    return rc;
  }
  return 0;
}

int CInterctl::Compare_Section(const HostInfo& host, const uint8_t* data, uint32_t address,
                               uint32_t count) {
  if (data == nullptr) return ERR_INVALID_PARAMETER;
  constexpr int kReads = 3;
  constexpr int kMismatches = 3;
  for (uint32_t done = 0; done < count;) {
    const uint32_t piece = count - done < 8 ? count - done : 8;
    int mismatches = 0;
    for (;;) {
      uint8_t got[8];
      int rc = 0;
      for (int attempt = 0; attempt < kReads; ++attempt) {
        std::memset(got, 0, sizeof got);
        rc = McuCommandRead(host, SPACE_FLASH, address + done, piece, 0, got);
        if (rc >= 0) break;
        LogMessage(1, "\r\n%s:%d: Read_Memory Fail, retry[%d]\n", "CInterctl::Compare_Section",
                   __LINE__, attempt);
      }
      // An unreadable piece is an error, never a match of zero bytes.
      if (rc < 0) return rc;
      if (std::memcmp(got, data + done, piece) == 0) break;
      if (++mismatches == kMismatches) {
        WriteMcuControl(host, 0);
        return ERR_FLASH_MISMATCH;
      }
    }
    done += piece;
  }
  return 0;
}

namespace {

enum class PassEnd { kDone, kAttemptFailed, kFatal };

}  // namespace

int CInterctl::Update_Firmware(int target_number, const HostInfo& host, const SpiRomPart& part,
                               const uint8_t* image, uint32_t length) {
  const uint32_t sector = nvl::fw::SectorSize(part);
  if (image == nullptr || length == 0 || bSpiRomPartEmpty(part) || sector == 0) {
    return ERR_INVALID_PARAMETER;
  }
  if (length > nvl::fw::FlashSize(part)) {
    LogMessage(1, "\r\n%s:%d: image of %u bytes does not fit the flash of %u bytes\n",
               "CInterctl::Update_Firmware", __LINE__, length, nvl::fw::FlashSize(part));
    return ERR_INVALID_PARAMETER;
  }
  const uint32_t chunk = FLASH_SECTORS_PER_CHUNK * sector;
  const int total_sectors = static_cast<int>((length + sector - 1) / sector);
  const uint32_t second_copy = nvl::fw::SecondCopyAddress(part, length);

  // One walk over the image, chunk by chunk, with the copy starting at `base`.
  auto pass = [&](uint32_t base, int attempt, int* rc) -> PassEnd {
    for (uint32_t off = 0; off < length; off += chunk) {
      const uint32_t n = length - off < chunk ? length - off : chunk;
      *rc = Erase_SPIRom(host, part, n, base + off, attempt);
      if (*rc < 0) {
        LogMessage(1, "\r\n%s:%d: Erease SPI Sector Failed , dwSectorCount = %d\n",
                   "CInterctl::Update_Firmware", __LINE__, total_sectors);
        return PassEnd::kFatal;
      }
      if (!nvl::fw::Wait(kFlashAfterEraseWaitMs)) {
        *rc = kIoErrTimeout;
        return PassEnd::kFatal;
      }
      *rc = Write_Section(host, part, image + off, base + off, n);
      if (*rc < 0) {
        LogMessage(1, "\r\n%s:%d: ucTargetNumber[%d], Write_Section Fail!!, ucRetry[%d] ",
                   "CInterctl::Update_Firmware", __LINE__, target_number, attempt);
        return PassEnd::kAttemptFailed;
      }
      *rc = Compare_Section(host, image + off, base + off, n);
      if (*rc < 0) {
        LogMessage(1, "\r\n%s:%d: ucTargetNumber[%d],Compare_Section Fail!!, ucRetry[%d] ",
                   "CInterctl::Update_Firmware", __LINE__, target_number, attempt);
        return PassEnd::kAttemptFailed;
      }
    }
    return PassEnd::kDone;
  };

  int result = -1;
  for (int attempt = 0; attempt < FLASH_ATTEMPTS; ++attempt) {
    m_ucSpiRetry = static_cast<uint8_t>(attempt);
    PassEnd end = pass(0, attempt, &result);
    if (end == PassEnd::kDone && second_copy != 0) end = pass(second_copy, attempt, &result);
    if (end == PassEnd::kFatal) {
      // A failed erase leaves the flash unprotected and partly erased: nothing more is tried.
      m_ucSpiRetry = 0;
      return result;
    }
    if (end == PassEnd::kDone) {
      result = 0;
      break;
    }
  }
  m_ucSpiRetry = 0;

  const int protect_rc = Protect_SPIRom(host, 1);
  if (protect_rc < 0) return protect_rc;
  if (result == 0) WriteMcuControl(host, 1);
  return result;
}
