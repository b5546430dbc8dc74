// Discovery: the target hosts are the controllers of the family found on the PCI bus, at most
// eight, recorded in visiting order (function, then device, then bus, innermost).
#include <cerrno>
#include <exception>
#include <mutex>

#include "discovery/known_controllers.h"
#include "discovery/utility.h"
#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "platform/diag_log.h"

namespace {

// The family of the controller whose configuration dword 0 is `id`, or -1.
int FamilyOf(uint32_t id) {
  return KnownControllerFamily(static_cast<uint16_t>(id & 0xFFFFu),
                               static_cast<uint16_t>(id >> 16));
}

uint32_t MemBase(uint8_t bus, uint8_t device, uint8_t function) {
  return PCI_Read_DWORD(bus, device, function, 0x10) & 0xFFFFFFF0u;
}

void SetLocation(HostInfo& h, uint8_t bus, uint8_t device, uint8_t function, uint8_t index) {
  h.ucBus = bus;
  h.ucFunction = function;
  h.ucDevice = device;
  h.ucIndex = index;
}

}  // namespace

int CInterctl::ScanPciBus(const std::string& wrsr_threshold) {
  std::lock_guard lock(m_csLock);
  g_Utility.m_ucHostCount = 0;
  try {
    for (unsigned function = 0; function < 8; ++function) {
      for (unsigned device = 0; device < 32; ++device) {
        for (unsigned bus = 0; bus < 256; ++bus) {
          const auto b = static_cast<uint8_t>(bus), d = static_cast<uint8_t>(device),
                     f = static_cast<uint8_t>(function);
          const int family = FamilyOf(PCI_Read_DWORD(b, d, f, 0));
          if (family < 0 || g_Utility.m_ucHostCount >= HOST_MAX) continue;
          const uint8_t i = g_Utility.m_ucHostCount;
          HostInfo& h = g_Utility.m_HostInfo[i];
          SetLocation(h, b, d, f, i);
          h.dwMemBase = MemBase(b, d, f);
          h.ucDeviceType = static_cast<uint8_t>(family);
          UpdateDeviceInfo(i, wrsr_threshold, h.ucDeviceType);
          if (family == 0) ClearDiscoveryControlBit(h);
          ++g_Utility.m_ucHostCount;
        }
      }
    }
  } catch (const std::exception&) {
    LogMessage(1, "\r\n%s:%d: dwErrorCode %d", "CInterctl::ScanPciBus", __LINE__, errno);
    return -1;
  }
  return g_Utility.m_ucHostCount > 0 ? 0 : -6;
}

int CInterctl::AssignPciBus(uint8_t bus, uint8_t device, uint8_t function,
                            const std::string& wrsr_threshold) {
  std::lock_guard lock(m_csLock);
  g_Utility.m_ucHostCount = 0;
  try {
    const int family = FamilyOf(PCI_Read_DWORD(bus, device, function, 0));
    if (family < 0) return -6;
    HostInfo& h = g_Utility.m_HostInfo[0];
    SetLocation(h, bus, device, function, 0);
    h.ucDeviceType = static_cast<uint8_t>(family);
    if (family == 0) {
      UpdateDeviceInfo(0, wrsr_threshold, 0);
      ClearDiscoveryControlBit(h);
      h.dwMemBase = MemBase(bus, device, function);
    } else {
      h.dwMemBase = MemBase(bus, device, function);
      UpdateDeviceInfo(0, wrsr_threshold, 1);
      ClearDiscoveryControlBit(h);
    }
    g_Utility.m_ucHostCount = 1;
  } catch (const std::exception&) {
    LogMessage(1, "\r\n%s:%d: dwErrorCode %d", "CInterctl::AssignPciBus", __LINE__, errno);
    return -1;
  }
  return 0;
}
