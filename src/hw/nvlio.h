// The IO library: all hardware access of the program goes through these functions.  Their names,
// argument orders and results are the library's own; results below 0 mean failure.
//
// Underneath, IoLibrary carries the calls.  The default one speaks the mailbox protocol over a
// configuration-space transport: the Linux transport, or the simulated station when the
// environment variable NVLIO_STATION names a station file.  Tests may install their own (for
// example one that records every call).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// IO library error codes.
inline constexpr int kIoErrNotLoaded = -7;  // the driver is not loaded
inline constexpr int kIoErrFailed = -1;     // the controller refused the command
inline constexpr int kIoErrTimeout = -9;    // the controller did not become ready in time

int LoadNvlIODriver();
void UnloadNvlIODriver();
uint32_t PCI_Read_DWORD(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset);
uint8_t PCI_Read_BYTE(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset);
int PCI_Write_Byte(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset, uint8_t value);
int PCI_Write_DWORD(uint8_t bus, uint8_t device, uint8_t function, uint32_t offset, uint32_t value);
int WriteCmdALL(uint8_t bus, uint8_t device, uint8_t function, uint8_t command, uint8_t space,
                uint32_t size, uint32_t address, uint32_t data_low, uint32_t data_high);
int Wait_Write_Ready(uint8_t bus, uint8_t device, uint8_t function);
int Wait_Read_Ready(uint8_t bus, uint8_t device, uint8_t function);
int ReadCMD(uint8_t bus, uint8_t device, uint8_t function, uint8_t* reply_record);
void* MapNvlIO(uint64_t physical_address, uint32_t length);
void UnmapNvlIO(void* mapping, uint32_t length);
int ReadMEM(void* address, uint32_t count, void* destination);
int WriteMEM(void* address, uint32_t count, const void* source);

namespace nvl {

class ConfigTransport;
namespace sim {
class Station;
}

// The implementation behind the fourteen functions.
class IoLibrary {
 public:
  virtual ~IoLibrary() = default;
  virtual int Load() = 0;
  virtual void Unload() = 0;
  virtual uint32_t PciReadDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) = 0;
  virtual uint8_t PciReadByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) = 0;
  virtual int PciWriteByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint8_t value) = 0;
  virtual int PciWriteDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint32_t value) = 0;
  virtual int WriteCmdAll(uint8_t b, uint8_t d, uint8_t f, uint8_t command, uint8_t space,
                          uint32_t size, uint32_t address, uint32_t data_low,
                          uint32_t data_high) = 0;
  virtual int WaitWriteReady(uint8_t b, uint8_t d, uint8_t f) = 0;
  virtual int WaitReadReady(uint8_t b, uint8_t d, uint8_t f) = 0;
  virtual int ReadCmd(uint8_t b, uint8_t d, uint8_t f, uint8_t* record) = 0;
  virtual void* Map(uint64_t physical, uint32_t length) = 0;
  virtual void Unmap(void* mapping, uint32_t length) = 0;
  virtual int ReadMem(void* address, uint32_t count, void* destination) = 0;
  virtual int WriteMem(void* address, uint32_t count, const void* source) = 0;
  // True when the boards are simulated (a time scale may apply).
  virtual bool Simulated() const = 0;
  // The simulated station behind the library, or null (real boards, or a library of its own).
  virtual sim::Station* SimulatedStation() { return nullptr; }
};

// Time-outs of the mailbox waits, in station milliseconds.
inline constexpr int64_t kMailboxWaitTimeoutMs = 3000;

// The mailbox protocol over a transport.
std::unique_ptr<IoLibrary> MakeMailboxIoLibrary(std::unique_ptr<ConfigTransport> transport);

// The library LoadNvlIODriver builds when none is installed: the simulated station named by
// NVLIO_STATION, else the Linux transport.
std::unique_ptr<IoLibrary> MakeDefaultIoLibrary();

// Installs the library behind the functions (owned).  nullptr: the default is built at the next
// LoadNvlIODriver.  Not to be called while other threads use the library.
void InstallIoLibrary(std::unique_ptr<IoLibrary> library);
// The installed library, or null.
IoLibrary* InstalledIoLibrary();

}  // namespace nvl
