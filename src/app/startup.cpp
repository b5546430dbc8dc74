// Start-up: options, console, settings, IO driver, discovery, then the command-line action or
// the waiting window.
#include <cerrno>
#include <cstdio>

#include "app/main_dlg.h"
#include "discovery/utility.h"
#include "hw/nvlio.h"
#include "platform/diag_log.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"

namespace {

constexpr const char* kSettingsFileName = "NVL7310MPTool.ini";

// Console: in command-line or silent mode standard output is unbuffered and starts with the
// banner; a window run without arguments prints nothing.
void PrepareConsole(const CmdLineOptions& o) {
  if (!(o.m_bSilent || o.m_bCmdLine)) return;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string banner = BannerText();
  std::fwrite(banner.data(), 1, banner.size(), stdout);
}

}  // namespace

bool CNVL720_MPToolDlg::OnInitDialog() {
  if (const auto code = RecognizeOptions(m_Options)) vAutoExit(*code);
  PrepareConsole(m_Options);

  m_strSettingsPath = nvl::JoinPath(nvl::ProgramDir(), kSettingsFileName);

  for (auto& h : g_Utility.m_HostInfo) {
    h.ucFwUpdateResult = 0;
    h.ucFwCheckResult = 0;
    h.dwTestResult = 0;
    h.ucTerminationResult = 0;
    h.ucLoopbackResult = 0;
  }
  g_Utility.vBlankHostTable();

  UnloadNvlIODriver();
  if (LoadNvlIODriver() == 0) {
    const int last_error = errno;
    LogMessage(1, "\r\n%s:%d:  InitializeNVLIO Error!  dwErrorCode : %d ",
               "CNVL720_MPToolDlg::OnInitDialog", __LINE__, last_error);
    char text[256];
    std::snprintf(text, sizeof text, "\r\n%s:%d: InitializeNVLIO Error! !(%d)\n",
                  "CNVL720_MPToolDlg::OnInitDialog", __LINE__, -7);
    if (m_Options.m_bSilent) {
      std::printf("%s\r\n", text);
    } else {
      nvl::ShowMessage(text);
    }
    std::fflush(stdout);
    std::_Exit(1);  // no "ErroCode" line and no unload: the driver never loaded
  }
  return true;
}
