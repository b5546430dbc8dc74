#include "porttest/usb_tree.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

#include "hw/nvlio.h"
#include "hw/sim/station.h"

namespace nvl {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxTiers = 7;  // root hub plus six tiers of hubs and devices

std::string g_sysfs_root_for_test;

std::optional<std::string> ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
    line.pop_back();
  return line;
}

// A PCI ID file: "0x1e7c".
std::optional<uint16_t> ReadId(const fs::path& file) {
  const auto text = ReadLine(file);
  if (!text || text->size() < 3 || text->size() > 6 || (*text)[0] != '0' ||
      ((*text)[1] != 'x' && (*text)[1] != 'X'))
    return std::nullopt;
  unsigned v = 0;
  for (size_t i = 2; i < text->size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>((*text)[i])));
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return static_cast<uint16_t>(v);
}

bool AllDigits(const std::string& s, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

// "usb3" -> 3.
std::optional<unsigned long> RootHubNumber(const std::string& name) {
  if (name.rfind("usb", 0) != 0 || !AllDigits(name, 3, name.size()) || name.size() > 12)
    return std::nullopt;
  return std::stoul(name.substr(3));
}

// A USB device directory name: bus-port(.port)*, e.g. "3-1", "3-1.4.2" (interfaces carry ':').
bool IsDeviceName(const std::string& name) {
  const size_t dash = name.find('-');
  if (dash == std::string::npos || !AllDigits(name, 0, dash)) return false;
  size_t from = dash + 1;
  while (true) {
    const size_t dot = name.find('.', from);
    const size_t to = dot == std::string::npos ? name.size() : dot;
    if (!AllDigits(name, from, to)) return false;
    if (dot == std::string::npos) return true;
    from = dot + 1;
  }
}

std::vector<UsbNode> SysfsChildren(const fs::path& dir, int tier) {
  std::vector<UsbNode> out;
  if (tier > kMaxTiers) return out;
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code sec;
    // Real device directories only: sysfs links ("port", "driver") lead elsewhere.
    if (!IsDeviceName(name) || !fs::is_directory(it->symlink_status(sec))) continue;
    const auto device_class = ReadLine(it->path() / "bDeviceClass");
    if (!device_class) continue;
    UsbNode node;
    node.name = name;
    node.hub = *device_class == "09";
    if (node.hub) node.children = SysfsChildren(it->path(), tier + 1);
    out.push_back(std::move(node));
  }
  std::sort(out.begin(), out.end(),
            [](const UsbNode& a, const UsbNode& b) { return a.name < b.name; });
  return out;
}

class SysfsUsbTree final : public UsbTree {
 public:
  explicit SysfsUsbTree(std::string devices_dir) : dir_(std::move(devices_dir)) {}

  std::vector<UsbRootHub> RootHubs() override {
    std::vector<std::pair<unsigned long, UsbRootHub>> found;
    std::error_code ec;
    fs::directory_iterator it(dir_, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const auto number = RootHubNumber(name);
      if (!number) continue;
      std::error_code cec;
      const fs::path real = fs::canonical(it->path(), cec);
      if (cec || !real.has_parent_path()) continue;
      const fs::path pci = real.parent_path();
      const auto vendor = ReadId(pci / "vendor");
      const auto device = ReadId(pci / "device");
      if (!vendor || !device) continue;  // not on a PCI function
      UsbRootHub hub;
      hub.name = name;
      hub.controller = pci.string();
      hub.vendor_id = *vendor;
      hub.device_id = *device;
      hub.where = real.string();
      found.emplace_back(*number, std::move(hub));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<UsbRootHub> out;
    for (auto& [number, hub] : found)
      out.push_back(std::move(hub));
    return out;
  }

  std::vector<UsbNode> DevicesBelow(const UsbRootHub& hub) override {
    return SysfsChildren(hub.where, 1);
  }

 private:
  std::string dir_;
};

std::string LocationText(const PciLocation& loc) {
  return std::to_string(loc.bus) + ":" + std::to_string(loc.device) + ":" +
         std::to_string(loc.function);
}

UsbNode FromSpec(const sim::UsbDeviceSpec& d, const std::string& parent, bool below_root) {
  UsbNode node;
  node.name = parent + (below_root ? "." : "-") + std::to_string(d.port);
  node.hub = d.hub;
  for (const auto& c : d.children)
    node.children.push_back(FromSpec(c, node.name, true));
  return node;
}

class StationUsbTree final : public UsbTree {
 public:
  explicit StationUsbTree(sim::Station* station) : station_(station) {}

  std::vector<UsbRootHub> RootHubs() override {
    std::vector<UsbRootHub> out;
    if (station_ == nullptr) return out;
    for (sim::VirtualController* board : station_->Boards()) {
      const sim::BoardSpec& board_desc = board->desc();
      UsbRootHub hub;
      hub.where = LocationText(board_desc.location);
      hub.name = "sim-" + hub.where;
      hub.controller = hub.where;
      hub.vendor_id = board_desc.vendor_id;
      hub.device_id = board_desc.device_id;
      out.push_back(std::move(hub));
    }
    return out;
  }

  std::vector<UsbNode> DevicesBelow(const UsbRootHub& hub) override {
    std::vector<UsbNode> out;
    if (station_ == nullptr) return out;
    for (sim::VirtualController* board : station_->Boards()) {
      if (LocationText(board->desc().location) != hub.where) continue;
      for (const auto& d : board->UsbDevices())
        out.push_back(FromSpec(d, hub.where, false));
    }
    return out;
  }

 private:
  sim::Station* station_;
};

}  // namespace

std::unique_ptr<UsbTree> MakeSysfsUsbTree(std::string devices_dir) {
  return std::make_unique<SysfsUsbTree>(std::move(devices_dir));
}

std::unique_ptr<UsbTree> MakeStationUsbTree(sim::Station* station) {
  return std::make_unique<StationUsbTree>(station);
}

std::unique_ptr<UsbTree> MakeUsbTree() {
  if (IoLibrary* lib = InstalledIoLibrary(); lib != nullptr && lib->Simulated())
    return MakeStationUsbTree(lib->SimulatedStation());
  return MakeSysfsUsbTree(g_sysfs_root_for_test.empty() ? std::string(kSysfsUsbDevices)
                                                        : g_sysfs_root_for_test);
}

void SetUsbSysfsRootForTest(std::string devices_dir) {
  g_sysfs_root_for_test = std::move(devices_dir);
}

}  // namespace nvl
