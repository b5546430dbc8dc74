// USB device enumeration: is any device other than a hub connected below a target controller?
// Hosts and ports are not told apart: a device anywhere below any target controller, behind any
// number of external hubs, counts.  The tree comes from the USB tree seam (porttest/usb_tree.h).
#include <algorithm>
#include <exception>

#include "discovery/known_controllers.h"
#include "discovery/utility.h"
#include "porttest/usb_tree.h"

namespace {

bool AnyDevice(const std::vector<nvl::UsbNode>& nodes) {
  for (const auto& n : nodes) {
    if (!n.hub || AnyDevice(n.children)) return true;
  }
  return false;
}

}  // namespace

void CUtility::ScanUsbDevices() {
  try {
    auto tree = nvl::MakeUsbTree();
    std::vector<std::string> controllers;  // the target controllers taken, at most HOST_MAX
    for (const auto& hub : tree->RootHubs()) {
      if (KnownControllerFamily(hub.vendor_id, hub.device_id) < 0) continue;
      if (std::find(controllers.begin(), controllers.end(), hub.controller) == controllers.end()) {
        if (controllers.size() >= HOST_MAX) continue;
        controllers.push_back(hub.controller);
      }
      m_strRootHubPath = hub.name;
      if (AnyDevice(tree->DevicesBelow(hub))) m_bUsbDeviceFound = 1;
    }
  } catch (const std::exception&) {
    // A tree that cannot be read is skipped like any other item; the flag keeps what it had.
  }
}
