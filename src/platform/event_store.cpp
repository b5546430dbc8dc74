#include "platform/event_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace nvl {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS sources ("
    "  name TEXT PRIMARY KEY,"
    "  message_file TEXT NOT NULL,"
    "  types_supported INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS events ("
    "  record_number INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  source TEXT NOT NULL,"
    "  event_id INTEGER NOT NULL,"
    "  event_type INTEGER NOT NULL,"
    "  category INTEGER NOT NULL,"
    "  user TEXT NOT NULL,"
    "  uid INTEGER NOT NULL,"
    "  generation_time INTEGER NOT NULL,"
    "  string_count INTEGER NOT NULL,"
    "  strings BLOB NOT NULL," /* insertion strings, each followed by one NUL byte */
    "  raw_data BLOB NOT NULL);";

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); }
  ~Statement() { sqlite3_finalize(stmt); }
  explicit operator bool() const { return stmt != nullptr; }
};

std::string ColumnText(sqlite3_stmt* s, int i) {
  const auto* p = sqlite3_column_text(s, i);
  return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(s, i))
           : std::string();
}

std::vector<uint8_t> ColumnBlob(sqlite3_stmt* s, int i) {
  const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s, i));
  const int n = sqlite3_column_bytes(s, i);
  return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

}  // namespace

std::string EventStore::DefaultPath() {
  if (const char* p = std::getenv("NVL_EVENTLOG_DB"); p != nullptr && *p != '\0') return p;
  return "/var/lib/nvl7310-mptool/eventlog.db";
}

std::unique_ptr<EventStore> EventStore::Open(const std::string& path) {
  std::error_code ec;
  const auto parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  if (sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                   nullptr) != SQLITE_OK ||
      sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<EventStore>(new EventStore(db));
}

EventStore::EventStore(sqlite3* db) : db_(db) {}

EventStore::~EventStore() {
  sqlite3_close(db_);
}

bool EventStore::RegisterSource(const std::string& name, const std::string& message_file,
                                uint32_t types_supported) {
  std::lock_guard lock(mutex_);
  Statement st(db_,
               "INSERT INTO sources(name, message_file, types_supported) VALUES(?1, ?2, ?3) "
               "ON CONFLICT(name) DO UPDATE SET message_file = ?2, types_supported = ?3");
  if (!st) return false;
  sqlite3_bind_text(st.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(st.stmt, 2, message_file.data(), static_cast<int>(message_file.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int64(st.stmt, 3, types_supported);
  return sqlite3_step(st.stmt) == SQLITE_DONE;
}

bool EventStore::SourceRegistered(const std::string& name) {
  std::lock_guard lock(mutex_);
  Statement st(db_, "SELECT 1 FROM sources WHERE name = ?1");
  if (!st) return false;
  sqlite3_bind_text(st.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  return sqlite3_step(st.stmt) == SQLITE_ROW;
}

bool EventStore::Report(const EventRecord& r) {
  std::string packed;
  for (const auto& s : r.strings) {
    packed += s;
    packed.push_back('\0');
  }
  const int64_t when =
      r.generation_time != 0 ? r.generation_time : static_cast<int64_t>(std::time(nullptr));
  std::lock_guard lock(mutex_);
  Statement st(db_,
               "INSERT INTO events(source, event_id, event_type, category, user, uid, "
               "generation_time, string_count, strings, raw_data) "
               "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  if (!st) return false;
  sqlite3_bind_text(st.stmt, 1, r.source.data(), static_cast<int>(r.source.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int64(st.stmt, 2, r.event_id);
  sqlite3_bind_int64(st.stmt, 3, r.event_type);
  sqlite3_bind_int64(st.stmt, 4, r.category);
  sqlite3_bind_text(st.stmt, 5, r.user.data(), static_cast<int>(r.user.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(st.stmt, 6, r.uid);
  sqlite3_bind_int64(st.stmt, 7, when);
  sqlite3_bind_int64(st.stmt, 8, static_cast<int64_t>(r.strings.size()));
  // An empty blob is bound as a zero-length blob, not as NULL.
  static const uint8_t kNothing = 0;
  sqlite3_bind_blob(st.stmt, 9,
                    packed.empty() ? &kNothing : reinterpret_cast<const uint8_t*>(packed.data()),
                    static_cast<int>(packed.size()), SQLITE_TRANSIENT);
  sqlite3_bind_blob(st.stmt, 10, r.raw_data.empty() ? &kNothing : r.raw_data.data(),
                    static_cast<int>(r.raw_data.size()), SQLITE_TRANSIENT);
  return sqlite3_step(st.stmt) == SQLITE_DONE;
}

bool EventStore::ReadForward(const std::function<bool(const EventRecord&)>& visit, int batch) {
  int64_t after = 0;
  for (;;) {
    std::vector<EventRecord> block;
    {
      std::lock_guard lock(mutex_);
      Statement st(db_,
                   "SELECT record_number, source, event_id, event_type, category, user, uid, "
                   "generation_time, string_count, strings, raw_data FROM events "
                   "WHERE record_number > ?1 ORDER BY record_number LIMIT ?2");
      if (!st) return false;
      sqlite3_bind_int64(st.stmt, 1, after);
      sqlite3_bind_int(st.stmt, 2, batch);
      int rc;
      while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
        EventRecord e;
        e.record_number = sqlite3_column_int64(st.stmt, 0);
        e.source = ColumnText(st.stmt, 1);
        e.event_id = static_cast<uint32_t>(sqlite3_column_int64(st.stmt, 2));
        e.event_type = static_cast<uint16_t>(sqlite3_column_int64(st.stmt, 3));
        e.category = static_cast<uint16_t>(sqlite3_column_int64(st.stmt, 4));
        e.user = ColumnText(st.stmt, 5);
        e.uid = sqlite3_column_int64(st.stmt, 6);
        e.generation_time = sqlite3_column_int64(st.stmt, 7);
        const int64_t count = sqlite3_column_int64(st.stmt, 8);
        const auto packed = ColumnBlob(st.stmt, 9);
        size_t start = 0;
        for (int64_t k = 0; k < count && start <= packed.size(); ++k) {
          size_t end = start;
          while (end < packed.size() && packed[end] != 0)
            ++end;
          e.strings.emplace_back(reinterpret_cast<const char*>(packed.data()) + start, end - start);
          start = end + 1;
        }
        e.raw_data = ColumnBlob(st.stmt, 10);
        block.push_back(std::move(e));
      }
      if (rc != SQLITE_DONE) return false;
    }
    if (block.empty()) return true;
    for (const auto& e : block) {
      if (!visit(e)) return true;
    }
    after = block.back().record_number;
  }
}

}  // namespace nvl
