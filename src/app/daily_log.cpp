#include "app/daily_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "app/result_table.h"
#include "platform/program_paths.h"

namespace {

std::mutex g_time_lock;
std::function<LocalTime()> g_time_source;

// The buffered writer's size: the text goes out in pieces of at most this many bytes.
constexpr size_t kWriteBuffer = 4096;

std::string Field(const std::string& value) {
  std::string out = value;
  for (char& c : out)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return out;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const size_t piece = std::min(kWriteBuffer, text.size() - done);
    const ssize_t n = ::write(fd, text.data() + done, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Opens the existing file for reading and writing, moves to its end, writes, flushes, closes.
bool AppendText(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::lseek(fd, 0, SEEK_END) >= 0 && WriteAll(fd, text);
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

LocalTime LocalTimeNow() {
  {
    std::lock_guard<std::mutex> lock(g_time_lock);
    if (g_time_source) return g_time_source();
  }
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void SetLocalTimeSourceForTest(std::function<LocalTime()> source) {
  std::lock_guard<std::mutex> lock(g_time_lock);
  g_time_source = std::move(source);
}

std::string strDailyLogFileName(const LocalTime& t) {
  char name[64];
  std::snprintf(name, sizeof name, "%.4d%.2d%.2d.log", t.nYear, t.nMonth, t.nDay);
  return name;
}

std::string strDailyLogHeader(bool with_serial) {
  const UiText& u = g_UiText;
  std::string line = "Date\tTime\t" + u.strHostNo + "\t" + u.strFWVersion + "\t";
  if (with_serial) line += "PCBA_SN\t";
  const std::string fields[] = {u.strBus,           u.strDev,          u.strFun,
                                u.strSSID,          u.strSVID,         kCaptionSltResult,
                                kCaptionLtResult,   kCaptionUsb2Port1, kCaptionUsb2Port2,
                                kCaptionUsb3Port1,  kCaptionUsb3Port2, kCaptionUsb31Port1,
                                kCaptionUsb31Port2, u.strUpdate};
  for (const auto& f : fields)
    line += f + "\t";
  line += "UpdateFWFile\r\n";
  return line;
}

bool bDailyLogReadsPorts(const MpSettings& s) {
  return s.signal_line_test_enable == 1 || s.fixture_test_enable == 1 ||
         s.loopback_test_enable == 1;
}

std::string strDailyLogLine(const LocalTime& t, const MpSettings& s, const DailyLogRow& row) {
  static const HostInfo kNoHost{};
  const HostInfo& h = row.pHost ? *row.pHost : kNoHost;
  const UiText& u = g_UiText;

  std::string update = " ";
  if (s.fw_update_enable == 1) update = h.ucFwUpdateResult == 1 ? u.strPass : u.strFail;

  std::string slt = " ";
  const std::string lt = " ";
  std::string ports[6] = {" ", " ", " ", " ", " ", " "};
  const bool slt_items = s.signal_line_test_enable == 1 || s.fixture_test_enable == 1;
  if (slt_items) slt = h.dwTestResult == 0 ? u.strPass : u.strFail;
  if (bDailyLogReadsPorts(s) && row.bPortsFromTable)
    for (int k = 0; k < 6; ++k)
      ports[k] = row.strPorts[k];

  char head[128];
  std::snprintf(head, sizeof head, "%.4d%.2d%.2d\t%.2d:%.2d:%.2d\t%d\t", t.nYear, t.nMonth, t.nDay,
                t.nHour, t.nMinute, t.nSecond, row.nPosition);
  std::string line = head + Field(h.strFWVersion) + "\t";
  if (s.savelogBarCode_enable == 1) line += Field(row.strSerial) + "\t";
  char ids[64];
  std::snprintf(ids, sizeof ids, "%d\t%d\t%d\t", h.ucBus, h.ucDevice, h.ucFunction);
  line += ids;
  line += Field(h.strSSID) + "\t" + Field(h.strSVID) + "\t" + slt + "\t" + lt + "\t";
  for (const auto& p : ports)
    line += Field(p) + "\t";
  line += update + "\t" + Field(h.strFWFileName) + "\r\n";
  return line;
}

bool bAppendDailyLog(const std::string& dir, const LocalTime& t, bool header_with_serial,
                     const std::string& lines) {
  const std::string path = nvl::JoinPath(dir, strDailyLogFileName(t));
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::close(fd);
    if (!AppendText(path, strDailyLogHeader(header_with_serial))) return false;
  }
  // A file that could not be created fails to open here, and nothing is written.
  return AppendText(path, lines);
}
