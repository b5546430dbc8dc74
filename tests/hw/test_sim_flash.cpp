// The simulated SPI flash chip: its station-file fields and how it answers the MCU's flash
// commands (identification, status register and protection, erase, programming, read-back).
#include <gtest/gtest.h>

#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "hw/sim/station.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

struct BadFlash {
  const char* name;
  const char* flash;
  const char* message;
};

class BadFlashTest : public ::testing::TestWithParam<BadFlash> {};

TEST_P(BadFlashTest, IsRefusedWithItsReason) {
  const BadFlash c = GetParam();
  const std::string text =
      std::string(R"({"boards":[{"location":"1:0:0","flash":)") + c.flash + "}]}";
  std::string error;
  EXPECT_FALSE(sim::ParseStationText(text, "f.json", error).has_value());
  EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Refused, BadFlashTest,
    ::testing::Values(
        BadFlash{"id_two_bytes", R"({"id":"C2 20"})", "boards[0].flash.id: expected three"},
        BadFlash{"id_not_hex", R"({"id":"C2 2G 10"})", "not a hex byte text"},
        BadFlash{"sector_not_4k", R"({"sector_size":1000})", "multiple of 4096"},
        BadFlash{"size_not_sectors", R"({"size":"0x11000","sector_size":"0x2000"})",
                 "whole number of sectors"},
        BadFlash{"size_too_big", R"({"size":"0x2000000"})", "out of range"},
        BadFlash{"stuck_past_end",
                 R"({"size":"0x10000","stuck_bits":[{"address":"0x10000","mask":1}]})",
                 "past the end of the flash"},
        BadFlash{"stuck_without_mask", R"({"stuck_bits":[{"address":1}]})", "needs"},
        BadFlash{"unknown_field", R"({"colour":"red"})", "flash: unknown field \"colour\""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(SimFlashFile, FieldsAndDefaults) {
  std::string error;
  auto specs = sim::ParseStationText(
      R"({"boards":[{"location":"1:0:0"},
                    {"location":"2:0:0","flash":{"status":"0x9C","id":"bf 48 bf","id_opcode":"0x90",
                     "id_arg":3,"size":"0x10000","sector_size":"0x8000",
                     "stuck_bits":[{"address":16,"mask":"0x81"}],"read_mismatches":2}}]})",
      "f.json", error);
  ASSERT_TRUE(specs.has_value()) << error;
  const sim::BoardSpec& d = (*specs)[0];
  EXPECT_EQ(0x00, d.flash_status);
  EXPECT_EQ((std::array<uint8_t, 3>{0xC2, 0x20, 0x11}), d.flash.id);
  EXPECT_EQ(0x9F, d.flash.id_opcode);
  EXPECT_EQ(0x20000u, d.flash.size);
  EXPECT_EQ(0x1000u, d.flash.sector_size);
  const sim::BoardSpec& b = (*specs)[1];
  EXPECT_EQ(0x9C, b.flash_status);
  EXPECT_EQ((std::array<uint8_t, 3>{0xBF, 0x48, 0xBF}), b.flash.id);
  EXPECT_EQ(0x90, b.flash.id_opcode);
  EXPECT_EQ(3, b.flash.id_arg);
  EXPECT_EQ(0x10000u, b.flash.size);
  EXPECT_EQ(0x8000u, b.flash.sector_size);
  ASSERT_EQ(1u, b.flash.stuck_bits.size());
  EXPECT_EQ(16u, b.flash.stuck_bits[0].address);
  EXPECT_EQ(0x81, b.flash.stuck_bits[0].mask);
  EXPECT_EQ(2u, b.flash.read_mismatches);
}

TEST(SimFlashFile, SkipOfAFault) {
  std::string error;
  auto specs = sim::ParseStationText(
      R"({"boards":[{"location":"1:0:0","faults":[{"effect":"error","command":"0x30","skip":2}]}]})",
      "f.json", error);
  ASSERT_TRUE(specs.has_value()) << error;
  EXPECT_EQ(2u, (*specs)[0].faults[0].skip);
}

class SimFlashTest : public SimStationTest {
 protected:
  void Load(const std::string& flash, const std::string& extra = "") {
    LoadStation(R"({"boards":[{"location":"1:0:0","flash":)" + flash + extra + "}]}");
    host_.ucBus = 1;
  }
  int Send(uint8_t command, uint32_t size, uint32_t address, uint32_t low, uint32_t high = 0) {
    return g_Interctl.McuCommandWrite(host_, command, SPACE_FLASH, size, address, low, high);
  }
  uint8_t Status() {
    uint8_t reply[8] = {};
    EXPECT_EQ(0, g_Interctl.Read_SPIRom_WRSR(host_, reply));
    return reply[1];
  }
  HostInfo host_;
};

// A file written before the chip existed (only the status) still loads, and the status command
// answers that status.
TEST_F(SimFlashTest, StatusOfAnOlderFileIsTheRegister) {
  Load(R"({"status": "0x5C"})");
  EXPECT_EQ(0x5C, Status());
}

TEST_F(SimFlashTest, IdentificationAnswersOnlyItsOwnOpcodeAndArgument) {
  Load(R"({"id": "9D 7B 7F", "id_opcode": "0xAB", "id_arg": 3})");
  uint8_t id[3] = {};
  ASSERT_EQ(0, g_Interctl.McuCommandRead(host_, SPACE_FLASH_ID, 3, 3, 0xAB, id));
  EXPECT_EQ((std::vector<uint8_t>{0x9D, 0x7B, 0x7F}), std::vector<uint8_t>(id, id + 3));
  ASSERT_EQ(0, g_Interctl.McuCommandRead(host_, SPACE_FLASH_ID, 0, 3, 0xAB, id));
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF}), std::vector<uint8_t>(id, id + 3));
  ASSERT_EQ(0, g_Interctl.McuCommandRead(host_, SPACE_FLASH_ID, 3, 3, 0x9F, id));
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF}), std::vector<uint8_t>(id, id + 3));
}

TEST_F(SimFlashTest, StatusWriteNeedsTheWriteEnableLatch) {
  Load(R"({"status": 0})");
  EXPECT_EQ(0, Send(0x1C, 2, 0, 0x9F01));  // latch not set: ignored
  EXPECT_EQ(0x00, Status());
  EXPECT_EQ(0, Send(0x19, 1, 0, 0x06));
  EXPECT_EQ(0x02, Status());
  EXPECT_EQ(0, Send(0x19, 1, 0, 0x04));
  EXPECT_EQ(0x00, Status());
  EXPECT_EQ(0, Send(0x19, 1, 0, 0x06));
  EXPECT_EQ(0, Send(0x1C, 2, 0, 0x9F01));
  EXPECT_EQ(0x9C, Status());               // latch cleared by the write
  EXPECT_LT(Send(0x1C, 2, 0, 0x9F02), 0);  // not the write-status opcode
  EXPECT_LT(Send(0x19, 1, 0, 0x05), 0);    // an opcode the MCU does not pass on
}

TEST_F(SimFlashTest, ProtectedChipRefusesEraseAndProgramming) {
  Load(R"({"status": "0x9C"})");
  EXPECT_LT(Send(0x30, 1, 0, 0), 0);
  EXPECT_LT(Send(0x11, 0, 0, 0), 0);
  EXPECT_LT(Send(0x1D, 0, 0, 0xF0), 0);
  EXPECT_LT(Send(0x1E, 8, 0, 0), 0);
  EXPECT_LT(Send(0x1F, 4, 0, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(0x20000, 0xFF), Board(1)->FlashContents());
}

TEST_F(SimFlashTest, SectionsProgramBitsAndEraseRestoresThem) {
  Load(
      R"({"size": "0x10000", "sector_size": "0x2000", "stuck_bits": [{"address": 5, "mask": "0x10"}]})");
  EXPECT_LT(Send(0x1E, 8, 0, 0), 0);  // outside a section
  ASSERT_EQ(0, Send(0x11, 0, 0, 0));
  ASSERT_EQ(0, Send(0x1E, 8, 0, 0x44332211, 0x00776655));
  ASSERT_EQ(0, Send(0x1F, 2, 8, 0x0000BBAA));
  EXPECT_LT(Send(0x1E, 8, 16, 0), 0);  // the end piece closed the section
  uint8_t got[8] = {};
  ASSERT_EQ(0, g_Interctl.McuCommandRead(host_, SPACE_FLASH, 0, 8, 0, got));
  EXPECT_EQ((std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x76, 0x77, 0x00}),
            std::vector<uint8_t>(got, got + 8));
  ASSERT_EQ(0, g_Interctl.McuCommandRead(host_, SPACE_FLASH, 8, 3, 0, got));
  EXPECT_EQ((std::vector<uint8_t>{0xAA, 0xBB, 0xFF}), std::vector<uint8_t>(got, got + 3));
  // Erase of the sector holding address 0x1FFF (sector 0, 8 KB) only.
  ASSERT_EQ(0, Send(0x11, 0, 0x2000, 0));
  ASSERT_EQ(0, Send(0x1F, 1, 0x2000, 0x00));
  ASSERT_EQ(0, Send(0x30, 1, 0x1FFF, 0));
  const auto flash = Board(1)->FlashContents();
  EXPECT_EQ(0xFF, flash[0]);
  EXPECT_EQ(0x00, flash[0x2000]);
  EXPECT_LT(Send(0x30, 1, 0x10000, 0), 0);  // past the end
}

// The chip decodes only its own address bits: an erase running past the end goes on at 0.
TEST_F(SimFlashTest, EraseRunningPastTheEndContinuesAtTheStart) {
  Load(R"({"size": "0x10000", "sector_size": "0x4000"})");
  for (uint32_t at : {0x0u, 0x4000u, 0x8000u, 0xC000u}) {
    ASSERT_EQ(0, Send(0x11, 0, at, 0));
    ASSERT_EQ(0, Send(0x1F, 1, at, 0x00));
  }
  ASSERT_EQ(0, Send(0x30, 2, 0xC000, 0));  // the last sector and the first
  const auto flash = Board(1)->FlashContents();
  EXPECT_EQ(0xFF, flash[0x0]);
  EXPECT_EQ(0x00, flash[0x4000]);
  EXPECT_EQ(0x00, flash[0x8000]);
  EXPECT_EQ(0xFF, flash[0xC000]);
}

TEST_F(SimFlashTest, FirstReadsDifferWhenAsked) {
  Load(R"({"read_mismatches": 2})");
  uint8_t got[1] = {};
  for (int expected : {0x00, 0x00, 0xFF}) {
    ASSERT_EQ(0, g_Interctl.McuCommandRead(host_, SPACE_FLASH, 0, 1, 0, got));
    EXPECT_EQ(expected, got[0]);
  }
}

TEST_F(SimFlashTest, SkippedFaultHitsTheLaterCommand) {
  Load("{}", R"(, "faults": [{"effect": "error", "command": "0x19", "skip": 2, "times": 1}])");
  EXPECT_EQ(0, Send(0x19, 1, 0, 0x06));
  EXPECT_EQ(0, Send(0x19, 1, 0, 0x04));
  EXPECT_LT(Send(0x19, 1, 0, 0x06), 0);
  EXPECT_EQ(0, Send(0x19, 1, 0, 0x06));
}

}  // namespace
}  // namespace nvl::test
