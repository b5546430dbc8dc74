#include "hw/nvlio.h"

#include <cstdlib>
#include <mutex>

#include "hw/linux_transport.h"
#include "hw/sim/station.h"
#include "hw/transport.h"
#include "platform/clock.h"

namespace nvl {
namespace {

std::unique_ptr<IoLibrary> g_library;
std::mutex g_install_mutex;

IoLibrary* Library() {
  return g_library.get();
}

}  // namespace

std::unique_ptr<IoLibrary> MakeDefaultIoLibrary() {
  if (const char* station = std::getenv("NVLIO_STATION"); station != nullptr && *station != '\0') {
    return MakeMailboxIoLibrary(std::make_unique<sim::Station>(station));
  }
  return MakeMailboxIoLibrary(std::make_unique<LinuxTransport>());
}

void InstallIoLibrary(std::unique_ptr<IoLibrary> library) {
  std::lock_guard lock(g_install_mutex);
  g_library = std::move(library);
}

IoLibrary* InstalledIoLibrary() {
  return g_library.get();
}

}  // namespace nvl

using nvl::Library;

int LoadNvlIODriver() {
  {
    std::lock_guard lock(nvl::g_install_mutex);
    if (!nvl::g_library) nvl::g_library = nvl::MakeDefaultIoLibrary();
  }
  const int ok = Library()->Load();
  if (ok != 0) nvl::ApplyTimeScaleFromEnvironment(Library()->Simulated());
  return ok;
}

void UnloadNvlIODriver() {
  if (Library() != nullptr) Library()->Unload();
}

uint32_t PCI_Read_DWORD(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset) {
  return Library() ? Library()->PciReadDword(bus, device, function, offset) : 0xFFFFFFFFu;
}

uint8_t PCI_Read_BYTE(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset) {
  return Library() ? Library()->PciReadByte(bus, device, function, offset) : 0xFF;
}

int PCI_Write_Byte(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset, uint8_t value) {
  return Library() ? Library()->PciWriteByte(bus, device, function, offset, value)
                   : kIoErrNotLoaded;
}

int PCI_Write_DWORD(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset,
                    uint32_t value) {
  return Library() ? Library()->PciWriteDword(bus, device, function, offset, value)
                   : kIoErrNotLoaded;
}

int WriteCmdALL(uint8_t bus, uint8_t device, uint8_t function, uint8_t command, uint8_t space,
                uint32_t size, uint32_t address, uint32_t data_low, uint32_t data_high) {
  return Library() ? Library()->WriteCmdAll(bus, device, function, command, space, size, address,
                                            data_low, data_high)
                   : kIoErrNotLoaded;
}

int Wait_Write_Ready(uint8_t bus, uint8_t device, uint8_t function) {
  return Library() ? Library()->WaitWriteReady(bus, device, function) : kIoErrNotLoaded;
}

int Wait_Read_Ready(uint8_t bus, uint8_t device, uint8_t function) {
  return Library() ? Library()->WaitReadReady(bus, device, function) : kIoErrNotLoaded;
}

int ReadCMD(uint8_t bus, uint8_t device, uint8_t function, uint8_t* reply_record) {
  return Library() ? Library()->ReadCmd(bus, device, function, reply_record) : kIoErrNotLoaded;
}

void* MapNvlIO(uint64_t physical_address, uint32_t length) {
  return Library() ? Library()->Map(physical_address, length) : nullptr;
}

void UnmapNvlIO(void* mapping, uint32_t length) {
  if (Library() != nullptr) Library()->Unmap(mapping, length);
}

int ReadMEM(void* address, uint32_t count, void* destination) {
  return Library() ? Library()->ReadMem(address, count, destination) : kIoErrNotLoaded;
}

int WriteMEM(void* address, uint32_t count, const void* source) {
  return Library() ? Library()->WriteMem(address, count, source) : kIoErrNotLoaded;
}
