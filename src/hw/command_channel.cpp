// The command channel: mailbox transactions with the controller's MCU and the small fixed MCU
// operations built on them.
#include <cstring>
#include <memory>
#include <new>

#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "hw/payload.h"
#include "platform/clock.h"
#include "platform/diag_log.h"

CInterctl g_Interctl;

namespace {

constexpr uint32_t kMaxChunk = 8;
// The reply record is 44 bytes; the buffer is larger so no library can write past it.
constexpr size_t kReplyRecordBytes = 64;
constexpr size_t kReplyDataOffset = 12;
constexpr int64_t kMcuControlSettleMs = 500;
constexpr int64_t kPortCommandPollMs = 500;
constexpr int kPortCommandPolls = 6;

// The reply half of a read transaction: wait, read the zeroed reply record once, wait again.
int AwaitReply(uint8_t b, uint8_t d, uint8_t f, uint8_t* record) {
  const int rc = Wait_Read_Ready(b, d, f);
  if (rc < 0) return rc;
  std::memset(record, 0, kReplyRecordBytes);
  ReadCMD(b, d, f, record);
  return Wait_Read_Ready(b, d, f);
}

// An 8-byte reply is taken from the reply record, read once more.
void TakeRecordData(uint8_t b, uint8_t d, uint8_t f, uint8_t* record, uint8_t* out8) {
  ReadCMD(b, d, f, record);
  std::memcpy(out8, record + kReplyDataOffset, kMaxChunk);
}

}  // namespace

int CInterctl::McuCommandRead(const HostInfo& host, uint8_t space, uint32_t address, uint32_t size,
                              uint32_t argument, uint8_t* out) {
  if (size > kMaxChunk || size == 0) return ERR_INVALID_PARAMETER;
  const uint8_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
  int rc = WriteCmdALL(b, d, f, CMD_READ, space, size, address, argument, 0);
  if (rc < 0) return rc;
  uint8_t record[kReplyRecordBytes];
  if ((rc = AwaitReply(b, d, f, record)) < 0) return rc;
  if (size == kMaxChunk) {
    TakeRecordData(b, d, f, record, out);
    return 0;
  }
  for (uint32_t i = 0; i < size; ++i)
    out[i] = PCI_Read_BYTE(b, d, f, CFG_SHORT_REPLY + i);
  PCI_Write_Byte(b, d, f, CFG_MAILBOX_HANDBACK, 1);
  return 0;
}

int CInterctl::McuCommandWrite(const HostInfo& host, uint8_t command, uint8_t space, uint32_t size,
                               uint32_t address, uint32_t data_low, uint32_t data_high) {
  const uint8_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
  int rc = WriteCmdALL(b, d, f, command, space, size, address, data_low, data_high);
  if (rc < 0) return rc;
  rc = Wait_Write_Ready(b, d, f);
  return rc < 0 ? rc : 0;
}

int CInterctl::McuWriteChunk(const HostInfo& host, uint32_t address, uint32_t size,
                             const uint8_t* bytes) {
  if (size > kMaxChunk || size == 0) return ERR_INVALID_PARAMETER;
  return McuCommandWrite(host, CMD_WRITE_MEMORY, SPACE_DATA, size, address,
                         PackLittleEndian(bytes, size, 0), PackLittleEndian(bytes, size, 4));
}

int CInterctl::Read_8051_Memory(const HostInfo& host, uint8_t space, uint32_t address,
                                uint32_t count, uint8_t* out) {
  uint32_t done = 0;
  uint32_t chunk = count < kMaxChunk ? count : kMaxChunk;
  while (done < count) {
    const int rc = McuCommandRead(host, space, address + done, chunk, 0, out + done);
    if (rc < 0) {
      LogMessage(1, "\r\n%s:%d: Read_Memory Fail!!, dwReadSize[%x] , dwDoneSize + addr[%x]",
                 "CInterctl::Read_8051_Memory", __LINE__, chunk, address + done);
      return rc;
    }
    done += chunk;
    chunk = count - done < kMaxChunk ? count - done : kMaxChunk;
  }
  return 0;
}

int CInterctl::Write_8051_Memory(const HostInfo& host, uint32_t address, uint32_t count,
                                 const uint8_t* bytes) {
  if (count == 0) return 0;
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[count]);
  if (!copy) return ERR_NO_MEMORY;
  std::memcpy(copy.get(), bytes, count);
  uint32_t done = 0;
  while (count - done > kMaxChunk) {
    const int rc = McuCommandWrite(host, CMD_WRITE_MEMORY, SPACE_DATA, kMaxChunk, address + done,
                                   PackLittleEndian(copy.get() + done, kMaxChunk, 0),
                                   PackLittleEndian(copy.get() + done, kMaxChunk, 4));
    if (rc < 0) return rc;
    done += kMaxChunk;
  }
  return McuWriteChunk(host, address + done, count - done, copy.get() + done);
}

int CInterctl::GetChipType(const HostInfo& host, uint8_t* chip_type) {
  uint8_t code[4] = {0, 0, 0, 0};
  const uint32_t at = host.ucDeviceType == 1 ? CHIP_CODE_ADDR_B : CHIP_CODE_ADDR_A;
  const int rc = Read_8051_Memory(host, SPACE_DATA, at, 4, code);
  if (rc < 0) return rc;
  if (host.ucDeviceType == 1) {
    *chip_type = code[0] == 0x53 ? 1 : 0;
  } else {
    *chip_type = code[0] < 0x30 ? 0xFF : 0x00;
  }
  return 0;
}

int CInterctl::GetFirmwareVersion(const HostInfo& host, uint8_t* version6) {
  return Read_8051_Memory(host, SPACE_FW_INFO, FW_VERSION_ADDR, 6, version6);
}

int CInterctl::Read_SPIRom_WRSR(const HostInfo& host, uint8_t* reply8) {
  const uint8_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
  int rc = WriteCmdALL(b, d, f, CMD_READ_FLASH_STATUS, SPACE_FLASH, 2, 0, 0x05, 0);
  if (rc < 0) return rc;
  uint8_t record[kReplyRecordBytes];
  if ((rc = AwaitReply(b, d, f, record)) < 0) return rc;
  TakeRecordData(b, d, f, record, reply8);
  return 0;
}

int CInterctl::WriteMcuControl(const HostInfo& host, uint8_t clear_mailbox) {
  const uint8_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
  if (clear_mailbox == 1) {
    PCI_Write_Byte(b, d, f, CFG_MAILBOX_HANDBACK, 0);
    for (uint32_t offset : {0xF0u, 0xF4u, 0xF8u, 0xFCu})
      PCI_Write_DWORD(b, d, f, offset, 0);
  }
  const uint32_t* ctrl = host.ucDeviceType == 1 ? MCU_CTRL_ADDR_B : MCU_CTRL_ADDR_A;
  const uint8_t two = 2, one = 1;
  int rc = Write_8051_Memory(host, ctrl[0], 1, &two);
  if (rc < 0) return rc;
  if ((rc = Write_8051_Memory(host, ctrl[1], 1, &one)) < 0) return rc;
  if (!nvl::Clock::SleepMs(kMcuControlSettleMs)) return kIoErrTimeout;
  return 0;
}

int CInterctl::ClearDiscoveryControlBit(const HostInfo& host) {
  uint8_t v = 0;
  int rc = Read_8051_Memory(host, SPACE_DATA, DISCOVERY_CONTROL_ADDR, 1, &v);
  if (rc < 0) return rc;
  v = static_cast<uint8_t>(v & 0xFB);
  return Write_8051_Memory(host, DISCOVERY_CONTROL_ADDR, 1, &v);
}

int CInterctl::McuPortCommand(const HostInfo& host, uint8_t argument) {
  const int rc = McuCommandWrite(host, CMD_PORT_COMMAND, SPACE_DATA, 1, 0, argument, 0);
  if (rc < 0) return rc;
  for (int i = 0; i < kPortCommandPolls; ++i) {
    if (!nvl::Clock::SleepMs(kPortCommandPollMs)) return -1;
    uint8_t status = 0;
    if (McuCommandRead(host, SPACE_PORT_STATUS, 0, 1, 0, &status) == 0) return status == 0 ? -1 : 0;
  }
  return -1;
}
