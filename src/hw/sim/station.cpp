#include "hw/sim/station.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hw/mailbox_registers.h"

namespace nvl::sim {
namespace {

// MCU data memory addresses the virtual firmware keeps its identity at.
constexpr uint32_t kChipCodeA = 0xF38C, kChipCodeB = 0x150B2;
constexpr uint32_t kSvidA = 0xE260, kSsidA = 0xE262, kLinkA = 0xE241;
constexpr uint32_t kSvidB = 0x10050, kSsidB = 0x10052;
constexpr uint32_t kDiscoveryControlA = 0xF3B4;
constexpr uint32_t kFirmwareVersionAddr = 0x80;

// Mailbox command codes the v1 firmware answers.
constexpr uint8_t kCmdRead = 0x40;
constexpr uint8_t kCmdWriteMemory = 0x23;
constexpr uint8_t kCmdReadFlashStatus = 0x4C;
constexpr uint8_t kCmdPortCommand = 0x80;

// Flash commands (space 0x10; the identification read is a read in space 0x20).
constexpr uint8_t kSpaceFlash = 0x10;
constexpr uint8_t kSpaceFlashId = 0x20;
constexpr uint8_t kCmdFlashOpcode = 0x19;
constexpr uint8_t kCmdFlashSetup = 0x1B;
constexpr uint8_t kCmdFlashWriteStatus = 0x1C;
constexpr uint8_t kCmdFlashErase = 0x30;
constexpr uint8_t kCmdFlashBegin = 0x11;
constexpr uint8_t kCmdFlashBeginPaced = 0x1D;
constexpr uint8_t kCmdFlashWrite8 = 0x1E;
constexpr uint8_t kCmdFlashEnd = 0x1F;

// The MCU restart: 2 written to the first control byte, then 1 to the second.
constexpr uint32_t kMcuControlA[2] = {0xF340, 0xF342};
constexpr uint32_t kMcuControlB[2] = {0x15040, 0x15042};

// The image layout the MCU boots from.
constexpr uint32_t kImageLengthOffset = 4;
constexpr uint32_t kImageSignatureOffset = 6;
constexpr uint32_t kImageBodyOffset = 48;
constexpr uint32_t kImageVersionInCode = 0x80;
constexpr uint8_t kSettingMarker = 0xCC;
constexpr uint32_t kFamilyBSettingBase = 0x10000;

void Unpack(uint32_t low, uint32_t high, uint8_t* bytes) {
  for (uint32_t i = 0; i < 8; ++i)
    bytes[i] = static_cast<uint8_t>((i < 4 ? low : high) >> (8 * (i % 4)));
}

bool Matches(const FaultRule& f, uint8_t command, uint8_t space, uint32_t address) {
  return (!f.command || *f.command == command) && (!f.space || *f.space == space) &&
         (!f.address || *f.address == address);
}

}  // namespace

VirtualController::VirtualController(const BoardSpec& desc)
    : spec_(desc),
      data_memory_(kDataMemorySize, 0),
      firmware_info_(kFirmwareInfoSize, 0),
      port_status_(1, 0),
      mmio_(kBarWindowSize, 0),
      flash_(desc.flash, desc.flash_status) {
  SetWord(0x00, desc.vendor_id | (static_cast<uint32_t>(desc.device_id) << 16));
  SetWord(0x04, 0x00100006);  // memory space and bus master on; capability list
  SetWord(0x08, 0x0C033000);  // serial bus controller, USB, xHCI
  SetWord(0x10, desc.bar0);
  SetWord(0x2C, desc.svid | (static_cast<uint32_t>(desc.ssid) << 16));

  auto put16 = [this](uint32_t at, uint16_t v) {
    data_memory_[at] = static_cast<uint8_t>(v);
    data_memory_[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  if (desc.family == 'A') {
    data_memory_[kChipCodeA] = desc.chip_code;
    put16(kSvidA, desc.svid);
    put16(kSsidA, desc.ssid);
    data_memory_[kLinkA] = desc.pcie_link;
    data_memory_[kDiscoveryControlA] = desc.discovery_control;
  } else {
    data_memory_[kChipCodeB] = desc.chip_code;
    put16(kSvidB, desc.svid);
    put16(kSsidB, desc.ssid);
  }
  std::memcpy(&firmware_info_[kFirmwareVersionAddr], desc.firmware_version.data(), 6);
  for (const auto& p : desc.memory) {
    std::vector<uint8_t>* space = Space(p.space);
    std::memcpy(space->data() + p.address, p.bytes.data(), p.bytes.size());
  }
}

uint32_t VirtualController::Word(uint32_t offset) const {
  uint32_t v = 0;
  for (uint32_t i = 0; i < 4; ++i)
    v |= static_cast<uint32_t>(config_[offset + i]) << (8 * i);
  return v;
}

void VirtualController::SetWord(uint32_t offset, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i)
    config_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t VirtualController::ReadConfig32(uint32_t offset) {
  if (offset > kConfigSize - 4) return 0xFFFFFFFFu;
  std::lock_guard lock(mutex_);
  return Word(offset);
}

uint8_t VirtualController::ReadConfig8(uint32_t offset) {
  if (offset >= kConfigSize) return 0xFF;
  std::lock_guard lock(mutex_);
  return config_[offset];
}

void VirtualController::WriteConfig8(uint32_t offset, uint8_t value) {
  if (offset >= kConfigSize) return;
  std::lock_guard lock(mutex_);
  // Identity, class, status and sequence registers are read only.
  if (offset < 0x04 || (offset >= 0x08 && offset < 0x0C) || (offset >= 0x2C && offset < 0x30) ||
      (offset >= mbx::kStatus && offset < mbx::kStatus + 8)) {
    return;
  }
  config_[offset] = value;
  if (offset == mbx::kDoorbell && value == mbx::kRing) Execute();
}

void VirtualController::WriteConfig32(uint32_t offset, uint32_t value) {
  if (offset > kConfigSize - 4) return;
  if (offset == mbx::kDoorbell) {
    WriteConfig8(offset, static_cast<uint8_t>(value));
    return;
  }
  for (uint32_t i = 0; i < 4; ++i)
    WriteConfig8(offset + i, static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t>* VirtualController::Space(uint8_t space) {
  switch (space) {
    case kSpaceData:
      return &data_memory_;
    case kSpaceFirmwareInfo:
      return &firmware_info_;
    case kSpacePortStatus:
      return &port_status_;
    default:
      return nullptr;
  }
}

void VirtualController::Finish(uint32_t status) {
  SetWord(mbx::kStatus, status);
  SetWord(mbx::kSequence, static_cast<uint32_t>(commands_));
}

void VirtualController::Reply(const uint8_t* bytes, uint32_t size) {
  for (uint32_t i = 0; i < 8; ++i)
    config_[mbx::kReplyData + i] = i < size ? bytes[i] : 0;
  Finish(mbx::kStatusDone | mbx::kStatusReplyReady);
}

// Runs with mutex_ held.
void VirtualController::Execute() {
  config_[mbx::kDoorbell] = 0;
  const uint32_t cw = Word(mbx::kCommand);
  const uint8_t command = static_cast<uint8_t>(cw);
  const uint8_t space = static_cast<uint8_t>(cw >> 8);
  const uint32_t size = Word(mbx::kSize);
  const uint32_t address = Word(mbx::kAddress);
  const uint32_t low = Word(mbx::kDataLow);
  const uint32_t high = Word(mbx::kDataHigh);
  const uint64_t before = commands_++;

  for (auto& f : spec_.faults) {
    if (before < f.after || (f.times && f.hits >= *f.times)) continue;
    if (!Matches(f, command, space, address)) continue;
    if (f.seen++ < f.skip) continue;
    ++f.hits;
    if (f.effect == FaultRule::Effect::kNoReady) {
      Finish(mbx::kStatusBusy);  // never taken: every wait on it times out
    } else {
      Finish(mbx::kStatusDone | mbx::kStatusError |
             (static_cast<uint32_t>(f.code) << mbx::kStatusErrorCodeShift));
    }
    return;
  }

  const uint32_t refused =
      mbx::kStatusDone | mbx::kStatusError | (1u << mbx::kStatusErrorCodeShift);
  switch (command) {
    case kCmdRead: {
      if (space == kSpaceFlash || space == kSpaceFlashId) {
        Finish(ExecuteFlash(command, space, size, address, low, high));
        return;
      }
      std::vector<uint8_t>* mem = Space(space);
      if (mem == nullptr || size < 1 || size > 8 ||
          static_cast<uint64_t>(address) + size > mem->size()) {
        Finish(refused);
        return;
      }
      Reply(mem->data() + address, size);
      return;
    }
    case kCmdWriteMemory: {
      if (space != kSpaceData || size < 1 || size > 8 ||
          static_cast<uint64_t>(address) + size > data_memory_.size()) {
        Finish(refused);
        return;
      }
      for (uint32_t i = 0; i < size; ++i) {
        data_memory_[address + i] = static_cast<uint8_t>((i < 4 ? low : high) >> (8 * (i % 4)));
      }
      const uint32_t* ctrl = spec_.family == 'A' ? kMcuControlA : kMcuControlB;
      if (address <= ctrl[1] && ctrl[1] < address + size && data_memory_[ctrl[1]] == 1 &&
          data_memory_[ctrl[0]] == 2) {
        data_memory_[ctrl[0]] = 0;
        data_memory_[ctrl[1]] = 0;
        Boot();
      }
      Finish(mbx::kStatusDone);
      return;
    }
    case kCmdReadFlashStatus: {
      if (space != kSpaceFlash) {
        Finish(refused);
        return;
      }
      const uint8_t reply[8] = {0, flash_.Status(), 0, 0, 0, 0, 0, 0};
      Reply(reply, 8);
      return;
    }
    case kCmdFlashOpcode:
    case kCmdFlashSetup:
    case kCmdFlashWriteStatus:
    case kCmdFlashErase:
    case kCmdFlashBegin:
    case kCmdFlashBeginPaced:
    case kCmdFlashWrite8:
    case kCmdFlashEnd:
      Finish(ExecuteFlash(command, space, size, address, low, high));
      return;
    case kCmdPortCommand:
      port_status_[0] = spec_.port_status;
      Finish(mbx::kStatusDone);
      return;
    default:
      Finish(refused);  // a command this firmware does not know
      return;
  }
}

// Runs with mutex_ held.  Returns the status the command ends with (a reply is set here).
uint32_t VirtualController::ExecuteFlash(uint8_t command, uint8_t space, uint32_t size,
                                         uint32_t address, uint32_t low, uint32_t high) {
  const uint32_t refused =
      mbx::kStatusDone | mbx::kStatusError | (1u << mbx::kStatusErrorCodeShift);
  const uint32_t done = mbx::kStatusDone;
  uint8_t bytes[8];
  Unpack(low, high, bytes);
  if (command == kCmdRead && space == kSpaceFlashId) {
    if (size < 1 || size > 8) return refused;
    const auto id = flash_.ReadId(static_cast<uint8_t>(low), address);
    uint8_t reply[8] = {id[0], id[1], id[2], 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (uint32_t i = 0; i < 8; ++i)
      config_[mbx::kReplyData + i] = i < size ? reply[i] : 0;
    return mbx::kStatusDone | mbx::kStatusReplyReady;
  }
  if (space != kSpaceFlash) return refused;
  switch (command) {
    case kCmdRead: {
      uint8_t out[8] = {};
      if (!flash_.Read(address, size, out)) return refused;
      for (uint32_t i = 0; i < 8; ++i)
        config_[mbx::kReplyData + i] = i < size ? out[i] : 0;
      return mbx::kStatusDone | mbx::kStatusReplyReady;
    }
    case kCmdFlashOpcode:
      return size == 1 && flash_.Opcode(bytes[0]) ? done : refused;
    case kCmdFlashSetup:
      return size == 1 && (bytes[0] == 0x80 || bytes[0] == 0x20) ? done : refused;
    case kCmdFlashWriteStatus:
      return size == 2 && flash_.WriteStatus(bytes[0], bytes[1]) ? done : refused;
    case kCmdFlashErase:
      return flash_.Erase(address, size) ? done : refused;
    case kCmdFlashBegin:
    case kCmdFlashBeginPaced:
      return size == 0 && flash_.BeginSection(address) ? done : refused;
    case kCmdFlashWrite8:
      return size == 8 && flash_.Program(address, bytes, 8) ? done : refused;
    case kCmdFlashEnd:
      return size <= 8 && flash_.EndSection(address, bytes, size) ? done : refused;
    default:
      return refused;
  }
}

// Runs with mutex_ held.  A valid image of the board's family gives the firmware version and
// applies its register setting records; a blank or invalid one leaves the MCU without firmware,
// which shows as a version of six 0xFF bytes.
void VirtualController::Boot() {
  ++boots_;
  const std::vector<uint8_t>& f = flash_.contents();
  const uint64_t size = f.size();
  auto fail = [this] { std::memset(&firmware_info_[kFirmwareVersionAddr], 0xFF, 6); };
  auto sum = [&f](uint64_t from, uint64_t to) {
    uint8_t s = 0;
    for (uint64_t i = from; i < to; ++i)
      s = static_cast<uint8_t>(s + f[i]);
    return s;
  };
  if (size < kImageBodyOffset) return fail();
  const char* config_sig = spec_.family == 'A' ? "7201A_RCFG" : "7202A_RCFG";
  const char* code_sig = spec_.family == 'A' ? "7201A_FW" : "7202A_FW";
  if (std::memcmp(&f[kImageSignatureOffset], config_sig, 10) != 0) return fail();
  const uint32_t length =
      f[kImageLengthOffset] | (static_cast<uint32_t>(f[kImageLengthOffset + 1]) << 8);
  if (length < kImageBodyOffset || length + 9ull > size) return fail();
  if (sum(0, length) != f[length]) return fail();
  uint64_t code_length = 0, code = 0;
  if (spec_.family == 'A') {
    code_length = f[length + 5] | (static_cast<uint32_t>(f[length + 6]) << 8);
    code = length + 7;
  } else {
    for (uint32_t i = 0; i < 4; ++i)
      code_length |= static_cast<uint64_t>(f[length + 5 + i]) << (8 * i);
    code = length + 9;
  }
  if (code_length < kImageVersionInCode + 6 || code + code_length + 9 > size) return fail();
  if (std::memcmp(&f[code + code_length], code_sig, 8) != 0) return fail();
  if (sum(code, code + code_length) != f[code + code_length + 8]) return fail();

  std::memcpy(&firmware_info_[kFirmwareVersionAddr], &f[code + kImageVersionInCode], 6);
  for (uint32_t at = kImageBodyOffset; at + 8 <= length; at += 8) {
    if (f[at] != kSettingMarker) continue;
    const uint32_t width = f[at + 1];
    if (width != 1 && width != 2 && width != 4) continue;
    uint32_t target = f[at + 2] | (static_cast<uint32_t>(f[at + 3]) << 8);
    if (spec_.family == 'B') target += kFamilyBSettingBase;
    if (target + width > data_memory_.size()) continue;
    std::memcpy(&data_memory_[target], &f[at + 4], width);
  }
  // The subsystem IDs in configuration space come from the firmware's copy.
  const uint32_t svid_at = spec_.family == 'A' ? kSvidA : kSvidB;
  const uint32_t ssid_at = spec_.family == 'A' ? kSsidA : kSsidB;
  SetWord(0x2C, data_memory_[svid_at] | (static_cast<uint32_t>(data_memory_[svid_at + 1]) << 8) |
                    (static_cast<uint32_t>(data_memory_[ssid_at]) << 16) |
                    (static_cast<uint32_t>(data_memory_[ssid_at + 1]) << 24));
}

bool VirtualController::OwnsPhysical(uint64_t physical, uint64_t length) const {
  const uint64_t base = spec_.bar0 & 0xFFFFFFF0u;
  return physical >= base && physical + length <= base + kBarWindowSize;
}

uint8_t VirtualController::ReadMmio8(uint64_t physical) {
  std::lock_guard lock(mutex_);
  return mmio_[physical - (spec_.bar0 & 0xFFFFFFF0u)];
}

void VirtualController::WriteMmio8(uint64_t physical, uint8_t value) {
  std::lock_guard lock(mutex_);
  mmio_[physical - (spec_.bar0 & 0xFFFFFFF0u)] = value;
}

uint64_t VirtualController::CommandCount() {
  std::lock_guard lock(mutex_);
  return commands_;
}

uint8_t VirtualController::PeekData(uint32_t address) {
  std::lock_guard lock(mutex_);
  return address < data_memory_.size() ? data_memory_[address] : 0;
}

void VirtualController::PokeData(uint32_t address, uint8_t value) {
  std::lock_guard lock(mutex_);
  if (address < data_memory_.size()) data_memory_[address] = value;
}

std::vector<uint8_t> VirtualController::FlashContents() {
  std::lock_guard lock(mutex_);
  return flash_.contents();
}

uint8_t VirtualController::FlashStatus() {
  std::lock_guard lock(mutex_);
  return flash_.Status();
}

uint64_t VirtualController::FlashEraseCount() {
  std::lock_guard lock(mutex_);
  return flash_.erase_count();
}

uint64_t VirtualController::BootCount() {
  std::lock_guard lock(mutex_);
  return boots_;
}

// ---------------------------------------------------------------------------------------------

Station::Station(std::string path) : path_(std::move(path)) {}

Station::Station(std::vector<BoardSpec> boards) : pending_(std::move(boards)) {}

Station::~Station() {
  Close();
}

bool Station::Open(std::string& error) {
  if (open_) return true;
  std::vector<BoardSpec> specs;
  if (!path_.empty()) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
      error = "station file " + path_ + ": cannot be read (" + std::strerror(errno) + ")";
      errno = ENOENT;
      return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto parsed = ParseStationText(text.str(), path_, error);
    if (!parsed) {
      errno = EINVAL;
      return false;
    }
    specs = std::move(*parsed);
  } else {
    specs = pending_;
  }
  index_ = new std::array<VirtualController*, 65536>;
  index_->fill(nullptr);
  for (const auto& s : specs) {
    auto board = std::make_unique<VirtualController>(s);
    (*index_)[s.location.Index()] = board.get();
    boards_[s.location.Index()] = std::move(board);
  }
  open_ = true;
  return true;
}

void Station::Close() {
  if (!open_) return;
  {
    std::lock_guard lock(map_mutex_);
    mappings_.clear();
  }
  boards_.clear();
  delete index_;
  index_ = nullptr;
  open_ = false;
}

std::string Station::Description() const {
  return "simulated station " + (path_.empty() ? std::string("(built in)") : path_) + ": " +
         std::to_string(boards_.size()) + (boards_.size() == 1 ? " board" : " boards");
}

VirtualController* Station::Board(PciLocation loc) {
  return open_ ? (*index_)[loc.Index()] : nullptr;
}

uint32_t Station::ReadConfig32(PciLocation loc, uint32_t offset) {
  VirtualController* b = Board(loc);
  return b ? b->ReadConfig32(offset) : 0xFFFFFFFFu;
}

uint8_t Station::ReadConfig8(PciLocation loc, uint32_t offset) {
  VirtualController* b = Board(loc);
  return b ? b->ReadConfig8(offset) : 0xFF;
}

void Station::WriteConfig8(PciLocation loc, uint32_t offset, uint8_t value) {
  if (VirtualController* b = Board(loc)) b->WriteConfig8(offset, value);
}

void Station::WriteConfig32(PciLocation loc, uint32_t offset, uint32_t value) {
  if (VirtualController* b = Board(loc)) b->WriteConfig32(offset, value);
}

void* Station::Map(uint64_t physical, uint32_t length) {
  if (!open_ || length == 0) return nullptr;
  VirtualController* owner = nullptr;
  for (auto& [index, board] : boards_) {
    if (board->OwnsPhysical(physical, length)) owner = board.get();
  }
  if (owner == nullptr) return nullptr;  // no board decodes that range
  Mapping m;
  m.placeholder = std::make_unique<uint8_t[]>(length);
  m.length = length;
  m.physical = physical;
  m.board = owner;
  void* user = m.placeholder.get();
  std::lock_guard lock(map_mutex_);
  mappings_[reinterpret_cast<uintptr_t>(user)] = std::move(m);
  return user;
}

void Station::Unmap(void* mapping, uint32_t /*length*/) {
  std::lock_guard lock(map_mutex_);
  mappings_.erase(reinterpret_cast<uintptr_t>(mapping));
}

Station::Mapping* Station::FindMapping(const void* address, uint64_t* physical) {
  const auto a = reinterpret_cast<uintptr_t>(address);
  auto it = mappings_.upper_bound(a);
  if (it == mappings_.begin()) return nullptr;
  --it;
  if (a >= it->first + it->second.length) return nullptr;
  *physical = it->second.physical + (a - it->first);
  return &it->second;
}

int Station::ReadByte(const void* address, uint8_t* out) {
  std::lock_guard lock(map_mutex_);
  uint64_t physical = 0;
  Mapping* m = FindMapping(address, &physical);
  if (m == nullptr) return -1;
  *out = m->board->ReadMmio8(physical);
  return 0;
}

int Station::WriteByte(void* address, uint8_t value) {
  std::lock_guard lock(map_mutex_);
  uint64_t physical = 0;
  Mapping* m = FindMapping(address, &physical);
  if (m == nullptr) return -1;
  m->board->WriteMmio8(physical, value);
  return 0;
}

}  // namespace nvl::sim
