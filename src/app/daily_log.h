// The daily result log: one tab-separated text file per local date, "yyyymmdd.log", in the
// program's directory.  Its first line is the header; every production run appends one line per
// present host.  Lines end "\r\n".  A file is never truncated or rewritten.
//
// The main window's vWriteResultLog (app/result_table.cpp) takes the local time once, builds the
// lines from the host table, the settings and the result table, and appends them here.
//
// Decisions of this implementation:
//   - A missing file is created exclusively, so the header is written once even when two writers
//     meet; a file that exists (of whatever content) gets no header.
//   - A tab, CR or LF inside a field value (a firmware path, a cell text) would split the line
//     into wrong fields or rows; each such character is written as a space.
//   - The port fields are read from the port columns of the page shown; the Upgrade page has no
//     port columns, so there they are single spaces (rather than the texts of its PCIe Link,
//     Update and Check columns, which sit where the main page keeps its ports).
//   - Writing failures are silent (the run's outcome does not depend on the log); the result
//     says whether everything was written, for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/ini.h"
#include "hw/host_info.h"

// A local date and time as the log writes it.
struct LocalTime {
  int nYear = 0;
  int nMonth = 0;
  int nDay = 0;
  int nHour = 0;
  int nMinute = 0;
  int nSecond = 0;
};

// The local time now, from the installed source (the system's local time by default).
LocalTime LocalTimeNow();
// Test support: makes LocalTimeNow() return what `source` returns (empty: the system again).
void SetLocalTimeSourceForTest(std::function<LocalTime()> source);

// "%.4d%.2d%.2d.log"
std::string strDailyLogFileName(const LocalTime& t);

// The header line, with the "PCBA_SN" field when `with_serial`.
std::string strDailyLogHeader(bool with_serial);

// What one data line is made of.
struct DailyLogRow {
  int nPosition = 0;
  const HostInfo* pHost = nullptr;
  std::string strSerial;         // used when the settings log the serial number
  std::string strPorts[6];       // the six port cell texts, in the layout's order
  bool bPortsFromTable = false;  // false: the port fields are not read from the table
};

// One data line of `row` at time `t` under `settings`.
std::string strDailyLogLine(const LocalTime& t, const MpSettings& settings, const DailyLogRow& row);

// Whether the port fields of a data line come from the table under these settings.
bool bDailyLogReadsPorts(const MpSettings& settings);

// Appends `lines` to the day's file in `dir`, creating it with the header (with "PCBA_SN" when
// `header_with_serial`) when it does not exist.  True when all was written.
bool bAppendDailyLog(const std::string& dir, const LocalTime& t, bool header_with_serial,
                     const std::string& lines);
