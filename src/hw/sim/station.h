// The simulated station: virtual controller boards behind the configuration-space transport,
// described by a station file (JSON, see docs/station-file.md).  Each board answers at register
// level: its configuration space with the command mailbox, the MCU's memory spaces, its SPI
// flash chip (hw/sim/spi_flash.h), its BAR0 window, and the faults the file injects.  After the
// controller restart step the MCU boots from its flash: a valid image sets the firmware version
// and applies the image's register setting records; a blank or invalid one leaves a version of
// six 0xFF bytes.  Boards are independent: different boards may be driven from different threads
// at once.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hw/sim/spi_flash.h"
#include "hw/transport.h"

namespace nvl::sim {

// MCU memory spaces the virtual controller keeps.
inline constexpr uint8_t kSpaceData = 0x04;
inline constexpr uint8_t kSpaceFirmwareInfo = 0x08;
inline constexpr uint8_t kSpacePortStatus = 0x81;
inline constexpr uint32_t kDataMemorySize = 0x20000;
inline constexpr uint32_t kFirmwareInfoSize = 0x100;
inline constexpr uint32_t kBarWindowSize = 0x10000;
inline constexpr uint32_t kConfigSize = 0x1000;

struct FaultRule {
  enum class Effect { kError, kNoReady };
  Effect effect = Effect::kError;
  std::optional<uint8_t> command;
  std::optional<uint8_t> space;
  std::optional<uint32_t> address;
  uint64_t after = 0;             // commands the board takes before the fault starts
  uint64_t skip = 0;              // matching commands let through before the fault hits
  std::optional<uint64_t> times;  // how many matching commands it hits (all when absent)
  uint16_t code = 1;              // the MCU's error number for kError
  uint64_t hits = 0;
  uint64_t seen = 0;  // matching commands seen so far
};

struct MemoryPreload {
  uint8_t space = kSpaceData;
  uint32_t address = 0;
  std::vector<uint8_t> bytes;
};

// A USB device on a port of the board's root hub or of an external hub below it; a hub carries
// the devices on its own ports.
struct UsbDeviceSpec {
  uint8_t port = 1;  // root hub: 1..4 (1, 2 SuperSpeed, 3, 4 USB 2.0); external hub: 1..15
  bool hub = false;
  std::vector<UsbDeviceSpec> children;  // hubs only
};
inline constexpr uint8_t kUsbRootPorts = 4;
inline constexpr uint8_t kUsbHubPorts = 15;
inline constexpr int kUsbMaxHubTiers = 5;  // external hubs in a row below the root hub

// One board as the station file describes it.
struct BoardSpec {
  std::string name;
  PciLocation location;
  char family = 'A';
  uint16_t vendor_id = 0x1E7C;
  uint16_t device_id = 0x5301;
  uint32_t bar0 = 0;
  uint8_t chip_code = 0x30;
  std::array<uint8_t, 6> firmware_version{};
  uint16_t svid = 0;
  uint16_t ssid = 0;
  uint8_t pcie_link = 0x1F;
  uint8_t discovery_control = 0x04;
  uint8_t port_status = 1;
  uint8_t flash_status = 0x00;  // the flash chip's status register at power-on
  FlashSpec flash;
  std::vector<MemoryPreload> memory;
  std::vector<FaultRule> faults;
  std::vector<UsbDeviceSpec> usb;  // devices on the root hub's ports, by root port
};

// Parses a station file's text.  `origin` names the file in messages.  On failure returns
// nullopt and says what is wrong in `error`.
std::optional<std::vector<BoardSpec>> ParseStationText(const std::string& text,
                                                       const std::string& origin,
                                                       std::string& error);

class VirtualController {
 public:
  explicit VirtualController(const BoardSpec& desc);

  uint32_t ReadConfig32(uint32_t offset);
  uint8_t ReadConfig8(uint32_t offset);
  void WriteConfig8(uint32_t offset, uint8_t value);
  void WriteConfig32(uint32_t offset, uint32_t value);

  bool OwnsPhysical(uint64_t physical, uint64_t length) const;
  uint8_t ReadMmio8(uint64_t physical);
  void WriteMmio8(uint64_t physical, uint8_t value);

  // Inspection for tests and tools.
  const BoardSpec& desc() const { return spec_; }
  uint64_t CommandCount();
  uint8_t PeekData(uint32_t address);
  void PokeData(uint32_t address, uint8_t value);
  std::vector<uint8_t> FlashContents();
  uint8_t FlashStatus();
  uint64_t FlashEraseCount();
  // Number of times the MCU restarted and booted from its flash.
  uint64_t BootCount();

  // --- USB tree below the root hub (hw/sim/usb_ports.cpp) ---
  // The devices on the root hub's ports now, in root port order.
  std::vector<UsbDeviceSpec> UsbDevices();
  // Plugs `device` (with what hangs below it) into its root port, replacing what was there; a
  // port the root hub does not have (0, above 4) plugs nothing.
  void AttachUsb(const UsbDeviceSpec& device);
  // Unplugs whatever is on `root_port`.
  void DetachUsb(uint8_t root_port);

 private:
  void Execute();  // the MCU takes the posted command
  uint32_t ExecuteFlash(uint8_t command, uint8_t space, uint32_t size, uint32_t address,
                        uint32_t low, uint32_t high);  // a flash command; returns the status
  void Boot();  // the MCU restarts from the image in its flash
  std::vector<uint8_t>* Space(uint8_t space);
  void Finish(uint32_t status);
  void Reply(const uint8_t* bytes, uint32_t size);
  uint32_t Word(uint32_t offset) const;
  void SetWord(uint32_t offset, uint32_t value);

  BoardSpec spec_;
  std::mutex mutex_;
  std::array<uint8_t, kConfigSize> config_{};
  std::vector<uint8_t> data_memory_;
  std::vector<uint8_t> firmware_info_;
  std::vector<uint8_t> port_status_;
  std::vector<uint8_t> mmio_;
  SpiFlashChip flash_;
  uint64_t boots_ = 0;
  uint64_t commands_ = 0;
  std::mutex usb_mutex_;
  std::vector<UsbDeviceSpec> usb_ = spec_.usb;
};

class Station final : public ConfigTransport {
 public:
  // A station loaded from the file at `path` when the transport opens.
  explicit Station(std::string path);
  // A station from the given boards (tests); already described, Open cannot fail.
  explicit Station(std::vector<BoardSpec> boards);
  ~Station() override;

  bool Open(std::string& error) override;
  void Close() override;
  bool Simulated() const override { return true; }
  std::string Description() const override;

  uint32_t ReadConfig32(PciLocation loc, uint32_t offset) override;
  uint8_t ReadConfig8(PciLocation loc, uint32_t offset) override;
  void WriteConfig8(PciLocation loc, uint32_t offset, uint8_t value) override;
  void WriteConfig32(PciLocation loc, uint32_t offset, uint32_t value) override;

  void* Map(uint64_t physical, uint32_t length) override;
  void Unmap(void* mapping, uint32_t length) override;
  int ReadByte(const void* address, uint8_t* out) override;
  int WriteByte(void* address, uint8_t value) override;

  // The board at `loc`, or null.  Valid while the station is open.
  VirtualController* Board(PciLocation loc);
  size_t BoardCount() const { return boards_.size(); }
  // Every board in location order (empty until the station is open).  Valid while it is open.
  std::vector<VirtualController*> Boards();

 private:
  struct Mapping {
    std::unique_ptr<uint8_t[]> placeholder;  // gives the mapping a unique address range
    uint32_t length = 0;
    uint64_t physical = 0;
    VirtualController* board = nullptr;
  };
  Mapping* FindMapping(const void* address, uint64_t* physical);

  std::string path_;
  std::vector<BoardSpec> pending_;
  std::map<uint32_t, std::unique_ptr<VirtualController>> boards_;  // by location index
  std::array<VirtualController*, 65536>* index_ = nullptr;
  std::mutex map_mutex_;
  std::map<uintptr_t, Mapping> mappings_;  // by placeholder address
  bool open_ = false;
};

}  // namespace nvl::sim
