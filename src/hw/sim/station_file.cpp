// Reading a station file.  Every field is checked: a wrong type, an unknown field, an impossible
// board or two boards at one location refuse the whole file, so nothing is half loaded.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "hw/firmware_version.h"
#include "hw/sim/station.h"
#include "platform/text.h"

namespace nvl::sim {
namespace {

using Json = nlohmann::json;

constexpr uint64_t kMaxFlashSize = 0x1000000;  // 16 MB

struct Refusal {
  std::string what;
};

[[noreturn]] void Refuse(const std::string& where, const std::string& what) {
  throw Refusal{where.empty() ? what : where + ": " + what};
}

// A number given as a JSON integer or as text ("0x1F", "31").
uint64_t Number(const Json& j, const std::string& where, uint64_t max) {
  uint64_t v = 0;
  if (j.is_number_unsigned()) {
    v = j.get<uint64_t>();
  } else if (j.is_number_integer()) {
    if (j.get<int64_t>() < 0) Refuse(where, "must not be negative");
    v = static_cast<uint64_t>(j.get<int64_t>());
  } else if (j.is_string()) {
    const std::string s = j.get<std::string>();
    size_t pos = 0;
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      base = 16;
      pos = 2;
    }
    if (pos >= s.size()) Refuse(where, "expected a number, found \"" + s + "\"");
    for (; pos < s.size(); ++pos) {
      const char c = s[pos];
      int d = -1;
      if (c >= '0' && c <= '9') d = c - '0';
      if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0) Refuse(where, "expected a number, found \"" + s + "\"");
      if (v > (max - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base))
        Refuse(where, "number out of range (at most " + std::to_string(max) + ")");
      v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    return v;
  } else {
    Refuse(where, std::string("expected a number, found ") + j.type_name());
  }
  if (v > max) Refuse(where, "number out of range (at most " + std::to_string(max) + ")");
  return v;
}

std::string Text(const Json& j, const std::string& where) {
  if (!j.is_string()) Refuse(where, std::string("expected a text, found ") + j.type_name());
  return j.get<std::string>();
}

// Hex bytes such as "30 00 1f" or "30001F".
std::vector<uint8_t> HexBytes(const Json& j, const std::string& where) {
  const std::string s = Text(j, where);
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : s) {
    if (c == ' ') {
      if (high >= 0) Refuse(where, "odd number of hex digits in \"" + s + "\"");
      continue;
    }
    const int d = nvl::HexDigit(c);
    if (d < 0) Refuse(where, "not a hex byte text: \"" + s + "\"");
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) Refuse(where, "odd number of hex digits in \"" + s + "\"");
  return out;
}

// A 16-bit ID as its four hex digits ("1234", "abcd").
uint16_t HexId(const Json& j, const std::string& where) {
  const std::string s = Text(j, where);
  if (s.size() != 4) Refuse(where, "expected four hex digits, found \"" + s + "\"");
  uint16_t v = 0;
  for (char c : s) {
    const int d = nvl::HexDigit(c);
    if (d < 0) Refuse(where, "expected four hex digits, found \"" + s + "\"");
    v = static_cast<uint16_t>(v * 16 + d);
  }
  return v;
}

// A firmware version in its display form, 010203_04_05_06.
std::array<uint8_t, 6> Version(const Json& j, const std::string& where) {
  const std::string s = Text(j, where);
  const auto v = ParseFirmwareVersionText(s);
  if (!v) Refuse(where, "expected a version like 010203_04_05_06, found \"" + s + "\"");
  return *v;
}

PciLocation Location(const Json& j, const std::string& where) {
  const std::string s = Text(j, where);
  unsigned bus = 0, dev = 0, fn = 0;
  char tail = 0;
  if (std::sscanf(s.c_str(), "%u:%u:%u%c", &bus, &dev, &fn, &tail) != 3 || bus > 255 || dev > 31 ||
      fn > 7) {
    Refuse(where, "expected bus:device:function (0-255:0-31:0-7), found \"" + s + "\"");
  }
  return {static_cast<uint8_t>(bus), static_cast<uint8_t>(dev), static_cast<uint8_t>(fn)};
}

void OnlyKnownFields(const Json& obj, const std::string& where,
                     const std::set<std::string>& known) {
  if (!obj.is_object()) Refuse(where, std::string("expected an object, found ") + obj.type_name());
  for (const auto& [key, value] : obj.items()) {
    if (!known.count(key)) Refuse(where, "unknown field \"" + key + "\"");
  }
}

FaultRule Fault(const Json& j, const std::string& where) {
  OnlyKnownFields(
      j, where,
      {"effect", "command", "space", "address", "after", "skip", "times", "code", "comment"});
  FaultRule f;
  if (!j.contains("effect")) Refuse(where, "missing field \"effect\"");
  const std::string effect = Text(j["effect"], where + ".effect");
  if (effect == "error") {
    f.effect = FaultRule::Effect::kError;
  } else if (effect == "no_ready") {
    f.effect = FaultRule::Effect::kNoReady;
  } else {
    Refuse(where + ".effect", "expected \"error\" or \"no_ready\", found \"" + effect + "\"");
  }
  if (j.contains("command"))
    f.command = static_cast<uint8_t>(Number(j["command"], where + ".command", 0xFF));
  if (j.contains("space"))
    f.space = static_cast<uint8_t>(Number(j["space"], where + ".space", 0xFF));
  if (j.contains("address"))
    f.address = static_cast<uint32_t>(Number(j["address"], where + ".address", 0xFFFFFFFFu));
  if (j.contains("after")) f.after = Number(j["after"], where + ".after", UINT32_MAX);
  if (j.contains("skip")) f.skip = Number(j["skip"], where + ".skip", UINT32_MAX);
  if (j.contains("times")) f.times = Number(j["times"], where + ".times", UINT32_MAX);
  if (j.contains("code")) {
    f.code = static_cast<uint16_t>(Number(j["code"], where + ".code", 0xFFFF));
    if (f.code == 0) Refuse(where + ".code", "an error number must not be 0");
  }
  return f;
}

// The board's SPI flash chip.
void Flash(const Json& f, const std::string& where, BoardSpec& b) {
  OnlyKnownFields(f, where,
                  {"status", "comment", "id", "id_opcode", "id_arg", "size", "sector_size",
                   "stuck_bits", "read_mismatches"});
  if (f.contains("status"))
    b.flash_status = static_cast<uint8_t>(Number(f["status"], where + ".status", 0xFF));
  FlashSpec& c = b.flash;
  if (f.contains("id")) {
    const std::vector<uint8_t> id = HexBytes(f["id"], where + ".id");
    if (id.size() != 3) Refuse(where + ".id", "expected three identification bytes");
    c.id = {id[0], id[1], id[2]};
  }
  if (f.contains("id_opcode"))
    c.id_opcode = static_cast<uint8_t>(Number(f["id_opcode"], where + ".id_opcode", 0xFF));
  if (f.contains("id_arg"))
    c.id_arg = static_cast<uint8_t>(Number(f["id_arg"], where + ".id_arg", 0xFF));
  if (f.contains("sector_size")) {
    c.sector_size =
        static_cast<uint32_t>(Number(f["sector_size"], where + ".sector_size", kMaxFlashSize));
    if (c.sector_size == 0 || c.sector_size % 4096 != 0)
      Refuse(where + ".sector_size", "must be a multiple of 4096 above 0");
  }
  if (f.contains("size")) {
    c.size = static_cast<uint32_t>(Number(f["size"], where + ".size", kMaxFlashSize));
  }
  if (c.size == 0 || c.size % c.sector_size != 0)
    Refuse(where + ".size", "must be a whole number of sectors above 0");
  if (f.contains("stuck_bits")) {
    const Json& list = f["stuck_bits"];
    if (!list.is_array())
      Refuse(where + ".stuck_bits", std::string("expected a list, found ") + list.type_name());
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string w = where + ".stuck_bits[" + std::to_string(i) + "]";
      OnlyKnownFields(list[i], w, {"address", "mask", "comment"});
      if (!list[i].contains("address") || !list[i].contains("mask"))
        Refuse(w, "needs \"address\" and \"mask\"");
      StuckBits s;
      s.address = static_cast<uint32_t>(Number(list[i]["address"], w + ".address", 0xFFFFFFFFu));
      s.mask = static_cast<uint8_t>(Number(list[i]["mask"], w + ".mask", 0xFF));
      if (s.address >= c.size) Refuse(w + ".address", "past the end of the flash");
      c.stuck_bits.push_back(s);
    }
  }
  if (f.contains("read_mismatches"))
    c.read_mismatches = Number(f["read_mismatches"], where + ".read_mismatches", UINT32_MAX);
}

// The devices on the ports of one hub (the root hub at tier 0), sorted by port.
std::vector<UsbDeviceSpec> UsbPorts(const Json& list, const std::string& where, int tier) {
  if (!list.is_array()) Refuse(where, std::string("expected a list, found ") + list.type_name());
  const uint64_t ports = tier == 0 ? kUsbRootPorts : kUsbHubPorts;
  std::vector<UsbDeviceSpec> out;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string w = where + "[" + std::to_string(i) + "]";
    const Json& j = list[i];
    OnlyKnownFields(j, w, {"port", "hub", "children", "comment"});
    if (!j.contains("port")) Refuse(w, "missing field \"port\"");
    UsbDeviceSpec d;
    d.port = static_cast<uint8_t>(Number(j["port"], w + ".port", ports));
    if (d.port == 0) Refuse(w + ".port", "ports count from 1");
    for (const auto& other : out) {
      if (other.port == d.port)
        Refuse(w + ".port", "two devices on port " + std::to_string(d.port));
    }
    if (j.contains("hub")) {
      if (!j["hub"].is_boolean())
        Refuse(w + ".hub", std::string("expected true or false, found ") + j["hub"].type_name());
      d.hub = j["hub"].get<bool>();
      if (d.hub && tier >= kUsbMaxHubTiers)
        Refuse(w + ".hub", "more than " + std::to_string(kUsbMaxHubTiers) + " hubs in a row");
    }
    if (j.contains("children")) {
      if (!d.hub) Refuse(w + ".children", "only a hub has devices on its ports");
      d.children = UsbPorts(j["children"], w + ".children", tier + 1);
    }
    out.push_back(std::move(d));
  }
  std::sort(out.begin(), out.end(),
            [](const UsbDeviceSpec& a, const UsbDeviceSpec& b) { return a.port < b.port; });
  return out;
}

BoardSpec Board(const Json& j, const std::string& where) {
  OnlyKnownFields(j, where,
                  {"name", "comment", "location", "family", "vendor_id", "device_id", "bar0",
                   "chip_code", "firmware_version", "svid", "ssid", "pcie_link",
                   "discovery_control", "port_status", "flash", "memory", "faults", "usb"});
  BoardSpec b;
  if (j.contains("name")) b.name = Text(j["name"], where + ".name");
  if (!j.contains("location")) Refuse(where, "missing field \"location\"");
  b.location = Location(j["location"], where + ".location");
  if (j.contains("family")) {
    const std::string fam = Text(j["family"], where + ".family");
    if (fam != "A" && fam != "B")
      Refuse(where + ".family", "expected \"A\" or \"B\", found \"" + fam + "\"");
    b.family = fam[0];
  }
  b.device_id = b.family == 'A' ? 0x5301 : 0x5401;
  b.chip_code = b.family == 'A' ? 0x30 : 0x00;
  if (j.contains("vendor_id"))
    b.vendor_id = static_cast<uint16_t>(Number(j["vendor_id"], where + ".vendor_id", 0xFFFF));
  if (j.contains("device_id"))
    b.device_id = static_cast<uint16_t>(Number(j["device_id"], where + ".device_id", 0xFFFF));
  if (b.vendor_id == 0xFFFF) Refuse(where + ".vendor_id", "0xFFFF is what an empty location reads");
  // A default memory window per location keeps boards apart.
  b.bar0 = 0xC0000000u + b.location.Index() * kBarWindowSize;
  if (j.contains("bar0")) {
    b.bar0 = static_cast<uint32_t>(Number(j["bar0"], where + ".bar0", 0xFFFFFFFFu));
    if ((b.bar0 & 0xFFFFFFF0u) == 0) Refuse(where + ".bar0", "a memory base of 0 cannot be mapped");
  }
  if (j.contains("chip_code"))
    b.chip_code = static_cast<uint8_t>(Number(j["chip_code"], where + ".chip_code", 0xFF));
  if (j.contains("firmware_version"))
    b.firmware_version = Version(j["firmware_version"], where + ".firmware_version");
  if (j.contains("svid")) b.svid = HexId(j["svid"], where + ".svid");
  if (j.contains("ssid")) b.ssid = HexId(j["ssid"], where + ".ssid");
  if (j.contains("pcie_link"))
    b.pcie_link = static_cast<uint8_t>(Number(j["pcie_link"], where + ".pcie_link", 0xFF));
  if (j.contains("discovery_control"))
    b.discovery_control =
        static_cast<uint8_t>(Number(j["discovery_control"], where + ".discovery_control", 0xFF));
  if (j.contains("port_status"))
    b.port_status = static_cast<uint8_t>(Number(j["port_status"], where + ".port_status", 0xFF));
  if (j.contains("flash")) {
    const Json& f = j["flash"];
    Flash(f, where + ".flash", b);
  }
  if (j.contains("memory")) {
    const Json& m = j["memory"];
    if (!m.is_array())
      Refuse(where + ".memory", std::string("expected a list, found ") + m.type_name());
    for (size_t i = 0; i < m.size(); ++i) {
      const std::string w = where + ".memory[" + std::to_string(i) + "]";
      OnlyKnownFields(m[i], w, {"space", "address", "bytes", "comment"});
      MemoryPreload p;
      if (m[i].contains("space"))
        p.space = static_cast<uint8_t>(Number(m[i]["space"], w + ".space", 0xFF));
      if (!m[i].contains("address") || !m[i].contains("bytes"))
        Refuse(w, "needs \"address\" and \"bytes\"");
      p.address = static_cast<uint32_t>(Number(m[i]["address"], w + ".address", 0xFFFFFFFFu));
      p.bytes = HexBytes(m[i]["bytes"], w + ".bytes");
      const uint64_t limit = p.space == kSpaceData           ? kDataMemorySize
                             : p.space == kSpaceFirmwareInfo ? kFirmwareInfoSize
                             : p.space == kSpacePortStatus   ? 1
                                                             : 0;
      if (limit == 0) Refuse(w + ".space", "no such memory space: " + std::to_string(p.space));
      if (p.address + p.bytes.size() > limit) Refuse(w, "bytes reach past the end of the space");
      b.memory.push_back(std::move(p));
    }
  }
  if (j.contains("faults")) {
    const Json& fs = j["faults"];
    if (!fs.is_array())
      Refuse(where + ".faults", std::string("expected a list, found ") + fs.type_name());
    for (size_t i = 0; i < fs.size(); ++i)
      b.faults.push_back(Fault(fs[i], where + ".faults[" + std::to_string(i) + "]"));
  }
  if (j.contains("usb")) b.usb = UsbPorts(j["usb"], where + ".usb", 0);
  return b;
}

}  // namespace

std::optional<std::vector<BoardSpec>> ParseStationText(const std::string& text,
                                                       const std::string& origin,
                                                       std::string& error) {
  Json doc;
  try {
    doc = Json::parse(text);
  } catch (const Json::exception& e) {  // also a number too large for any type
    error = "station file " + origin + ": not valid JSON (" + e.what() + ")";
    return std::nullopt;
  }
  try {
    OnlyKnownFields(doc, "", {"format", "name", "comment", "boards"});
    if (doc.contains("format")) {
      const uint64_t format = Number(doc["format"], "format", 0xFFFF);
      if (format != 1)
        Refuse("format",
               "format " + std::to_string(format) + " is not known to this program (it reads 1)");
    }
    if (!doc.contains("boards")) Refuse("", "missing field \"boards\"");
    const Json& boards = doc["boards"];
    if (!boards.is_array())
      Refuse("boards", std::string("expected a list, found ") + boards.type_name());
    std::vector<BoardSpec> out;
    std::set<uint32_t> seen;
    for (size_t i = 0; i < boards.size(); ++i) {
      const std::string where = "boards[" + std::to_string(i) + "]";
      BoardSpec b = Board(boards[i], where);
      if (!seen.insert(b.location.Index()).second) {
        Refuse(where + ".location", "two boards at location " + std::to_string(b.location.bus) +
                                        ":" + std::to_string(b.location.device) + ":" +
                                        std::to_string(b.location.function));
      }
      for (const auto& other : out) {
        const uint64_t a0 = b.bar0 & 0xFFFFFFF0u, o0 = other.bar0 & 0xFFFFFFF0u;
        if (a0 < o0 + kBarWindowSize && o0 < a0 + kBarWindowSize)
          Refuse(where + ".bar0", "memory window overlaps another board's");
      }
      out.push_back(std::move(b));
    }
    return out;
  } catch (const Refusal& r) {
    error = "station file " + origin + ": " + r.what;
  } catch (const Json::exception& e) {
    error = "station file " + origin + ": " + e.what();
  }
  return std::nullopt;
}

}  // namespace nvl::sim
