// The firmware version's text form, as the controller reports it and as image files carry it:
// the six version bytes in order as "HHHHHH_HH_HH_HH" (upper-case hexadecimal), for example
// 010203_04_05_06.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// "%02X%02X%02X_%02X_%02X_%02X" of the six bytes.
std::string strFormatFirmwareVersion(const uint8_t* version6);

// The six bytes of a text in that form (hex digits of either case); nullopt for any other text.
std::optional<std::array<uint8_t, 6>> ParseFirmwareVersionText(const std::string& text);
