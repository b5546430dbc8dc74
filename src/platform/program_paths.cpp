#include "platform/program_paths.h"

#include <unistd.h>

#include <mutex>

namespace nvl {
namespace {

std::mutex g_mutex;
std::string g_override;

std::string ExecutableDir() {
  static const std::string dir = [] {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string(".");
    std::string path(buf, static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  }();
  return dir;
}

}  // namespace

std::string ProgramDir() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_override.empty()) return g_override;
  }
  return ExecutableDir();
}

void SetProgramDirForTest(const std::string& dir) {
  std::lock_guard lock(g_mutex);
  g_override = dir;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace nvl
