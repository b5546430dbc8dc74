// SPI flash programming over the recording IO library and the simulated station: the exact
// commands and waits of each operation, and the results of the injected faults.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stop_token>
#include <string>
#include <tuple>

#include "firmware/flash_fixture.h"
#include "firmware/image_builder.h"
#include "platform/clock.h"

namespace nvl::test {
namespace {

uint32_t Le(const std::vector<uint8_t>& v, size_t at, size_t n) {
  uint32_t x = 0;
  for (size_t i = 0; i < 4 && i < n; ++i)
    x |= static_cast<uint32_t>(v[at + i]) << (8 * i);
  return x;
}

std::string SetupCmd(uint32_t data) {
  return Cmd(0x1B, 0x10, 1, 0, data, 0);
}
std::string IdRead(size_t row) {
  return Cmd(0x40, 0x20, 3, g_SpiRomPartTable[row].bReadIdArg, g_SpiRomPartTable[row].bReadIdOpcode,
             0);
}

bool AllFF(const SpiRomPart& p) {
  const auto* b = reinterpret_cast<const uint8_t*>(&p);
  for (size_t i = 0; i < sizeof p; ++i) {
    if (b[i] != 0xFF) return false;
  }
  return true;
}

bool SameRow(const SpiRomPart& p, size_t row) {
  return std::memcmp(&p, &g_SpiRomPartTable[row], sizeof p) == 0;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// --- the part table -------------------------------------------------------------------------

// The part table as the product's list of supported flash parts gives it, row by row.
struct GoldenRow {
  const char* vendor;
  const char* part;
  uint8_t b0, b1, b2, b3;
  uint16_t size4k;
  uint8_t b6, b7, id0, id1, id2;
};

// clang-format off
constexpr GoldenRow kGoldenRows[] = {
    {"MXIC", "MX25L(V)512(C)", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x16, 0xC2, 0x20, 0x10},
    {"MXIC", "MX25L100(2)5C/1006E", 0x9F, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x16, 0xC2, 0x20, 0x11},
    {"MXIC", "MX25L5121E", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x16, 0xC2, 0x22, 0x10},
    {"MXIC", "MX25L1021E", 0x9F, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x16, 0xC2, 0x22, 0x11},
    {"MXIC", "MX25L2006E", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0x16, 0xC2, 0x20, 0x12},
    {"MXIC", "MX25x4006E", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0xC2, 0x20, 0x13},
    {"MXIC", "MX25V512F", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x16, 0xC2, 0x22, 0x10},
    {"MXIC", "MX25V1035F", 0x9F, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x16, 0xC2, 0x22, 0x11},
    {"MXIC", "MX25V2035F", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0x16, 0xC2, 0x23, 0x12},
    {"MXIC", "MMX25V4035F", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0xC2, 0x23, 0x13},
    {"MXIC", "MX25U4035", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0xC2, 0x25, 0x33},
    {"MXIC", "MX25U8035", 0x9F, 0x00, 0x60, 0x01, 0x00FF, 0x20, 0x16, 0xC2, 0x25, 0x34},
    {"WinBond", "W25Q20BW", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0x16, 0xEF, 0x50, 0x12},
    {"WinBond", "W25Q40BW", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0xEF, 0x50, 0x13},
    {"WinBond", "W25X05CL", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x16, 0xEF, 0x30, 0x10},
    {"WinBond", "W25X10B(C)L(V)", 0x9F, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x16, 0xEF, 0x30, 0x11},
    {"WinBond", "W25X20B(C)L(V)", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0x16, 0xEF, 0x30, 0x12},
    {"WinBond", "W25X40BL(V)", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0xEF, 0x30, 0x13},
    {"WinBond", "W25Q40BL(V)", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0xEF, 0x40, 0x13},
    {"WinBond", "W25Q80DV", 0x9F, 0x00, 0x60, 0x01, 0x00FF, 0x20, 0x16, 0xEF, 0x40, 0x14},
    {"Sanyo", "LE25FU206A", 0x9F, 0x00, 0xC7, 0x01, 0x0040, 0xD8, 0x16, 0x62, 0x06, 0x12},
    {"Sanyo", "LE25FU406B", 0x9F, 0x00, 0xC7, 0x01, 0x0080, 0xD8, 0x16, 0x62, 0x1E, 0x62},
    {"ESMT", "F25L05PA", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x16, 0x8C, 0x30, 0x10},
    {"ESMT", "F25L01PA", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x16, 0x8C, 0x30, 0x11},
    {"Giga Device", "GD25Q40/1BT", 0x9F, 0x00, 0x60, 0x01, 0x0080, 0x20, 0x96, 0xC8, 0x40, 0x13},
    {"Giga Device", "GD25Q20/1", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0xFA, 0xC8, 0x40, 0x12},
    {"Giga Device", "GD25Q10/D10B", 0x9F, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x96, 0xC8, 0x40, 0x11},
    {"Giga Device", "GD25Q512/D05B", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x96, 0xC8, 0x40, 0x10},
    {"Giga Device", "GD25VQ21B", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0x96, 0xC8, 0x42, 0x12},
    {"NUMONYX", "M25P05A", 0x9F, 0x00, 0xC7, 0x08, 0x0010, 0xD8, 0x16, 0x20, 0x20, 0x10},
    {"NUMONYX", "M25P10A", 0x9F, 0x00, 0xC7, 0x08, 0x0020, 0xD8, 0x16, 0x20, 0x20, 0x11},
    {"NUMONYX", "M25PE10", 0x9F, 0x00, 0xC7, 0x10, 0x0020, 0xD8, 0x16, 0x20, 0x80, 0x11},
    {"NUMONYX", "M25PE20", 0x9F, 0x00, 0xC7, 0x10, 0x0040, 0xD8, 0x16, 0x20, 0x80, 0x12},
    {"NUMONYX", "M45PE10", 0x9F, 0x00, 0xD8, 0x10, 0x0020, 0xD8, 0x16, 0x20, 0x40, 0x11},
    {"EON", "EN25xF05", 0x9F, 0x00, 0xC7, 0x01, 0x0010, 0x20, 0x16, 0x1C, 0x31, 0x10},
    {"EON", "EN25(L)F10", 0x9F, 0x00, 0xC7, 0x01, 0x0020, 0x20, 0x16, 0x1C, 0x31, 0x11},
    {"EON", "EN25S10", 0x9F, 0x00, 0xC7, 0x01, 0x0020, 0x20, 0x16, 0x1C, 0x38, 0x11},
    {"EON", "EN25F20", 0x9F, 0x00, 0xC7, 0x01, 0x0040, 0x20, 0x16, 0x1C, 0x31, 0x12},
    {"EON", "EN25F40", 0x9F, 0x00, 0xC7, 0x01, 0x0080, 0x20, 0x16, 0x1C, 0x31, 0x13},
    {"ATMEL", "AT25F512A(B)", 0x15, 0x00, 0x62, 0x08, 0x0010, 0x52, 0x16, 0x1F, 0x65, 0xFF},
    {"ATMEL", "AT25FS010", 0x15, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x16, 0x1F, 0x66, 0xFF},
    {"PFLASH", "PM25LV512A", 0xAB, 0x03, 0xC7, 0x01, 0x0010, 0xD7, 0x16, 0x9D, 0x7B, 0x7F},
    {"PFLASH", "PM25LV010A", 0xAB, 0x03, 0xC7, 0x01, 0x0020, 0xD7, 0x16, 0x9D, 0x7C, 0x7F},
    {"PFLASH", "PM25LD512C", 0x90, 0x03, 0x60, 0x01, 0x0010, 0xD7, 0x16, 0x9D, 0x05, 0x7F},
    {"PFLASH", "PM25LD010x", 0x90, 0x03, 0x60, 0x01, 0x0020, 0xD7, 0x16, 0x9D, 0x10, 0x7F},
    {"PFLASH", "PM25L(W)D020C", 0x90, 0x03, 0x60, 0x01, 0x0040, 0xD7, 0x16, 0x9D, 0x11, 0x7F},
    {"PFLASH", "Pm25WD040", 0x90, 0x03, 0x60, 0x01, 0x0080, 0xD7, 0x16, 0x9D, 0x12, 0x7F},
    {"PFLASH", "Pm25LD040", 0x90, 0x03, 0x60, 0x01, 0x0080, 0xD7, 0x16, 0x9D, 0x7E, 0x7F},
    {"PFLASH", "Pm25LQ010A", 0x9F, 0x03, 0x60, 0x01, 0x0020, 0xD7, 0x16, 0x9D, 0x40, 0x11},
    {"AMIC", "A25L512", 0x9F, 0x00, 0xC7, 0x01, 0x0010, 0x20, 0x16, 0x37, 0x30, 0x10},
    {"AMIC", "A25L010", 0x9F, 0x00, 0xC7, 0x01, 0x0020, 0x20, 0x16, 0x37, 0x30, 0x11},
    {"AMIC", "A25L020", 0x9F, 0x00, 0xC7, 0x01, 0x0040, 0x20, 0x16, 0x37, 0x30, 0x12},
    {"AMIC", "A25L040", 0x9F, 0x00, 0xC7, 0x01, 0x0080, 0x20, 0x16, 0x37, 0x30, 0x13},
    {"SST", "SST25VF512X", 0x90, 0x03, 0x60, 0x01, 0x0010, 0x20, 0x16, 0xBF, 0x48, 0xBF},
    {"SST", "SST25VF010A", 0x90, 0x03, 0x60, 0x01, 0x0020, 0x20, 0x16, 0xBF, 0x49, 0xBF},
    {"Micron", "M25P80", 0x9F, 0x00, 0xC7, 0x04, 0x0010, 0xD8, 0x14, 0x20, 0x20, 0x14},
    {"Boya", "BY25Q20A", 0x9F, 0x00, 0x60, 0x01, 0x0040, 0x20, 0xFA, 0xE0, 0x40, 0x12},
    {"Boya", "BY25Q10A", 0x9F, 0x00, 0x60, 0x01, 0x0020, 0x20, 0x96, 0xE0, 0x40, 0x11},
    {"Boya", "BY25Q512A", 0x9F, 0x00, 0x60, 0x01, 0x0010, 0x20, 0x96, 0xE0, 0x40, 0x10},
};
// clang-format on

TEST(SpiRomPartTable, EveryByteOfEveryRow) {
  ASSERT_EQ(std::size(kGoldenRows), kSpiRomPartCount);
  for (size_t i = 0; i < kSpiRomPartCount; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const GoldenRow& g = kGoldenRows[i];
    const SpiRomPart& r = g_SpiRomPartTable[i];
    // The record's first 11 bytes as they travel in the erase command (size little-endian).
    const uint8_t expected[11] = {g.b0,
                                  g.b1,
                                  g.b2,
                                  g.b3,
                                  static_cast<uint8_t>(g.size4k & 0xFF),
                                  static_cast<uint8_t>(g.size4k >> 8),
                                  g.b6,
                                  g.b7,
                                  g.id0,
                                  g.id1,
                                  g.id2};
    const auto* raw = reinterpret_cast<const uint8_t*>(&r);
    EXPECT_EQ(std::vector<uint8_t>(expected, expected + 11), std::vector<uint8_t>(raw, raw + 11));
    EXPECT_STREQ(g.vendor, r.szVendor);
    EXPECT_STREQ(g.part, r.szPartName);
    // Zero-terminated, the rest of each name field zero.
    for (size_t k = std::strlen(r.szVendor); k < sizeof r.szVendor; ++k)
      ASSERT_EQ(0, r.szVendor[k]) << k;
    for (size_t k = std::strlen(r.szPartName); k < sizeof r.szPartName; ++k)
      ASSERT_EQ(0, r.szPartName[k]) << k;
  }
}

// The rules that pick rows by their identification, over every row: the extra set-up byte
// (C2 22 10 / C2 22 11), the split erase (C8 40 and 20 20) and the SST pacing (BF).
class RowRulesTest : public FlashTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(RowRulesTest, SetupEraseAndBeginFollowTheIdentification) {
  const size_t row = GetParam();
  const SpiRomPart& part = g_SpiRomPartTable[row];
  const bool alternate = row == 2 || row == 3 || row == 6 || row == 7;
  const bool split = (row >= 24 && row <= 27) || row == 29 || row == 30 || row == 55;
  const bool paced = row == 53 || row == 54;
  Load(OneBoard(ChipOfRow(part)));

  g_Interctl.Init_SPIRom(host_);
  EXPECT_EQ(alternate, Contains(Commands(), SetupCmd(0x20)));

  io()->Clear();
  ASSERT_EQ(0, g_Interctl.Erase_SPIRom(host_, part, 2 * fw::SectorSize(part), 0, 0));
  EXPECT_EQ(split ? 2u : 1u, CommandsOf(0x30).size());

  io()->Clear();
  const uint8_t data[4] = {1, 2, 3, 4};
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, part, data, 0, 4));
  EXPECT_EQ(paced ? 1u : 0u, CommandsOf(0x1D).size());
  EXPECT_EQ(paced ? 0u : 1u, CommandsOf(0x11).size());
}

INSTANTIATE_TEST_SUITE_P(AllRows, RowRulesTest, ::testing::Range<size_t>(0, kSpiRomPartCount));

TEST(SpiRomPartTable, EmptyRecordIsAllFF) {
  const SpiRomPart p = EmptySpiRomPart();
  EXPECT_TRUE(AllFF(p));
  EXPECT_TRUE(bSpiRomPartEmpty(p));
  EXPECT_FALSE(bSpiRomPartEmpty(g_SpiRomPartTable[0]));
}

// --- identification -------------------------------------------------------------------------

// Every row's chip is found by the row itself, except the two rows whose identification an
// earlier row carries; each row is asked with its own opcode and argument, in order.
class IdentifyRowTest : public FlashTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(IdentifyRowTest, FirstMatchingRowWins) {
  const size_t row = GetParam();
  Load(OneBoard(ChipOfRow(g_SpiRomPartTable[row])));
  const size_t expected = row == 6 ? 2 : row == 7 ? 3 : row;
  const SpiRomPart got = g_Interctl.Find_SPIRom_Part(host_);
  EXPECT_TRUE(SameRow(got, expected)) << got.szPartName;
  const auto reads = CommandsOf(0x40, 0x20);
  ASSERT_EQ(expected + 1, reads.size());
  for (size_t i = 0; i < reads.size(); ++i)
    EXPECT_EQ(IdRead(i), reads[i]);
}

INSTANTIATE_TEST_SUITE_P(AllRows, IdentifyRowTest, ::testing::Range<size_t>(0, kSpiRomPartCount));

struct InitCase {
  const char* id;
  unsigned opcode;
  size_t row;
  bool alternate_setup;
};

class InitTest : public FlashTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitTest, IdentifiesSetsUpAndUnprotects) {
  const InitCase& c = GetParam();
  ChipSpec chip = ChipOfRow(g_SpiRomPartTable[c.row]);
  chip.id = c.id;
  chip.opcode = c.opcode;
  chip.status = 0x9C;  // protected as shipped
  Load(OneBoard(chip));
  const SpiRomPart got = g_Interctl.Init_SPIRom(host_);
  EXPECT_TRUE(SameRow(got, c.row)) << got.szPartName;

  std::vector<std::string> expected = {SetupCmd(0x80)};
  for (size_t i = 0; i <= c.row; ++i)
    expected.push_back(IdRead(i));
  if (c.alternate_setup) expected.push_back(SetupCmd(0x20));
  expected.push_back(Cmd(0x19, 0x10, 1, 0, 0x06, 0));
  expected.push_back(Cmd(0x1C, 0x10, 2, 0, 0x0301, 0));
  EXPECT_EQ(expected, Commands());
  EXPECT_EQ((std::vector<int64_t>{200, 200}), WaitValues());
  EXPECT_EQ(0x00, board()->FlashStatus());  // unprotected, latch cleared
}

INSTANTIATE_TEST_SUITE_P(
    Parts, InitTest,
    ::testing::Values(InitCase{"C2 22 10", 0x9F, 2, true}, InitCase{"C2 22 11", 0x9F, 3, true},
                      InitCase{"C2 20 10", 0x9F, 0, false}, InitCase{"C2 20 11", 0x9F, 1, false},
                      InitCase{"1F 65 3A", 0x15, 39, false}, InitCase{"1F 65 00", 0x15, 39, false},
                      InitCase{"1F 66 77", 0x15, 40, false},
                      InitCase{"BF 48 BF", 0x90, 53, false}));

TEST_F(FlashTest, UnknownIdentificationGivesTheEmptyRecordAndTouchesNothing) {
  ChipSpec chip;
  chip.id = "12 34 56";
  chip.status = 0x9C;
  Load(OneBoard(chip));
  const SpiRomPart got = g_Interctl.Init_SPIRom(host_);
  EXPECT_TRUE(AllFF(got));
  EXPECT_EQ(59u, CommandsOf(0x40, 0x20).size());
  EXPECT_EQ(60u, Commands().size());  // the set-up and the 59 reads, no unprotect
  EXPECT_TRUE(waits_.empty());
  EXPECT_EQ(0x9C, board()->FlashStatus());
}

TEST_F(FlashTest, FailedIdentificationReadStopsTheSearch) {
  ChipSpec chip = ChipOfRow(g_SpiRomPartTable[20]);
  Load(OneBoard(
      chip, 'A',
      R"(, "faults": [{"effect": "error", "command": "0x40", "space": "0x20", "skip": 4, "times": 1}])"));
  EXPECT_TRUE(AllFF(g_Interctl.Init_SPIRom(host_)));
  EXPECT_EQ(5u, CommandsOf(0x40, 0x20).size());
  EXPECT_TRUE(CommandsOf(0x19).empty());
}

TEST_F(FlashTest, FailedSetupGivesTheEmptyRecordWithoutReads) {
  Load(OneBoard(ChipSpec{}, 'A', R"(, "faults": [{"effect": "error", "command": "0x1B"}])"));
  EXPECT_TRUE(AllFF(g_Interctl.Init_SPIRom(host_)));
  EXPECT_EQ((std::vector<std::string>{SetupCmd(0x80)}), Commands());
}

TEST_F(FlashTest, FailedAlternateSetupSkipsTheUnprotect) {
  ChipSpec chip;
  chip.id = "C2 22 10";
  chip.size = 0x10000;
  chip.status = 0x9C;
  Load(OneBoard(chip, 'A', R"(, "faults": [{"effect": "error", "command": "0x1B", "skip": 1}])"));
  EXPECT_TRUE(SameRow(g_Interctl.Init_SPIRom(host_), 2));
  EXPECT_TRUE(CommandsOf(0x19).empty());
  EXPECT_EQ(0x9C, board()->FlashStatus());
}

// --- protection -----------------------------------------------------------------------------

TEST_F(FlashTest, ProtectAndUnprotect) {
  Load(OneBoard(ChipSpec{}));
  EXPECT_EQ(0, g_Interctl.Protect_SPIRom(host_, 1));
  EXPECT_EQ(
      (std::vector<std::string>{Cmd(0x19, 0x10, 1, 0, 0x06, 0), Cmd(0x1C, 0x10, 2, 0, 0x9F01, 0),
                                Cmd(0x19, 0x10, 1, 0, 0x04, 0)}),
      Commands());
  EXPECT_EQ((std::vector<int64_t>{200, 200, 200}), WaitValues());
  EXPECT_EQ(0x9C, board()->FlashStatus());
  io()->Clear();
  waits_.clear();
  EXPECT_EQ(0, g_Interctl.Protect_SPIRom(host_, 0));
  EXPECT_EQ(
      (std::vector<std::string>{Cmd(0x19, 0x10, 1, 0, 0x06, 0), Cmd(0x1C, 0x10, 2, 0, 0x0301, 0)}),
      Commands());
  EXPECT_EQ((std::vector<int64_t>{200, 200}), WaitValues());
  EXPECT_EQ(0x00, board()->FlashStatus());
}

TEST_F(FlashTest, ProtectStopsAtTheFirstFailingCommand) {
  Load(OneBoard(ChipSpec{}, 'A', R"(, "faults": [{"effect": "error", "command": "0x1C"}])"));
  EXPECT_EQ(kIoErrFailed, g_Interctl.Protect_SPIRom(host_, 1));
  EXPECT_EQ(2u, Commands().size());
  EXPECT_EQ((std::vector<int64_t>{200}), WaitValues());
}

// --- erase ----------------------------------------------------------------------------------

struct EraseCase {
  size_t row;
  uint32_t count;
  int retry;
  std::vector<std::pair<uint32_t, uint32_t>> steps;  // sectors, address
  std::vector<int64_t> waits;
};

class EraseTest : public FlashTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(EraseTest, StepsAddressesAndWaits) {
  const EraseCase& c = GetParam();
  const SpiRomPart& part = g_SpiRomPartTable[c.row];
  Load(OneBoard(ChipOfRow(part)));
  EXPECT_EQ(0, g_Interctl.Erase_SPIRom(host_, part, c.count, 0, c.retry));
  const uint32_t low = part.bReadIdOpcode | part.bReadIdArg << 8 | part.bChipEraseOpcode << 16 |
                       static_cast<uint32_t>(part.bSectorSize4K) << 24;
  const uint32_t high = (part.wFlashSize4K & 0xFF) | part.bSectorEraseOpcode << 8 |
                        part.bEraseWait << 16 | static_cast<uint32_t>(part.abJedecId[0]) << 24;
  std::vector<std::string> expected;
  for (auto [sectors, at] : c.steps)
    expected.push_back(Cmd(0x30, 0x10, sectors, at, low, high));
  EXPECT_EQ(expected, Commands());
  EXPECT_EQ(c.waits, WaitValues());
}

INSTANTIATE_TEST_SUITE_P(
    Parts, EraseTest,
    ::testing::Values(
        // one command for ordinary parts
        EraseCase{1, 0x10000, 0, {{16, 0}}, {500}}, EraseCase{1, 0x10004, 2, {{17, 0}}, {500}},
        EraseCase{1, 4, 0, {{1, 0}}, {500}},
        // split erase: halves, a wait of (retry + 1) x factor x 5 ms after each step
        EraseCase{26, 0x10000, 0, {{8, 0}, {8, 0x8000}}, {750, 750, 500}},
        EraseCase{26, 0x1000, 0, {{1, 0}}, {750, 500}},
        EraseCase{26, 0x5000, 2, {{2, 0}, {2, 0x2000}, {2, 0x4000}}, {2250, 2250, 2250, 500}},
        EraseCase{25, 0x3000, 1, {{1, 0}, {1, 0x1000}, {1, 0x2000}}, {2500, 2500, 2500, 500}},
        EraseCase{55, 0x10000, 1, {{2, 0}, {2, 0x8000}}, {200, 200, 500}},
        EraseCase{30, 0x10000, 0, {{1, 0}, {1, 0x8000}}, {110, 110, 500}}));

// The split erase's last step may reach past the chunk; where that would reach past the end of
// the flash it is cut at the end, since the chip would go on erasing at address 0.
struct EraseAtCase {
  size_t row;
  uint32_t count;
  uint32_t address;
  std::vector<std::pair<uint32_t, uint32_t>> steps;  // sectors, address
};

class EraseNearTheEndTest : public FlashTest, public ::testing::WithParamInterface<EraseAtCase> {};

TEST_P(EraseNearTheEndTest, NoStepReachesPastTheFlash) {
  const EraseAtCase& c = GetParam();
  const SpiRomPart& part = g_SpiRomPartTable[c.row];
  Load(OneBoard(ChipOfRow(part)));
  EXPECT_EQ(0, g_Interctl.Erase_SPIRom(host_, part, c.count, c.address, 0));
  std::vector<std::pair<uint32_t, uint32_t>> steps;
  for (const auto& e : CommandsOf(0x30)) {
    unsigned sectors = 0, at = 0;
    ASSERT_EQ(2, std::sscanf(e.c_str(), "WriteCmdALL(0x30,0x10,%u,%x", &sectors, &at)) << e;
    steps.emplace_back(sectors, at);
  }
  EXPECT_EQ(c.steps, steps);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, EraseNearTheEndTest,
    ::testing::Values(
        // 128 KB: 15 sectors from 0xF000 would end at 0x24000
        EraseAtCase{26, 0xF000, 0xF000, {{7, 0xF000}, {7, 0x16000}, {3, 0x1D000}}},
        EraseAtCase{26, 0xF000, 0x10000, {{7, 0x10000}, {7, 0x17000}, {2, 0x1E000}}},
        // 64 KB: 15 sectors from 0 would end at 0x15000
        EraseAtCase{27, 0xF000, 0, {{7, 0}, {7, 0x7000}, {2, 0xE000}}},
        // inside the flash the overshoot stays as it is
        EraseAtCase{26, 0x5000, 0x5000, {{2, 0x5000}, {2, 0x7000}, {2, 0x9000}}}));

TEST_F(FlashTest, EraseOutsideTheFlashIsRefused) {
  const SpiRomPart& part = g_SpiRomPartTable[26];
  Load(OneBoard(ChipOfRow(part)));
  EXPECT_EQ(ERR_INVALID_PARAMETER, g_Interctl.Erase_SPIRom(host_, part, 0x2000, 0x1F000, 0));
  EXPECT_EQ(ERR_INVALID_PARAMETER,
            g_Interctl.Erase_SPIRom(host_, g_SpiRomPartTable[1], 0x1000, 0x20000, 0));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(FlashTest, EraseDataWordsCarryTheRecordBytes) {
  const SpiRomPart& part = g_SpiRomPartTable[24];
  Load(OneBoard(ChipOfRow(part)));
  EXPECT_EQ(0, g_Interctl.Erase_SPIRom(host_, part, 0x2000, 0x4000, 0));
  EXPECT_EQ((std::vector<std::string>{Cmd(0x30, 0x10, 1, 0x4000, 0x0160009F, 0xC8962080),
                                      Cmd(0x30, 0x10, 1, 0x5000, 0x0160009F, 0xC8962080)}),
            Commands());
}

TEST_F(FlashTest, FailedSingleEraseIsLoggedAndReturnedAtOnce) {
  Load(OneBoard(ChipSpec{}, 'A', R"(, "faults": [{"effect": "error", "command": "0x30"}])"));
  EXPECT_EQ(kIoErrFailed, g_Interctl.Erase_SPIRom(host_, g_SpiRomPartTable[1], 0x10000, 0, 0));
  EXPECT_TRUE(waits_.empty());
  EXPECT_EQ((std::vector<std::string>{
                "\r\nCInterctl::Erase_SPIRom:#: Erease SPI Sector Failed , sector_count = 16\n"}),
            LogLines());
}

TEST_F(FlashTest, FailedSplitStepEndsTheEraseWithoutMessage) {
  const SpiRomPart& part = g_SpiRomPartTable[26];
  Load(OneBoard(ChipOfRow(part), 'A',
                R"(, "faults": [{"effect": "error", "command": "0x30", "skip": 1}])"));
  EXPECT_EQ(kIoErrFailed, g_Interctl.Erase_SPIRom(host_, part, 0x10000, 0, 0));
  EXPECT_EQ(2u, Commands().size());
  EXPECT_EQ((std::vector<int64_t>{750, 500}), WaitValues());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(FlashTest, EraseIsRefusedByAProtectedChip) {
  ChipSpec chip;
  chip.status = 0x9C;
  Load(OneBoard(chip));
  EXPECT_LT(g_Interctl.Erase_SPIRom(host_, g_SpiRomPartTable[1], 0x1000, 0, 0), 0);
  EXPECT_EQ(0u, board()->FlashEraseCount());
}

// --- section write --------------------------------------------------------------------------

struct WriteCase {
  uint32_t count;
  std::vector<std::tuple<uint8_t, uint32_t, uint32_t>> cmds;  // command, size, offset
};

class WriteSectionTest : public FlashTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteSectionTest, PiecesOfEightAndTheEndPiece) {
  const WriteCase& c = GetParam();
  Load(OneBoard(ChipSpec{}));
  const auto data = Pattern(c.count);
  const uint32_t base = 0x2000;
  EXPECT_EQ(0, g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), base, c.count));
  std::vector<std::string> expected;
  for (auto [command, size, offset] : c.cmds) {
    const uint32_t low = command == 0x11 ? 0 : Le(data, offset, size);
    const uint32_t high = command == 0x11 || size <= 4 ? 0 : Le(data, offset + 4, size - 4);
    expected.push_back(Cmd(command, 0x10, size, base + offset, low, high));
  }
  EXPECT_EQ(expected, Commands());
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + base));
  EXPECT_EQ(0xFF, flash[base + c.count]);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, WriteSectionTest,
    ::testing::Values(WriteCase{4, {{0x11, 0, 0}, {0x1F, 4, 0}}},
                      WriteCase{8, {{0x11, 0, 0}, {0x1E, 8, 0}, {0x1F, 0, 8}}},
                      WriteCase{16, {{0x11, 0, 0}, {0x1E, 8, 0}, {0x1F, 8, 8}}},
                      WriteCase{17, {{0x11, 0, 0}, {0x1E, 8, 0}, {0x1E, 8, 8}, {0x1F, 1, 16}}}));

TEST_F(FlashTest, FailedWriteIsLoggedWithAddressAndWords) {
  Load(OneBoard(ChipSpec{}, 'A',
                R"(, "faults": [{"effect": "error", "command": "0x1E", "skip": 1}])"));
  std::vector<uint8_t> data(24);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i + 1);
  EXPECT_EQ(kIoErrFailed,
            g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), 0x2000, 24));
  EXPECT_EQ((std::vector<std::string>{"\r\nCInterctl::Write_Section:#: Write Section Failed , add "
                                      "= 8200, dwLow=c0b0a09, dwHigh=100f0e0d\n"}),
            LogLines());
}

TEST_F(FlashTest, FailedEndPieceIsLoggedWithTheOffsetInTheSection) {
  Load(OneBoard(ChipSpec{}, 'A', R"(, "faults": [{"effect": "error", "command": "0x1F"}])"));
  std::vector<uint8_t> data(20);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(0xA0 + i);
  EXPECT_EQ(kIoErrFailed,
            g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), 0x2000, 20));
  EXPECT_EQ((std::vector<std::string>{"\r\nCInterctl::Write_Section:#: Write Section (CMD_END) "
                                      "failed!! , add = 16, dwLow=b3b2b1b0, dwHigh=0\n"}),
            LogLines());
}

TEST_F(FlashTest, ProgrammingOnlyClearsBits) {
  Load(OneBoard(ChipSpec{}));
  const uint8_t first[4] = {0xF0, 0xFF, 0x0F, 0xAA};
  const uint8_t second[4] = {0x0F, 0x00, 0xFF, 0xFF};
  const SpiRomPart& part = g_SpiRomPartTable[1];
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, part, first, 0x100, 4));
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, part, second, 0x100, 4));
  const auto flash = board()->FlashContents();
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0x0F, 0xAA}),
            std::vector<uint8_t>(flash.begin() + 0x100, flash.begin() + 0x104));
}

// --- compare --------------------------------------------------------------------------------

TEST_F(FlashTest, CompareSucceedsOnTheThirdRead) {
  ChipSpec chip;
  chip.more = R"(, "read_mismatches": 2)";
  Load(OneBoard(chip));
  const auto data = Pattern(16);
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), 0, 16));
  io()->Clear();
  EXPECT_EQ(0, g_Interctl.Compare_Section(host_, data.data(), 0, 16));
  EXPECT_EQ((std::vector<std::string>{Cmd(0x40, 0x10, 8, 0, 0, 0), Cmd(0x40, 0x10, 8, 0, 0, 0),
                                      Cmd(0x40, 0x10, 8, 0, 0, 0), Cmd(0x40, 0x10, 8, 8, 0, 0)}),
            Commands());
  EXPECT_EQ(0u, board()->BootCount());
}

TEST_F(FlashTest, ThreeMismatchesRestartTheControllerAndGiveMinusSix) {
  ChipSpec chip;
  chip.more = R"(, "read_mismatches": 3)";
  Load(OneBoard(chip));
  const auto data = Pattern(16);
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), 0, 16));
  io()->Clear();
  EXPECT_EQ(-6, g_Interctl.Compare_Section(host_, data.data(), 0, 16));
  const auto calls = io_calls();
  EXPECT_FALSE(Contains(calls, "PCI_Write_Byte(0xE0,0x0)"));  // restart without the clear
  EXPECT_EQ((std::vector<std::string>{Cmd(0x40, 0x10, 8, 0, 0, 0), Cmd(0x40, 0x10, 8, 0, 0, 0),
                                      Cmd(0x40, 0x10, 8, 0, 0, 0), Cmd(0x23, 0x04, 1, 0xF340, 2, 0),
                                      Cmd(0x23, 0x04, 1, 0xF342, 1, 0)}),
            Commands());
  EXPECT_EQ(1u, board()->BootCount());
}

TEST_F(FlashTest, ShortLastPieceIsReadWithItsLength) {
  Load(OneBoard(ChipSpec{}));
  const auto data = Pattern(11);
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), 0x40, 11));
  io()->Clear();
  EXPECT_EQ(0, g_Interctl.Compare_Section(host_, data.data(), 0x40, 11));
  EXPECT_EQ(
      (std::vector<std::string>{Cmd(0x40, 0x10, 8, 0x40, 0, 0), Cmd(0x40, 0x10, 3, 0x48, 0, 0)}),
      Commands());
}

// Three failed reads of a piece are an error even when the image piece is zero bytes.
TEST_F(FlashTest, UnreadablePieceIsNeverAMatch) {
  Load(OneBoard(
      ChipSpec{}, 'A',
      R"(, "faults": [{"effect": "error", "command": "0x40", "space": "0x10", "times": 3}])"));
  const std::vector<uint8_t> zeros(8, 0);
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], zeros.data(), 0, 8));
  EXPECT_EQ(kIoErrFailed, g_Interctl.Compare_Section(host_, zeros.data(), 0, 8));
  EXPECT_EQ(
      (std::vector<std::string>{"\r\nCInterctl::Compare_Section:#: Read_Memory Fail, retry[0]\n",
                                "\r\nCInterctl::Compare_Section:#: Read_Memory Fail, retry[1]\n",
                                "\r\nCInterctl::Compare_Section:#: Read_Memory Fail, retry[2]\n"}),
      LogLines());
}

TEST_F(FlashTest, ReadFailuresBeforeAGoodReadAreRetried) {
  Load(OneBoard(
      ChipSpec{}, 'A',
      R"(, "faults": [{"effect": "error", "command": "0x40", "space": "0x10", "times": 2}])"));
  const auto data = Pattern(8);
  ASSERT_EQ(0, g_Interctl.Write_Section(host_, g_SpiRomPartTable[1], data.data(), 0, 8));
  EXPECT_EQ(0, g_Interctl.Compare_Section(host_, data.data(), 0, 8));
  EXPECT_EQ(2u, LogLines().size());
}

// --- second copy placement ------------------------------------------------------------------

struct SecondCopyCase {
  size_t row;
  uint32_t length;
  uint32_t expected;
};

class SecondCopyTest : public ::testing::TestWithParam<SecondCopyCase> {};

TEST_P(SecondCopyTest, StartsAtTheNextSectorBoundary) {
  const auto& c = GetParam();
  EXPECT_EQ(c.expected, fw::SecondCopyAddress(g_SpiRomPartTable[c.row], c.length));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, SecondCopyTest,
    ::testing::Values(SecondCopyCase{1, 0x10000, 0x10000},  // whole sectors: right behind
                      SecondCopyCase{1, 0x8010, 0x9000},    // not: the next sector boundary
                      SecondCopyCase{1, 0x10001, 0},        // more than 64 KB: no copy
                      SecondCopyCase{0, 0x1000, 0},         // 64 KB flash: no copy
                      SecondCopyCase{31, 0x8000, 0x10000},  // 64 KB sectors
                      SecondCopyCase{31, 0x10000, 0x10000},
                      SecondCopyCase{30, 0x8001, 0x10000},  // 32 KB sectors
                      SecondCopyCase{5, 1, 0x1000}));

// --- Update_Firmware ------------------------------------------------------------------------

TEST_F(FlashTest, SixtyFourKilobytesOn128KFlashAreWrittenTwice) {
  Load(OneBoard(ChipSpec{}));  // C2 20 11, 128 KB, 4 KB sectors
  const auto image = Pattern(0x10000);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(3, host_, g_SpiRomPartTable[1], image.data(), 0x10000));
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + 0x10000));
  const auto erases = CommandsOf(0x30);
  ASSERT_EQ(2u, erases.size());
  EXPECT_EQ(Cmd(0x30, 0x10, 16, 0, 0x0160009F, 0xC2162020), erases[0]);
  EXPECT_EQ(Cmd(0x30, 0x10, 16, 0x10000, 0x0160009F, 0xC2162020), erases[1]);
  EXPECT_EQ(2u * 8191u, CommandsOf(0x1E).size());
  EXPECT_EQ((std::vector<std::string>{
                Cmd(0x1F, 0x10, 8, 0xFFF8, Le(image, 0xFFF8, 4), Le(image, 0xFFFC, 4)),
                Cmd(0x1F, 0x10, 8, 0x1FFF8, Le(image, 0xFFF8, 4), Le(image, 0xFFFC, 4))}),
            CommandsOf(0x1F));
  EXPECT_EQ(2u * 8192u, CommandsOf(0x40, 0x10).size());
  EXPECT_EQ((std::vector<int64_t>{500, 1000, 500, 1000, 200, 200, 200}), WaitValues());
  EXPECT_EQ(0x9C, board()->FlashStatus());  // protected again
  const auto calls = io_calls();
  EXPECT_TRUE(Contains(calls, "PCI_Write_Byte(0xE0,0x0)"));  // restart with the mailbox clear
  EXPECT_EQ(1u, board()->BootCount());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(FlashTest, SixtyFourKilobytesOn64KFlashAreWrittenOnce) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  Load(OneBoard(chip));
  const auto image = Pattern(0x10000);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[0], image.data(), 0x10000));
  EXPECT_EQ(image, board()->FlashContents());
  EXPECT_EQ(1u, CommandsOf(0x30).size());
  EXPECT_EQ(8192u, CommandsOf(0x40, 0x10).size());
  EXPECT_EQ((std::vector<int64_t>{500, 1000, 200, 200, 200}), WaitValues());
}

TEST_F(FlashTest, ImageOfOneChunkAndFourBytes) {
  Load(OneBoard(ChipSpec{}));
  const auto image = Pattern(65540);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[1], image.data(), 65540));
  const auto erases = CommandsOf(0x30);
  ASSERT_EQ(2u, erases.size());
  EXPECT_EQ(Cmd(0x30, 0x10, 16, 0, 0x0160009F, 0xC2162020), erases[0]);
  EXPECT_EQ(Cmd(0x30, 0x10, 1, 0x10000, 0x0160009F, 0xC2162020), erases[1]);
  // The second chunk: its erase, then a section of one end piece of 4 bytes, then its read.
  const auto cmds = Commands();
  const auto second = std::find(cmds.begin(), cmds.end(), erases[1]);
  ASSERT_NE(cmds.end(), second);
  EXPECT_EQ((std::vector<std::string>{erases[1], Cmd(0x11, 0x10, 0, 0x10000, 0, 0),
                                      Cmd(0x1F, 0x10, 4, 0x10000, Le(image, 0x10000, 4), 0),
                                      Cmd(0x40, 0x10, 4, 0x10000, 0, 0)}),
            std::vector<std::string>(second, second + 4));
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_EQ(0xFF, flash[65540]);  // no second copy for more than 64 KB
}

TEST_F(FlashTest, GigaDeviceChunksAreErasedInHalves) {
  const SpiRomPart& part = g_SpiRomPartTable[26];  // C8 40 11, 128 KB
  Load(OneBoard(ChipOfRow(part)));
  const auto image = Pattern(0x10000);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(0, host_, part, image.data(), 0x10000));
  std::vector<std::string> addresses;
  for (const auto& e : CommandsOf(0x30))
    addresses.push_back(e.substr(0, e.find(",0x160009F")));
  EXPECT_EQ((std::vector<std::string>{
                "WriteCmdALL(0x30,0x10,8,0x0", "WriteCmdALL(0x30,0x10,8,0x8000",
                "WriteCmdALL(0x30,0x10,8,0x10000", "WriteCmdALL(0x30,0x10,8,0x18000"}),
            addresses);
  EXPECT_EQ((std::vector<int64_t>{750, 750, 500, 1000, 750, 750, 500, 1000, 200, 200, 200}),
            WaitValues());
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + 0x10000));
}

// An image that does not end on a sector boundary: the second copy starts at the next boundary
// and the first copy survives its erase.
struct PartialSectorCase {
  size_t row;
  uint32_t length;
  uint32_t second;
};

class PartialSectorTest : public FlashTest,
                          public ::testing::WithParamInterface<PartialSectorCase> {};

TEST_P(PartialSectorTest, SecondCopyLeavesTheFirstIntact) {
  const auto& c = GetParam();
  ChipSpec chip = ChipOfRow(g_SpiRomPartTable[c.row]);
  Load(OneBoard(chip));
  const auto image = Pattern(c.length, 99);
  EXPECT_EQ(0,
            g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[c.row], image.data(), c.length));
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + c.second));
  for (uint32_t i = c.length; i < c.second; ++i)
    ASSERT_EQ(0xFF, flash[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Parts, PartialSectorTest,
    ::testing::Values(PartialSectorCase{1, 0x8010, 0x9000},
                      PartialSectorCase{26, 0x4FFF, 0x5000},     // split erase of 5 sectors
                      PartialSectorCase{31, 0x8000, 0x10000},    // 64 KB sectors
                      PartialSectorCase{30, 0x9000, 0x10000}));  // 32 KB sectors, split erase

// Split-erase parts whose last chunk has an odd sector count near the end of the flash: every
// verified byte must still be there when the update reports success.
struct NearTheEndCase {
  size_t row;
  uint32_t length;
  uint32_t second;  // where the second copy goes, 0: none
};

class NearTheEndTest : public FlashTest, public ::testing::WithParamInterface<NearTheEndCase> {};

TEST_P(NearTheEndTest, VerifiedCopiesSurviveTheLastErase) {
  const auto& c = GetParam();
  const SpiRomPart& part = g_SpiRomPartTable[c.row];
  Load(OneBoard(ChipOfRow(part)));
  const auto image = Pattern(c.length, 5);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(0, host_, part, image.data(), c.length));
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  if (c.second != 0) {
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + c.second));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Parts, NearTheEndTest,
    ::testing::Values(NearTheEndCase{26, 0xF000, 0xF000},  // second copy of 15 sectors
                      NearTheEndCase{26, 0xE001, 0xF000},  // the same, not whole sectors
                      NearTheEndCase{26, 0x1F000, 0},      // 16 + 15 sectors on 128 KB
                      NearTheEndCase{27, 0xF000, 0},       // 15 sectors on 64 KB
                      NearTheEndCase{25, 0x3F000, 0}));    // 3 x 16 + 15 sectors on 256 KB

TEST_F(FlashTest, RefusesEmptyRecordAndImagesLongerThanTheFlash) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  Load(OneBoard(chip));
  const auto image = Pattern(0x10001);
  EXPECT_EQ(ERR_INVALID_PARAMETER,
            g_Interctl.Update_Firmware(0, host_, EmptySpiRomPart(), image.data(), 0x100));
  EXPECT_EQ(ERR_INVALID_PARAMETER,
            g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[0], image.data(), 0x10001));
  EXPECT_EQ(ERR_INVALID_PARAMETER,
            g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[0], image.data(), 0));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(FlashTest, MismatchInTheFirstAttemptIsRetried) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  chip.more = R"(, "read_mismatches": 3)";
  Load(OneBoard(chip));
  const auto image = Pattern(0x2000);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(5, host_, g_SpiRomPartTable[0], image.data(), 0x2000));
  EXPECT_EQ(2u, board()->FlashEraseCount());
  EXPECT_EQ((std::vector<std::string>{"\r\nCInterctl::Update_Firmware:#: ucTargetNumber[5],"
                                      "Compare_Section Fail!!, ucRetry[0] "}),
            LogLines());
  EXPECT_EQ(0x9C, board()->FlashStatus());
}

// SST parts begin each section with the pacing value: 0x80 or 0xF0 by bit 1 of the data memory
// byte 0xF341, plus 128 per attempt.
struct PacingCase {
  unsigned mode;
  std::vector<uint32_t> values;
};

class PacingTest : public FlashTest, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(PacingTest, PacingValuePerAttempt) {
  const auto& c = GetParam();
  ChipSpec chip = ChipOfRow(g_SpiRomPartTable[53]);
  chip.more = R"(, "read_mismatches": 6)";  // attempts 0 and 1 fail their compare
  char memory[128];
  std::snprintf(memory, sizeof memory, R"(, "memory": [{"address": "0xF341", "bytes": "%02X"}])",
                c.mode);
  Load(OneBoard(chip, 'A', memory));
  const auto image = Pattern(0x100);
  EXPECT_EQ(0, g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[53], image.data(), 0x100));
  std::vector<std::string> expected;
  for (uint32_t v : c.values)
    expected.push_back(Cmd(0x1D, 0x10, 0, 0, v, 0));
  EXPECT_EQ(expected, CommandsOf(0x1D));
  EXPECT_TRUE(CommandsOf(0x11).empty());
  EXPECT_EQ(3u, CommandsOf(0x40, 0x04).size());  // the mode byte read before each section
  EXPECT_EQ(Cmd(0x40, 0x04, 1, 0xF341, 0, 0), CommandsOf(0x40, 0x04)[0]);
  EXPECT_EQ(0, g_Interctl.m_ucSpiRetry);
}

INSTANTIATE_TEST_SUITE_P(Modes, PacingTest,
                         ::testing::Values(PacingCase{0x00, {0xF0, 0x170, 0x1F0}},
                                           PacingCase{0x02, {0x80, 0x100, 0x180}},
                                           PacingCase{0xFD, {0xF0, 0x170, 0x1F0}}));

// --- injected faults: no false success ------------------------------------------------------

TEST_F(FlashTest, BitsThatDoNotProgramFailAllAttemptsAndProtect) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  chip.more = R"(, "stuck_bits": [{"address": 16, "mask": "0x01"}])";
  Load(OneBoard(chip));
  auto image = Pattern(0x1000);
  image[16] = 0x00;
  EXPECT_EQ(-6, g_Interctl.Update_Firmware(1, host_, g_SpiRomPartTable[0], image.data(), 0x1000));
  EXPECT_EQ(3u, board()->FlashEraseCount());
  EXPECT_EQ(
      (std::vector<std::string>{
          "\r\nCInterctl::Update_Firmware:#: ucTargetNumber[1],Compare_Section Fail!!, ucRetry[0] ",
          "\r\nCInterctl::Update_Firmware:#: ucTargetNumber[1],Compare_Section Fail!!, ucRetry[1] ",
          "\r\nCInterctl::Update_Firmware:#: ucTargetNumber[1],Compare_Section Fail!!, "
          "ucRetry[2] "}),
      LogLines());
  EXPECT_EQ(0x9C, board()->FlashStatus());
  EXPECT_FALSE(Contains(io_calls(), "PCI_Write_Byte(0xE0,0x0)"));  // no final restart
}

TEST_F(FlashTest, EraseFailureEndsAtOnceUnprotected) {
  Load(OneBoard(ChipSpec{}, 'A', R"(, "faults": [{"effect": "error", "command": "0x30"}])"));
  const auto image = Pattern(0x10000);
  EXPECT_EQ(kIoErrFailed,
            g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[1], image.data(), 0x10000));
  EXPECT_EQ(
      (std::vector<std::string>{
          "\r\nCInterctl::Erase_SPIRom:#: Erease SPI Sector Failed , sector_count = 16\n",
          "\r\nCInterctl::Update_Firmware:#: Erease SPI Sector Failed , dwSectorCount = 16\n"}),
      LogLines());
  EXPECT_EQ(1u, Commands().size());
  EXPECT_EQ(0x00, board()->FlashStatus());
}

TEST_F(FlashTest, EraseFailureInTheSecondAttemptReturnsAtOnce) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  chip.more = R"(, "stuck_bits": [{"address": 0, "mask": "0x80"}])";
  Load(OneBoard(chip, 'A', R"(, "faults": [{"effect": "error", "command": "0x30", "skip": 1}])"));
  auto image = Pattern(0x3000);
  image[0] = 0x00;
  EXPECT_EQ(kIoErrFailed,
            g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[0], image.data(), 0x3000));
  EXPECT_EQ(2u, CommandsOf(0x30).size());
  EXPECT_TRUE(CommandsOf(0x1C).empty());  // not protected again
  EXPECT_EQ(0x00, board()->FlashStatus());
}

TEST_F(FlashTest, HungWriteCommandFailsEveryAttempt) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  Load(OneBoard(chip, 'A', R"(, "faults": [{"effect": "no_ready", "command": "0x1E"}])"));
  const auto image = Pattern(0x100);
  EXPECT_EQ(kIoErrTimeout,
            g_Interctl.Update_Firmware(2, host_, g_SpiRomPartTable[0], image.data(), 0x100));
  EXPECT_EQ(3u, CommandsOf(0x1E).size());
  std::vector<std::string> attempts;
  for (const auto& l : LogLines()) {
    if (l.find("Write_Section Fail!!") != std::string::npos) attempts.push_back(l);
  }
  EXPECT_EQ(
      (std::vector<std::string>{
          "\r\nCInterctl::Update_Firmware:#: ucTargetNumber[2], Write_Section Fail!!, ucRetry[0] ",
          "\r\nCInterctl::Update_Firmware:#: ucTargetNumber[2], Write_Section Fail!!, ucRetry[1] ",
          "\r\nCInterctl::Update_Firmware:#: ucTargetNumber[2], Write_Section Fail!!, "
          "ucRetry[2] "}),
      attempts);
  EXPECT_EQ(0x9C, board()->FlashStatus());
  EXPECT_EQ(0u, board()->BootCount());
}

TEST_F(FlashTest, FailedFinalProtectIsTheResult) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  Load(OneBoard(chip, 'A', R"(, "faults": [{"effect": "error", "command": "0x1C"}])"));
  const auto image = Pattern(0x100);
  EXPECT_EQ(kIoErrFailed,
            g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[0], image.data(), 0x100));
  EXPECT_EQ(0u, board()->BootCount());  // no restart after a failed protect
}

TEST_F(FlashTest, StopDuringAWaitEndsTheUpdate) {
  ChipSpec chip;
  chip.id = "C2 20 10";
  chip.size = 0x10000;
  Load(OneBoard(chip));
  std::stop_source stop;
  fw::SetFlashWaitObserver([&stop](int64_t ms) {
    if (ms == 1000) stop.request_stop();
  });
  const auto image = Pattern(0x100);
  int rc = 0;
  {
    StopScope scope(stop.get_token());
    rc = g_Interctl.Update_Firmware(0, host_, g_SpiRomPartTable[0], image.data(), 0x100);
  }
  EXPECT_EQ(kIoErrTimeout, rc);
  EXPECT_TRUE(CommandsOf(0x11).empty());
  EXPECT_EQ(1u, Commands().size());
}

// --- end to end: program a board, restart, read back ----------------------------------------

struct EndToEndCase {
  char family;
  std::vector<fw::RegisterRecord> records;
  uint32_t svid_at, ssid_at;
  uint16_t svid, ssid;
};

class ProgramBoardTest : public FlashTest, public ::testing::WithParamInterface<EndToEndCase> {};

TEST_P(ProgramBoardTest, NewFirmwareIsWhatTheBoardReportsAfterTheRestart) {
  const auto& c = GetParam();
  Load(OneBoard(ChipSpec{}, c.family,
                R"(, "firmware_version": "010101_01_01_01", "svid": "1111", "ssid": "2222")"));
  fw::ImageSpec desc;
  desc.family = c.family == 'A' ? fw::ImageFamily::A : fw::ImageFamily::B;
  desc.version = {0x21, 0x07, 0x15, 0x0A, 0x0B, 0x0C};
  desc.records = c.records;
  desc.code_size = 0x2000;
  std::string error;
  auto built = fw::BuildImage(desc, &error);
  ASSERT_TRUE(built.has_value()) << error;
  const auto& image = built->bytes;

  const SpiRomPart part = g_Interctl.Init_SPIRom(host_);
  ASSERT_TRUE(SameRow(part, 1));
  ASSERT_EQ(0, g_Interctl.Update_Firmware(0, host_, part, image.data(),
                                          static_cast<uint32_t>(image.size())));
  uint8_t version[6] = {};
  ASSERT_EQ(0, g_Interctl.GetFirmwareVersion(host_, version));
  EXPECT_EQ((std::vector<uint8_t>{0x21, 0x07, 0x15, 0x0A, 0x0B, 0x0C}),
            std::vector<uint8_t>(version, version + 6));
  uint8_t ids[2][2] = {};
  ASSERT_EQ(0, g_Interctl.Read_8051_Memory(host_, SPACE_DATA, c.svid_at, 2, ids[0]));
  ASSERT_EQ(0, g_Interctl.Read_8051_Memory(host_, SPACE_DATA, c.ssid_at, 2, ids[1]));
  EXPECT_EQ(c.svid, ids[0][0] | ids[0][1] << 8);
  EXPECT_EQ(c.ssid, ids[1][0] | ids[1][1] << 8);
  EXPECT_EQ(static_cast<uint32_t>(c.svid) | static_cast<uint32_t>(c.ssid) << 16,
            PCI_Read_DWORD(1, 0, 0, 0x2C));
  if (c.family == 'A') {
    uint8_t link = 0;
    ASSERT_EQ(0, g_Interctl.Read_8051_Memory(host_, SPACE_DATA, 0xE241, 1, &link));
    EXPECT_EQ(0x03, link);
  }
  uint8_t status[8] = {};
  ASSERT_EQ(0, g_Interctl.Read_SPIRom_WRSR(host_, status));
  EXPECT_EQ(0x9C, status[1]);  // protected afterwards
  const auto flash = board()->FlashContents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(
      std::equal(image.begin(), image.end(),
                 flash.begin() + fw::SecondCopyAddress(part, static_cast<uint32_t>(image.size()))));
}

INSTANTIATE_TEST_SUITE_P(
    Families, ProgramBoardTest,
    ::testing::Values(
        EndToEndCase{'A',
                     {{2, 0xE260, 0x1D6B},
                      {2, 0xE262, 0x1234},
                      {1, 0xE241, 0x03},
                      {4, 0xE300, 0xDEADBEEF, 0x55}},  // a record without the marker is skipped
                     0xE260,
                     0xE262,
                     0x1D6B,
                     0x1234},
        EndToEndCase{
            'B', {{2, 0x0050, 0xABCD}, {2, 0x0052, 0x5678}}, 0x10050, 0x10052, 0xABCD, 0x5678}));

TEST_F(FlashTest, InvalidOrBlankFlashBootsWithoutFirmware) {
  Load(OneBoard(ChipSpec{}, 'A', R"(, "firmware_version": "010101_01_01_01")"));
  // Blank flash: the restart finds no image.
  ASSERT_EQ(0, g_Interctl.WriteMcuControl(host_, 1));
  uint8_t version[6] = {};
  ASSERT_EQ(0, g_Interctl.GetFirmwareVersion(host_, version));
  EXPECT_EQ(std::vector<uint8_t>(6, 0xFF), std::vector<uint8_t>(version, version + 6));

  // An image of the other family is written faithfully but does not boot.
  fw::ImageSpec desc;
  desc.family = fw::ImageFamily::B;
  auto built = fw::BuildImage(desc);
  ASSERT_TRUE(built.has_value());
  const SpiRomPart part = g_Interctl.Init_SPIRom(host_);
  ASSERT_EQ(0, g_Interctl.Update_Firmware(0, host_, part, built->bytes.data(),
                                          static_cast<uint32_t>(built->bytes.size())));
  ASSERT_EQ(0, g_Interctl.GetFirmwareVersion(host_, version));
  EXPECT_EQ(std::vector<uint8_t>(6, 0xFF), std::vector<uint8_t>(version, version + 6));

  // A spoilt code checksum does not boot either; the valid image does.
  for (auto corruption : {fw::ImageCorruption::CodeChecksum, fw::ImageCorruption::None}) {
    fw::ImageSpec a;
    a.corruption = corruption;
    auto img = fw::BuildImage(a);
    ASSERT_TRUE(img.has_value());
    ASSERT_TRUE(SameRow(g_Interctl.Init_SPIRom(host_), 1));
    ASSERT_EQ(0, g_Interctl.Update_Firmware(0, host_, part, img->bytes.data(),
                                            static_cast<uint32_t>(img->bytes.size())));
    ASSERT_EQ(0, g_Interctl.GetFirmwareVersion(host_, version));
    const std::vector<uint8_t> expected =
        corruption == fw::ImageCorruption::None
            ? std::vector<uint8_t>(a.version.begin(), a.version.end())
            : std::vector<uint8_t>(6, 0xFF);
    EXPECT_EQ(expected, std::vector<uint8_t>(version, version + 6));
  }
}

}  // namespace
}  // namespace nvl::test
