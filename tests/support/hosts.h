// A two-board station's host table, as discovery leaves it: hosts at positions 0 and 1 on buses
// 3 and 4, device 0, function 0, with the IDs 7310/2e4d.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/utility.h"

namespace nvl::test {

inline void PutTwoHosts(const std::string& version0, const std::string& version1) {
  g_Utility.m_ucHostCount = 2;
  for (uint8_t i = 0; i < 2; ++i) {
    HostInfo& h = g_Utility.m_HostInfo[i];
    h.ucIndex = i;
    h.ucBus = static_cast<uint8_t>(3 + i);
    h.ucDevice = 0;
    h.ucFunction = 0;
    h.strFWVersion = i == 0 ? version0 : version1;
    h.strSSID = "7310";
    h.strSVID = "2e4d";
  }
}

}  // namespace nvl::test
