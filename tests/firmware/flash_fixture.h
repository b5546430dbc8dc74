// Fixture of the flash programming tests: a one-board simulated station with a recording IO
// library, a diagnostic log of its own and a record of every wait the flash operations ask for.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "firmware/image_fixture.h"
#include "firmware/spi_flash.h"
#include "hw/interctl.h"
#include "platform/diag_log.h"
#include "platform/event_store.h"
#include "support/sim_fixture.h"

namespace nvl::test {

// A flash chip of a station file.
struct ChipSpec {
  std::string id = "C2 20 11";
  unsigned opcode = 0x9F;
  unsigned arg = 0;
  unsigned size = 0x20000;
  unsigned sector = 0x1000;
  unsigned status = 0;
  std::string more;  // further fields of the flash object, each with a leading comma
};

inline std::string FlashJson(const ChipSpec& c) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                R"({"id": "%s", "id_opcode": %u, "id_arg": %u, "size": %u, "sector_size": %u, )"
                R"("status": %u)",
                c.id.c_str(), c.opcode, c.arg, c.size, c.sector, c.status);
  return std::string(buf) + c.more + "}";
}

// One board at 1:0:0; `extra` adds board fields (each with a leading comma).
inline std::string OneBoard(const ChipSpec& chip, char family = 'A',
                            const std::string& extra = "") {
  return std::string(R"({"boards": [{"location": "1:0:0", "family": ")") + family +
         R"(", "flash": )" + FlashJson(chip) + extra + "}]}";
}

// The chip a row of the part table describes.
inline ChipSpec ChipOfRow(const SpiRomPart& row) {
  char id[16];
  std::snprintf(id, sizeof id, "%02X %02X %02X", row.abJedecId[0], row.abJedecId[1],
                row.abJedecId[2]);
  ChipSpec c;
  c.id = id;
  c.opcode = row.bReadIdOpcode;
  c.arg = row.bReadIdArg;
  c.size = fw::FlashSize(row);
  c.sector = fw::SectorSize(row);
  return c;
}

struct Wait {
  size_t at_call = 0;  // number of IO library calls made before the wait
  int64_t ms = 0;
  friend bool operator==(const Wait&, const Wait&) = default;
};

class FlashTest : public SimStationTest {
 protected:
  void SetUp() override {
    ResetEventLogSinkForTest(dir_.File("events.db"));
    fw::SetFlashWaitObserver([this](int64_t ms) {
      waits_.push_back({io() ? io()->Calls().size() : 0, ms});
    });
    g_Interctl.m_ucSpiRetry = 0;
  }
  void TearDown() override {
    fw::SetFlashWaitObserver(nullptr);
    ResetEventLogSinkForTest("");
    g_Interctl.m_ucSpiRetry = 0;
    SimStationTest::TearDown();
  }

  void Load(const std::string& json) {
    LoadStation(json);
    host_ = HostInfo{};
    host_.ucBus = 1;
    host_.ucDeviceType = json.find(R"("family": "B")") != std::string::npos ? 1 : 0;
    waits_.clear();
  }

  sim::VirtualController* board() { return Board(1); }

  // The mailbox commands sent so far, in the recorder's form.
  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const auto& c : io_calls()) {
      if (c.rfind("WriteCmdALL(", 0) == 0) out.push_back(c);
    }
    return out;
  }
  std::vector<std::string> io_calls() const { return const_cast<FlashTest*>(this)->io()->Calls(); }
  // Commands with the given code (and space), in order.
  std::vector<std::string> CommandsOf(uint8_t command, uint8_t space = SPACE_FLASH) const {
    const std::string prefix = "WriteCmdALL(" + Hex(command) + "," + Hex(space) + ",";
    std::vector<std::string> out;
    for (const auto& c : Commands()) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }

  std::vector<int64_t> WaitValues() const {
    std::vector<int64_t> v;
    for (const auto& w : waits_)
      v.push_back(w.ms);
    return v;
  }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    auto store = EventStore::Open(dir_.File("events.db"));
    if (!store) return lines;
    store->ReadForward([&](const EventRecord& r) {
      if (!r.strings.empty()) lines.push_back(WithoutLineNumber(r.strings[0]));
      return true;
    });
    return lines;
  }

  static std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 7) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed;
    for (auto& b : v) {
      x = x * 1103515245u + 12345u;
      b = static_cast<uint8_t>(x >> 16);
    }
    return v;
  }

  TempDir dir_;
  HostInfo host_;
  std::vector<Wait> waits_;
};

}  // namespace nvl::test
