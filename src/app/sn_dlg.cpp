#include "app/sn_dlg.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "config/ini.h"
#include "discovery/utility.h"
#include "platform/clock.h"

namespace {

bool AnyHostPresent() {
  for (const auto& h : g_Utility.m_HostInfo)
    if (h.ucIndex != HOST_INDEX_NONE) return true;
  return false;
}

std::string Upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void CSNDlg::OnInitDialog() {
  m_strField.clear();
  m_nSelStart = m_nSelEnd = 0;
  m_strSN.clear();
  g_Ini.szBarCode.clear();  // kept in step with the field
  m_bOpen = true;
  m_nResult = 0;
  m_bFocusInField = true;
  m_bTopmost = true;
}

void CSNDlg::OnEnChangeEditSN(const std::string& text, size_t sel_start, size_t sel_end) {
  if (!AnyHostPresent()) {
    m_strField.clear();
    m_nSelStart = m_nSelEnd = 0;
    m_strSN.clear();
    g_Ini.szBarCode.clear();
    return;
  }
  std::string kept;
  const size_t n = std::min(text.size(), kFieldReadMax);
  for (size_t i = 0; i < n && kept.size() < kSerialMax; ++i)
    if (std::isxdigit(static_cast<unsigned char>(text[i]))) kept += text[i];
  m_strSN = Upper(kept);
  m_strField = m_strSN;
  // The caret stays where it was, as far as the shorter text allows.
  m_nSelStart = std::min(sel_start, m_strField.size());
  m_nSelEnd = std::min(sel_end, m_strField.size());
  g_Ini.szBarCode = m_strSN.substr(0, INI_TEXT_MAX);
}

size_t CSNDlg::nRequiredLength() {
  const int32_t wanted = g_Ini.SN_Numbers;
  return wanted > 0 ? static_cast<size_t>(wanted) : static_cast<size_t>(kDefaultMinLength);
}

bool CSNDlg::OnKeyEnter() {
  if (!m_bOpen) return false;
  m_strSN = Upper(m_strSN);
  if (m_strSN.size() >= nRequiredLength()) {
    m_bOpen = false;
    m_nResult = IDOK;
    return true;
  }
  m_strSN.clear();
  m_strField.clear();
  m_nSelStart = m_nSelEnd = 0;
  g_Ini.szBarCode.clear();
  return false;
}

void CSNDlg::OnKeyEscape() {
  if (!m_bOpen) return;
  m_bOpen = false;
  m_nResult = IDCANCEL;
}

void CSNDlg::PreTranslateMessage() {
  m_bTopmost = true;
  m_bFocusInField = true;
}

int CSNPromptGate::DoModal() {
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_Dlg.OnInitDialog();
    m_bPending = true;
    listener = m_ShowListener;
  }
  if (listener) listener();
  std::unique_lock<std::mutex> lock(m_cs);
  // Wake now and then to see whether this thread's stop was requested.
  while (m_bPending) {
    m_cv.wait_for(lock, std::chrono::milliseconds(50));
    if (m_bPending && nvl::Clock::StopRequested()) {
      m_Dlg.OnKeyEscape();
      vCloseLocked();
    }
  }
  return m_Dlg.m_nResult;
}

void CSNPromptGate::SetShowListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(m_cs);
  m_ShowListener = std::move(listener);
}

bool CSNPromptGate::bPending() const {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_bPending;
}

void CSNPromptGate::OnEnChangeEditSN(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_cs);
  if (m_bPending) m_Dlg.OnEnChangeEditSN(text);
}

void CSNPromptGate::OnKeyEnter() {
  std::lock_guard<std::mutex> lock(m_cs);
  if (m_bPending && m_Dlg.OnKeyEnter()) vCloseLocked();
}

void CSNPromptGate::OnKeyEscape() {
  std::lock_guard<std::mutex> lock(m_cs);
  if (!m_bPending) return;
  m_Dlg.OnKeyEscape();
  vCloseLocked();
}

std::string CSNPromptGate::strField() const {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_Dlg.m_strField;
}

void CSNPromptGate::vShutdown() {
  std::lock_guard<std::mutex> lock(m_cs);
  if (!m_bPending) return;
  m_Dlg.OnKeyEscape();
  vCloseLocked();
}

void CSNPromptGate::vCloseLocked() {
  m_bPending = false;
  m_cv.notify_all();
}
