#include "support/recording_io.h"

#include <cstdio>

namespace nvl::test {

std::string Hex(uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string Cmd(uint8_t command, uint8_t space, uint32_t size, uint32_t address, uint32_t low,
                uint32_t high) {
  return "WriteCmdALL(" + Hex(command) + "," + Hex(space) + "," + std::to_string(size) + "," +
         Hex(address) + "," + Hex(low) + "," + Hex(high) + ")";
}

std::vector<std::string> RecordingIo::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void RecordingIo::Clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void RecordingIo::Add(std::string line) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(line));
}

int RecordingIo::Load() {
  Add("LoadNvlIODriver");
  return inner_->Load();
}

void RecordingIo::Unload() {
  Add("UnloadNvlIODriver");
  inner_->Unload();
}

uint32_t RecordingIo::PciReadDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) {
  Add("PCI_Read_DWORD(" + Hex(offset) + ")");
  return inner_->PciReadDword(b, d, f, offset);
}

uint8_t RecordingIo::PciReadByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) {
  Add("PCI_Read_BYTE(" + Hex(offset) + ")");
  return inner_->PciReadByte(b, d, f, offset);
}

int RecordingIo::PciWriteByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint8_t value) {
  Add("PCI_Write_Byte(" + Hex(offset) + "," + Hex(value) + ")");
  return inner_->PciWriteByte(b, d, f, offset, value);
}

int RecordingIo::PciWriteDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint32_t value) {
  Add("PCI_Write_DWORD(" + Hex(offset) + "," + Hex(value) + ")");
  return inner_->PciWriteDword(b, d, f, offset, value);
}

int RecordingIo::WriteCmdAll(uint8_t b, uint8_t d, uint8_t f, uint8_t command, uint8_t space,
                             uint32_t size, uint32_t address, uint32_t data_low,
                             uint32_t data_high) {
  Add(Cmd(command, space, size, address, data_low, data_high));
  return inner_->WriteCmdAll(b, d, f, command, space, size, address, data_low, data_high);
}

int RecordingIo::WaitWriteReady(uint8_t b, uint8_t d, uint8_t f) {
  Add("Wait_Write_Ready");
  return inner_->WaitWriteReady(b, d, f);
}

int RecordingIo::WaitReadReady(uint8_t b, uint8_t d, uint8_t f) {
  Add("Wait_Read_Ready");
  return inner_->WaitReadReady(b, d, f);
}

int RecordingIo::ReadCmd(uint8_t b, uint8_t d, uint8_t f, uint8_t* record) {
  Add("ReadCMD");
  return inner_->ReadCmd(b, d, f, record);
}

void* RecordingIo::Map(uint64_t physical, uint32_t length) {
  Add("MapNvlIO(" + Hex(physical) + "," + Hex(length) + ")");
  return inner_->Map(physical, length);
}

void RecordingIo::Unmap(void* mapping, uint32_t length) {
  Add("UnmapNvlIO(" + Hex(length) + ")");
  inner_->Unmap(mapping, length);
}

int RecordingIo::ReadMem(void* address, uint32_t count, void* destination) {
  Add("ReadMEM(" + std::to_string(count) + ")");
  return inner_->ReadMem(address, count, destination);
}

int RecordingIo::WriteMem(void* address, uint32_t count, const void* source) {
  Add("WriteMEM(" + std::to_string(count) + ")");
  return inner_->WriteMem(address, count, source);
}

}  // namespace nvl::test
