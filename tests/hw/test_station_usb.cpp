// The "usb" field of a board in the station file and the plugging of root ports.
#include <gtest/gtest.h>

#include <string>

#include "hw/sim/station.h"

namespace nvl::sim {
namespace {

std::optional<std::vector<BoardSpec>> Parse(const std::string& usb, std::string& error) {
  return ParseStationText(R"({"boards": [{"location": "3:0:0", "usb": )" + usb + "}]}", "test.json",
                          error);
}

TEST(StationUsb, ReadsTheTreeSortedByPort) {
  std::string error;
  auto boards = Parse(
      R"([{"port": 3}, {"port": 1, "hub": true, "comment": "desk hub",
           "children": [{"port": 7}, {"port": 2, "hub": true}]}])",
      error);
  ASSERT_TRUE(boards.has_value()) << error;
  const auto& usb = (*boards)[0].usb;
  ASSERT_EQ(usb.size(), 2u);
  EXPECT_EQ(usb[0].port, 1);
  EXPECT_TRUE(usb[0].hub);
  ASSERT_EQ(usb[0].children.size(), 2u);
  EXPECT_EQ(usb[0].children[0].port, 2);
  EXPECT_TRUE(usb[0].children[0].hub);
  EXPECT_TRUE(usb[0].children[0].children.empty());
  EXPECT_EQ(usb[0].children[1].port, 7);
  EXPECT_FALSE(usb[0].children[1].hub);
  EXPECT_EQ(usb[1].port, 3);
  EXPECT_FALSE(usb[1].hub);
}

TEST(StationUsb, BoardWithoutTheFieldHasNothingPlugged) {
  std::string error;
  auto boards = ParseStationText(R"({"boards": [{"location": "3:0:0"}]})", "t", error);
  ASSERT_TRUE(boards.has_value()) << error;
  EXPECT_TRUE((*boards)[0].usb.empty());
}

TEST(StationUsb, FiveHubsInARowAreTheLimit) {
  const std::string device = R"({"port": 1})";
  std::string tree = device;
  for (int i = 0; i < 5; ++i)
    tree = R"({"port": 1, "hub": true, "children": [)" + tree + "]}";
  std::string error;
  EXPECT_TRUE(Parse("[" + tree + "]", error).has_value()) << error;
  const std::string six = R"({"port": 1, "hub": true, "children": [)" + tree + "]}";
  EXPECT_FALSE(Parse("[" + six + "]", error).has_value());
  EXPECT_NE(error.find("more than 5 hubs in a row"), std::string::npos) << error;
}

struct Refused {
  const char* usb;
  const char* message;
};

TEST(StationUsb, RefusesImpossibleTrees) {
  const Refused cases[] = {
      {R"({"port": 1})", "boards[0].usb: expected a list"},
      {R"([{"hub": true}])", "boards[0].usb[0]: missing field \"port\""},
      {R"([{"port": 0}])", "boards[0].usb[0].port: ports count from 1"},
      {R"([{"port": 5}])", "boards[0].usb[0].port: number out of range (at most 4)"},
      {R"([{"port": 1, "hub": true, "children": [{"port": 16}]}])",
       "boards[0].usb[0].children[0].port: number out of range (at most 15)"},
      {R"([{"port": 2}, {"port": 2, "hub": true}])",
       "boards[0].usb[1].port: two devices on port 2"},
      {R"([{"port": 1, "children": []}])",
       "boards[0].usb[0].children: only a hub has devices on its ports"},
      {R"([{"port": 1, "hub": "yes"}])", "boards[0].usb[0].hub: expected true or false"},
      {R"([{"port": 1, "speed": 3}])", "boards[0].usb[0]: unknown field \"speed\""},
      {R"([{"port": 1, "hub": true, "children": {"port": 1}}])",
       "boards[0].usb[0].children: expected a list"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.usb, error).has_value()) << c.usb;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.usb << " -> " << error;
    EXPECT_EQ(error.rfind("station file test.json: ", 0), 0u) << error;
  }
}

TEST(StationUsb, AttachReplacesTheRootPortAndDetachEmptiesIt) {
  std::string error;
  auto boards = Parse(R"([{"port": 1, "hub": true}, {"port": 3}])", error);
  ASSERT_TRUE(boards.has_value()) << error;
  VirtualController board((*boards)[0]);
  board.AttachUsb({2, false, {}});
  board.AttachUsb({1, false, {}});
  board.AttachUsb({5, false, {}});  // no such root port
  board.AttachUsb({0, false, {}});
  auto usb = board.UsbDevices();
  ASSERT_EQ(usb.size(), 3u);
  EXPECT_EQ(usb[0].port, 1);
  EXPECT_FALSE(usb[0].hub);
  EXPECT_EQ(usb[1].port, 2);
  EXPECT_EQ(usb[2].port, 3);
  board.DetachUsb(3);
  board.DetachUsb(4);  // nothing there
  usb = board.UsbDevices();
  ASSERT_EQ(usb.size(), 2u);
  EXPECT_EQ(usb[1].port, 2);
  // The station file's description is what was loaded, whatever is plugged since.
  EXPECT_EQ(board.desc().usb.size(), 2u);
  EXPECT_TRUE(board.desc().usb[0].hub);
}

}  // namespace
}  // namespace nvl::sim
