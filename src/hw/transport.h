// The configuration-space transport under the IO library: PCI configuration access and physical
// memory access for one set of boards.  The mailbox protocol is written once on top of it
// (mailbox_io.cpp); the transports are the Linux one (sysfs + /dev/mem) and the simulated station.
#pragma once

#include <cstdint>
#include <string>

namespace nvl {

struct PciLocation {
  uint8_t bus = 0;
  uint8_t device = 0;
  uint8_t function = 0;

  // Index of the location in bus/device/function order, 0 .. 65535.
  uint32_t Index() const {
    return (static_cast<uint32_t>(bus) << 8) | (static_cast<uint32_t>(device & 0x1F) << 3) |
           (function & 0x07);
  }
  friend bool operator==(const PciLocation&, const PciLocation&) = default;
};

class ConfigTransport {
 public:
  virtual ~ConfigTransport() = default;

  // Makes the boards reachable.  On failure returns false and describes why in `error`.
  virtual bool Open(std::string& error) = 0;
  virtual void Close() = 0;

  // True for the simulated station (time scale allowed).
  virtual bool Simulated() const = 0;
  // One line for the operator saying what was loaded (empty for none).
  virtual std::string Description() const = 0;

  // Configuration space.  A location without a device reads as all ones.
  virtual uint32_t ReadConfig32(PciLocation loc, uint32_t offset) = 0;
  virtual uint8_t ReadConfig8(PciLocation loc, uint32_t offset) = 0;
  virtual void WriteConfig8(PciLocation loc, uint32_t offset, uint8_t value) = 0;
  virtual void WriteConfig32(PciLocation loc, uint32_t offset, uint32_t value) = 0;

  // Physical memory: a mapping of `length` bytes at `physical`, null on failure.
  virtual void* Map(uint64_t physical, uint32_t length) = 0;
  virtual void Unmap(void* mapping, uint32_t length) = 0;
  // Byte moves inside a mapping; 0 on success, below 0 on failure.
  virtual int ReadByte(const void* address, uint8_t* out) = 0;
  virtual int WriteByte(void* address, uint8_t value) = 0;
};

}  // namespace nvl
