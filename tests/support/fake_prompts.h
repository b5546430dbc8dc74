// Test stand-ins for the window's modal prompts, for runs driven without a window.
#pragma once

#include <string>
#include <vector>

#include "app/sn_dlg.h"

namespace nvl::test {

// The serial number prompt answered by a scanner: each scan types its keys into the dialog and
// presses Enter; after the last scan Escape is pressed if the dialog is still open.  Blocks
// nothing: it answers on the asking thread.
class ScannerSerialNumberPrompt : public SerialNumberPrompt {
 public:
  ScannerSerialNumberPrompt(CSNDlg& dlg, std::vector<std::string> scans)
      : dlg_(dlg), scans_(std::move(scans)) {}
  int DoModal() override {
    ++shown;
    dlg_.OnInitDialog();
    for (const auto& scan : scans_) {
      for (const char key : scan)
        dlg_.OnEnChangeEditSN(dlg_.m_strField + key);
      if (dlg_.OnKeyEnter()) return IDOK;
    }
    dlg_.OnKeyEscape();
    return IDCANCEL;
  }
  int shown = 0;

 private:
  CSNDlg& dlg_;
  std::vector<std::string> scans_;
};

}  // namespace nvl::test
