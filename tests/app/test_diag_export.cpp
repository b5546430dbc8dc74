// The "Debug Log" export, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>

#include "app/diag_export.h"
#include "platform/diag_log.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"
#include "support/capture_sink.h"
#include "support/sim_fixture.h"

namespace nvl::test {
namespace {

class DiagExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("events.db");
    setenv("NVL_EVENTLOG_DB", db_.c_str(), 1);
    setenv("TZ", "UTC", 1);
    tzset();
    SetProgramDirForTest(dir_.path());
    ResetEventLogSinkForTest(db_);
    SetMessageSink(&sink_);
  }
  void TearDown() override {
    SetMessageSink(nullptr);
    ResetEventLogSinkForTest("");
    SetProgramDirForTest("");
    unsetenv("NVL_EVENTLOG_DB");
  }
  void Add(const std::string& source, uint32_t id, uint16_t type, int64_t when,
           std::vector<std::string> strings, size_t raw = 0) {
    EventRecord e;
    e.source = source;
    e.event_id = id;
    e.event_type = type;
    e.generation_time = when;
    e.strings = std::move(strings);
    e.raw_data.assign(raw, 0xAB);
    ASSERT_TRUE(PublishedEventLogSink()->store()->Report(e));
  }
  TempDir dir_;
  std::string db_;
  CaptureSink sink_;
};

TEST_F(DiagExportTest, WritesOnlyTheProgramsEventsInTheirFormat) {
  const int64_t t0 = 1796947200;  // 2026/12/11 00:00:00 UTC
  Add(kEventSourceName, kDiagEventId, 1, t0, {"\r\nCInterctl::ScanPciBus:42: dwErrorCode 5"});
  Add("Other Tool", kDiagEventId, 1, t0 + 1, {"\r\nnot ours"});
  Add(kEventSourceName, kDiagEventId, 2, t0 + 2, {"\r\nwarned"});
  Add(kEventSourceName, kDiagEventId, 4, t0 + 3, {"\r\ninformed", "second string"});
  Add(kEventSourceName, kDiagEventId, 3, t0 + 4, {"\r\nodd type"});
  Add(kEventSourceName, 0x20000002, 1, t0 + 5, {"\r\nother id"});
  Add(kEventSourceName, kDiagEventId, 1, t0 + 6, {}, 0);  // no insertion string
  Add(kEventSourceName, kDiagEventId, 1, t0 + 7, {"\r\nraw 1024"}, 1024);
  Add(kEventSourceName, kDiagEventId, 1, t0 + 8, {"\r\nraw 1023"}, 1023);
  Add("nvlt 720x mp tool", kDiagEventId, 1, t0 + 9, {"\r\ncase differs"});
  Add(kEventSourceName, kDiagEventId, 1, t0 + 10, {"a\nb"});

  const std::string path = ExportDiagnosticLog();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(dir_.File("log")));
  EXPECT_TRUE(std::regex_match(std::filesystem::path(path).filename().string(),
                               std::regex("MPLog_[0-9]{14}\\.txt")));
  EXPECT_EQ(
      ReadFile(path),
      "2026/12/11 00:00:00\tEVENTLOG_ERROR_TYPE\t\r\nCInterctl::ScanPciBus:42: dwErrorCode 5\r\n"
      "2026/12/11 00:00:02\tEVENTLOG_WARNING_TYPE\t\r\nwarned\r\n"
      "2026/12/11 00:00:03\tEVENTLOG_INFORMATION_TYPE\t\r\ninformed\r\n"
      "2026/12/11 00:00:04\tUnknown\t\r\nodd type\r\n"
      "2026/12/11 00:00:08\tEVENTLOG_ERROR_TYPE\t\r\nraw 1023\r\n"
      "2026/12/11 00:00:10\tEVENTLOG_ERROR_TYPE\ta\r\nb\r\n");
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.captions[0] + "|" + sink_.texts[0],
            "Information|Log file [" + path + "] is exported");
  EXPECT_EQ(sink_.last_icon, MessageIcon::kInformation);
}

TEST_F(DiagExportTest, LoggedMessagesComeBackAfterARun) {
  LogMessage(1, "\r\n%s:%d: Read_Memory Fail!!, dwReadSize[%x] , dwDoneSize + addr[%x]",
             "CInterctl::Read_8051_Memory", 77, 8, 0xF38C);
  int64_t when = 0;
  PublishedEventLogSink()->store()->ReadForward([&](const EventRecord& e) {
    when = e.generation_time;
    return true;
  });
  std::time_t t = static_cast<std::time_t>(when);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", std::gmtime(&t));
  const std::string path = ExportDiagnosticLog();
  EXPECT_EQ(ReadFile(path), std::string(stamp) +
                                "\tEVENTLOG_ERROR_TYPE\t\r\nCInterctl::Read_8051_Memory:77: "
                                "Read_Memory Fail!!, dwReadSize[8] , dwDoneSize + addr[f38c]\r\n");
}

TEST_F(DiagExportTest, NoEventsGiveAnEmptyFileAndTheMessage) {
  const std::string path = ExportDiagnosticLog();
  EXPECT_EQ(ReadFile(path), "");
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_EQ(sink_.captions[0] + "|" + sink_.texts[0],
            "Information|Log file [" + path + "] is exported");
}

}  // namespace
}  // namespace nvl::test
