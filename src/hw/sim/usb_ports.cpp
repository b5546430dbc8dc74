// The USB tree of a virtual controller: what is plugged into its root hub's ports.  Port tests
// plug and unplug per root port while a scan may be reading, so the tree has its own lock.
#include <algorithm>

#include "hw/sim/station.h"

namespace nvl::sim {

std::vector<UsbDeviceSpec> VirtualController::UsbDevices() {
  std::lock_guard lock(usb_mutex_);
  return usb_;
}

void VirtualController::AttachUsb(const UsbDeviceSpec& device) {
  if (device.port == 0 || device.port > kUsbRootPorts) return;  // the root hub has no such port
  std::lock_guard lock(usb_mutex_);
  auto at = std::find_if(usb_.begin(), usb_.end(),
                         [&](const UsbDeviceSpec& d) { return d.port >= device.port; });
  if (at != usb_.end() && at->port == device.port) {
    *at = device;
  } else {
    usb_.insert(at, device);
  }
}

void VirtualController::DetachUsb(uint8_t root_port) {
  std::lock_guard lock(usb_mutex_);
  std::erase_if(usb_, [&](const UsbDeviceSpec& d) { return d.port == root_port; });
}

std::vector<VirtualController*> Station::Boards() {
  std::vector<VirtualController*> out;
  out.reserve(boards_.size());
  for (auto& [index, board] : boards_)
    out.push_back(board.get());
  return out;
}

}  // namespace nvl::sim
