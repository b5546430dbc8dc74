// Small text rules shared by the command line, the settings file, the station file and the
// dialogs.  All of them are ASCII rules: the files and options they read are ASCII.
#pragma once

#include <cstdint>
#include <string>

namespace nvl {

// Removes white space (blank, tab, CR, LF, VT, FF) at both ends.
std::string TrimWhiteSpace(const std::string& s);

// Equal ignoring ASCII letter case.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// A decimal number as the C library's atoi reads it: leading white space, one sign, digits up to
// the first other character, 0 without digits.  Beyond 32 bits it saturates instead of
// overflowing.
int32_t ParseDecimal(const std::string& s);

// The value of one hexadecimal digit (either case), or -1.
int HexDigit(char c);

}  // namespace nvl
