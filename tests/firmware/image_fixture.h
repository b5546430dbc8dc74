// Shared fixture of the firmware image tests: fresh file state and a diagnostic log of its own.
#pragma once

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "discovery/utility.h"
#include "firmware/fw_image.h"
#include "firmware/image_builder.h"
#include "platform/diag_log.h"
#include "platform/event_store.h"
#include "support/sim_fixture.h"

namespace nvl::test {

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_Utility.vResetForTest();
    ResetEventLogSinkForTest(dir_.File("events.db"));
  }
  void TearDown() override {
    ResetEventLogSinkForTest("");
    g_Utility.vResetForTest();
  }

  // The texts of every diagnostic line logged so far, oldest first.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    auto store = EventStore::Open(dir_.File("events.db"));
    if (!store) return lines;
    store->ReadForward([&](const EventRecord& r) {
      if (!r.strings.empty()) lines.push_back(r.strings[0]);
      return true;
    });
    return lines;
  }

  // Builds an image; fails the test when the desc is refused.
  static fw::BuiltImage Build(const fw::ImageSpec& desc) {
    std::string error;
    auto built = fw::BuildImage(desc, &error);
    EXPECT_TRUE(built.has_value()) << error;
    return built ? std::move(*built) : fw::BuiltImage{};
  }

  static uint8_t Sum(const std::vector<uint8_t>& v, size_t from, size_t count) {
    return static_cast<uint8_t>(
        std::accumulate(v.begin() + static_cast<std::ptrdiff_t>(from),
                        v.begin() + static_cast<std::ptrdiff_t>(from + count), 0u) &
        0xFFu);
  }

  TempDir dir_;
};

// A log line with its source line number replaced by "#", for exact comparison:
// "\r\nCInterctl::Check_Firmware_File:123: ..." reads "\r\nCInterctl::Check_Firmware_File:#: ...".
inline std::string WithoutLineNumber(const std::string& line) {
  for (size_t colon = line.find(':'); colon != std::string::npos;
       colon = line.find(':', colon + 1)) {
    size_t digits = colon + 1;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
      ++digits;
    if (digits > colon + 1 && digits < line.size() && line[digits] == ':') {
      return line.substr(0, colon + 1) + "#" + line.substr(digits);
    }
  }
  return line;
}

inline std::vector<std::string> WithoutLineNumbers(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    out.push_back(WithoutLineNumber(l));
  return out;
}

}  // namespace nvl::test
