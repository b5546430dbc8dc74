// Test fixtures: a simulated station installed behind the IO library, fresh process-wide state,
// temporary folders and a subprocess runner for end-to-end tests of the executable.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "hw/sim/station.h"
#include "support/recording_io.h"

namespace nvl::test {

// A temporary folder removed at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

// Installs a simulated station made from `station_json` behind the IO library, with a recorder
// around it, loads the driver and resets g_Utility.  The time scale is set low so waits are short.
class SimStationTest : public ::testing::Test {
 protected:
  void TearDown() override;
  // Parses the station text (fails the test on error) and loads it.
  void LoadStation(const std::string& station_json, double time_scale = 0.001);
  sim::Station* station() { return station_; }
  RecordingIo* io() { return io_; }
  sim::VirtualController* Board(uint8_t bus, uint8_t device = 0, uint8_t function = 0);

 private:
  sim::Station* station_ = nullptr;
  RecordingIo* io_ = nullptr;
};

struct ProcessResult {
  int status = -1;  // exit status 0..255, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

struct RunOptions {
  std::string cwd;                         // empty: the station folder
  std::map<std::string, std::string> env;  // extra environment variables
  int term_after_ms = 0;                   // > 0: send SIGTERM once this long has passed
  int timeout_seconds = 60;                // then SIGKILL
};

// Runs `exe` with `args`; stdin is empty.
ProcessResult RunProcess(const std::string& exe, const std::vector<std::string>& args,
                         const std::string& cwd, const std::map<std::string, std::string>& env,
                         int timeout_seconds = 60, int term_after_ms = 0);

// A station folder laid out as on a line PC: the executable copied (symlinked) in, with an
// event store and a station file of its own.
class StationDir {
 public:
  StationDir();
  const TempDir& dir() const { return dir_; }
  std::string exe() const;
  void WriteStation(const std::string& json) const;
  // Runs the executable with `args`; NVLIO_STATION points at the station file when it exists.
  ProcessResult Run(const std::vector<std::string>& args,
                    std::map<std::string, std::string> env = {}) const;
  ProcessResult Run(const std::vector<std::string>& args, RunOptions options) const;
  // Writes the example settings file (examples/NVL7310MPTool.ini) beside the executable.
  void WriteExampleSettings() const;

 private:
  TempDir dir_;
};

}  // namespace nvl::test
