// The Linux transport over a folder laid out like sysfs.
#include <gtest/gtest.h>

#include <filesystem>

#include "hw/linux_transport.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

TEST(LinuxTransport, ReadsListedDevicesAndAllOnesElsewhere) {
  TempDir root;
  const std::string dev = root.File("0000:03:00.0");
  std::filesystem::create_directories(dev);
  std::string config(256, '\0');
  config[0] = '\x7C';
  config[1] = '\x1E';
  config[2] = '\x01';
  config[3] = '\x53';
  config[0xE0] = '\x5A';
  root.Write("0000:03:00.0/config", config);
  std::filesystem::create_directories(root.File("0001:04:00.0"));  // other domains are not scanned
  std::filesystem::create_directories(root.File("not-a-device"));

  LinuxTransport t(root.path(), "/nonexistent-mem", /*require_root=*/false);
  std::string error;
  ASSERT_TRUE(t.Open(error)) << error;
  EXPECT_EQ(t.DeviceCount(), 1u);
  EXPECT_EQ(t.ReadConfig32({3, 0, 0}, 0), 0x53011E7Cu);
  EXPECT_EQ(t.ReadConfig8({3, 0, 0}, 0xE0), 0x5A);
  EXPECT_EQ(t.ReadConfig32({4, 0, 0}, 0), 0xFFFFFFFFu);
  t.WriteConfig8({3, 0, 0}, 0xE0, 0x01);
  EXPECT_EQ(t.ReadConfig8({3, 0, 0}, 0xE0), 0x01);
  EXPECT_EQ(t.Map(0x1000, 4), nullptr);  // no memory device to map
}

TEST(LinuxTransport, MissingSysfsFailsCleanly) {
  LinuxTransport t("/nonexistent-sysfs", "/dev/null", false);
  std::string error;
  EXPECT_FALSE(t.Open(error));
  EXPECT_NE(error.find("/nonexistent-sysfs"), std::string::npos);
}

}  // namespace
}  // namespace nvl::test
