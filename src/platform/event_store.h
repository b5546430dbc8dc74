// The machine's event store: the Linux stand-in for the system event log.  One SQLite database
// per machine (NVL_EVENTLOG_DB overrides its path) with a table of registered sources and a table
// of events in record order.  Safe to use from many threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace nvl {

struct EventRecord {
  int64_t record_number = 0;  // assigned by the store, ascending
  std::string source;
  uint32_t event_id = 0;
  uint16_t event_type = 0;  // 1 error, 2 warning, 4 information, 8/16 audit
  uint16_t category = 0;
  std::string user;                  // user name of the effective uid
  int64_t uid = -1;                  // effective uid, -1 when unknown
  int64_t generation_time = 0;       // seconds since the epoch
  std::vector<std::string> strings;  // insertion strings
  std::vector<uint8_t> raw_data;
};

class EventStore {
 public:
  // Opens (creating when needed) the database at `path`; null when it cannot be opened.
  static std::unique_ptr<EventStore> Open(const std::string& path);

  // NVL_EVENTLOG_DB when set, else the machine-wide default under /var/lib.
  static std::string DefaultPath();

  ~EventStore();
  EventStore(const EventStore&) = delete;
  EventStore& operator=(const EventStore&) = delete;

  // Creates or updates a source entry (name, message file, types supported).
  bool RegisterSource(const std::string& name, const std::string& message_file,
                      uint32_t types_supported);
  bool SourceRegistered(const std::string& name);

  // Appends one event; generation_time 0 means now.  Returns false when the write failed.
  bool Report(const EventRecord& record);

  // Visits every event from the oldest on, in record order, `batch` records per query; the
  // visitor returns false to stop.  Returns false when the store could not be read.
  bool ReadForward(const std::function<bool(const EventRecord&)>& visit, int batch = 256);

 private:
  explicit EventStore(sqlite3* db);
  sqlite3* db_;
  std::mutex mutex_;
};

}  // namespace nvl
