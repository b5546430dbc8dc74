// Check_Firmware_File and Get_Version_From_File: valid images of both families, every spoilt
// field, the order of the steps and images whose fields point outside the data.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "firmware/image_fixture.h"
#include "hw/interctl.h"

namespace nvl::test {
namespace {

using fw::ImageCorruption;
using fw::ImageFamily;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kCheck = "\r\nCInterctl::Check_Firmware_File:#:";

void PutLe(std::vector<uint8_t>& v, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    v[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

int Check(const std::vector<uint8_t>& image) {
  return g_Interctl.Check_Firmware_File(image.data(), image.size());
}

struct ValidCase {
  const char* name;
  ImageFamily family;
  const char* version;
  uint32_t code_size;
  int records;
  uint8_t device_type;
  uint8_t chip_type;
};

class ValidImageTest : public ImageTest, public ::testing::WithParamInterface<ValidCase> {};

TEST_P(ValidImageTest, ChecksAndSetsTheFileState) {
  const ValidCase& c = GetParam();
  fw::ImageSpec desc;
  desc.family = c.family;
  desc.version = *ParseFirmwareVersionText(c.version);
  desc.code_size = c.code_size;
  for (int i = 0; i < c.records; ++i) {
    desc.records.push_back({2, static_cast<uint16_t>(0xE260 + 2 * i), 0xAB00u + i});
  }
  desc.padding = 64;
  const auto img = Build(desc);
  const uint32_t L = 48 + 8 * c.records;
  const uint32_t C = L + (c.family == ImageFamily::B ? 9 : 7);
  ASSERT_EQ(img.layout.cfg_length, L);
  ASSERT_EQ(img.layout.code_offset, C);

  // Junk in the state proves that the version read clears it first.
  g_Utility.m_bFWChipType = 0x55;
  uint8_t version[6] = {};
  ASSERT_EQ(g_Interctl.Get_Version_From_File(img.bytes.data(), img.bytes.size(), version), 0);
  EXPECT_EQ(g_Utility.m_bFWDeviceType, c.device_type);
  EXPECT_EQ(g_Utility.m_wCfgBlockLength, L);
  EXPECT_EQ(g_Utility.m_dwFWCodeLength, c.code_size);
  EXPECT_EQ(g_Utility.m_bCfgChecksum, Sum(img.bytes, 0, L));
  EXPECT_EQ(g_Utility.m_bFWCodeChecksum, Sum(img.bytes, C, c.code_size));
  EXPECT_EQ(g_Utility.m_bFWChipType, c.chip_type);
  EXPECT_EQ(strFormatFirmwareVersion(version), c.version);
  EXPECT_EQ(std::memcmp(version, img.bytes.data() + C + 0x80, 6), 0);
  EXPECT_THAT(LogLines(), IsEmpty());

  // The check alone always leaves chip type 0.
  g_Utility.m_bFWChipType = 0x55;
  EXPECT_EQ(Check(img.bytes), 0);
  EXPECT_EQ(g_Utility.m_bFWChipType, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Families, ValidImageTest,
    ::testing::Values(ValidCase{"A", ImageFamily::A, "123456_78_9A_BC", 0x400, 0, 0, 0},
                      ValidCase{"A_p_still_0", ImageFamily::A, "000001_70_02_03", 0x200, 3, 0, 0},
                      ValidCase{"A_max_code", ImageFamily::A, "ABCDEF_50_00_01", 0xFFFF, 1, 0, 0},
                      ValidCase{"B_p", ImageFamily::B, "202001_70_11_22", 0x400, 2, 1, 1},
                      ValidCase{"B_P", ImageFamily::B, "202001_50_11_22", 0x400, 0, 1, 0},
                      ValidCase{"B_other", ImageFamily::B, "202001_71_11_22", 0x86, 1, 1, 0xFF},
                      // A code length above 16 bits proves the 4-byte field is read in full.
                      ValidCase{"B_long_code", ImageFamily::B, "0A0B0C_70_0E_0F", 0x12345, 4, 1,
                                1}),
    [](const auto& p) { return std::string(p.param.name); });

struct CorruptCase {
  const char* name;
  ImageFamily family;
  ImageCorruption corruption;
  uint8_t device_type;  // after the check
  bool code_length_stored;
  const char* log;  // behind "\r\nCInterctl::Check_Firmware_File:#:"
};

class CorruptImageTest : public ImageTest, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptImageTest, FailsWithDataNotMatchAndOneLine) {
  const CorruptCase& c = GetParam();
  fw::ImageSpec desc;
  desc.family = c.family;
  desc.code_size = 0x300;
  desc.records = {{1, 0xE241, 0x1F}};
  desc.corruption = c.corruption;
  const auto img = Build(desc);
  uint8_t version[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(g_Interctl.Get_Version_From_File(img.bytes.data(), img.bytes.size(), version), -3);
  EXPECT_EQ(g_Utility.m_bFWDeviceType, c.device_type);
  EXPECT_EQ(g_Utility.m_dwFWCodeLength, c.code_length_stored ? 0x300u : 0u);
  EXPECT_EQ(g_Utility.m_bFWChipType, 0);
  EXPECT_EQ(version[0], 0xEE) << "no version is copied from an image that failed";
  EXPECT_THAT(WithoutLineNumbers(LogLines()), ElementsAre(std::string(kCheck) + c.log));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CorruptImageTest,
    ::testing::Values(
        CorruptCase{"CfgSignature", ImageFamily::A, ImageCorruption::ConfigSignature, 0xFF, false,
                    " \n config signature [7209A_RCFG] invalid, CFG_SIGNATURE_OFFSET=6 \n"},
        CorruptCase{"FwSignatureA", ImageFamily::A, ImageCorruption::FirmwareSignature, 0, false,
                    " \n  firmware signature [7202A_FW] invalid \n"},
        CorruptCase{"FwSignatureB", ImageFamily::B, ImageCorruption::FirmwareSignature, 1, false,
                    " \n  firmware signature [7201A_FW] invalid \n"},
        CorruptCase{"CfgLengthA", ImageFamily::A, ImageCorruption::CfgLengthTooLarge, 0, false,
                    " \n config block length L=65535 outside the image (length 844) \n"},
        CorruptCase{"CodeLengthA", ImageFamily::A, ImageCorruption::CodeLengthTooLarge, 0, false,
                    " \n firmware code length N=65535 outside the image (length 844) \n"},
        CorruptCase{"CodeLengthB", ImageFamily::B, ImageCorruption::CodeLengthTooLarge, 1, false,
                    " \n firmware code length N=4294967295 outside the image (length 846) \n"},
        CorruptCase{"TruncateB", ImageFamily::B, ImageCorruption::Truncate, 1, false,
                    " \n firmware code length N=768 outside the image (length 449) \n"}),
    [](const auto& p) { return std::string(p.param.name); });

// The checksum lines carry the two values; the table above cannot know them, so they are
// checked here against sums computed by the test.
TEST_F(ImageTest, ChecksumLinesNameStoredAndComputedValues) {
  fw::ImageSpec desc;
  desc.code_size = 0x100;
  desc.corruption = ImageCorruption::ConfigChecksum;
  auto img = Build(desc);
  const uint8_t cfg = Sum(img.bytes, 0, 48);
  EXPECT_EQ(Check(img.bytes), -3);
  EXPECT_EQ(g_Utility.m_bCfgChecksum, cfg);

  desc.corruption = ImageCorruption::CodeChecksum;
  img = Build(desc);
  const uint8_t code = Sum(img.bytes, 55, 0x100);
  EXPECT_EQ(Check(img.bytes), -3);
  EXPECT_EQ(g_Utility.m_bFWCodeChecksum, code);

  char l1[128], l2[128];
  std::snprintf(l1, sizeof l1, " \n config checksum invalid, stored=%02X, computed=%02X \n",
                static_cast<uint8_t>(cfg + 1), cfg);
  std::snprintf(l2, sizeof l2, " \n firmware code checksum invalid, stored=%02X, computed=%02X \n",
                static_cast<uint8_t>(code + 1), code);
  EXPECT_THAT(WithoutLineNumbers(LogLines()),
              ElementsAre(std::string(kCheck) + l1, std::string(kCheck) + l2));
}

TEST_F(ImageTest, ConfigChecksumFailsBeforeTheFirmwareSignatureIsLookedAt) {
  fw::ImageSpec desc;
  desc.family = ImageFamily::B;
  desc.code_size = 0x100;
  desc.corruption = ImageCorruption::FirmwareSignature;  // "7202A_RCFG" with "7201A_FW"
  auto img = Build(desc);
  ASSERT_EQ(Check(img.bytes), -3);
  ASSERT_THAT(WithoutLineNumbers(LogLines()),
              ElementsAre(std::string(kCheck) + " \n  firmware signature [7201A_FW] invalid \n"));

  ++img.bytes[img.layout.cfg_length];  // config checksum off by one as well
  EXPECT_EQ(Check(img.bytes), -3);
  const auto lines = WithoutLineNumbers(LogLines());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[1], ::testing::HasSubstr("config checksum invalid"));
  EXPECT_EQ(g_Utility.m_dwFWCodeLength, 0u);
}

TEST_F(ImageTest, SignatureTextIsCutToItsTenBytes) {
  fw::ImageSpec desc;
  const char area[] = "KLMNOPQRSTUVWXYZ";  // no zero behind the signature in the file
  std::memcpy(desc.config_area.data(), area, 16);
  auto img = Build(desc);
  std::memcpy(img.bytes.data() + 6, "ABCDEFGHIJ", 10);
  EXPECT_EQ(Check(img.bytes), -3);
  // A signature with a zero in it prints as the text before the zero, right-aligned in ten.
  std::memcpy(img.bytes.data() + 6, "AB\0DEFGHIJ", 10);
  EXPECT_EQ(Check(img.bytes), -3);
  EXPECT_THAT(
      WithoutLineNumbers(LogLines()),
      ElementsAre(std::string(kCheck) +
                      " \n config signature [ABCDEFGHIJ] invalid, CFG_SIGNATURE_OFFSET=6 \n",
                  std::string(kCheck) +
                      " \n config signature [        AB] invalid, CFG_SIGNATURE_OFFSET=6 \n"));
  EXPECT_EQ(g_Utility.m_bFWDeviceType, 0xFF);
}

TEST_F(ImageTest, FailedVersionReadLeavesTheStateAsFarAsTheCheckGot) {
  fw::ImageSpec desc;
  desc.family = ImageFamily::B;
  desc.version = *ParseFirmwareVersionText("000000_70_00_00");
  desc.code_size = 0x100;
  desc.records = {{4, 0x0050, 0x12345678}};
  desc.corruption = ImageCorruption::CodeChecksum;
  const auto img = Build(desc);
  // State of an earlier, valid file.
  g_Utility.m_bFWChipType = 1;
  g_Utility.m_bFWDeviceType = 1;
  g_Utility.m_wCfgBlockLength = 0x1234;
  g_Utility.m_dwFWCodeLength = 0x9999;
  g_Utility.m_bCfgChecksum = g_Utility.m_bFWCodeChecksum = 0x77;
  uint8_t version[6];
  EXPECT_EQ(g_Interctl.Get_Version_From_File(img.bytes.data(), img.bytes.size(), version), -3);
  EXPECT_EQ(g_Utility.m_bFWChipType, 0);  // cleared, never set from byte 3
  EXPECT_EQ(g_Utility.m_bFWDeviceType, 1);
  EXPECT_EQ(g_Utility.m_wCfgBlockLength, 56);
  EXPECT_EQ(g_Utility.m_dwFWCodeLength, 0x100u);
  EXPECT_EQ(g_Utility.m_bCfgChecksum, Sum(img.bytes, 0, 56));
  EXPECT_EQ(g_Utility.m_bFWCodeChecksum, Sum(img.bytes, 65, 0x100));
}

// Fields that lie: every image whose L, N or offsets point outside the data is refused.
struct LieCase {
  const char* name;
  ImageFamily family;
  int cfg_length;         // -1: as built
  int64_t code_length;    // -1: as built
  int64_t length_change;  // bytes added (or removed) at the end of the data
  const char* log_fragment;
};

class LyingFieldsTest : public ImageTest, public ::testing::WithParamInterface<LieCase> {};

TEST_P(LyingFieldsTest, RefusedWithinTheData) {
  const LieCase& c = GetParam();
  fw::ImageSpec desc;
  desc.family = c.family;
  desc.code_size = 0x100;
  auto img = Build(desc);
  auto& b = img.bytes;
  const uint32_t field = c.family == ImageFamily::B ? 4 : 2;
  if (c.cfg_length >= 0) PutLe(b, 4, static_cast<uint32_t>(c.cfg_length), 2);
  const uint16_t L = static_cast<uint16_t>(b[4] | (b[5] << 8));
  // Keep the config checksum right where it can lie inside the data, so the length test is what
  // refuses the image.
  if (c.cfg_length >= 48 && L < b.size()) b[L] = Sum(b, 0, L);
  if (c.code_length >= 0) PutLe(b, 48 + 5, static_cast<uint32_t>(c.code_length), field);
  if (c.length_change != 0)
    b.resize(static_cast<size_t>(static_cast<int64_t>(b.size()) + c.length_change));
  // An exactly sized heap copy: any read past the data is caught by the address sanitizer.
  std::vector<uint8_t> data(b.begin(), b.end());
  EXPECT_EQ(Check(data), -3);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], ::testing::HasSubstr(c.log_fragment));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, LyingFieldsTest,
    ::testing::Values(
        LieCase{"LBelowHeader", ImageFamily::A, 47, -1, 0, "L=47 outside"},
        LieCase{"LZero", ImageFamily::B, 0, -1, 0, "L=0 outside"},
        LieCase{"LLastByte", ImageFamily::A, 0x100 + 48 + 7 + 13 - 1, -1, 0, "outside the image"},
        LieCase{"LengthFieldCut", ImageFamily::B, 0x100 + 48 + 9 + 13 - 8, -1, 0, "L=318 outside"},
        LieCase{"NBelowVersion", ImageFamily::A, -1, 0x85, 0, "N=133 outside"},
        LieCase{"NZero", ImageFamily::B, -1, 0, 0, "N=0 outside"},
        LieCase{"NOneTooLong", ImageFamily::A, -1, 0x101, 0, "N=257 outside"},
        LieCase{"NWrapsIn32Bits", ImageFamily::B, -1, 0xFFFFFFF0, 0, "N=4294967280 outside"},
        LieCase{"TrailerCut", ImageFamily::A, -1, -1, -1, "N=256 outside the image (length 323)"},
        LieCase{"HeaderOnly", ImageFamily::B, -1, -1, -(0x100 + 9 + 13 + 8), "L=48 outside"},
        LieCase{"ShortHeader", ImageFamily::A, -1, -1, -(0x100 + 48 + 7 + 13 - 15),
                "image length 15 shorter than the config header"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ImageTest, ExactEndIsAcceptedAndEveryShorterPrefixRefused) {
  for (ImageFamily family : {ImageFamily::A, ImageFamily::B}) {
    fw::ImageSpec desc;
    desc.family = family;
    desc.code_size = 0x90;
    desc.records = {{2, 0x50, 0x1234}};
    const auto img = Build(desc);
    ASSERT_EQ(img.bytes.size(), img.layout.image_end);
    EXPECT_EQ(Check(img.bytes), 0);
    for (size_t n = 0; n < img.bytes.size(); ++n) {
      std::vector<uint8_t> prefix(img.bytes.begin(),
                                  img.bytes.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_EQ(g_Interctl.Get_Version_From_File(prefix.data(), prefix.size(), nullptr), -3)
          << "prefix of " << n << " bytes";
    }
  }
}

TEST_F(ImageTest, NoDataAndRandomDataAreRefused) {
  EXPECT_EQ(g_Interctl.Check_Firmware_File(nullptr, 1000), -3);
  const uint8_t one = 0x37;
  EXPECT_EQ(g_Interctl.Check_Firmware_File(&one, 0), -3);
  std::mt19937 rng(7310);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> data(rng() % 3000);
    for (auto& byte : data)
      byte = static_cast<uint8_t>(rng());
    // Half of them with a real config signature, so the later steps see random fields.
    if (round % 2 == 1 && data.size() >= 16) {
      std::memcpy(data.data() + 6, round % 4 == 1 ? "7201A_RCFG" : "7202A_RCFG", 10);
    }
    EXPECT_EQ(Check(data), -3) << "round " << round;
  }
}

}  // namespace
}  // namespace nvl::test
