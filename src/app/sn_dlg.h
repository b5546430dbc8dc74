// CSNDlg: the state of the serial number dialog ("Serial Number Entering").
//
// A bar-code scanner types the board's serial number into the one field and presses Enter.  The
// field keeps only hexadecimal characters (at most 16, upper case) and only while a host is in
// the table; Enter accepts a number of at least the required length (SN_Numbers, or 12 when it
// is 0) and closes with OK; Escape closes with Cancel.  g_Ini.szBarCode, which the daily result
// log reads, is kept in step with the field: the filtered text after every change, and empty
// whenever the field is emptied (dialog start, a number discarded at Enter, no host present).
//
// The dialog is asked for from the run thread.  SerialNumberPrompt is the question as the run
// sees it: DoModal blocks the calling thread until the operator has answered.  The window answers
// it through CSNPromptGate, which hands the dialog to the window's event loop and wakes the run
// thread when the dialog closes; the event loop itself never waits.
//
// Decisions of this implementation:
//   - A negative SN_Numbers is treated like 0 (the built-in 12): with it an empty serial number
//     would be accepted and logged.
//   - Keeping the scanner's keystrokes in the field is the view's part: the state says where the
//     focus belongs (m_bFocusInField) and that the dialog stays in front (m_bTopmost); the view
//     brings the dialog to the foreground and restores the focus on every message it sees.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

#include "app/dialog_result.h"

class CSNDlg {
 public:
  static constexpr const char* kTitle = "Serial Number Entering";
  static constexpr const char* kLabel = "Serial Number :";
  static constexpr size_t kFieldReadMax = 127;  // characters of the field taken per change
  static constexpr size_t kSerialMax = 16;      // hexadecimal characters kept
  static constexpr int kDefaultMinLength = 12;

  CSNDlg() = default;
  virtual ~CSNDlg() = default;

  // Dialog start: empty field and m_strSN, focus in the field, dialog in front and open.
  void OnInitDialog();
  // The field's text changed to `text`, with the caret selection [sel_start, sel_end).
  void OnEnChangeEditSN(const std::string& text, size_t sel_start, size_t sel_end);
  void OnEnChangeEditSN(const std::string& text) {
    OnEnChangeEditSN(text, text.size(), text.size());
  }
  // Enter: true when the number was accepted (the dialog closed with OK).
  bool OnKeyEnter();
  // Escape: closes with Cancel.
  void OnKeyEscape();
  // Any message the dialog sees: it comes to the front and the focus goes back to the field.
  void PreTranslateMessage();

  // The required length under the current settings.
  static size_t nRequiredLength();

  // Field state (edit 1109): its text and caret selection.
  std::string m_strField;
  size_t m_nSelStart = 0;
  size_t m_nSelEnd = 0;
  // The filtered serial number bound to the field.
  std::string m_strSN;
  // Dialog state.
  bool m_bOpen = false;
  int m_nResult = 0;  // IDOK or IDCANCEL once closed
  bool m_bFocusInField = false;
  bool m_bTopmost = false;
  // The dialog's own OK and Cancel buttons are hidden: Enter and Escape close it.
  const bool m_bOkShown = false;
  const bool m_bCancelShown = false;
};

// The serial number question as the run thread asks it: blocks until answered, returns IDOK or
// IDCANCEL.
class SerialNumberPrompt {
 public:
  virtual ~SerialNumberPrompt() = default;
  virtual int DoModal() = 0;
};

// The window's side of the question.  DoModal (run thread) opens the dialog, calls the show
// listener (the view posts the showing to its event loop) and waits; the window thread forwards
// the field's changes and the keys, and the key that closes the dialog wakes the run thread.
// A stop requested on the waiting thread (nvl::Clock stop token) or vShutdown answers Cancel.
class CSNPromptGate : public SerialNumberPrompt {
 public:
  explicit CSNPromptGate(CSNDlg& dlg) : m_Dlg(dlg) {}

  int DoModal() override;

  // Called (on the asking thread, without the lock held) when the dialog is to be shown.
  void SetShowListener(std::function<void()> listener);

  // --- window thread ---
  bool bPending() const;
  void OnEnChangeEditSN(const std::string& text);
  void OnKeyEnter();
  void OnKeyEscape();
  // The field's text and the serial number as the view shows them.
  std::string strField() const;
  // Ends a pending question with Cancel (the window closes).
  void vShutdown();

 private:
  void vCloseLocked();

  CSNDlg& m_Dlg;
  mutable std::mutex m_cs;
  std::condition_variable m_cv;
  bool m_bPending = false;
  std::function<void()> m_ShowListener;
};
