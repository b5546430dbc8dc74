#include "config/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <fstream>
#include <limits>

#include "discovery/device_info.h"
#include "discovery/utility.h"
#include "platform/diag_log.h"
#include "platform/message_sink.h"
#include "platform/station_path.h"
#include "platform/text.h"

CIni g_Ini;

namespace {

enum class Kind { kSection, kLogSection, kU8, kI32, kText };

struct Entry {
  const char* name;
  Kind kind;
  uint8_t MpSettings::*u8 = nullptr;
  int32_t MpSettings::*i32 = nullptr;
  std::string MpSettings::*text = nullptr;
};

constexpr Entry Section(const char* name) {
  return {name, Kind::kSection};
}
constexpr Entry U8(const char* name, uint8_t MpSettings::*f) {
  return {name, Kind::kU8, f};
}
constexpr Entry I32(const char* name, int32_t MpSettings::*f) {
  return {name, Kind::kI32, nullptr, f};
}
constexpr Entry Text(const char* name, std::string MpSettings::*f) {
  return {name, Kind::kText, nullptr, nullptr, f};
}

// The file, in the order it is written.
constexpr Entry kEntries[] = {
    Section("[version]"),
    U8("ver", &MpSettings::ver),
    Section("[main]"),
    U8("init_main", &MpSettings::init_main),
    Section("[fw]"),
    U8("fw_update_enable", &MpSettings::fw_update_enable),
    Text("fw_binary_name", &MpSettings::fw_binary_name),
    U8("fw_check_enable", &MpSettings::fw_check_enable),
    Section("[test]"),
    U8("signal_line_test_enable", &MpSettings::signal_line_test_enable),
    U8("fixture_test_enable", &MpSettings::fixture_test_enable),
    U8("test_speed", &MpSettings::test_speed),
    U8("test_port", &MpSettings::test_port),
    I32("test_timeout", &MpSettings::test_timeout),
    U8("loopback_test_enable", &MpSettings::loopback_test_enable),
    Section("[config]"),
    U8("subsys_enable", &MpSettings::subsys_enable),
    Text("svid", &MpSettings::svid),
    Text("ssid", &MpSettings::ssid),
    U8("PCISPEED_enable", &MpSettings::PCISPEED_enable),
    U8("MAX_PCIe_SPEED", &MpSettings::MAX_PCIe_SPEED),
    U8("check_downstream_usb_enable", &MpSettings::check_downstream_usb_enable),
    U8("CustInfo_enable", &MpSettings::CustInfo_enable),
    Text("CustInfo", &MpSettings::CustInfo),
    Text("spi_wrsr_ver", &MpSettings::spi_wrsr_ver),
    {"[LOG]", Kind::kLogSection},
    U8("savelog_enable", &MpSettings::savelog_enable),
    U8("savelogBarCode_enable", &MpSettings::savelogBarCode_enable),
    I32("SN_Numbers", &MpSettings::SN_Numbers),
};

constexpr const char* kNotExistText = "File/Path is not exist";
constexpr const char* kInvalidLineText = "Line of Configuration String in INI file is invalid !";
constexpr const char* kVersionText = "Loaded ini file is not match current MP Tool version";
constexpr const char* kPleaseLoadText = "Please load property file";

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

const Entry* FindEntry(const std::string& key) {
  for (const Entry& e : kEntries) {
    if (nvl::EqualsIgnoringCase(key, e.name)) return &e;
  }
  return nullptr;
}

}  // namespace

bool CIni::IsFileAccessible(const std::string& path, bool show_message) {
  struct stat st {};
  const bool ok = !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                  ::access(path.c_str(), R_OK | W_OK) == 0 &&
                  (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  if (!ok && show_message) nvl::ShowMessage(path + " " + kNotExistText);
  return ok;
}

bool CIni::LoadSettings(const std::string& path) {
  vClear();
  bool result = false;
  try {
    result = [&]() -> bool {
      if (!IsFileAccessible(path, true)) return false;

      std::ifstream in(path, std::ios::binary);
      if (!in) {
        LogMessage(1, "\r\n%s:%d: open failed, dwErrorCode %d", "CIni::LoadSettings", __LINE__,
                   errno);
        vClear();
        return false;
      }

      std::string message;
      bool invalid = false;
      uint64_t count = 0;  // wide: a wrapping counter would let long files pass the line limit
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        ++count;

        const size_t eq = line.find('=');
        std::string key = nvl::TrimWhiteSpace(line.substr(0, eq));
        std::string value;
        if (eq != std::string::npos) {
          value = line.substr(eq + 1);
          const size_t slash = value.find('/');
          if (slash != std::string::npos) value.resize(slash);
          value = nvl::TrimWhiteSpace(value);
          for (char& c : value)
            c = AsciiUpper(c);
        }

        const Entry* entry = FindEntry(key);
        bool accepted = entry != nullptr;
        if (entry != nullptr) {
          switch (entry->kind) {
            case Kind::kSection:
            case Kind::kLogSection:
              break;
            case Kind::kU8:
              this->*(entry->u8) =
                  static_cast<uint8_t>(static_cast<uint32_t>(nvl::ParseDecimal(value)) & 0xFFu);
              break;
            case Kind::kI32:
              this->*(entry->i32) = nvl::ParseDecimal(value);
              break;
            case Kind::kText:
              if (value.size() > INI_TEXT_MAX) {
                accepted = false;  // too long for the field: refused rather than cut
              } else {
                this->*(entry->text) = value;
              }
              break;
          }
        }
        if (!accepted) {
          invalid = true;
          if (key.size() > INI_TEXT_MAX) key.resize(INI_TEXT_MAX);
          message += std::to_string(count) + " " + kInvalidLineText + "(" + key + ")\r\n";
        }
      }
      if (in.bad()) {
        LogMessage(1, "\r\n%s:%d: read failed, dwErrorCode %d", "CIni::LoadSettings", __LINE__,
                   errno);
        vClear();
        return false;
      }

      if (invalid) nvl::ShowMessage(message);

      char version[16];
      std::snprintf(version, sizeof version, "%06x", static_cast<unsigned>(ver));
      if (!nvl::EqualsIgnoringCase(version, INI_VERSION_TEXT)) {
        char line_text[160];
        std::snprintf(line_text, sizeof line_text, "%s(%x) %s(%s)\r\n", kVersionText,
                      static_cast<unsigned>(ver), kPleaseLoadText, INI_VERSION_TEXT);
        message += line_text;
        nvl::ShowMessage(message);
        return false;
      }

      if (fw_update_enable == 1 &&
          !IsFileAccessible(nvl::ResolveStationPath(fw_binary_name), true)) {
        return false;
      }

      if (count > INI_MAX_LINES) return false;
      return !invalid;
    }();
  } catch (const std::exception& e) {
    LogMessage(1, "\r\n%s:%d: %s, dwErrorCode %d", "CIni::LoadSettings", __LINE__, e.what(), -8);
    vClear();
    result = false;
  }
  g_Utility.m_bSettingsLoaded = result;
  return result;
}

std::string CIni::strSettingsText() const {
  std::string text;
  char number[32];
  for (const Entry& e : kEntries) {
    switch (e.kind) {
      case Kind::kSection:
        text += e.name;
        text += "\r\n";
        break;
      case Kind::kLogSection:
        text += "\r\n";
        text += e.name;
        text += "\r\n";
        break;
      case Kind::kU8:
      case Kind::kI32: {
        const int v = e.u8 == &MpSettings::ver ? static_cast<int>(ParseHexText(INI_VERSION_TEXT))
                      : e.kind == Kind::kU8    ? this->*(e.u8)
                                               : this->*(e.i32);
        std::snprintf(number, sizeof number, "%d", v);
        text += e.name;
        text += "=";
        text += number;
        text += "\r\n";
        break;
      }
      case Kind::kText: {
        const std::string& v = this->*(e.text);
        text += e.name;
        text += "=";
        text += e.text == &MpSettings::fw_binary_name ? nvl::StationPathText(v) : v;
        text += "\r\n";
        break;
      }
    }
  }
  return text;
}

bool CIni::SaveSettings(const std::string& path) const {
  try {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (IsFileAccessible(path, true)) {
      if (::unlink(path.c_str()) != 0) {
        LogMessage(1, "\r\n%s:%d: delete failed, dwErrorCode %d", "CIni::SaveSettings", __LINE__,
                   errno);
        return false;
      }
    } else if (exists) {
      return false;  // there, but read-only or not a file: never replaced
    }

    const std::string text = strSettingsText();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      LogMessage(1, "\r\n%s:%d: create failed, dwErrorCode %d", "CIni::SaveSettings", __LINE__,
                 errno);
      return false;
    }
    bool ok = true;
    size_t done = 0;
    while (ok && done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
      } else {
        done += static_cast<size_t>(n);
      }
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    const int write_error = errno;
    if (::close(fd) != 0) ok = false;
    if (!ok) {
      LogMessage(1, "\r\n%s:%d: write failed, dwErrorCode %d", "CIni::SaveSettings", __LINE__,
                 write_error);
    }
    return ok;
  } catch (const std::exception& e) {
    LogMessage(1, "\r\n%s:%d: %s, dwErrorCode %d", "CIni::SaveSettings", __LINE__, e.what(), -8);
    return false;
  }
}
