// Fuzz target for the settings file loader.  Each input is written to a settings file in a
// private folder (also the program directory, so firmware names resolve inside it) and loaded.
// A load that succeeds must survive a save and a second load unchanged.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/ini.h"
#include "discovery/utility.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"

namespace {

class CountingSink : public nvl::MessageSink {
 public:
  void Show(const std::string&, const std::string& text, nvl::MessageIcon) override {
    ++shown;
    bytes += text.size();
  }
  size_t shown = 0;
  size_t bytes = 0;
};

struct Folder {
  Folder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nvlfuzz-ini-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path = tmpl;
    // A firmware file that inputs can name, in any letter case.
    if (FILE* f = std::fopen((path + "/fw.bin").c_str(), "wb")) std::fclose(f);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Folder folder;
  static CountingSink sink;
  if (folder.path.empty()) return 0;
  nvl::SetMessageSink(&sink);
  nvl::SetProgramDirForTest(folder.path);

  const std::string ini = folder.path + "/NVL7310MPTool.ini";
  WriteFile(ini, data, size);
  const bool loaded = g_Ini.LoadSettings(ini);
  if (loaded != g_Utility.m_bSettingsLoaded) abort();
  if (loaded) {
    const MpSettings first = g_Ini.Settings();
    if (first.ver != 18) abort();
    if (!g_Ini.SaveSettings(ini)) abort();
    if (!g_Ini.LoadSettings(ini)) abort();
    if (!(g_Ini.Settings() == first)) abort();
  }
  g_Ini.vResetForTest();
  return 0;
}
