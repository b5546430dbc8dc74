// CLoginDlg: the state of the login dialog that guards the operator window, and the access lock.
//
// The window starts locked.  The password "QUILTON" unlocks the settings; "RAVBEK" unlocks them
// and turns the debug mode on (the settings page then shows its external settings).  Both compare
// ignoring case after trimming white space at both ends.  A wrong or empty password closes the
// dialog and leaves the window locked, without a message.
//
// The two flags belong to the main window object (m_bUnlocked, m_bDebugMode; start-up resets
// them); the dialog is bound to them and writes them directly.
//
// The UnLock button (CNVL720_MPToolDlg::OnBnClickedButtonUnlock, implemented in login_dlg.cpp)
// locks when unlocked and otherwise shows the dialog through LoginPrompt, then sets its caption.
// Enabling the controls for the new state (vFinishRunGUI when unlocked, vApplyLockedGUI when
// locked) belongs to the window's enabling rules and is the caller's next step; until the window
// is built the caller reads m_bUnlocked.
#pragma once

#include <cstddef>
#include <string>

#include "app/dialog_result.h"

class CLoginDlg {
 public:
  static constexpr const char* kUnlockPassword = "QUILTON";
  static constexpr const char* kDebugPassword = "RAVBEK";
  static constexpr size_t kPasswordMax = 7;  // the password field's limit

  CLoginDlg(bool& unlocked, bool& debug_mode) : m_bUnlocked(unlocked), m_bDebugMode(debug_mode) {}
  virtual ~CLoginDlg() = default;
  CLoginDlg(const CLoginDlg&) = delete;
  CLoginDlg& operator=(const CLoginDlg&) = delete;

  // Dialog start: empty password text and field, the captions set, the dialog open.
  void OnInitDialog();
  // The operator typed or pasted into the password field: it keeps at most 7 characters.
  void vSetPasswordField(const std::string& text);
  // "Ok": checks the password and closes.
  void OnBnClickedOk();
  // "Cancel": closes without changes.
  void OnBnClickedCancel();

  // Field and dialog state.
  std::string m_strField;     // the password field (1073)
  std::string m_strPassword;  // the trimmed text read at Ok
  std::string m_strTitle;
  std::string m_strLabel;
  std::string m_strOkCaption;
  std::string m_strCancelCaption;
  bool m_bOpen = false;
  bool m_bForeground = false;
  int m_nResult = 0;  // IDOK or IDCANCEL once closed

  bool& m_bUnlocked;
  bool& m_bDebugMode;
};

// Shows the login dialog modally on the window thread and returns when it has closed.  The window
// implements it with its dialog; tests type into the state.
class LoginPrompt {
 public:
  virtual ~LoginPrompt() = default;
  virtual void DoModal(CLoginDlg& dlg) = 0;
};

// The UnLock button's captions.
inline constexpr const char* kUnlockCaptionFirst = "UnLock";
inline constexpr const char* kUnlockCaptionLocked = "Unlock MP Tool";
inline constexpr const char* kUnlockCaptionUnlocked = "Lock MP Tool";
