// Real boards on Linux: configuration space through sysfs
// (/sys/bus/pci/devices/<dddd:bb:dd.f>/config) and physical memory through /dev/mem.
// Needs root.  The devices sysfs lists are taken once when the transport opens, so a bus scan
// reads an absent location as all ones without a system call.
#pragma once

#include <array>
#include <bitset>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "hw/transport.h"

namespace nvl {

class LinuxTransport final : public ConfigTransport {
 public:
  // `sysfs_root` is the PCI devices folder; `mem_path` the physical memory device.  Tests point
  // them at a folder of their own; `require_root` false lets such a test run unprivileged.
  explicit LinuxTransport(std::string sysfs_root = "/sys/bus/pci/devices",
                          std::string mem_path = "/dev/mem", bool require_root = true);
  ~LinuxTransport() override;

  bool Open(std::string& error) override;
  void Close() override;
  bool Simulated() const override { return false; }
  std::string Description() const override { return {}; }

  uint32_t ReadConfig32(PciLocation loc, uint32_t offset) override;
  uint8_t ReadConfig8(PciLocation loc, uint32_t offset) override;
  void WriteConfig8(PciLocation loc, uint32_t offset, uint8_t value) override;
  void WriteConfig32(PciLocation loc, uint32_t offset, uint32_t value) override;

  void* Map(uint64_t physical, uint32_t length) override;
  void Unmap(void* mapping, uint32_t length) override;
  int ReadByte(const void* address, uint8_t* out) override;
  int WriteByte(void* address, uint8_t value) override;

  // Number of locations found in sysfs at Open (domain 0 only).
  size_t DeviceCount() const { return present_.count(); }

 private:
  int ConfigFd(PciLocation loc);

  std::string sysfs_root_;
  std::string mem_path_;
  bool require_root_;
  std::bitset<65536> present_;
  std::array<int, 65536>* fds_ = nullptr;  // lazily opened config files, -1 when not yet open
  std::mutex mutex_;
  int mem_fd_ = -1;
  std::map<void*, std::pair<void*, size_t>> mappings_;  // user pointer -> (page base, length)
  bool open_ = false;
};

}  // namespace nvl
