// CNVL720_MPToolDlg: the main window's state object.  It holds the command-line state, the exit
// code and the run flag, runs start-up (OnInitDialog) and is the one place that ends the process
// (vAutoExit, OnClose).  The operator window renders it; a silent run needs no window.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/list_ctrl_ex.h"
#include "app/login_dlg.h"
#include "app/options.h"
#include "app/result_table.h"
#include "app/sn_dlg.h"

class CNVL720_MPToolDlg : public ResultCells {
 public:
  CNVL720_MPToolDlg() = default;
  virtual ~CNVL720_MPToolDlg() = default;

  // Start-up.  Returns true when the window is to stay; the command-line actions end the
  // process inside it.
  bool OnInitDialog();

  // Ends the process with `code`: prints "ErroCode [code]" and pauses in command-line mode,
  // unloads the IO driver, exits.  Never returns.
  [[noreturn]] void vAutoExit(int32_t code);
  // The window's close request: unload, exit with m_nExitCode.  Never returns.
  [[noreturn]] void OnClose();

  // The Start command (the Start button).  The production run is not part of this build yet:
  // the command says so on stderr and the process stays up as a window run would.
  void OnBnClickedButtonStart();

  CmdLineOptions m_Options;
  // Window state that start-up sets; the operator window renders it.
  bool m_bStartEnabled = false;
  bool m_bUnlocked = false;
  bool m_bDebugMode = false;
  uint8_t m_nPage = 0;
  std::atomic<int32_t> m_nExitCode{0};
  std::atomic<uint8_t> m_bRunFromMain{0};
  std::string m_strSettingsPath;
  // The host-table lock of the refresh thread.  It lives as long as the process: ending the
  // process releases it, so no thread can meet a deleted lock.
  std::recursive_mutex m_csHostTable;

  // --- result table (app/result_table.cpp; layouts and colours in app/result_table.h) ---
  // Rebuilds the table for the page now selected: the layout's columns, the 8 rows, the cells.
  void vRebuildResultTable();
  void vSetMainResultHeader();
  void vSetMainResultItemTable();
  void vShowResultItemTable(int row, uint8_t colour, int column, const std::string& text) override;
  std::string strGetResultItemTable(int row, int column) override;
  void vClearCtrlListHostInfoTable();
  void vUpdateResultFixedItem(int position);
  void vUpdateAllMainResultSubItemTable();
  // Appends the run to the daily result log in the program's directory.
  void vWriteResultLog();
  CListCtrlEx m_ListCtrlResult;

  // --- serial number dialog and access lock (app/sn_dlg.h, app/login_dlg.h) ---
  CSNDlg m_SNDlg;
  CSNPromptGate m_SNPrompt{m_SNDlg};
  CLoginDlg m_LoginDlg{m_bUnlocked, m_bDebugMode};
  std::string m_strUnlockCaption = kUnlockCaptionFirst;
  // The UnLock button: locks, or asks for the password; sets the caption.  Returns m_bUnlocked.
  bool OnBnClickedButtonUnlock(LoginPrompt& prompt);

 private:
  [[noreturn]] void EndProcess(int32_t code);
  // The command-line actions /D, /T, /O, /I and the automatic Start of /A, /G, /F.
  void vRunCommandLineActions();
};

// The process-wide main window object.
CNVL720_MPToolDlg& MainDlg();

// Waits (on the calling thread) until the process is ended from elsewhere: by vAutoExit, or by
// SIGINT/SIGTERM, which end it the way the window's close request does.
[[noreturn]] void RunUntilClosed();

// Blocks SIGINT and SIGTERM in the calling thread (call first in main, before any thread starts)
// and starts the thread that turns them into OnClose.
void InstallCloseSignals();
