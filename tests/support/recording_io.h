// An IO library that records every call it forwards, one line per call, so protocol tests can
// compare the exact sequence a controller operation issues.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hw/nvlio.h"

namespace nvl::test {

class RecordingIo final : public IoLibrary {
 public:
  explicit RecordingIo(std::unique_ptr<IoLibrary> inner) : inner_(std::move(inner)) {}

  std::vector<std::string> Calls() const;
  void Clear();

  int Load() override;
  void Unload() override;
  uint32_t PciReadDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) override;
  uint8_t PciReadByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) override;
  int PciWriteByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint8_t value) override;
  int PciWriteDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint32_t value) override;
  int WriteCmdAll(uint8_t b, uint8_t d, uint8_t f, uint8_t command, uint8_t space, uint32_t size,
                  uint32_t address, uint32_t data_low, uint32_t data_high) override;
  int WaitWriteReady(uint8_t b, uint8_t d, uint8_t f) override;
  int WaitReadReady(uint8_t b, uint8_t d, uint8_t f) override;
  int ReadCmd(uint8_t b, uint8_t d, uint8_t f, uint8_t* record) override;
  void* Map(uint64_t physical, uint32_t length) override;
  void Unmap(void* mapping, uint32_t length) override;
  int ReadMem(void* address, uint32_t count, void* destination) override;
  int WriteMem(void* address, uint32_t count, const void* source) override;
  bool Simulated() const override { return inner_->Simulated(); }
  sim::Station* SimulatedStation() override { return inner_->SimulatedStation(); }

 private:
  void Add(std::string line);
  std::unique_ptr<IoLibrary> inner_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

// Formats as the recorder does, for expected sequences: Cmd(0x40, 0x04, 8, 0xF38C, 0, 0).
std::string Cmd(uint8_t command, uint8_t space, uint32_t size, uint32_t address, uint32_t low,
                uint32_t high);
std::string Hex(uint64_t v);

}  // namespace nvl::test
