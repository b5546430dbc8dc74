#include "platform/text.h"

#include <limits>

namespace nvl {
namespace {

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string TrimWhiteSpace(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsWhite(s[b]))
    ++b;
  while (e > b && IsWhite(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

int32_t ParseDecimal(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsWhite(s[i]))
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > kLimit) v = kLimit;
  }
  if (negative) return static_cast<int32_t>(-v);
  return static_cast<int32_t>(v > kLimit - 1 ? kLimit - 1 : v);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace nvl
