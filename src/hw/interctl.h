// CInterctl: the controller operations of the program.  One process-wide object (g_Interctl);
// its lock serialises discovery.  The operations are grouped by where they are implemented:
//   hw/command_channel.cpp      the mailbox transactions and the fixed MCU operations
//   discovery/pci_scan.cpp      the PCI bus scan and the device information
//   firmware/...                the image check and the SPI flash programming
// Every operation works on the HostInfo it is given and keeps no other state.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "hw/host_info.h"

struct SpiRomPart;  // firmware/spi_rom_parts.h

// MCU memory spaces.
inline constexpr uint8_t SPACE_DATA = 0x04;
inline constexpr uint8_t SPACE_FW_INFO = 0x08;
inline constexpr uint8_t SPACE_FLASH = 0x10;
inline constexpr uint8_t SPACE_FLASH_ID = 0x20;
inline constexpr uint8_t SPACE_PORT_STATUS = 0x81;

// Mailbox command codes.
inline constexpr uint8_t CMD_READ = 0x40;
inline constexpr uint8_t CMD_WRITE_MEMORY = 0x23;
inline constexpr uint8_t CMD_READ_FLASH_STATUS = 0x4C;
inline constexpr uint8_t CMD_PORT_COMMAND = 0x80;

// Configuration-space registers the command channel touches directly.
inline constexpr uint32_t CFG_MAILBOX_HANDBACK = 0xE0;
inline constexpr uint32_t CFG_SHORT_REPLY = 0xF0;

// Fixed MCU addresses (data memory unless said).
inline constexpr uint32_t CHIP_CODE_ADDR_A = 0xF38C;
inline constexpr uint32_t CHIP_CODE_ADDR_B = 0x150B2;
inline constexpr uint32_t FW_VERSION_ADDR = 0x80;  // in SPACE_FW_INFO
inline constexpr uint32_t MCU_CTRL_ADDR_A[2] = {0xF340, 0xF342};
inline constexpr uint32_t MCU_CTRL_ADDR_B[2] = {0x15040, 0x15042};
inline constexpr uint32_t DISCOVERY_CONTROL_ADDR = 0xF3B4;

// Result codes of the operations.
inline constexpr int ERR_INVALID_PARAMETER = -10;
inline constexpr int ERR_NO_MEMORY = -8;

class CInterctl {
 public:
  CInterctl() = default;
  virtual ~CInterctl() = default;
  CInterctl(const CInterctl&) = delete;
  CInterctl& operator=(const CInterctl&) = delete;

  // --- command channel ---
  int McuCommandRead(const HostInfo& host, uint8_t space, uint32_t address, uint32_t size,
                     uint32_t argument, uint8_t* out);
  int McuCommandWrite(const HostInfo& host, uint8_t command, uint8_t space, uint32_t size,
                      uint32_t address, uint32_t data_low, uint32_t data_high);
  int McuWriteChunk(const HostInfo& host, uint32_t address, uint32_t size, const uint8_t* bytes);
  int Read_8051_Memory(const HostInfo& host, uint8_t space, uint32_t address, uint32_t count,
                       uint8_t* out);
  int Write_8051_Memory(const HostInfo& host, uint32_t address, uint32_t count,
                        const uint8_t* bytes);
  int GetChipType(const HostInfo& host, uint8_t* chip_type);
  int GetFirmwareVersion(const HostInfo& host, uint8_t* version6);
  int Read_SPIRom_WRSR(const HostInfo& host, uint8_t* reply8);
  int WriteMcuControl(const HostInfo& host, uint8_t clear_mailbox);
  int ClearDiscoveryControlBit(const HostInfo& host);
  int McuPortCommand(const HostInfo& host, uint8_t argument);

  // --- discovery (discovery/pci_scan.cpp) ---
  int ScanPciBus(const std::string& wrsr_threshold);
  int AssignPciBus(uint8_t bus, uint8_t device, uint8_t function,
                   const std::string& wrsr_threshold);
  int UpdateDeviceInfo(int host_index, const std::string& wrsr_threshold, uint8_t family);

  // --- firmware image (firmware/fw_check.cpp; bounds rules in firmware/fw_image.h) ---
  // Examines the `length` valid bytes at `image` and sets g_Utility's file state: 0 or -3.
  int Check_Firmware_File(const uint8_t* image, size_t length);
  // Clears the file state, checks the image, copies its 6 version bytes to `version` and sets
  // the chip type of a family B file: 0 or the check's code.
  int Get_Version_From_File(const uint8_t* image, size_t length, uint8_t* version);

  // --- SPI flash programming (firmware/spi_flash.cpp; part table in firmware/spi_rom_parts.h) ---
  SpiRomPart Init_SPIRom(const HostInfo& host);
  SpiRomPart Find_SPIRom_Part(const HostInfo& host);
  int Protect_SPIRom(const HostInfo& host, uint8_t protect);
  int Update_Firmware(int target_number, const HostInfo& host, const SpiRomPart& part,
                      const uint8_t* image, uint32_t length);
  int Erase_SPIRom(const HostInfo& host, const SpiRomPart& part, uint32_t count, uint32_t address,
                   int retry);
  int Write_Section(const HostInfo& host, const SpiRomPart& part, const uint8_t* data,
                    uint32_t address, uint32_t count);
  int Compare_Section(const HostInfo& host, const uint8_t* data, uint32_t address, uint32_t count);
  // The attempt number Update_Firmware hands to Write_Section (SST pacing); 0 outside an update.
  // Written only while the caller holds the upgrade lock.
  uint8_t m_ucSpiRetry = 0;

  // The discovery lock.
  std::recursive_mutex& Lock() { return m_csLock; }

 private:
  std::recursive_mutex m_csLock;
};

extern CInterctl g_Interctl;
