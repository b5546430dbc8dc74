// nvl-image-tool: the files it writes are the builder's images, byte for byte, and the check
// refuses every corruption it offers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "firmware/image_fixture.h"
#include "hw/interctl.h"

namespace nvl::test {
namespace {

using fw::ImageCorruption;
using fw::ImageFamily;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string s = ReadFile(path);
  return {s.begin(), s.end()};
}

class ImageToolTest : public ImageTest {
 protected:
  ProcessResult Tool(std::vector<std::string> args) {
    return RunProcess(NVL_IMAGE_TOOL_PATH, args, dir_.path(), {});
  }
};

TEST_F(ImageToolTest, WritesTheBuildersImage) {
  const auto r = Tool({"-o",          "b.rom",
                       "--family",    "B",
                       "--version",   "0a0b0c_70_0e_0f",
                       "--code-size", "0x300",
                       "--code-seed", "5",
                       "--record",    "2:0050:ABCD",
                       "--record",    "4:0052:12345678:00",
                       "--header",    "01020304",
                       "--trailer",   "A1A2A3A4",
                       "--cfg-area",  "1122",
                       "--customer",  "CUST",
                       "--padding",   "10"});
  ASSERT_EQ(r.status, 0) << r.err;
  fw::ImageSpec desc;
  desc.family = ImageFamily::B;
  desc.version = {0x0A, 0x0B, 0x0C, 0x70, 0x0E, 0x0F};
  desc.code_size = 0x300;
  desc.code_seed = 5;
  desc.records = {{2, 0x0050, 0xABCD}, {4, 0x0052, 0x12345678, 0x00}};
  desc.header = {1, 2, 3, 4};
  desc.trailer = {0xA1, 0xA2, 0xA3, 0xA4};
  desc.config_area[0] = 'C';  // the customer text is laid over the config area
  desc.config_area[1] = 'U';
  desc.config_area[2] = 'S';
  desc.config_area[3] = 'T';
  desc.padding = 10;
  const auto expected = Build(desc);
  EXPECT_EQ(ReadBytes(dir_.File("b.rom")), expected.bytes);
  EXPECT_EQ(r.out, "b.rom: family B, L=0x40, C=0x49, N=0x300, end=0x356, length=864\n");

  const auto bytes = ReadBytes(dir_.File("b.rom"));
  uint8_t version[6];
  EXPECT_EQ(g_Interctl.Get_Version_From_File(bytes.data(), bytes.size(), version), 0);
  EXPECT_EQ(strFormatFirmwareVersion(version), "0A0B0C_70_0E_0F");
  EXPECT_EQ(g_Utility.m_bFWChipType, 1);
}

TEST_F(ImageToolTest, EveryCorruptionIsRefusedByTheCheck) {
  for (const char* family : {"A", "B"}) {
    for (const char* kind : {"cfg-signature", "cfg-checksum", "fw-signature", "code-checksum",
                             "cfg-length", "code-length", "truncate"}) {
      SCOPED_TRACE(std::string(family) + " " + kind);
      const auto r = Tool({"-o", "bad.bin", "--family", family, "--corrupt", kind});
      ASSERT_EQ(r.status, 0) << r.err;
      const auto bytes = ReadBytes(dir_.File("bad.bin"));
      EXPECT_EQ(g_Interctl.Check_Firmware_File(bytes.data(), bytes.size()), -3);
    }
  }
  const auto r = Tool({"-o", "cut.bin", "--corrupt", "truncate", "--truncate-to", "100"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir_.File("cut.bin")).size(), 100u);
}

TEST_F(ImageToolTest, PadToGivesTheRequestedLength) {
  const auto r = Tool({"-o", "p.bin", "--pad-to", "40000"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto bytes = ReadBytes(dir_.File("p.bin"));
  ASSERT_EQ(bytes.size(), 40000u);
  EXPECT_EQ(g_Interctl.Check_Firmware_File(bytes.data(), bytes.size()), 0);
}

TEST_F(ImageToolTest, RefusesBadArguments) {
  const std::vector<std::vector<std::string>> cases = {
      {"--family", "A"},                             // no output
      {"-o", "x.bin", "--family", "C"},              //
      {"-o", "x.bin", "--version", "123456_78_9A"},  //
      {"-o", "x.bin", "--code-size", "0x85"},        // version would lie outside the code
      {"-o", "x.bin", "--code-size", "0x10000"},     // family A's field is 16 bits
      {"-o", "x.bin", "--record", "2:E260"},         //
      {"-o", "x.bin", "--record", "2:1E260:1"},      //
      {"-o", "x.bin", "--header", "0102"},           //
      {"-o", "x.bin", "--corrupt", "everything"},    //
      {"-o", "x.bin", "--customer", std::string(32, 'X')},
      {"-o", "x.bin", "--bogus", "1"},
      {"-o"},
  };
  for (const auto& args : cases) {
    const auto r = Tool(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_THAT(r.err, ::testing::StartsWith("nvl-image-tool: "));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.bin")));
  const auto help = Tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, ::testing::HasSubstr("--corrupt KIND"));
}

}  // namespace
}  // namespace nvl::test
