// Measuring and loading image files, GetBinFileStruct, the CRC-32 and the version text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "firmware/image_fixture.h"
#include "hw/interctl.h"

namespace nvl::test {
namespace {

using fw::ImageFamily;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// --- loading ---

TEST_F(ImageTest, FileOf40000BytesLoadsInto128KZeroedBuffer) {
  fw::ImageSpec desc;
  desc.family = ImageFamily::B;
  desc.code_size = 0x8000;
  desc.code_seed = 99;
  desc.pad_to = 40000;
  const auto img = Build(desc);
  ASSERT_EQ(img.bytes.size(), 40000u);
  // Padding that is not zero tells the file's own bytes from the buffer's zero fill.
  auto bytes = img.bytes;
  std::fill(bytes.begin() + img.layout.image_end, bytes.end(), 0xA5);
  const std::string path = dir_.File("fw.bin");
  WriteBytes(path, bytes);

  fw::FirmwareFile file;
  ASSERT_EQ(fw::LoadFirmwareFile(path, file), 0);
  EXPECT_EQ(g_Utility.m_dwFWFileLength, 40000u);
  EXPECT_EQ(file.dwFileLength, 40000u);
  ASSERT_EQ(file.buffer.size(), 0x20000u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.buffer.begin()));
  EXPECT_TRUE(std::all_of(file.buffer.begin() + 40000, file.buffer.end(),
                          [](uint8_t b) { return b == 0; }));
  uint8_t version[6];
  EXPECT_EQ(g_Interctl.Get_Version_From_File(file.buffer.data(), file.dwFileLength, version), 0);
  EXPECT_EQ(strFormatFirmwareVersion(version), "123456_78_9A_BC");
  EXPECT_THAT(LogLines(), IsEmpty());
}

TEST_F(ImageTest, FileLongerThan128KGetsABufferOfItsOwnLength) {
  fw::ImageSpec desc;
  desc.pad_to = 0x20000 + 77;
  const auto img = Build(desc);
  WriteBytes(dir_.File("big.rom"), img.bytes);
  fw::FirmwareFile file;
  ASSERT_EQ(fw::LoadFirmwareFile(dir_.File("big.rom"), file), 0);
  EXPECT_EQ(file.buffer.size(), 0x20000u + 77);
  EXPECT_EQ(file.buffer, img.bytes);
  EXPECT_EQ(g_Utility.m_dwFWFileLength, 0x20000u + 77);
}

TEST_F(ImageTest, ZeroLengthFileLoadsAndIsRefusedByTheCheck) {
  WriteBytes(dir_.File("empty.bin"), {});
  fw::FirmwareFile file;
  ASSERT_EQ(fw::LoadFirmwareFile(dir_.File("empty.bin"), file), 0);
  EXPECT_EQ(file.dwFileLength, 0u);
  EXPECT_EQ(g_Utility.m_dwFWFileLength, 0u);
  EXPECT_EQ(file.buffer.size(), 0x20000u);
  EXPECT_EQ(g_Interctl.Get_Version_From_File(file.buffer.data(), file.dwFileLength, nullptr), -3);
  EXPECT_EQ(g_Utility.m_bFWDeviceType, 0xFF);
}

TEST_F(ImageTest, MissingFileFailsToMeasureAndToLoad) {
  const std::string path = dir_.File("no-such.bin");
  g_Utility.m_dwFWFileLength = 1234;
  EXPECT_EQ(g_Utility.bFWBinFileLength(path), -3);
  EXPECT_EQ(g_Utility.m_dwFWFileLength, 1234u);
  std::vector<uint8_t> buffer(16, 0x11);
  EXPECT_EQ(g_Utility.bOpenFWBinFile(path, buffer), -3);
  EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0x11));
  fw::FirmwareFile file;
  EXPECT_EQ(fw::LoadFirmwareFile(path, file), -3);
  EXPECT_EQ(file.dwFileLength, 0u);
  const std::string measure =
      "\r\nCUtility::bFWBinFileLength:#:  bFWBinFileLength Failed, "
      "strFWFilePath[" +
      path + "], dwError=2";
  const std::string open = "\r\nCUtility::bOpenFWBinFile:#:  theFile.Open Failed, strFWFilePath[" +
                           path + "], dwError=2";
  EXPECT_THAT(WithoutLineNumbers(LogLines()), ElementsAre(measure, open, measure, open));
}

TEST_F(ImageTest, FolderIsNotAnImageFile) {
  EXPECT_EQ(g_Utility.bFWBinFileLength(dir_.path()), -3);
  std::vector<uint8_t> buffer;
  EXPECT_EQ(g_Utility.bOpenFWBinFile(dir_.path(), buffer), -3);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[1], ::testing::EndsWith("dwError=15"));  // EISDIR, hexadecimal
}

// Files longer than any flash part are refused before a buffer is allocated: a sparse file of
// gigabytes costs nothing on the disk, but a load that trusted its length would allocate (and
// zero) that much memory.
TEST_F(ImageTest, FileLongerThanAnyFlashPartIsRefusedWithoutABuffer) {
  const struct {
    const char* name;
    uint64_t length;
    int measured;  // m_dwFWFileLength after measuring (clamped to 32 bits)
  } cases[] = {
      {"one byte over", uint64_t{FW_IMAGE_MAX_FILE} + 1, static_cast<int>(FW_IMAGE_MAX_FILE + 1)},
      {"beyond 32 bits", uint64_t{5} << 30, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File("huge.bin");
    { std::ofstream(path, std::ios::binary).put('\x55'); }
    std::filesystem::resize_file(path, c.length);
    const size_t logged = LogLines().size();

    fw::FirmwareFile file;
    file.buffer.assign(3, 0x11);
    EXPECT_EQ(fw::LoadFirmwareFile(path, file), -8);
    EXPECT_EQ(file.dwFileLength, 0u);
    EXPECT_EQ(file.buffer.size(), 3u) << "no buffer of the file's length";
    std::vector<uint8_t> buffer(4, 0x22);
    EXPECT_EQ(g_Utility.bOpenFWBinFile(path, buffer), -8);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4, 0x22));

    const auto lines = WithoutLineNumbers(LogLines());
    const std::string size = "size=" + std::to_string(c.measured) + ", dwError=c..";
    ASSERT_EQ(lines.size(), logged + 2);
    EXPECT_EQ(lines[logged], "\r\nnvl::fw::LoadFirmwareFile:#:   Memory located Failed, " + size);
    EXPECT_EQ(lines[logged + 1],
              "\r\nCUtility::bOpenFWBinFile:#:   Memory located Failed, " + size);
    std::filesystem::remove(path);

    // The huge length stays in the file state; a missing file loaded next is still "cannot be
    // opened", not "no memory".
    EXPECT_EQ(fw::LoadFirmwareFile(dir_.File("gone.bin"), file), -3);
  }
}

TEST_F(ImageTest, OpenGrowsAShortBufferAndKeepsTheRestOfALongOne) {
  const std::vector<uint8_t> content = {1, 2, 3, 4, 5};
  WriteBytes(dir_.File("five.bin"), content);
  std::vector<uint8_t> shorter(2, 0xEE);
  ASSERT_EQ(g_Utility.bOpenFWBinFile(dir_.File("five.bin"), shorter), 0);
  EXPECT_EQ(shorter, content);
  std::vector<uint8_t> longer(8, 0xEE);
  ASSERT_EQ(g_Utility.bOpenFWBinFile(dir_.File("five.bin"), longer), 0);
  EXPECT_EQ(longer, (std::vector<uint8_t>{1, 2, 3, 4, 5, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(g_Utility.m_dwFWFileLength, 5u);
  ASSERT_EQ(g_Utility.bFWBinFileLength(dir_.File("five.bin")), 0);
  EXPECT_EQ(g_Utility.m_dwFWFileLength, 5u);
}

// --- parsing ---

TEST_F(ImageTest, ParsedViewCarriesEveryPartOfTheImage) {
  for (ImageFamily family : {ImageFamily::A, ImageFamily::B}) {
    SCOPED_TRACE(family == ImageFamily::A ? "family A" : "family B");
    fw::ImageSpec desc;
    desc.family = family;
    desc.code_size = family == ImageFamily::B ? 0x10010 : 0x300;
    desc.header = {0xDE, 0xAD, 0xBE, 0xEF};
    desc.trailer = {0x01, 0x02, 0x03, 0x04};
    for (size_t i = 0; i < desc.config_area.size(); ++i) {
      desc.config_area[i] = static_cast<uint8_t>(0x40 + i);
    }
    desc.records = {{2, 0xE260, 0xABCD}, {1, 0xE241, 0x1F}, {4, 0x0050, 0x11223344, 0x00}};
    desc.padding = 100;
    const auto img = Build(desc);
    const auto& b = img.bytes;
    const uint32_t C = img.layout.code_offset;
    const uint32_t N = desc.code_size;
    ASSERT_EQ(g_Interctl.Get_Version_From_File(b.data(), b.size(), nullptr), 0);

    BinFileStruct s;
    ASSERT_EQ(g_Utility.GetBinFileStruct(b.data(), b.size(), s), 0);
    EXPECT_EQ(std::memcmp(s.abHeader, b.data(), 16), 0);
    EXPECT_EQ(s.abHeader[0], 0xDE);
    EXPECT_EQ(s.wCfgLength, 48 + 24);
    EXPECT_EQ(s.pCfgBody, std::vector<uint8_t>(b.begin() + 48, b.begin() + 72));
    EXPECT_EQ(s.pCfgBody, (std::vector<uint8_t>{0xCC, 2, 0x60, 0xE2, 0xCD, 0xAB, 0,    0,  //
                                                0xCC, 1, 0x41, 0xE2, 0x1F, 0,    0,    0,  //
                                                0x00, 4, 0x50, 0x00, 0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(std::memcmp(s.abCfgArea, b.data() + 16, 32), 0);
    EXPECT_EQ(s.abCfgArea[31], 0x40 + 31);
    EXPECT_EQ(s.dwCodeLength, N);
    EXPECT_EQ(s.pFWCode, std::vector<uint8_t>(b.begin() + C, b.begin() + C + N));
    EXPECT_EQ(std::memcmp(s.abFWSignature, family == ImageFamily::B ? "7202A_FW" : "7201A_FW", 8),
              0);
    EXPECT_EQ(s.bCodeChecksum, Sum(b, C, N));
    EXPECT_THAT(s.abFWTrailer, ElementsAre(1, 2, 3, 4));
  }
  EXPECT_THAT(LogLines(), IsEmpty());
}

TEST_F(ImageTest, ConfigBlockOf48BytesGivesAnEmptyBody) {
  const auto img = Build(fw::ImageSpec{});
  ASSERT_EQ(img.layout.cfg_length, 48);
  ASSERT_EQ(g_Interctl.Get_Version_From_File(img.bytes.data(), img.bytes.size(), nullptr), 0);
  BinFileStruct s;
  s.pCfgBody = {9, 9, 9};  // a structure that is filled again loses its old body
  ASSERT_EQ(g_Utility.GetBinFileStruct(img.bytes.data(), img.bytes.size(), s), 0);
  EXPECT_TRUE(s.pCfgBody.empty());
  EXPECT_EQ(s.wCfgLength, 48);
  EXPECT_EQ(s.pFWCode.size(), 0x400u);
}

TEST_F(ImageTest, UnknownFamilyFillsOnlyHeaderBodyAndArea) {
  fw::ImageSpec desc;
  desc.records = {{2, 1, 2}};
  auto img = Build(desc);
  g_Utility.m_bFWDeviceType = 0xFF;
  BinFileStruct s;
  ASSERT_EQ(g_Utility.GetBinFileStruct(img.bytes.data(), img.bytes.size(), s), 0);
  EXPECT_EQ(s.pCfgBody.size(), 8u);
  EXPECT_EQ(s.dwCodeLength, 0u);
  EXPECT_TRUE(s.pFWCode.empty());
  EXPECT_THAT(s.abFWSignature, ::testing::Each(0));
}

TEST_F(ImageTest, ParsingStopsAtTheFirstFieldOutsideTheData) {
  fw::ImageSpec desc;
  desc.family = ImageFamily::B;
  desc.code_size = 0x200;
  desc.records = {{2, 0x50, 0x1234}};
  const auto img = Build(desc);
  g_Utility.m_bFWDeviceType = 1;  // as if a check had passed on another image

  // Code length that lies: header and body are filled, the code is not.
  auto lying = img.bytes;
  lying[56 + 5 + 3] = 0x7F;
  BinFileStruct s;
  EXPECT_EQ(g_Utility.GetBinFileStruct(lying.data(), lying.size(), s), -3);
  EXPECT_EQ(s.wCfgLength, 56);
  EXPECT_EQ(s.pCfgBody.size(), 8u);
  EXPECT_EQ(s.dwCodeLength, 0x7F000200u);
  EXPECT_TRUE(s.pFWCode.empty());

  // Every prefix of the image, in an exactly sized copy, is parsed without a read past it.
  for (size_t n = 0; n < img.bytes.size(); ++n) {
    std::vector<uint8_t> prefix(img.bytes.begin(),
                                img.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    BinFileStruct p;
    EXPECT_EQ(g_Utility.GetBinFileStruct(prefix.data(), prefix.size(), p), -3) << n;
  }
  const auto lines = WithoutLineNumbers(LogLines());
  ASSERT_FALSE(lines.empty());
  EXPECT_THAT(lines[0], ::testing::StartsWith("\r\nCUtility::GetBinFileStruct:#:  image field at"));
}

// --- CRC-32 and checksums ---

TEST(Crc32Test, TableEqualsZlibs) {
  g_Utility.vInitCrc32Table();
  const z_crc_t* zlib_table = get_crc_table();
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(g_Utility.m_dwCrc32Table[i], zlib_table[i]) << "entry " << i;
  }
}

TEST(Crc32Test, CrcEqualsZlibsOverManyInputs) {
  uint32_t table[256];
  fw::BuildCrc32Table(table);
  EXPECT_EQ(fw::Crc32(table, nullptr, 0), 0u);
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(fw::Crc32(table, check, sizeof check), 0xCBF43926u);  // the CRC-32 check value
  std::mt19937 rng(42);
  for (size_t length : {1u, 2u, 3u, 48u, 255u, 256u, 1000u, 65535u}) {
    std::vector<uint8_t> data(length);
    for (auto& b : data)
      b = static_cast<uint8_t>(rng());
    EXPECT_EQ(fw::Crc32(table, data.data(), data.size()),
              crc32(0L, data.data(), static_cast<uInt>(data.size())))
        << length << " bytes";
  }
}

TEST(Crc32Test, BuiltImagesCarryTheConfigBlockCrc) {
  for (ImageFamily family : {ImageFamily::A, ImageFamily::B}) {
    fw::ImageSpec desc;
    desc.family = family;
    desc.records = {{2, 0xE260, 0xABCD}, {2, 0xE262, 0x1234}};
    const auto img = fw::BuildImage(desc);
    ASSERT_TRUE(img.has_value());
    const uint16_t L = img->layout.cfg_length;
    const auto& b = img->bytes;
    const uint32_t stored = b[L + 1] | b[L + 2] << 8 | b[L + 3] << 16 | uint32_t{b[L + 4]} << 24;
    EXPECT_EQ(stored, crc32(0L, b.data(), L));
  }
}

TEST(Checksum8Test, WrapsAndIsZeroForNothing) {
  const uint8_t bytes[] = {0xFF, 0xFF, 0x03};
  EXPECT_EQ(fw::Checksum8(bytes, 3), 0x01);
  EXPECT_EQ(fw::Checksum8(bytes, 0), 0x00);
}

// --- version text ---

TEST(VersionTextTest, FormatsAndParses) {
  const uint8_t v1[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  EXPECT_EQ(strFormatFirmwareVersion(v1), "123456_78_9A_BC");
  const uint8_t v2[6] = {0x00, 0x0a, 0xff, 0x70, 0x01, 0xe0};
  EXPECT_EQ(strFormatFirmwareVersion(v2), "000AFF_70_01_E0");
  const auto parsed = ParseFirmwareVersionText("000aff_70_01_E0");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(std::memcmp(parsed->data(), v2, 6), 0);
  for (const char* bad : {"", "123456_78_9A_B", "123456-78_9A_BC", "12345G_78_9A_BC",
                          "123456_78_9A_BCD", "1234567_8_9A_BC"}) {
    EXPECT_FALSE(ParseFirmwareVersionText(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace nvl::test
