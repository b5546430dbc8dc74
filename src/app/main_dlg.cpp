#include "app/main_dlg.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "hw/nvlio.h"
#include "platform/clock.h"

namespace {

constexpr int64_t kExitPauseMs = 1000;
std::atomic<bool> g_ending{false};

}  // namespace

CNVL720_MPToolDlg& MainDlg() {
  static CNVL720_MPToolDlg dlg;
  return dlg;
}

void CNVL720_MPToolDlg::vAutoExit(int32_t code) {
  // Timer 1 and the window belong to the operator window; the process ends here all the same.
  m_nExitCode = code;
  if (m_Options.m_bSilent || m_Options.m_bCmdLine) {
    std::printf("ErroCode [%d]\r\n", code);
    std::fflush(stdout);
    nvl::Clock::SleepMs(kExitPauseMs);
  }
  EndProcess(code);
}

void CNVL720_MPToolDlg::OnClose() {
  EndProcess(m_nExitCode.load());
}

void CNVL720_MPToolDlg::EndProcess(int32_t code) {
  // Only the first ending goes through; a second one (a signal during vAutoExit) waits for it.
  if (g_ending.exchange(true)) {
    for (;;)
      std::this_thread::sleep_for(std::chrono::hours(1));
  }
  UnloadNvlIODriver();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

void RunUntilClosed() {
  for (;;)
    std::this_thread::sleep_for(std::chrono::hours(1));
}

void InstallCloseSignals() {
  // A station script that stops reading the output must not take the exit code with it.
  signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    MainDlg().OnClose();
  }).detach();
}
