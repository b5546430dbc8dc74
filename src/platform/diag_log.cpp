#include "platform/diag_log.h"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/program_paths.h"

namespace nvl {
namespace {

std::atomic<EventLogSink*> g_sink{nullptr};
// Sinks replaced by tests are kept alive: a worker of an earlier test may still hold one.
std::unique_ptr<EventLogSink> g_owned;

}  // namespace

bool EventLogSink::RegisterLogSource(const std::string& db_path) {
  store_.reset();
  std::snprintf(source_name_, 519, "%s", kEventSourceName);
  auto store = EventStore::Open(db_path);
  if (!store) return false;
  const std::string message_file = ProgramDir() + "/XEventMessage.dll";
  if (!store->RegisterSource(source_name_, message_file, kTypesSupported)) return false;
  store_ = std::move(store);
  return true;
}

bool EventLogSink::ReportLogEvent(int level, const std::string& text) {
  if (!store_ || text.empty()) return false;
  const CurrentUser user = GetCurrentUserSid();
  EventRecord r;
  r.source = source_name_;
  r.event_id = kDiagEventId;
  r.event_type = static_cast<uint16_t>(level);
  r.category = 0;
  r.user = user.name;
  r.uid = user.uid;
  r.strings.push_back(text);
  return store_->Report(r);
}

CurrentUser GetCurrentUserSid() {
  CurrentUser u;
  const uid_t uid = geteuid();
  u.uid = uid;
  passwd pw{};
  passwd* found = nullptr;
  char buf[1024];
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found != nullptr) {
    u.name = found->pw_name;
  } else {
    u.name = std::to_string(uid);
  }
  return u;
}

void CreateEventLogSink() {
  if (g_sink.load() != nullptr) return;
  const int saved = errno;
  auto sink = std::make_unique<EventLogSink>();
  sink->RegisterLogSource(EventStore::DefaultPath());
  g_sink.store(sink.release());  // lives to the end of the process
  errno = saved;
}

void ResetEventLogSinkForTest(const std::string& db_path) {
  static std::vector<std::unique_ptr<EventLogSink>> retired;
  if (g_owned) retired.push_back(std::move(g_owned));
  if (db_path.empty()) {
    g_sink.store(nullptr);
    return;
  }
  g_owned = std::make_unique<EventLogSink>();
  g_owned->RegisterLogSource(db_path);
  g_sink.store(g_owned.get());
}

EventLogSink* PublishedEventLogSink() {
  return g_sink.load();
}

}  // namespace nvl

int LogMessage(int level, const char* format, ...) {
  const int saved = errno;  // logging never changes the caller's last error
  char buffer[nvl::kMaxMessageChars + 1];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) buffer[0] = '\0';
  const int length = static_cast<int>(std::strlen(buffer));
  nvl::EventLogSink* sink = nvl::PublishedEventLogSink();
  int result = length;
  if (sink != nullptr) result = sink->ReportLogEvent(level, buffer) ? 1 : 0;
  errno = saved;
  return result;
}
