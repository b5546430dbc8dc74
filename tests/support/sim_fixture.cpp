#include "support/sim_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "discovery/utility.h"
#include "platform/clock.h"

namespace nvl::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "nvltest-XXXXXX").string();
  char* p = mkdtemp(tmpl.data());
  path_ = p ? p : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
  std::ofstream out(File(name), std::ios::binary);
  out << content;
}

std::string TempDir::Read(const std::string& name) const {
  return ReadFile(File(name));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void SimStationTest::LoadStation(const std::string& station_json, double time_scale) {
  std::string error;
  auto specs = sim::ParseStationText(station_json, "(test)", error);
  ASSERT_TRUE(specs.has_value()) << error;
  auto station = std::make_unique<sim::Station>(std::move(*specs));
  station_ = station.get();
  auto rec = std::make_unique<RecordingIo>(MakeMailboxIoLibrary(std::move(station)));
  io_ = rec.get();
  InstallIoLibrary(std::move(rec));
  ASSERT_NE(LoadNvlIODriver(), 0);
  Clock::SetTimeScale(time_scale);
  g_Utility.vResetForTest();
  io_->Clear();
}

void SimStationTest::TearDown() {
  InstallIoLibrary(nullptr);
  Clock::SetTimeScale(1.0);
  g_Utility.vResetForTest();
  station_ = nullptr;
  io_ = nullptr;
}

sim::VirtualController* SimStationTest::Board(uint8_t bus, uint8_t device, uint8_t function) {
  return station_->Board({bus, device, function});
}

ProcessResult RunProcess(const std::string& exe, const std::vector<std::string>& args,
                         const std::string& cwd, const std::map<std::string, std::string>& env,
                         int timeout_seconds, int term_after_ms) {
  ProcessResult r;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    for (const auto& [k, v] : env)
      setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const auto& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::seconds(timeout_seconds);
  bool termed = false;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  while (open_fds > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    int wait_ms = static_cast<int>(left.count());
    if (term_after_ms > 0 && !termed) {
      const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      if (since.count() >= term_after_ms) {
        kill(pid, SIGTERM);
        termed = true;
      } else {
        wait_ms = std::min(wait_ms, static_cast<int>(term_after_ms - since.count()));
      }
    }
    if (poll(fds, 2, wait_ms) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      } else {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  for (auto& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

StationDir::StationDir() {
  // The program finds its settings beside its own file, so it must be in the folder itself.
  std::error_code ec;
  std::filesystem::create_hard_link(NVL_EXE_PATH, dir_.File("nvl7310-mptool"), ec);
  if (ec) std::filesystem::copy_file(NVL_EXE_PATH, dir_.File("nvl7310-mptool"));
}

std::string StationDir::exe() const {
  return dir_.File("nvl7310-mptool");
}

void StationDir::WriteStation(const std::string& json) const {
  dir_.Write("station.json", json);
}

ProcessResult StationDir::Run(const std::vector<std::string>& args,
                              std::map<std::string, std::string> env) const {
  RunOptions options;
  options.env = std::move(env);
  return Run(args, std::move(options));
}

ProcessResult StationDir::Run(const std::vector<std::string>& args, RunOptions options) const {
  auto& env = options.env;
  env.emplace("NVL_EVENTLOG_DB", dir_.File("events.db"));
  env.emplace("NVL_TIME_SCALE", "0.01");
  env.emplace("TZ", "UTC");
  if (std::filesystem::exists(dir_.File("station.json")))
    env.emplace("NVLIO_STATION", dir_.File("station.json"));
  return RunProcess(exe(), args, options.cwd.empty() ? dir_.path() : options.cwd, env,
                    options.timeout_seconds, options.term_after_ms);
}

void StationDir::WriteExampleSettings() const {
  dir_.Write("NVL7310MPTool.ini",
             ReadFile(std::string(NVL_SOURCE_DIR) + "/examples/NVL7310MPTool.ini"));
}

}  // namespace nvl::test
