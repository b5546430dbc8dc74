// From an image made by the image tool to a board that reports the station's IDs: build the
// config ROM with the station's settings, program it into simulated boards of both families,
// restart them, and read the identity back as discovery does.
#include <gtest/gtest.h>

#include "config/ini.h"
#include "discovery/utility.h"
#include "firmware/config_rom.h"
#include "firmware/flash_fixture.h"
#include "firmware/fw_image.h"
#include "platform/program_paths.h"

namespace nvl::test {
namespace {

struct FamilyCase {
  char family;
  uint8_t link;  // link byte read back: the station's Gen2 limit applies to family A only
};

class ConfigRomProgramTest : public FlashTest, public ::testing::WithParamInterface<FamilyCase> {
 protected:
  void TearDown() override {
    g_Ini.vResetForTest();
    SetProgramDirForTest("");
    FlashTest::TearDown();
  }
};

TEST_P(ConfigRomProgramTest, BoardReportsTheNewVersionAndIds) {
  const FamilyCase c = GetParam();
  Load(OneBoard(ChipSpec{}, c.family,
                R"(, "firmware_version": "010101_01_01_01", "svid": "1111", "ssid": "2222",
                    "pcie_link": "0x1F")"));
  TempDir work;
  SetProgramDirForTest(work.path());
  const std::string bin = work.File("fw.bin");
  const ProcessResult tool =
      RunProcess(NVL_IMAGE_TOOL_PATH,
                 {"-o", bin, "--family", std::string(1, c.family), "--version", "210715_0A_0B_0C",
                  "--code-size", "0x2000", "--padding", "256"},
                 "", {});
  ASSERT_EQ(tool.status, 0) << tool.err;

  g_Ini.subsys_enable = 1;
  g_Ini.svid = "ABCD";
  g_Ini.ssid = "1234";
  g_Ini.PCISPEED_enable = 1;
  g_Ini.MAX_PCIe_SPEED = 2;
  // The link record takes the first host's link byte, as discovery read it.
  ASSERT_EQ(g_Interctl.ScanPciBus(""), 0);
  io()->Clear();

  fw::FirmwareFile file;
  ASSERT_EQ(fw::LoadFirmwareFile(bin, file), 0);
  uint8_t version[6] = {};
  ASSERT_EQ(g_Interctl.Get_Version_From_File(file.buffer.data(), file.dwFileLength, version), 0);
  g_Utility.m_strFileFWVersion = "210715_0A_0B_0C";
  ASSERT_TRUE(fw::vCreateConfigRomFile(file.buffer.data(), file.dwFileLength, {}));
  EXPECT_EQ(g_Utility.m_strConfigRomPath, work.File("Config_210715_0A_0B_0C.rom"));

  fw::FirmwareFile rom;
  ASSERT_EQ(fw::LoadFirmwareFile(g_Utility.m_strConfigRomPath, rom), 0);
  ASSERT_EQ(g_Interctl.Check_Firmware_File(rom.buffer.data(), rom.dwFileLength), 0);
  HostInfo& host = g_Utility.m_HostInfo[0];
  const SpiRomPart part = g_Interctl.Init_SPIRom(host);
  ASSERT_EQ(g_Interctl.Update_Firmware(0, host, part, rom.buffer.data(), rom.dwFileLength), 0);

  ASSERT_EQ(g_Interctl.UpdateDeviceInfo(0, "", host.ucDeviceType), 0);
  EXPECT_EQ(host.strFWVersion, "210715_0A_0B_0C");
  EXPECT_EQ(host.strSVID, "abcd");
  EXPECT_EQ(host.strSSID, "1234");
  EXPECT_EQ(host.ucPcieLink, c.link);
  uint8_t status[8] = {};
  ASSERT_EQ(g_Interctl.Read_SPIRom_WRSR(host, status), 0);
  EXPECT_NE(status[1] & 0x1C, 0) << "the flash is protected again";
}

INSTANTIATE_TEST_SUITE_P(Families, ConfigRomProgramTest,
                         ::testing::Values(FamilyCase{'A', 0x0F}, FamilyCase{'B', 0}));

}  // namespace
}  // namespace nvl::test
