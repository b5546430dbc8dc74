// The mailbox protocol, written once over a configuration-space transport.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "hw/mailbox_registers.h"
#include "hw/nvlio.h"
#include "hw/sim/station.h"
#include "hw/transport.h"
#include "platform/clock.h"

namespace nvl {
namespace {

class MailboxIoLibrary final : public IoLibrary {
 public:
  explicit MailboxIoLibrary(std::unique_ptr<ConfigTransport> transport)
      : transport_(std::move(transport)) {}

  ~MailboxIoLibrary() override { Unload(); }

  int Load() override {
    std::unique_lock lock(gate_);
    if (loaded_) return 1;
    std::string error;
    if (!transport_->Open(error)) {
      if (!error.empty()) std::fprintf(stderr, "nvlio: %s\n", error.c_str());
      if (errno == 0) errno = ENODEV;
      return 0;
    }
    const std::string what = transport_->Description();
    if (!what.empty()) std::fprintf(stderr, "nvlio: %s\n", what.c_str());
    loaded_ = true;
    return 1;
  }

  // Waits for calls in progress, so no call meets a closed transport.
  void Unload() override {
    std::unique_lock lock(gate_);
    if (!loaded_) return;
    transport_->Close();
    loaded_ = false;
  }

  bool Simulated() const override { return transport_->Simulated(); }
  sim::Station* SimulatedStation() override {
    return dynamic_cast<sim::Station*>(transport_.get());
  }

  uint32_t PciReadDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) override {
    std::shared_lock gate(gate_);
    if (!Usable()) return 0xFFFFFFFFu;
    return transport_->ReadConfig32({b, d, f}, offset);
  }

  uint8_t PciReadByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset) override {
    std::shared_lock gate(gate_);
    if (!Usable()) return 0xFF;
    return transport_->ReadConfig8({b, d, f}, offset);
  }

  int PciWriteByte(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint8_t value) override {
    std::shared_lock gate(gate_);
    if (const int rc = Refusal(); rc < 0) return rc;
    transport_->WriteConfig8({b, d, f}, offset, value);
    return 0;
  }

  int PciWriteDword(uint8_t b, uint8_t d, uint8_t f, uint32_t offset, uint32_t value) override {
    std::shared_lock gate(gate_);
    if (const int rc = Refusal(); rc < 0) return rc;
    transport_->WriteConfig32({b, d, f}, offset, value);
    return 0;
  }

  int WriteCmdAll(uint8_t b, uint8_t d, uint8_t f, uint8_t command, uint8_t space, uint32_t size,
                  uint32_t address, uint32_t data_low, uint32_t data_high) override {
    std::shared_lock gate(gate_);
    if (const int rc = Refusal(); rc < 0) return rc;
    const PciLocation loc{b, d, f};
    if (transport_->ReadConfig32(loc, 0) == 0xFFFFFFFFu) return kIoErrFailed;  // no device
    transport_->WriteConfig32(loc, mbx::kCommand, command | (static_cast<uint32_t>(space) << 8));
    transport_->WriteConfig32(loc, mbx::kSize, size);
    transport_->WriteConfig32(loc, mbx::kAddress, address);
    transport_->WriteConfig32(loc, mbx::kDataLow, data_low);
    transport_->WriteConfig32(loc, mbx::kDataHigh, data_high);
    transport_->WriteConfig8(loc, mbx::kDoorbell, mbx::kRing);
    return 0;
  }

  int WaitWriteReady(uint8_t b, uint8_t d, uint8_t f) override {
    return WaitFor({b, d, f}, mbx::kStatusDone);
  }

  int WaitReadReady(uint8_t b, uint8_t d, uint8_t f) override {
    return WaitFor({b, d, f}, mbx::kStatusReplyReady);
  }

  int ReadCmd(uint8_t b, uint8_t d, uint8_t f, uint8_t* record) override {
    std::shared_lock gate(gate_);
    if (const int rc = Refusal(); rc < 0) return rc;
    const PciLocation loc{b, d, f};
    PutWord(record, 0, transport_->ReadConfig32(loc, mbx::kCommand));
    PutWord(record, 4, transport_->ReadConfig32(loc, mbx::kSize));
    PutWord(record, 8, transport_->ReadConfig32(loc, mbx::kAddress));
    PutWord(record, 12, transport_->ReadConfig32(loc, mbx::kReplyData));
    PutWord(record, 16, transport_->ReadConfig32(loc, mbx::kReplyData + 4));
    PutWord(record, mbx::kRecordStatusOffset, transport_->ReadConfig32(loc, mbx::kStatus));
    return 0;
  }

  void* Map(uint64_t physical, uint32_t length) override {
    std::shared_lock gate(gate_);
    if (!Usable()) return nullptr;
    return transport_->Map(physical, length);
  }

  void Unmap(void* mapping, uint32_t length) override {
    std::shared_lock gate(gate_);
    if (mapping == nullptr || !loaded_) return;
    transport_->Unmap(mapping, length);
  }

  int ReadMem(void* address, uint32_t count, void* destination) override {
    std::shared_lock gate(gate_);
    if (const int rc = Refusal(); rc < 0) return rc;
    auto* out = static_cast<uint8_t*>(destination);
    for (uint32_t i = 0; i < count; ++i) {
      if (const int rc = transport_->ReadByte(static_cast<uint8_t*>(address) + i, out + i); rc < 0)
        return rc;
    }
    return 0;
  }

  int WriteMem(void* address, uint32_t count, const void* source) override {
    std::shared_lock gate(gate_);
    if (const int rc = Refusal(); rc < 0) return rc;
    const auto* in = static_cast<const uint8_t*>(source);
    for (uint32_t i = 0; i < count; ++i) {
      if (const int rc = transport_->WriteByte(static_cast<uint8_t*>(address) + i, in[i]); rc < 0)
        return rc;
    }
    return 0;
  }

 private:
  static void PutWord(uint8_t* record, uint32_t at, uint32_t v) {
    for (uint32_t i = 0; i < 4; ++i)
      record[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }

  // Both below run with gate_ held (shared).
  bool Usable() const { return loaded_ && !Clock::StopRequested(); }

  // Why a call is refused now: not loaded, or the calling thread is being stopped.
  int Refusal() const {
    if (!loaded_) return kIoErrNotLoaded;
    if (Clock::StopRequested()) return kIoErrTimeout;
    return 0;
  }

  // Polls the status register until `bit` is set, the MCU reports an error, or the wait times
  // out.  The first look costs no sleep, so a controller that answers at once is fast.
  int WaitFor(PciLocation loc, uint32_t bit) {
    const int64_t deadline = Clock::NowMs() + kMailboxWaitTimeoutMs;
    for (;;) {
      {
        std::shared_lock gate(gate_);  // held per look, never across the sleep
        if (const int rc = Refusal(); rc < 0) return rc;
        const uint32_t status = transport_->ReadConfig32(loc, mbx::kStatus);
        if (status == 0xFFFFFFFFu) return kIoErrFailed;  // the device is gone
        if (status & mbx::kStatusError) return kIoErrFailed;
        if ((status & mbx::kStatusBusy) == 0 && (status & bit) != 0) return 0;
      }
      if (Clock::NowMs() >= deadline) return kIoErrTimeout;
      if (!Clock::SleepMs(1)) return kIoErrTimeout;
    }
  }

  std::unique_ptr<ConfigTransport> transport_;
  std::shared_mutex gate_;  // shared by every call, exclusive for load and unload
  bool loaded_ = false;
};

}  // namespace

std::unique_ptr<IoLibrary> MakeMailboxIoLibrary(std::unique_ptr<ConfigTransport> transport) {
  return std::make_unique<MailboxIoLibrary>(std::move(transport));
}

}  // namespace nvl
