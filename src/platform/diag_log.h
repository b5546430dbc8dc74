// The diagnostic log: every diagnostic message of the program goes to the machine's event store
// under the program's own event source.  Messages are never shown to the operator.
//
// Callers use the house form: LogMessage(1, "\r\n%s:%d: <message>", "Class::Function", __LINE__,
// ...)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/event_store.h"

namespace nvl {

inline constexpr const char* kEventSourceName = "NVLT 720X MP Tool";
inline constexpr uint32_t kDiagEventId = 0x20000001;
inline constexpr uint32_t kTypesSupported = 31;  // error, warning, information, audit ok/fail
inline constexpr size_t kMaxMessageChars = 1023;

// The process-wide sink: the open event source (null store when registration failed) and the
// source name.  Created once before any thread starts.
class EventLogSink {
 public:
  EventLogSink() = default;

  // Opens the store at `db_path` and registers the source; true when a source is open.
  bool RegisterLogSource(const std::string& db_path);

  // Reports one event of type `level` with `text` as its one insertion string.  Nothing when
  // there is no open source or no text.  Returns whether the event was stored.
  bool ReportLogEvent(int level, const std::string& text);

  EventStore* store() const { return store_.get(); }
  const char* source_name() const { return source_name_; }

 private:
  std::unique_ptr<EventStore> store_;
  char source_name_[520] = {};
};

// The user of the calling process ("name" of the effective uid) and its uid.
struct CurrentUser {
  std::string name;
  int64_t uid = -1;
};
CurrentUser GetCurrentUserSid();

// Creates and publishes the process-wide sink over the store at EventStore::DefaultPath().
// A store that cannot be opened leaves the sink without a source: messages are then dropped.
void CreateEventLogSink();

// Test support: publishes a fresh sink over `db_path` (empty: no sink at all).
void ResetEventLogSinkForTest(const std::string& db_path);

EventLogSink* PublishedEventLogSink();

}  // namespace nvl

// Formats the message (cut to 1023 characters) and reports it with event type `level`.
// Returns the report's result (0 when the source could not be registered), or the formatted
// length when no sink was ever created.  Callers ignore the result.
int LogMessage(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
