// Device information of a target host: chip type, firmware version, SVID, SSID, PCIe link byte
// and, from a configured firmware version on, the SPI flash status register.
#pragma once

#include <cstdint>
#include <string>

#include "hw/firmware_version.h"

// MCU data memory addresses of the identity bytes.
inline constexpr uint32_t SVID_ADDR_A = 0xE260;
inline constexpr uint32_t SSID_ADDR_A = 0xE262;
inline constexpr uint32_t PCIe_link_ADDR = 0xE241;  // family A only
inline constexpr uint32_t SVID_ADDR_B = 0x10050;
inline constexpr uint32_t SSID_ADDR_B = 0x10052;

// The number a text of hexadecimal digits writes: value = value * 16 + digit from the left.
// Digits are '0'-'9' and 'A'-'F' (also 'a'-'f'); the first other character ends the number.
// An empty text gives 0; a longer number keeps its low 32 bits.
uint32_t ParseHexText(const std::string& text);

// Whether a host with firmware `version` has its flash status register read, given the
// threshold version text (empty: never).
bool bReadWrsrForVersion(const std::string& version, const std::string& threshold);
