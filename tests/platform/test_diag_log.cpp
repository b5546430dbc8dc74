// The diagnostic log: message limits, the user and time of every event, many threads at once,
// and a store that cannot be opened.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <set>
#include <thread>

#include "platform/diag_log.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

std::vector<EventRecord> AllEvents(EventStore* store) {
  std::vector<EventRecord> out;
  store->ReadForward(
      [&](const EventRecord& e) {
        out.push_back(e);
        return true;
      },
      7);  // a small batch proves reading goes on across batches
  return out;
}

class DiagLogTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetEventLogSinkForTest(dir_.File("events.db")); }
  void TearDown() override { ResetEventLogSinkForTest(""); }
  EventStore* store() { return PublishedEventLogSink()->store(); }
  TempDir dir_;
};

TEST_F(DiagLogTest, MessagesUpTo1023CharactersAreWholeLongerOnesCut) {
  const std::string exact(1023, 'x');
  const std::string longer(1100, 'y');
  EXPECT_EQ(LogMessage(1, "%s", exact.c_str()), 1);
  EXPECT_EQ(LogMessage(1, "%s", longer.c_str()), 1);
  const auto events = AllEvents(store());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].strings.at(0), exact);
  EXPECT_EQ(events[1].strings.at(0), longer.substr(0, 1023));
}

TEST_F(DiagLogTest, EveryEventCarriesSourceIdTypeUserAndTime) {
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  LogMessage(1, "\r\n%s:%d: dwErrorCode %d", "CInterctl::ScanPciBus", 12, 5);
  const auto events = AllEvents(store());
  ASSERT_EQ(events.size(), 1u);
  const EventRecord& e = events[0];
  EXPECT_EQ(e.source, "NVLT 720X MP Tool");
  EXPECT_EQ(e.event_id, 0x20000001u);
  EXPECT_EQ(e.event_type, 1);
  EXPECT_EQ(e.category, 0);
  EXPECT_EQ(e.strings, std::vector<std::string>{"\r\nCInterctl::ScanPciBus:12: dwErrorCode 5"});
  EXPECT_TRUE(e.raw_data.empty());
  EXPECT_EQ(e.uid, static_cast<int64_t>(geteuid()));
  EXPECT_FALSE(e.user.empty());
  EXPECT_GE(e.generation_time, before);
  EXPECT_LE(e.generation_time, static_cast<int64_t>(std::time(nullptr)));
  EXPECT_TRUE(store()->SourceRegistered("NVLT 720X MP Tool"));
}

TEST_F(DiagLogTest, ManyThreadsLoseNothing) {
  constexpr int kThreads = 8, kEach = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i)
        LogMessage(1, "thread %d message %d", t, i);
    });
  }
  for (auto& th : threads)
    th.join();
  const auto events = AllEvents(store());
  ASSERT_EQ(events.size(), static_cast<size_t>(kThreads * kEach));
  std::set<std::string> texts;
  for (const auto& e : events)
    texts.insert(e.strings.at(0));
  EXPECT_EQ(texts.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(DiagLogWithoutStore, RefusedRegistrationDropsMessagesAndReturnsZero) {
  ResetEventLogSinkForTest("/proc/no-such-dir/events.db");
  ASSERT_NE(PublishedEventLogSink(), nullptr);
  EXPECT_EQ(PublishedEventLogSink()->store(), nullptr);
  EXPECT_EQ(LogMessage(1, "dropped %d", 1), 0);
  ResetEventLogSinkForTest("");
}

TEST(DiagLogWithoutStore, NoSinkReturnsTheFormattedLength) {
  ResetEventLogSinkForTest("");
  EXPECT_EQ(LogMessage(1, "%s:%d", "abc", 12), 6);
}

TEST(DiagLogWithoutStore, LoggingKeepsTheCallersLastError) {
  ResetEventLogSinkForTest("");
  errno = EACCES;
  LogMessage(1, "x");
  EXPECT_EQ(errno, EACCES);
}

}  // namespace
}  // namespace nvl::test
