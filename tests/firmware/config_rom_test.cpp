// The config ROM builder, "Create New File" and "Firmware Info".
#include "firmware/config_rom.h"

#include <gtest/gtest.h>

#include <zlib.h>
#include "support/capture_sink.h"

#include <filesystem>
#include <fstream>
#include <regex>

#include "config/ini.h"
#include "discovery/utility.h"
#include "hw/interctl.h"
#include "image_fixture.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"

namespace nvl::test {
namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le(const std::vector<uint8_t>& v, size_t at, size_t size) {
  uint32_t x = 0;
  for (size_t i = 0; i < size; ++i)
    x |= uint32_t{v[at + i]} << (8 * i);
  return x;
}

class ConfigRomTest : public ImageTest {
 protected:
  void SetUp() override {
    ImageTest::SetUp();
    g_Ini.vResetForTest();
    g_SetReg.vResetForTest();
    SetProgramDirForTest(prog_.path());
    SetMessageSink(&sink_);
  }
  void TearDown() override {
    SetMessageSink(nullptr);
    SetProgramDirForTest("");
    g_SetReg.vResetForTest();
    g_Ini.vResetForTest();
    ImageTest::TearDown();
  }

  // Builds an image, examines it like a loaded file and sets the version text.
  fw::BuiltImage Examine(const fw::ImageSpec& desc) {
    auto built = Build(desc);
    uint8_t version[6] = {};
    EXPECT_EQ(0, g_Interctl.Get_Version_From_File(built.bytes.data(), built.bytes.size(), version));
    g_Utility.m_strFileFWVersion = strFormatFirmwareVersion(version);
    return built;
  }

  // Runs the builder on `built`; returns the written file (empty when none).
  std::vector<uint8_t> Run(const fw::BuiltImage& built, bool manual = false, bool* ok = nullptr) {
    const bool r =
        fw::vCreateConfigRomFile(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()),
                                 fw::ConfigRomOptions{manual});
    if (ok) *ok = r;
    EXPECT_EQ(r, std::filesystem::exists(RomPath()));
    return r ? ReadBytes(RomPath()) : std::vector<uint8_t>{};
  }

  std::string RomPath() const { return prog_.File("Config_123456_78_9A_BC.rom"); }

  // Checks the config checksum and CRC-32 (against zlib) of a rebuilt image.
  static void ExpectConsistent(const std::vector<uint8_t>& out) {
    const uint16_t l = static_cast<uint16_t>(Le(out, 4, 2));
    EXPECT_EQ(Sum(out, 0, l), out[l]);
    const uint32_t crc = static_cast<uint32_t>(::crc32(0L, out.data(), l));
    EXPECT_EQ(crc, Le(out, l + 1u, 4));
  }

  static fw::ImageSpec BaseImage(fw::ImageFamily family) {
    fw::ImageSpec desc;
    desc.family = family;
    desc.records = {{2, 0x1234, 0x5678}, {4, 0xE300, 0xDEADBEEF}};
    desc.config_area[0] = 'X';
    desc.config_area[31] = 0x77;
    desc.trailer = {1, 2, 3, 4};
    desc.padding = 64;
    return desc;
  }

  TempDir prog_;
  CaptureSink sink_;
};

TEST_F(ConfigRomTest, NoOptionCopiesTheFileByteForByte) {
  auto built = Examine(BaseImage(fw::ImageFamily::A));
  built.bytes.back() = 0x5A;  // padding content is kept by a plain copy
  const auto out = Run(built);
  EXPECT_EQ(built.bytes, out);
  EXPECT_EQ(RomPath(), g_Utility.m_strConfigRomPath);
}

TEST_F(ConfigRomTest, ManualSettingWithoutValidSettingsRebuildsAndZeroesThePadding) {
  for (auto family : {fw::ImageFamily::A, fw::ImageFamily::B}) {
    SCOPED_TRACE(family == fw::ImageFamily::A ? "A" : "B");
    auto built = Examine(BaseImage(family));
    std::fill(built.bytes.begin() + built.layout.image_end, built.bytes.end(), 0xEE);
    g_SetReg.m_nRegNumber = 3;  // rows typed but never saved: not valid
    const auto out = Run(built, true);
    ASSERT_EQ(built.bytes.size(), out.size());
    const auto end = static_cast<std::ptrdiff_t>(built.layout.image_end);
    EXPECT_TRUE(std::equal(built.bytes.begin(), built.bytes.begin() + end, out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + end, out.end(), [](uint8_t b) { return b == 0; }));
    ExpectConsistent(out);
  }
}

TEST_F(ConfigRomTest, FamilyASubsystemIdsAreAppendedBehindItsOwnRecords) {
  g_Ini.subsys_enable = 1;
  g_Ini.svid = "ABCD";
  g_Ini.ssid = "1234";
  const auto built = Examine(BaseImage(fw::ImageFamily::A));
  const uint16_t l0 = built.layout.cfg_length;
  const auto out = Run(built);
  ASSERT_EQ(built.bytes.size(), out.size());
  EXPECT_EQ(l0 + 16u, Le(out, 4, 2));
  EXPECT_TRUE(std::equal(built.bytes.begin(), built.bytes.begin() + 4, out.begin()));
  EXPECT_TRUE(std::equal(built.bytes.begin() + 6, built.bytes.begin() + l0, out.begin() + 6));
  const std::vector<uint8_t> added(out.begin() + l0, out.begin() + l0 + 16);
  EXPECT_EQ((std::vector<uint8_t>{0xCC, 0x02, 0x60, 0xE2, 0xCD, 0xAB, 0x00, 0x00, 0xCC, 0x02, 0x62,
                                  0xE2, 0x34, 0x12, 0x00, 0x00}),
            added);
  ExpectConsistent(out);
  // N, code, signature, code checksum and trailer follow, moved by 16 bytes.
  const size_t tail = built.layout.image_end - (l0 + 5u);
  EXPECT_TRUE(std::equal(built.bytes.begin() + l0 + 5, built.bytes.begin() + l0 + 5 + tail,
                         out.begin() + l0 + 16 + 5));

  // The information display reads the records back from the written file.
  g_Ini.fw_binary_name = RomPath();
  ASSERT_TRUE(fw::OnBnClickedButtonFWInfo());
  ASSERT_EQ(1u, sink_.texts.size());
  EXPECT_EQ(
      "Firmware Name\t:Config_123456_78_9A_BC.rom\r\nFirmware Version\t:123456_78_9A_BC\r\n"
      "SSID\t\t:1234\r\nSVID\t\t:ABCD\r\n\r\n",
      sink_.texts[0]);
}

TEST_F(ConfigRomTest, FamilyBUsesItsAddressesAndNeverALinkRecord) {
  g_Ini.subsys_enable = 1;
  g_Ini.svid = "ABCD";
  g_Ini.ssid = "1234";
  g_Ini.PCISPEED_enable = 1;
  g_Ini.MAX_PCIe_SPEED = 3;
  g_Utility.m_HostInfo[0].ucPcieLink = 0x1F;
  const auto built = Examine(BaseImage(fw::ImageFamily::B));
  const uint16_t l0 = built.layout.cfg_length;
  const auto out = Run(built);
  ASSERT_EQ(l0 + 16u, Le(out, 4, 2));
  const std::vector<uint8_t> added(out.begin() + l0, out.begin() + l0 + 16);
  EXPECT_EQ((std::vector<uint8_t>{0xCC, 0x02, 0x50, 0x00, 0xCD, 0xAB, 0x00, 0x00, 0xCC, 0x02, 0x52,
                                  0x00, 0x34, 0x12, 0x00, 0x00}),
            added);
  EXPECT_EQ(built.layout.code_length, Le(out, l0 + 16u + 5u, 4));
  ExpectConsistent(out);
}

TEST_F(ConfigRomTest, LinkRecordFollowsTheSpeedLimit) {
  const struct {
    uint8_t speed;
    uint8_t value;
    const char* shown;
  } cases[] = {{1, 0x07, "Gen2 disabled\r\n\t\t  Gen3 disabled"},
               {2, 0x0F, "Gen2 \r\n\t\t  Gen3 disabled"},
               {3, 0x1F, "Gen2 \r\n\t\t  Gen3 "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speed);
    g_Ini.PCISPEED_enable = 1;
    g_Ini.MAX_PCIe_SPEED = c.speed;
    g_Utility.m_HostInfo[0].ucPcieLink = 0x1F;
    const auto built = Examine(BaseImage(fw::ImageFamily::A));
    const uint16_t l0 = built.layout.cfg_length;
    const auto out = Run(built);
    ASSERT_EQ(l0 + 8u, Le(out, 4, 2));
    EXPECT_EQ((std::vector<uint8_t>{0xCC, 0x01, 0x41, 0xE2, c.value, 0, 0, 0}),
              std::vector<uint8_t>(out.begin() + l0, out.begin() + l0 + 8));
    sink_.texts.clear();
    g_Ini.fw_binary_name = RomPath();
    ASSERT_TRUE(fw::OnBnClickedButtonFWInfo());
    ASSERT_EQ(1u, sink_.texts.size());
    EXPECT_NE(std::string::npos,
              sink_.texts[0].find(std::string("SVID\t\t:\r\nPCIe Link Speed set\t: ") + c.shown +
                                  "\r\n"));
  }
}

// The customer information takes the first 31 bytes of the config area (0x10..0x2E), zero-filled
// behind a shorter text; the area's last byte (0x2F) stays as in the file and no record is added.
TEST_F(ConfigRomTest, CustomerInformationReplacesTheFirst31AreaBytes) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const struct {
    const char* name;
    std::string text;
  } cases[] = {{"short", "ACME"}, {"31", alphabet.substr(0, 31)}, {"36 cut", alphabet}};
  for (auto family : {fw::ImageFamily::A, fw::ImageFamily::B}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(family == fw::ImageFamily::A ? "A " : "B ") + c.name);
      g_Ini.CustInfo_enable = 1;
      g_Ini.CustInfo = c.text;
      auto desc = BaseImage(family);
      for (size_t i = 0; i < desc.config_area.size(); ++i)
        desc.config_area[i] = static_cast<uint8_t>(0xA0 + i);  // zero fill must show
      const auto built = Examine(desc);
      const auto out = Run(built);
      ASSERT_EQ(built.bytes.size(), out.size());
      std::string expected = c.text.substr(0, 31);
      expected.resize(31, '\0');
      EXPECT_EQ(expected, std::string(out.begin() + 0x10, out.begin() + 0x10 + 31));
      EXPECT_EQ(0xA0 + 31, out[0x2F]);
      EXPECT_TRUE(std::equal(built.bytes.begin(), built.bytes.begin() + 0x10, out.begin()));
      // Body, then everything behind the config checksum and CRC, as in the file.
      const auto l = static_cast<std::ptrdiff_t>(built.layout.cfg_length);
      EXPECT_TRUE(
          std::equal(built.bytes.begin() + 0x30, built.bytes.begin() + l, out.begin() + 0x30));
      EXPECT_TRUE(std::equal(built.bytes.begin() + l + 5,
                             built.bytes.begin() + built.layout.image_end, out.begin() + l + 5));
      ExpectConsistent(out);
    }
  }
}

TEST_F(ConfigRomTest, ManualSettingRecordsComeLastInRowOrder) {
  g_Ini.subsys_enable = 1;
  g_Ini.svid = "1";
  g_Ini.ssid = "2";
  g_SetReg.vInitDialog();
  g_SetReg.OnEnChangeEditNumber("2");
  g_SetReg.m_Rows[0] = {true, 0, "10", "AB"};
  g_SetReg.m_Rows[1] = {true, 2, "20", "CD"};
  ASSERT_TRUE(g_SetReg.OnBnClickedSave());
  const auto built = Examine(BaseImage(fw::ImageFamily::A));
  const uint16_t l0 = built.layout.cfg_length;
  const auto out = Run(built, true);
  ASSERT_EQ(l0 + 32u, Le(out, 4, 2));
  EXPECT_EQ(
      (std::vector<uint8_t>{0xCC, 1, 0x10, 0, 0xAB, 0, 0, 0, 0xCC, 4, 0x20, 0, 0xCD, 0, 0, 0}),
      std::vector<uint8_t>(out.begin() + l0 + 16, out.begin() + l0 + 32));
  // The same settings with the box off add nothing.
  const auto without = Run(built, false);
  EXPECT_EQ(l0 + 16u, Le(without, 4, 2));
}

TEST_F(ConfigRomTest, EmptyVersionLeavesNoFile) {
  const auto built = Examine(BaseImage(fw::ImageFamily::A));
  g_Utility.m_strFileFWVersion.clear();
  bool ok = true;
  Run(built, false, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(std::filesystem::is_empty(prog_.path()));
}

TEST_F(ConfigRomTest, AnExistingFileIsReplaced) {
  const auto built = Examine(BaseImage(fw::ImageFamily::A));
  prog_.Write("Config_123456_78_9A_BC.rom", std::string(built.bytes.size() * 2, 'x'));
  EXPECT_EQ(built.bytes, Run(built));
}

TEST_F(ConfigRomTest, AnImageThatDoesNotFitFailsAndNoHostCountsAsUpdated) {
  g_Ini.subsys_enable = 1;
  auto desc = BaseImage(fw::ImageFamily::A);
  desc.padding = 15;  // room for one record, not for two
  const auto built = Examine(desc);
  for (auto& host : g_Utility.m_HostInfo)
    host.ucFwUpdateResult = 1;
  bool ok = true;
  Run(built, false, &ok);
  EXPECT_FALSE(ok);
  for (const auto& host : g_Utility.m_HostInfo)
    EXPECT_EQ(0, host.ucFwUpdateResult);
  const auto lines = WithoutLineNumbers(LogLines());
  EXPECT_NE(lines.end(), std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
              return l.rfind("\r\nUpgrade::vCreateConfigRomFile:#: InsertCFGToBin Fail!! , ", 0) ==
                     0;
            }));

  // Exactly enough room fits.
  desc.padding = 16;
  const auto fits = Examine(desc);
  Run(fits, false, &ok);
  EXPECT_TRUE(ok);
}

TEST_F(ConfigRomTest, InsertCFGToBinWritesNothingWhenItDoesNotFit) {
  const auto built = Examine(BaseImage(fw::ImageFamily::B));
  BinFileStruct bfs;
  ASSERT_EQ(0, g_Utility.GetBinFileStruct(built.bytes.data(), built.bytes.size(), bfs));
  const RegSettingRecord rec = MakeRegSettingRecord(1, 1, 1);
  std::vector<uint8_t> out(built.layout.image_end + 7, 0xA5);
  EXPECT_FALSE(fw::InsertCFGToBin(g_Utility, out.data(), out.size(), bfs, &rec, 1));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xA5; }));
  out.assign(built.layout.image_end + 8, 0);
  EXPECT_TRUE(fw::InsertCFGToBin(g_Utility, out.data(), out.size(), bfs, &rec, 1));
  ExpectConsistent(out);
}

TEST_F(ConfigRomTest, CreateNewFileWritesTheFileAndTellsWhere) {
  const auto built = Build(BaseImage(fw::ImageFamily::A));
  std::ofstream(prog_.File("fw.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(built.bytes.data()),
             static_cast<std::streamsize>(built.bytes.size()));
  g_Ini.fw_binary_name = "FW.BIN";  // as a settings file stores it
  ASSERT_TRUE(fw::OnBnClickedButtonCreateConfigFile(false, {}));
  EXPECT_EQ("123456_78_9A_BC", g_Utility.m_strFileFWVersion);
  ASSERT_EQ(1u, sink_.texts.size());
  EXPECT_EQ("Config Rom File " + RomPath() + " Created", sink_.texts[0]);
  EXPECT_EQ(built.bytes, ReadBytes(RomPath()));
}

TEST_F(ConfigRomTest, CreateNewFileReportsAMissingFile) {
  g_Ini.fw_binary_name = prog_.File("none.bin");
  EXPECT_FALSE(fw::OnBnClickedButtonCreateConfigFile(false, {}));
  ASSERT_EQ(1u, sink_.texts.size());
  EXPECT_EQ(
      "\r\nCNVL720_MPToolDlg::OnBnClickedButtonCreateConfigFile:#:Open Frimware bin file "
      "Failed!!strFwFullName[" +
          prog_.File("none.bin") + "], (-3)\n",
      WithoutLineNumber(sink_.texts[0]));
  EXPECT_TRUE(g_Utility.m_strFileFWVersion.empty());
}

TEST_F(ConfigRomTest, CreateNewFileInSilentModePrintsToStdout) {
  auto desc = BaseImage(fw::ImageFamily::A);
  desc.corruption = fw::ImageCorruption::ConfigChecksum;
  const auto built = Build(desc);
  std::ofstream(prog_.File("bad.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(built.bytes.data()),
             static_cast<std::streamsize>(built.bytes.size()));
  g_Ini.fw_binary_name = prog_.File("bad.bin");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(fw::OnBnClickedButtonCreateConfigFile(true, {}));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(sink_.texts.empty());
  EXPECT_EQ(
      "\r\nCNVL720_MPToolDlg::OnBnClickedButtonCreateConfigFile:#:Get_Version_From_File "
      "Failed!!(-3)\n\r\n",
      WithoutLineNumber(printed));
}

// The display reads the family B addresses, lets a later record override an earlier one, skips
// records without the marker and never shows a link text for family B.
TEST_F(ConfigRomTest, FirmwareInfoOfAFamilyBFile) {
  auto desc = BaseImage(fw::ImageFamily::B);
  desc.records = {{2, 0x0052, 0x1111}, {2, 0x0050, 0x2B2A},       {2, 0x0052, 0xA0B1},
                  {1, 0xE241, 0x1F},   {2, 0x0050, 0x9999, 0x00}, {2, 0xE260, 0x7777}};
  const auto built = Build(desc);
  std::ofstream(prog_.File("fwb.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(built.bytes.data()),
             static_cast<std::streamsize>(built.bytes.size()));
  g_Ini.fw_binary_name = "IMAGES\\FWB.BIN";  // only the name behind the last "\" is shown
  std::filesystem::create_directory(prog_.File("images"));
  std::filesystem::rename(prog_.File("fwb.bin"), prog_.File("images/fwb.bin"));
  g_Utility.m_strFileFWVersion = "untouched";
  ASSERT_TRUE(fw::OnBnClickedButtonFWInfo());
  ASSERT_EQ(1u, sink_.texts.size());
  EXPECT_EQ(
      "Firmware Name\t:FWB.BIN\r\nFirmware Version\t:123456_78_9A_BC\r\n"
      "SSID\t\t:A0B1\r\nSVID\t\t:2B2A\r\n\r\n",
      sink_.texts[0]);
  EXPECT_EQ("untouched", g_Utility.m_strFileFWVersion);
}

TEST_F(ConfigRomTest, FirmwareInfoFailuresGoToAMessageBox) {
  auto desc = BaseImage(fw::ImageFamily::A);
  desc.corruption = fw::ImageCorruption::CodeChecksum;
  const auto built = Build(desc);
  std::ofstream(prog_.File("bad.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(built.bytes.data()),
             static_cast<std::streamsize>(built.bytes.size()));
  const struct {
    const char* file;
    std::string shown;
  } cases[] = {
      {"none.bin",
       "\r\nCNVL720_MPToolDlg::OnBnClickedButtonFWInfo:#:Open Frimware bin file "
       "Failed!!strFwFullName[" +
           prog_.File("none.bin") + "], (-3)\n"},
      {"bad.bin",
       "\r\nCNVL720_MPToolDlg::OnBnClickedButtonFWInfo:#:Get_Version_From_File "
       "Failed!!(-3)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    sink_.texts.clear();
    g_Ini.fw_binary_name = prog_.File(c.file);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(fw::OnBnClickedButtonFWInfo());
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
    ASSERT_EQ(1u, sink_.texts.size());
    EXPECT_EQ(c.shown, WithoutLineNumber(sink_.texts[0]));
  }
}

// A builder failure behind "Create New File" shows its own text, with the source line in
// parentheses, in both modes.
TEST_F(ConfigRomTest, CreateNewFileReportsAFailedBuild) {
  g_Ini.subsys_enable = 1;  // two records that do not fit: no padding behind the trailer
  auto desc = BaseImage(fw::ImageFamily::A);
  desc.padding = 0;
  const auto built = Build(desc);
  std::ofstream(prog_.File("fw.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(built.bytes.data()),
             static_cast<std::streamsize>(built.bytes.size()));
  g_Ini.fw_binary_name = "fw.bin";
  const std::regex shown(
      "\r\nCNVL720_MPToolDlg::OnBnClickedButtonCreateConfigFile::vCreateConfigRomFile "
      "Failed!!\\([0-9]+\\)\n");

  EXPECT_FALSE(fw::OnBnClickedButtonCreateConfigFile(false, {}));
  ASSERT_EQ(1u, sink_.texts.size());
  EXPECT_TRUE(std::regex_match(sink_.texts[0], shown)) << sink_.texts[0];

  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(fw::OnBnClickedButtonCreateConfigFile(true, {}));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  ASSERT_GE(printed.size(), 2u);
  EXPECT_EQ("\r\n", printed.substr(printed.size() - 2));
  EXPECT_TRUE(std::regex_match(printed.substr(0, printed.size() - 2), shown)) << printed;
  EXPECT_EQ(1u, sink_.texts.size());

  const auto lines = WithoutLineNumbers(LogLines());
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(),
                                   "\r\nCNVL720_MPToolDlg::OnBnClickedButtonCreateConfigFile:#:   "
                                   "vCreateConfigRomFile Failed!!"));
  EXPECT_FALSE(std::filesystem::exists(RomPath()));
}

TEST_F(ConfigRomTest, BuilderFailureLinesAndHostResults) {
  const auto built = Examine(BaseImage(fw::ImageFamily::A));
  for (auto& host : g_Utility.m_HostInfo)
    host.ucFwUpdateResult = 1;

  // No version text: nothing written, the hosts keep their results.
  g_Utility.m_strFileFWVersion.clear();
  bool ok = true;
  Run(built, false, &ok);
  EXPECT_FALSE(ok);
  for (const auto& host : g_Utility.m_HostInfo)
    EXPECT_EQ(1, host.ucFwUpdateResult);

  // A folder in the file's place cannot be replaced: no host counts as updated.
  g_Utility.m_strFileFWVersion = "123456_78_9A_BC";
  std::filesystem::create_directory(RomPath());
  EXPECT_FALSE(
      fw::vCreateConfigRomFile(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()), {}));
  for (const auto& host : g_Utility.m_HostInfo)
    EXPECT_EQ(0, host.ucFwUpdateResult);
  EXPECT_TRUE(std::filesystem::is_directory(RomPath()));

  EXPECT_EQ((std::vector<std::string>{
                "\r\nUpgrade::vCreateConfigRomFile:#: g_Utility.m_strFileFWVersion is empty ",
                "\r\nUpgrade::vCreateConfigRomFile:#: Open tmp File[" + RomPath() +
                    "] Fail!! , dwErrorCode 21"}),
            WithoutLineNumbers(LogLines()));
}

}  // namespace
}  // namespace nvl::test
