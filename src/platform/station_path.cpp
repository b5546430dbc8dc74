#include "platform/station_path.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/program_paths.h"
#include "platform/text.h"

namespace nvl {
namespace {

namespace fs = std::filesystem;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::vector<std::string> SplitComponents(const std::string& text) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : text) {
    if (IsSeparator(c)) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// The entry of `dir` whose name equals `name` ignoring case; the first in byte order.
std::optional<std::string> FindIgnoringCase(const std::string& dir, const std::string& name) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return std::nullopt;
  std::optional<std::string> best;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    std::string entry = it->path().filename().string();
    if (EqualsIgnoringCase(entry, name) && (!best || entry < *best)) best = std::move(entry);
  }
  return best;
}

}  // namespace

std::string ResolveStationPath(const std::string& value) {
  std::string base;
  std::string rest;
  if (value.size() >= 2 && IsAsciiLetter(value[0]) && value[1] == ':') {
    base = "/";
    rest = value.substr(2);
  } else if (!value.empty() && IsSeparator(value[0])) {
    base = "/";
    rest = value;
  } else {
    base = ProgramDir();
    rest = value;
  }

  std::string cur = base;
  for (const std::string& comp : SplitComponents(rest)) {
    std::string next = JoinPath(cur, comp);
    if (comp != "." && comp != ".." && !Exists(next)) {
      if (auto found = FindIgnoringCase(cur, comp)) next = JoinPath(cur, *found);
    }
    cur = std::move(next);
  }
  return cur;
}

std::string StationPathText(const std::string& path) {
  auto with_backslashes = [](std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
  };
  if (path.empty() || path[0] != '/') return with_backslashes(path);

  const fs::path native = fs::path(path).lexically_normal();
  const fs::path program = fs::path(ProgramDir()).lexically_normal();
  // Under the program directory when every component of the program directory is a leading
  // component of the path (a trailing "/" of either gives an empty last component; skip it).
  auto n = native.begin();
  bool under = true;
  for (auto p = program.begin(); p != program.end(); ++p) {
    if (p->empty()) continue;
    if (n == native.end() || *n != *p) {
      under = false;
      break;
    }
    ++n;
  }
  if (under && n != native.end()) {
    fs::path rel;
    for (; n != native.end(); ++n)
      rel /= *n;
    return with_backslashes(rel.string());
  }
  return with_backslashes(native.string());
}

}  // namespace nvl
