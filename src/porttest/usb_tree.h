// The USB tree seam: the operating system's view of the USB devices below each host controller's
// root hub, as the USB device enumeration needs it (porttest/usb_scan.cpp).
//
// Two implementations:
//   - sysfs (real boards): the root hubs are the usbN entries of /sys/bus/usb/devices.  A root
//     hub's host controller is the PCI function its real directory sits in, whose "vendor" and
//     "device" files give the IDs.  The devices below a hub are the subdirectories of the hub's
//     directory named like USB devices ("3-1", "3-1.4"); a bDeviceClass of 09 marks a hub.  An
//     entry that cannot be read is skipped.  Nothing below a hub is followed further than the
//     seven tiers USB allows, so a strange tree cannot make the walk run away.
//   - simulated station: each board's root hub with the tree the station file gives it (and that
//     the port tests plug and unplug).  With a simulated IO library the real machine's tree is
//     never read: a simulated library without a station has no root hubs at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nvl {

namespace sim {
class Station;
}

struct UsbNode {
  std::string name;  // "3-1.4" (sysfs) or "3:0:0-1.4" (simulated)
  bool hub = false;
  std::vector<UsbNode> children;  // hubs only
};

struct UsbRootHub {
  std::string name;        // "usb3" (sysfs) or "sim-3:0:0" (simulated)
  std::string controller;  // the host controller it belongs to; two root hubs may share one
  uint16_t vendor_id = 0;  // the host controller's PCI IDs
  uint16_t device_id = 0;
  std::string where;  // where the implementation finds the hub again
};

class UsbTree {
 public:
  virtual ~UsbTree() = default;
  // Every root hub with its host controller, in a stable order.
  virtual std::vector<UsbRootHub> RootHubs() = 0;
  // The devices connected on the hub's ports, with what hangs below external hubs.
  virtual std::vector<UsbNode> DevicesBelow(const UsbRootHub& hub) = 0;
};

inline constexpr const char* kSysfsUsbDevices = "/sys/bus/usb/devices";

std::unique_ptr<UsbTree> MakeSysfsUsbTree(std::string devices_dir = kSysfsUsbDevices);
// The tree of `station`'s boards; null: a tree without root hubs.
std::unique_ptr<UsbTree> MakeStationUsbTree(sim::Station* station);
// The tree a scan uses now: the simulated station's when the installed IO library is simulated,
// else sysfs at kSysfsUsbDevices (or the folder set for tests).
std::unique_ptr<UsbTree> MakeUsbTree();
// Points the sysfs tree at another folder laid out like /sys/bus/usb/devices (empty: the real
// one).  Not to be called while a scan runs.
void SetUsbSysfsRootForTest(std::string devices_dir);

}  // namespace nvl
