#include "app/login_dlg.h"

#include "app/main_dlg.h"
#include "app/result_table.h"
#include "platform/text.h"

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
  m_strPassword = nvl::TrimWhiteSpace(m_strField);
  if (!m_strPassword.empty() && nvl::EqualsIgnoringCase(m_strPassword, kUnlockPassword)) {
    m_bUnlocked = true;
  } else if (!m_strPassword.empty() && nvl::EqualsIgnoringCase(m_strPassword, kDebugPassword)) {
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
