// The controllers of the family by PCI vendor and device ID, in the order they are tried: family A
// first.  The PCI bus scan and the USB enumeration both recognise target controllers by it.
#pragma once

#include <cstdint>

struct KnownController {
  uint16_t vendor_id;
  uint16_t device_id;
  uint8_t family;  // 0 = A, 1 = B
};

inline constexpr KnownController kKnownControllers[] = {
    {0x1E7C, 0x5301, 0}, {0x1E7C, 0x5302, 0}, {0x1E7C, 0x5303, 0},
    {0x1E7C, 0x5401, 1}, {0x1E7C, 0x5402, 1},
};

// The family of the controller with these IDs, or -1 when it is not one of ours.
constexpr int KnownControllerFamily(uint16_t vendor_id, uint16_t device_id) {
  for (const auto& k : kKnownControllers) {
    if (k.vendor_id == vendor_id && k.device_id == device_id) return k.family;
  }
  return -1;
}
