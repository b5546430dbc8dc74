#include "app/diag_export.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/diag_log.h"
#include "platform/event_store.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"

namespace {

constexpr size_t kMaxRawData = 1024;

const char* TypeName(uint16_t type) {
  switch (type) {
    case 1:
      return "EVENTLOG_ERROR_TYPE\t";
    case 2:
      return "EVENTLOG_WARNING_TYPE\t";
    case 4:
      return "EVENTLOG_INFORMATION_TYPE\t";
    default:
      return "Unknown\t";
  }
}

std::string LocalTime(int64_t when, const char* format) {
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

// The export is a text file: every line feed that is not already part of a CR LF is written as
// CR LF, so the messages' own "\r\n" stay as they are.
void WriteText(std::FILE* f, const std::string& s) {
  std::string out;
  out.reserve(s.size() + 8);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out.push_back('\r');
    out.push_back(s[i]);
  }
  std::fwrite(out.data(), 1, out.size(), f);
}

}  // namespace

std::string ExportDiagnosticLog() {
  const std::string log_dir = nvl::JoinPath(nvl::ProgramDir(), "log");
  std::error_code ec;
  std::filesystem::create_directories(log_dir, ec);
  const std::string path =
      nvl::JoinPath(log_dir, "MPLog_" + LocalTime(std::time(nullptr), "%Y%m%d%H%M%S") + ".txt");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    nvl::Messages().Show("Information", "Log file [" + path + "] cannot be created",
                         nvl::MessageIcon::kError);
    return {};
  }
  auto store = nvl::EventStore::Open(nvl::EventStore::DefaultPath());
  if (!store) {
    std::fclose(f);
    return path;  // the event store cannot be read: an empty file and no message
  }
  store->ReadForward([f](const nvl::EventRecord& e) {
    if (e.source != nvl::kEventSourceName || e.event_id != nvl::kDiagEventId || e.strings.empty() ||
        e.raw_data.size() >= kMaxRawData) {
      return true;
    }
    std::string entry = LocalTime(e.generation_time, "%Y/%m/%d %H:%M:%S") + "\t";
    entry += TypeName(e.event_type);
    entry += e.strings.front().substr(0, nvl::kMaxMessageChars);
    entry += "\n";
    WriteText(f, entry);
    return true;
  });
  std::fclose(f);
  nvl::Messages().Show("Information", "Log file [" + path + "] is exported",
                       nvl::MessageIcon::kInformation);
  return path;
}
