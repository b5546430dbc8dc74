// The shared text rules.
#include <gtest/gtest.h>

#include "platform/text.h"

namespace nvl {
namespace {

TEST(Text, DecimalAsAtoiReadsIt) {
  const std::pair<const char*, int32_t> cases[] = {
      {"", 0},
      {"  12x", 12},
      {"+7", 7},
      {"-1", -1},
      {"\t\v 300", 300},
      {"- 5", 0},
      {"x12", 0},
      {"99999999999", INT32_MAX},
      {"-99999999999", INT32_MIN},
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(ParseDecimal(text), value) << text;
}

TEST(Text, TrimAndCase) {
  EXPECT_EQ(TrimWhiteSpace(" \t\r\n\v\fa b\f\v\n\r\t "), "a b");
  EXPECT_EQ(TrimWhiteSpace(" \t "), "");
  EXPECT_TRUE(EqualsIgnoringCase("FW.Bin", "fw.BIN"));
  EXPECT_FALSE(EqualsIgnoringCase("fw.bin", "fw.bi"));
  EXPECT_FALSE(EqualsIgnoringCase("[LOG]", "{log}"));
}

TEST(Text, HexDigits) {
  EXPECT_EQ(HexDigit('0'), 0);
  EXPECT_EQ(HexDigit('9'), 9);
  EXPECT_EQ(HexDigit('a'), 10);
  EXPECT_EQ(HexDigit('F'), 15);
  EXPECT_EQ(HexDigit('g'), -1);
  EXPECT_EQ(HexDigit('/'), -1);
}

}  // namespace
}  // namespace nvl
