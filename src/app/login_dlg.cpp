#include "app/login_dlg.h"

#include <strings.h>

#include "app/main_dlg.h"
#include "app/result_table.h"

namespace {

std::string TrimWhiteSpace(const std::string& s) {
  const char* ws = " \t\r\n\v\f";
  const size_t first = s.find_first_not_of(ws);
  if (first == std::string::npos) return {};
  const size_t last = s.find_last_not_of(ws);
  return s.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

void CLoginDlg::OnInitDialog() {
  m_strPassword.clear();
  m_strField.clear();
  m_strTitle = g_UiText.strLogin;
  m_strLabel = g_UiText.strPassword;
  m_strOkCaption = g_UiText.strOk;
  m_strCancelCaption = g_UiText.strCancel;
  m_bOpen = true;
  m_bForeground = false;
  m_nResult = 0;
}

void CLoginDlg::vSetPasswordField(const std::string& text) {
  m_strField = text.substr(0, kPasswordMax);
}

void CLoginDlg::OnBnClickedOk() {
  m_bForeground = true;
  m_strPassword = TrimWhiteSpace(m_strField);
  if (!m_strPassword.empty() && EqualsIgnoringCase(m_strPassword, kUnlockPassword)) {
    m_bUnlocked = true;
  } else if (!m_strPassword.empty() && EqualsIgnoringCase(m_strPassword, kDebugPassword)) {
    m_bUnlocked = true;
    m_bDebugMode = true;
  }
  m_bOpen = false;
  m_nResult = IDOK;
}

void CLoginDlg::OnBnClickedCancel() {
  m_bOpen = false;
  m_nResult = IDCANCEL;
}

bool CNVL720_MPToolDlg::OnBnClickedButtonUnlock(LoginPrompt& prompt) {
  if (m_bUnlocked) {
    m_bUnlocked = false;
    m_bDebugMode = false;
  } else {
    prompt.DoModal(m_LoginDlg);
  }
  m_strUnlockCaption = m_bUnlocked ? kUnlockCaptionUnlocked : kUnlockCaptionLocked;
  return m_bUnlocked;
}
