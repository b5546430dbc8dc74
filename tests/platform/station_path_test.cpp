#include "platform/station_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/program_paths.h"
#include "support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;
using nvl::test::TempDir;

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  });
  return s;
}

std::string Backslashed(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

class StationPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prog_.path() + "/Firmware/Rev2");
    prog_.Write("fw.bin", "x");
    prog_.Write("Firmware/Rev2/NVL7310_fw.Bin", "x");
    nvl::SetProgramDirForTest(prog_.path());
  }
  void TearDown() override { nvl::SetProgramDirForTest(""); }

  TempDir prog_;   // the program directory
  TempDir other_;  // somewhere else
};

TEST_F(StationPathTest, ResolvesValuesAsStationFilesWriteThem) {
  const std::string p = prog_.path();
  struct Case {
    std::string value;
    std::string expected;
  } cases[] = {
      {"fw.bin", p + "/fw.bin"},
      {"FW.BIN", p + "/fw.bin"},  // upper-cased by the loader, still found
      {"firmware\\rev2\\nvl7310_FW.BIN", p + "/Firmware/Rev2/NVL7310_fw.Bin"},
      {"FIRMWARE\\\\REV2\\NVL7310_FW.BIN", p + "/Firmware/Rev2/NVL7310_fw.Bin"},  // empty part
      {"Firmware/Rev2/nvl7310_fw.bin", p + "/Firmware/Rev2/NVL7310_fw.Bin"},  // native separators
      {"missing.bin", p + "/missing.bin"},                                    // kept as written
      {"NOPE\\FW.BIN", p + "/NOPE/FW.BIN"},  // no match: the rest as written
      {".\\FW.BIN", p + "/./fw.bin"},        // "." kept
      {"ab:c", p + "/ab:c"},                 // ":" not after a lone drive letter: part of the name
      {"d:fw.bin", "/fw.bin"},               // drive letter, no separator: still from the root
      {"", p},                               // nothing: the directory itself
      {Upper(Backslashed(p)) + "\\FW.BIN", p + "/fw.bin"},         // absolute, any case
      {"C:" + Upper(Backslashed(p)) + "\\FW.BIN", p + "/fw.bin"},  // drive letter dropped
      {"c:", "/"},                                                 // drive root: a directory
      {"1:fw.bin", p + "/1:fw.bin"},                               // not a drive letter
      {p + "/fw.bin", p + "/fw.bin"},                              // native absolute path
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nvl::ResolveStationPath(c.value), c.expected) << "value: " << c.value;
  }
}

TEST_F(StationPathTest, ExactNameWinsThenFirstCaseMatchInByteOrder) {
  prog_.Write("FW.BIN", "upper");
  EXPECT_EQ(nvl::ResolveStationPath("FW.BIN"), prog_.path() + "/FW.BIN");
  EXPECT_EQ(nvl::ResolveStationPath("fw.bin"), prog_.path() + "/fw.bin");

  prog_.Write("Ab.txt", "1");
  prog_.Write("aB.txt", "2");
  EXPECT_EQ(nvl::ResolveStationPath("AB.TXT"), prog_.path() + "/Ab.txt");
}

TEST_F(StationPathTest, SavedTextNamesTheSameFile) {
  const std::string p = prog_.path();
  struct Case {
    std::string path;
    std::string expected;
  } cases[] = {
      {p + "/fw.bin", "fw.bin"},
      {p + "/Firmware/Rev2/NVL7310_fw.Bin", "Firmware\\Rev2\\NVL7310_fw.Bin"},
      {p + "/./Firmware/../fw.bin", "fw.bin"},
      {p + "x/fw.bin", Backslashed(p) + "x\\fw.bin"},  // a sibling sharing the prefix
      {"/opt/station/fw.bin", "\\opt\\station\\fw.bin"},
      {"FW.BIN", "FW.BIN"},  // already in station form
      {"Firmware\\Rev2\\A.BIN", "Firmware\\Rev2\\A.BIN"},
      {"sub/fw.bin", "sub\\fw.bin"},
      {"C:", "C:"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nvl::StationPathText(c.path), c.expected) << "path: " << c.path;
  }

  // Program directory given with a trailing "/": still relative.
  nvl::SetProgramDirForTest(p + "/");
  EXPECT_EQ(nvl::StationPathText(p + "/fw.bin"), "fw.bin");
}

TEST_F(StationPathTest, RoundTripThroughTheUpperCasingLoader) {
  other_.Write("Outside.Bin", "x");
  const std::string files[] = {prog_.path() + "/fw.bin",
                               prog_.path() + "/Firmware/Rev2/NVL7310_fw.Bin",
                               other_.path() + "/Outside.Bin"};
  for (const auto& f : files) {
    const std::string text = nvl::StationPathText(f);
    EXPECT_EQ(text.find('/'), std::string::npos) << text;  // "/" would start a comment
    EXPECT_EQ(nvl::ResolveStationPath(Upper(text)), f) << text;
  }
}

}  // namespace
