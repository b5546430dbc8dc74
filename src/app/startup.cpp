// Start-up: options, console, settings, IO driver, discovery, then the command-line action or
// the waiting window.
//
// Until the operator window exists, its steps are kept on the state object: the settings path,
// the page to show (m_nPage), the Start controls (m_bStartEnabled), the lock state
// (m_bUnlocked, m_bDebugMode) and the result list (m_ListCtrlResult).  The pages, device
// notifications and the port-status refresh thread come with the window and the production run.
#include <cerrno>
#include <cstdio>

#include "app/main_dlg.h"
#include "config/ini.h"
#include "discovery/utility.h"
#include "hw/interctl.h"
#include "hw/nvlio.h"
#include "platform/diag_log.h"
#include "platform/message_sink.h"
#include "platform/program_paths.h"
#include "platform/text.h"

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

void PrintHostLine(int i, const HostInfo& h) {
  std::printf("Target Host[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n", i, h.ucBus,
              h.ucDevice, h.ucFunction);
}

}  // namespace

bool CNVL720_MPToolDlg::OnInitDialog() {
  if (const auto code = RecognizeOptions(m_Options)) vAutoExit(*code);
  PrepareConsole(m_Options);

  m_bUnlocked = false;
  m_bDebugMode = false;
  m_strSettingsPath = nvl::JoinPath(nvl::ProgramDir(), kSettingsFileName);

  const bool loaded = g_Ini.LoadSettings(m_strSettingsPath);
  if (!loaded) {
    m_bStartEnabled = false;
    if (m_Options.m_bSilent && g_Ini.init_main != 0) {
      std::printf("Load [%s] Setting file failed!!...\r\n", m_strSettingsPath.c_str());
      vAutoExit(-1);
    }
  }
  if (m_Options.m_bSilent) std::printf("Load [%s] Setting file...\r\n", m_strSettingsPath.c_str());
  m_nPage = g_Ini.init_main;
  vSetMainResultHeader();
  vSetMainResultItemTable();

  for (auto& h : g_Utility.m_HostInfo) {
    h.ucFwUpdateResult = 0;
    h.ucFwCheckResult = 0;
    h.dwTestResult = 0;
    h.ucTerminationResult = 0;
    h.ucLoopbackResult = 0;
  }
  g_Utility.vBlankHostTable();
  m_bStartEnabled = g_Utility.m_bSettingsLoaded;

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

  const std::string threshold = g_Ini.spi_wrsr_ver;
  if (m_Options.m_bAssignPciAddress) {
    std::printf("Input [Bus:Dev:Fun]=[%d:%d:%d] \r\n", m_Options.m_ucAssignBus,
                m_Options.m_ucAssignDevice, m_Options.m_ucAssignFunction);
    g_Interctl.AssignPciBus(m_Options.m_ucAssignBus, m_Options.m_ucAssignDevice,
                            m_Options.m_ucAssignFunction, threshold);
    if (g_Utility.m_ucHostCount == 0) {
      std::printf("Assigned location can't find NVL device!!\r\n");
      vAutoExit(-4);
    }
  } else {
    g_Interctl.ScanPciBus(threshold);
  }

  m_bStartEnabled = g_Utility.m_bSettingsLoaded;
  vRunCommandLineActions();
  vUpdateAllMainResultSubItemTable();
  return true;
}

void CNVL720_MPToolDlg::vRunCommandLineActions() {
  const CmdLineOptions& o = m_Options;
  const int count = g_Utility.m_ucHostCount;
  auto& hosts = g_Utility.m_HostInfo;

  if (o.m_bShowFWVersion) {
    for (int i = 0; i < count; ++i) {
      PrintHostLine(i, hosts[i]);
      std::printf("SSID-->%s / SVID-->%s\r\n", hosts[i].strSSID.c_str(), hosts[i].strSVID.c_str());
      std::printf("Version-->%s\r\n\r\n", hosts[i].strFWVersion.c_str());
    }
    if (count == 0) std::printf("Device Not Found !!\n");
    if (!o.m_bAutoMode) vAutoExit(0);
  }

  if (o.m_bCompareFWVersion) {
    std::printf("Input Version is %s \r\n", o.m_strInputVersion.c_str());
    if (count == 0) {
      std::printf("DeviceNot Found!!\r\n\r\n\r\n");
      vAutoExit(-4);
    }
    for (int i = 0; i < count; ++i) {
      PrintHostLine(i, hosts[i]);
      std::printf("Version-->%s\r\n\r\n", hosts[i].strFWVersion.c_str());
      if (!nvl::EqualsIgnoringCase(o.m_strInputVersion, hosts[i].strFWVersion)) {
        std::printf("FAIL!!\r\n\r\n\r\n");
        vAutoExit(-2);
      }
      std::printf("PASS!!\r\n\r\n\r\n");
    }
    if (!o.m_bAutoMode) vAutoExit(0);
  }

  if (o.m_bOutputVersionFile) vAutoExit(g_Utility.WriteVersionReport());

  if (o.m_bCompareSubSysID) {
    std::printf("Input SSID/SVID is %s \r\n", o.m_strInputSubSysID.c_str());
    if (count == 0) {
      std::printf("DeviceNot Found!!\r\n\r\n\r\n");
      vAutoExit(-4);
    }
    for (int i = 0; i < count; ++i) {
      PrintHostLine(i, hosts[i]);
      const std::string ids = hosts[i].strSSID + "/" + hosts[i].strSVID;
      std::printf("SSID-->%s / SVID-->%s\r\n", hosts[i].strSSID.c_str(), hosts[i].strSVID.c_str());
      if (!nvl::EqualsIgnoringCase(ids, o.m_strInputSubSysID)) {
        std::printf("FAIL!!\r\n\r\n\r\n");
        vAutoExit(-10);
      }
      std::printf("PASS!!\r\n\r\n\r\n");
    }
    if (!o.m_bAutoMode) vAutoExit(0);
  }

  if (o.m_bAutoMode || o.m_bSignalTest || o.m_bFixtureTest) {
    if (o.m_bSignalTest) {
      g_Ini.signal_line_test_enable = 1;
      g_Ini.test_speed = o.m_ucTestSpeed;
      g_Ini.test_port = o.m_ucTestPort;
    }
    if (o.m_bFixtureTest) {
      g_Ini.fixture_test_enable = 1;
      g_Ini.test_speed = o.m_ucTestSpeed;
      g_Ini.test_port = o.m_ucTestPort;
    }
    OnBnClickedButtonStart();
  }
}

void CNVL720_MPToolDlg::OnBnClickedButtonStart() {
  LogMessage(1, "\r\n%s:%d: production run not available in this build",
             "CNVL720_MPToolDlg::OnBnClickedButtonStart", __LINE__);
  std::fprintf(stderr, "nvl7310-mptool: the production run is not part of this build yet.\n");
}
