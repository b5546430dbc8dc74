// USB device enumeration over fake sysfs trees and over simulated stations: one table of USB
// trees, each laid out both ways.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/utility.h"
#include "hw/nvlio.h"
#include "porttest/usb_tree.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

namespace fs = std::filesystem;

struct FakeDevice {
  int port;
  bool hub = false;
  std::vector<FakeDevice> children;
};

struct FakeController {
  uint16_t vendor;
  uint16_t device;
  std::vector<FakeDevice> usb;           // below its (first) root hub
  std::vector<FakeDevice> usb_second{};  // below a second root hub of the same controller (sysfs)
};

constexpr uint16_t kOurs = 0x1E7C;
constexpr uint16_t kOther = 0x8086;

FakeDevice Hub(int port, std::vector<FakeDevice> children = {}) {
  return {port, true, std::move(children)};
}
FakeDevice Dev(int port) {
  return {port, false, {}};
}

struct Case {
  const char* name;
  std::vector<FakeController> controllers;
  uint8_t found;
};

std::vector<FakeController> Many(int n, FakeController last) {
  std::vector<FakeController> out(static_cast<size_t>(n - 1), FakeController{kOurs, 0x5301, {}});
  out.push_back(std::move(last));
  return out;
}

const Case kCases[] = {
    {"NoControllerAtAll", {}, 0},
    {"OnlyAnotherMakersControllerEmpty", {{kOther, 0x15B6, {}}}, 0},
    {"TargetControllerNothingConnected", {{kOurs, 0x5301, {}}}, 0},
    {"OnlyAnExternalHubWithNothingBehind", {{kOurs, 0x5301, {Hub(1)}}}, 0},
    {"HubsTwoDeepWithNothingBehind", {{kOurs, 0x5402, {Hub(3, {Hub(2), Hub(4)})}}}, 0},
    {"DeviceOnRootPort", {{kOurs, 0x5301, {Dev(3)}}}, 1},
    {"DeviceBehindTwoLevelsOfHubs", {{kOurs, 0x5302, {Hub(1, {Hub(2, {Dev(4)})})}}}, 1},
    {"DeviceOnAnotherMakersController",
     {{kOurs, 0x5301, {Hub(1)}}, {kOther, 0x15B6, {Dev(1), Hub(2, {Dev(1)})}}},
     0},
    {"OurVendorButUnknownDevice", {{kOurs, 0x5304, {Dev(1)}}}, 0},
    {"DeviceOnADifferentTargetController",
     {{kOurs, 0x5301, {}}, {kOther, 0x15B6, {}}, {kOurs, 0x5401, {Hub(2, {Dev(1)})}}},
     1},
    {"EveryFamilyID", {{kOurs, 0x5303, {}}, {kOurs, 0x5402, {Dev(4)}}}, 1},
    {"DeviceOnTheEighthController", Many(8, {kOurs, 0x5301, {Dev(1)}}), 1},
    {"DeviceOnlyOnANinthControllerIsNotLookedAt", Many(9, {kOurs, 0x5301, {Dev(1)}}), 0},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& p) {
  return p.param.name;
}

// --- fake sysfs ---

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

class FakeSysfs {
 public:
  FakeSysfs() {
    fs::create_directories(Bus());
    fs::create_directories(root() / "devices/pci0000:00");
  }
  fs::path root() const { return dir_.path(); }
  fs::path Bus() const { return root() / "bus/usb/devices"; }

  void Add(const std::vector<FakeController>& controllers) {
    int bus = 1;
    for (size_t i = 0; i < controllers.size(); ++i) {
      const auto& c = controllers[i];
      char name[64];
      std::snprintf(name, sizeof name, "pci0000:00/0000:00:1c.%zu/0000:%02zx:00.0", i % 8, i + 3);
      const fs::path pci_rel = fs::path("devices") / name;
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%04x\n", c.vendor);
      WriteFile(root() / pci_rel / "vendor", hex);
      std::snprintf(hex, sizeof hex, "0x%04x\n", c.device);
      WriteFile(root() / pci_rel / "device", hex);
      WriteFile(root() / pci_rel / "class", "0x0c0330\n");
      RootHub(pci_rel, bus++, c.usb);
      if (!c.usb_second.empty()) RootHub(pci_rel, bus++, c.usb_second);
    }
  }

 private:
  // What real sysfs puts beside the device directories, which the walk must not take for
  // devices: interfaces, port directories, links.
  void Furniture(const fs::path& dev, const std::string& name, const std::string& bus) {
    WriteFile(dev / (name + ":1.0") / "bInterfaceClass", "09\n");
    fs::create_directories(dev / (name + ":1.0") / ("usb" + bus + "-port1"));
    fs::create_directories(dev / "power");
    fs::create_symlink("../../../../../bus/usb", dev / "subsystem");
  }

  void Devices(const fs::path& rel, const std::string& prefix, bool below_root,
               const std::vector<FakeDevice>& devices, const std::string& bus) {
    for (const auto& d : devices) {
      const std::string name = prefix + (below_root ? "." : "-") + std::to_string(d.port);
      const fs::path dev_rel = rel / name;
      WriteFile(root() / dev_rel / "bDeviceClass", d.hub ? "09\n" : "00\n");
      Furniture(root() / dev_rel, name, bus);
      fs::create_directory_symlink(fs::path("../../..") / dev_rel, Bus() / name);
      Devices(dev_rel, name, true, d.children, bus);
    }
  }

  void RootHub(const fs::path& pci_rel, int bus, const std::vector<FakeDevice>& devices) {
    const std::string b = std::to_string(bus);
    const fs::path hub_rel = pci_rel / ("usb" + b);
    WriteFile(root() / hub_rel / "bDeviceClass", "09\n");
    Furniture(root() / hub_rel, b + "-0", b);
    fs::create_directory_symlink(fs::path("../../..") / hub_rel, Bus() / ("usb" + b));
    Devices(hub_rel, b, false, devices, b);
  }

  TempDir dir_;
};

void AddJson(std::string& out, const std::vector<FakeDevice>& devices) {
  out += "[";
  for (size_t i = 0; i < devices.size(); ++i) {
    const auto& d = devices[i];
    if (i) out += ", ";
    out += "{\"port\": " + std::to_string(d.port);
    if (d.hub) {
      out += ", \"hub\": true, \"children\": ";
      AddJson(out, d.children);
    }
    out += "}";
  }
  out += "]";
}

std::string StationJson(const std::vector<FakeController>& controllers) {
  std::string out = "{\"boards\": [";
  for (size_t i = 0; i < controllers.size(); ++i) {
    const auto& c = controllers[i];
    if (i) out += ", ";
    out += "{\"location\": \"" + std::to_string(i + 3) +
           ":0:0\", \"vendor_id\": " + std::to_string(c.vendor) +
           ", \"device_id\": " + std::to_string(c.device) + ", \"usb\": ";
    AddJson(out, c.usb);
    out += "}";
  }
  return out + "]}";
}

class UsbScanSysfs : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    InstallIoLibrary(nullptr);
    g_Utility.vResetForTest();
  }
  void TearDown() override {
    SetUsbSysfsRootForTest("");
    g_Utility.vResetForTest();
  }
};

TEST_P(UsbScanSysfs, AnswersWhetherADeviceIsBelowATargetController) {
  FakeSysfs sysfs;
  sysfs.Add(GetParam().controllers);
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  g_Utility.m_bUsbDeviceFound = 0;
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, GetParam().found);
}

TEST_P(UsbScanSysfs, NeverClearsTheFlag) {
  FakeSysfs sysfs;
  sysfs.Add(GetParam().controllers);
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  g_Utility.m_bUsbDeviceFound = 1;
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 1);
}

INSTANTIATE_TEST_SUITE_P(Trees, UsbScanSysfs, ::testing::ValuesIn(kCases), CaseName);

class UsbScanStation : public SimStationTest, public ::testing::WithParamInterface<Case> {};

TEST_P(UsbScanStation, AnswersWhetherADeviceIsBelowATargetController) {
  LoadStation(StationJson(GetParam().controllers));
  g_Utility.m_bUsbDeviceFound = 0;
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Trees, UsbScanStation, ::testing::ValuesIn(kCases), CaseName);

// --- cases of one backend ---

using UsbScanSysfsOnly = UsbScanSysfs;

TEST_F(UsbScanSysfsOnly, BothRootHubsOfAControllerAreWalked) {
  // A controller's USB 2.0 and SuperSpeed root hubs share its PCI function.
  FakeSysfs sysfs;
  sysfs.Add({{kOurs, 0x5301, {Hub(1)}, {Hub(2, {Dev(3)})}}});
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 1);
  EXPECT_EQ(g_Utility.m_strRootHubPath, "usb2");
}

TEST_F(UsbScanSysfsOnly, TwoRootHubsCountAsOneControllerOfTheEight) {
  std::vector<FakeController> cs(7, FakeController{kOurs, 0x5301, {Hub(1)}, {Hub(1)}});
  cs.push_back({kOurs, 0x5401, {}, {Dev(2)}});
  FakeSysfs sysfs;
  sysfs.Add(cs);
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 1);
  EXPECT_EQ(g_Utility.m_strRootHubPath, "usb16");
}

TEST_F(UsbScanSysfsOnly, RootHubPathNamesTheLastTargetRootHub) {
  FakeSysfs sysfs;
  sysfs.Add({{kOurs, 0x5301, {}}, {kOurs, 0x5402, {}}, {kOther, 0x15B6, {}}});
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 0);
  EXPECT_EQ(g_Utility.m_strRootHubPath, "usb2");
}

TEST_F(UsbScanSysfsOnly, UnreadableEntriesAreSkipped) {
  FakeSysfs sysfs;
  sysfs.Add({{kOurs, 0x5301, {Hub(1, {Dev(2)})}}});
  // The device below the hub loses its class file; a root hub link leads nowhere; a root hub
  // sits on a function whose IDs cannot be read.
  fs::remove(fs::canonical(sysfs.Bus() / "1-1.2") / "bDeviceClass");
  fs::create_directory_symlink("../../../devices/nowhere/usb7", sysfs.Bus() / "usb7");
  WriteFile(sysfs.root() / "devices/platform/dummy/usb8/8-1/bDeviceClass", "00\n");
  fs::create_directory_symlink("../../../devices/platform/dummy/usb8", sysfs.Bus() / "usb8");
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 0);
  EXPECT_EQ(g_Utility.m_strRootHubPath, "usb1");
}

TEST_F(UsbScanSysfsOnly, MissingTreeFindsNothing) {
  TempDir empty;
  SetUsbSysfsRootForTest(empty.File("no-such-folder"));
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 0);
  EXPECT_EQ(g_Utility.m_strRootHubPath, "");
}

class UsbScanStationOnly : public SimStationTest {};

TEST_F(UsbScanStationOnly, SimulatedStationNeverReadsTheSysfsTree) {
  FakeSysfs sysfs;
  sysfs.Add({{kOurs, 0x5301, {Dev(1)}}});
  SetUsbSysfsRootForTest(sysfs.Bus().string());
  LoadStation(StationJson({{kOurs, 0x5301, {Hub(1)}}}));
  g_Utility.ScanUsbDevices();
  SetUsbSysfsRootForTest("");
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 0);
  EXPECT_EQ(g_Utility.m_strRootHubPath, "sim-3:0:0");
}

TEST_F(UsbScanStationOnly, PluggingAndUnpluggingARootPortShowsInTheNextScan) {
  LoadStation(StationJson({{kOurs, 0x5301, {Hub(1)}}, {kOurs, 0x5401, {}}}));
  auto* board = Board(4);
  ASSERT_NE(board, nullptr);
  board->AttachUsb({2, true, {{5, false, {}}}});
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 1);

  board->DetachUsb(2);
  g_Utility.m_bUsbDeviceFound = 0;
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 0);

  // A device in place of the empty hub on board 3.
  Board(3)->AttachUsb({1, false, {}});
  g_Utility.ScanUsbDevices();
  EXPECT_EQ(g_Utility.m_bUsbDeviceFound, 1);
}

}  // namespace
}  // namespace nvl::test
