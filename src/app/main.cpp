// nvl7310-mptool: the production-station tool.  See README.md.
#include <cstdio>

#include "app/main_dlg.h"
#include "platform/diag_log.h"

int main(int argc, char** argv) {
  InstallCloseSignals();
  nvl::CreateEventLogSink();
  CNVL720_MPToolDlg& dlg = MainDlg();
  dlg.m_Options.m_strCmdLine = BuildCommandText(argc, argv);
  dlg.OnInitDialog();
  if (!dlg.m_Options.m_bSilent && !dlg.m_Options.m_bCmdLine) {
    std::fprintf(stderr,
                 "nvl7310-mptool: this build has no operator window yet; the station stays up "
                 "without one until SIGINT or SIGTERM closes it.\n");
  }
  RunUntilClosed();
}
