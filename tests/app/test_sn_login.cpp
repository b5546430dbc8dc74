// The serial number dialog (filter, length rules, the blocking prompt) and the login dialog
// with the access lock.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <stop_token>
#include <thread>

#include "app/login_dlg.h"
#include "app/main_dlg.h"
#include "app/sn_dlg.h"
#include "config/ini.h"
#include "discovery/utility.h"
#include "platform/clock.h"
#include "support/fake_prompts.h"

namespace {

class SnDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_Utility.vResetForTest();
    g_Ini.vResetForTest();
    g_Utility.vBlankHostTable();
    g_Utility.m_HostInfo[0].ucIndex = 0;  // one host found by the last scan
    g_Utility.m_ucHostCount = 1;
    dlg.OnInitDialog();
  }
  void TearDown() override {
    g_Utility.vResetForTest();
    g_Ini.vResetForTest();
  }
  // A scanner types `keys` one by one: each keystroke changes the field.
  void Scan(const std::string& keys) {
    for (const char k : keys)
      dlg.OnEnChangeEditSN(dlg.m_strField + k);
  }
  CSNDlg dlg;
};

TEST_F(SnDlgTest, StartState) {
  dlg.m_strField = "junk";
  dlg.m_strSN = "junk";
  g_Ini.szBarCode = "junk";
  dlg.OnInitDialog();
  EXPECT_EQ(g_Ini.szBarCode, "");
  EXPECT_EQ(dlg.m_strField, "");
  EXPECT_EQ(dlg.m_strSN, "");
  EXPECT_TRUE(dlg.m_bOpen);
  EXPECT_TRUE(dlg.m_bFocusInField);
  EXPECT_FALSE(dlg.m_bOkShown);
  EXPECT_FALSE(dlg.m_bCancelShown);
  EXPECT_STREQ(CSNDlg::kTitle, "Serial Number Entering");
  EXPECT_STREQ(CSNDlg::kLabel, "Serial Number :");
}

TEST_F(SnDlgTest, ScanKeepsHexUpperCaseAndAcceptsTheRequiredLength) {
  g_Ini.SN_Numbers = 6;
  Scan("ab-12:cd");
  EXPECT_EQ(dlg.m_strSN, "AB12CD");
  EXPECT_EQ(dlg.m_strField, "AB12CD");
  EXPECT_EQ(g_Ini.szBarCode, "AB12CD");
  EXPECT_TRUE(dlg.OnKeyEnter());
  EXPECT_FALSE(dlg.m_bOpen);
  EXPECT_EQ(dlg.m_nResult, IDOK);
  EXPECT_EQ(g_Ini.szBarCode, "AB12CD");
}

TEST_F(SnDlgTest, AnyMessageBringsTheFocusBack) {
  dlg.m_bFocusInField = false;
  dlg.m_bTopmost = false;
  dlg.PreTranslateMessage();
  EXPECT_TRUE(dlg.m_bFocusInField);
  EXPECT_TRUE(dlg.m_bTopmost);
}

TEST_F(SnDlgTest, FilterTable) {
  const struct {
    const char* typed;
    const char* kept;
  } cases[] = {
      {"0123456789abcdefABCDEF", "0123456789ABCDEF"},  // stops after 16
      {"ghij klmn", ""},                               // nothing hexadecimal
      {"  12 34\t56\r\n", "123456"},                   // white space dropped
      {"x1y2z3", "123"},
      {"\xc3\xa9"
       "a1",
       "A1"},  // bytes outside ASCII dropped
  };
  for (const auto& c : cases) {
    dlg.OnInitDialog();
    dlg.OnEnChangeEditSN(c.typed);
    EXPECT_EQ(dlg.m_strSN, c.kept) << c.typed;
    EXPECT_EQ(dlg.m_strField, c.kept) << c.typed;
    EXPECT_EQ(g_Ini.szBarCode, c.kept) << c.typed;
  }
}

TEST_F(SnDlgTest, TwentyCharacterScanKeepsTheFirstSixteen) {
  Scan("0123456789abcdef9876");
  EXPECT_EQ(dlg.m_strSN, "0123456789ABCDEF");
}

TEST_F(SnDlgTest, OnlyTheFirst127CharactersOfTheFieldAreRead) {
  dlg.OnEnChangeEditSN(std::string(127, 'z') + "abc");
  EXPECT_EQ(dlg.m_strSN, "");
  dlg.OnEnChangeEditSN(std::string(126, 'z') + "abc");
  EXPECT_EQ(dlg.m_strSN, "A");
}

TEST_F(SnDlgTest, CaretIsKeptWithinTheFilteredText) {
  dlg.OnEnChangeEditSN("a-b-c", 3, 5);
  EXPECT_EQ(dlg.m_strField, "ABC");
  EXPECT_EQ(dlg.m_nSelStart, 3u);
  EXPECT_EQ(dlg.m_nSelEnd, 3u);
  dlg.OnEnChangeEditSN("abcd", 1, 2);
  EXPECT_EQ(dlg.m_nSelStart, 1u);
  EXPECT_EQ(dlg.m_nSelEnd, 2u);
}

TEST_F(SnDlgTest, WithoutHostsTheFieldStaysEmpty) {
  g_Utility.vBlankHostTable();
  g_Ini.szBarCode = "OLD";
  Scan("abc123");
  EXPECT_EQ(dlg.m_strField, "");
  EXPECT_EQ(dlg.m_strSN, "");
  EXPECT_EQ(g_Ini.szBarCode, "");
}

TEST_F(SnDlgTest, HostAtAnyPositionCounts) {
  g_Utility.vBlankHostTable();
  g_Utility.m_HostInfo[7].ucIndex = 7;
  Scan("abc");
  EXPECT_EQ(dlg.m_strSN, "ABC");
}

TEST_F(SnDlgTest, LengthRules) {
  const struct {
    int32_t sn_numbers;
    size_t length;
    bool accepted;
  } cases[] = {
      {0, 11, false}, {0, 12, true},   {0, 16, true},   {6, 5, false},  {6, 6, true},
      {16, 16, true}, {17, 16, false}, {-3, 11, false}, {-3, 12, true}, {1, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sn_numbers << " / " << c.length);
    g_Ini.SN_Numbers = c.sn_numbers;
    dlg.OnInitDialog();
    dlg.OnEnChangeEditSN(std::string("0123456789ABCDEF").substr(0, c.length));
    EXPECT_EQ(dlg.OnKeyEnter(), c.accepted);
    EXPECT_EQ(dlg.m_bOpen, !c.accepted);
    if (c.accepted) {
      EXPECT_EQ(dlg.m_nResult, IDOK);
      EXPECT_EQ(dlg.m_strSN.size(), c.length);
    } else {
      // A short number is discarded and the operator scans again.
      EXPECT_EQ(dlg.m_strSN, "");
      EXPECT_EQ(dlg.m_strField, "");
      EXPECT_EQ(g_Ini.szBarCode, "");
    }
  }
}

TEST_F(SnDlgTest, EmptyNumberIsNeverAccepted) {
  g_Ini.SN_Numbers = -1;
  EXPECT_FALSE(dlg.OnKeyEnter());
  EXPECT_TRUE(dlg.m_bOpen);
}

TEST_F(SnDlgTest, EscapeCancelsAndKeepsWhatWasTyped) {
  Scan("12ab");
  dlg.OnKeyEscape();
  EXPECT_FALSE(dlg.m_bOpen);
  EXPECT_EQ(dlg.m_nResult, IDCANCEL);
  EXPECT_EQ(g_Ini.szBarCode, "12AB");  // the log carries the number as typed so far
}

// The run thread asks; the window thread answers.  The asking thread is blocked until Enter.
TEST_F(SnDlgTest, PromptBlocksTheAskingThreadUntilAnswered) {
  g_Ini.SN_Numbers = 4;
  CSNPromptGate gate(dlg);
  std::promise<void> shown;
  gate.SetShowListener([&] { shown.set_value(); });
  auto answer = std::async(std::launch::async, [&] { return gate.DoModal(); });
  shown.get_future().wait();
  EXPECT_TRUE(gate.bPending());
  gate.OnEnChangeEditSN("ab");
  EXPECT_EQ(g_Ini.szBarCode, "AB");
  gate.OnKeyEnter();  // too short: still waiting, field emptied
  EXPECT_TRUE(gate.bPending());
  EXPECT_EQ(gate.strField(), "");
  EXPECT_EQ(g_Ini.szBarCode, "");
  gate.OnEnChangeEditSN("ab12");
  gate.OnKeyEnter();
  EXPECT_EQ(answer.get(), IDOK);
  EXPECT_FALSE(gate.bPending());
  EXPECT_EQ(g_Ini.szBarCode, "AB12");
  // Keys after the dialog closed change nothing.
  gate.OnEnChangeEditSN("ffff");
  EXPECT_EQ(g_Ini.szBarCode, "AB12");
}

TEST_F(SnDlgTest, PromptEscapeAndShutdownAnswerCancel) {
  CSNPromptGate gate(dlg);
  {
    std::promise<void> shown;
    gate.SetShowListener([&] { shown.set_value(); });
    auto answer = std::async(std::launch::async, [&] { return gate.DoModal(); });
    shown.get_future().wait();
    gate.OnKeyEscape();
    EXPECT_EQ(answer.get(), IDCANCEL);
  }
  {
    std::promise<void> shown;
    gate.SetShowListener([&] { shown.set_value(); });
    auto answer = std::async(std::launch::async, [&] { return gate.DoModal(); });
    shown.get_future().wait();
    gate.vShutdown();
    EXPECT_EQ(answer.get(), IDCANCEL);
  }
}

TEST_F(SnDlgTest, StoppedRunThreadStopsWaiting) {
  CSNPromptGate gate(dlg);
  std::stop_source stop;
  std::promise<void> shown;
  gate.SetShowListener([&] { shown.set_value(); });
  auto answer = std::async(std::launch::async, [&] {
    nvl::StopScope scope(stop.get_token());
    return gate.DoModal();
  });
  shown.get_future().wait();
  stop.request_stop();
  EXPECT_EQ(answer.get(), IDCANCEL);
  EXPECT_FALSE(gate.bPending());
}

// --- login dialog and access lock ---

class LoginTest : public ::testing::Test {
 protected:
  bool unlocked = false;
  bool debug = false;
  CLoginDlg dlg{unlocked, debug};
};

TEST_F(LoginTest, StartStateAndCaptions) {
  dlg.m_strField = "x";
  dlg.m_strPassword = "y";
  dlg.OnInitDialog();
  EXPECT_EQ(dlg.m_strField, "");
  EXPECT_EQ(dlg.m_strPassword, "");
  EXPECT_EQ(dlg.m_strTitle, "Login");
  EXPECT_EQ(dlg.m_strLabel, "Password");
  EXPECT_EQ(dlg.m_strOkCaption, "Ok");
  EXPECT_EQ(dlg.m_strCancelCaption, "Cancel");
  EXPECT_TRUE(dlg.m_bOpen);
}

TEST_F(LoginTest, PasswordTable) {
  const struct {
    const char* typed;
    bool unlocked;
    bool debug;
  } cases[] = {
      {"QUILTON", true, false},   {"quilton", true, false}, {"QuIlToN", true, false},
      {"RAVBEK", true, true},     {"ravbek", true, true},   {" rAvBeK", true, true},
      {"ravbek ", true, true},    {"\travbek", true, true}, {"", false, false},
      {"       ", false, false},  {"QUILTO", false, false}, {"RAVBEKX", false, false},
      {"quilto n", false, false}, {"secret", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    unlocked = debug = false;
    dlg.OnInitDialog();
    dlg.vSetPasswordField(c.typed);
    dlg.OnBnClickedOk();
    EXPECT_EQ(unlocked, c.unlocked);
    EXPECT_EQ(debug, c.debug);
    EXPECT_FALSE(dlg.m_bOpen);  // the dialog closes in every case
  }
}

TEST_F(LoginTest, FieldKeepsAtMostSevenCharacters) {
  dlg.OnInitDialog();
  dlg.vSetPasswordField("quilton1234");
  EXPECT_EQ(dlg.m_strField, "quilton");
  dlg.OnBnClickedOk();
  EXPECT_TRUE(unlocked);  // the extra characters never reached the field
  // With the limit, the unlock password does not fit between spaces.
  unlocked = false;
  dlg.OnInitDialog();
  dlg.vSetPasswordField(" quilton ");
  EXPECT_EQ(dlg.m_strField, " quilto");
  dlg.OnBnClickedOk();
  EXPECT_FALSE(unlocked);
}

TEST_F(LoginTest, TrimmedPasswordIsKept) {
  dlg.OnInitDialog();
  dlg.vSetPasswordField(" ravbek");
  dlg.OnBnClickedOk();
  EXPECT_EQ(dlg.m_strPassword, "ravbek");
}

TEST_F(LoginTest, CancelChangesNothing) {
  dlg.OnInitDialog();
  dlg.vSetPasswordField("RAVBEK");
  dlg.OnBnClickedCancel();
  EXPECT_FALSE(unlocked);
  EXPECT_FALSE(debug);
  EXPECT_EQ(dlg.m_nResult, IDCANCEL);
  EXPECT_FALSE(dlg.m_bOpen);
}

// The operator at the login dialog: types a password and presses Ok (or Cancel).
class TypingLogin : public LoginPrompt {
 public:
  explicit TypingLogin(std::string password, bool cancel = false)
      : password_(std::move(password)), cancel_(cancel) {}
  void DoModal(CLoginDlg& dlg) override {
    ++shown;
    dlg.OnInitDialog();
    dlg.vSetPasswordField(password_);
    if (cancel_)
      dlg.OnBnClickedCancel();
    else
      dlg.OnBnClickedOk();
  }
  int shown = 0;

 private:
  std::string password_;
  bool cancel_;
};

TEST(AccessLock, UnlockButtonCyclesThroughTheStates) {
  auto main = std::make_unique<CNVL720_MPToolDlg>();
  EXPECT_EQ(main->m_strUnlockCaption, "UnLock");
  EXPECT_FALSE(main->m_bUnlocked);

  TypingLogin wrong("nope");
  EXPECT_FALSE(main->OnBnClickedButtonUnlock(wrong));
  EXPECT_EQ(wrong.shown, 1);
  EXPECT_EQ(main->m_strUnlockCaption, "Unlock MP Tool");

  TypingLogin unlock(" quilto");  // cut by the field: stays locked
  EXPECT_FALSE(main->OnBnClickedButtonUnlock(unlock));

  TypingLogin debug("RaVbEk");
  EXPECT_TRUE(main->OnBnClickedButtonUnlock(debug));
  EXPECT_TRUE(main->m_bUnlocked);
  EXPECT_TRUE(main->m_bDebugMode);
  EXPECT_EQ(main->m_strUnlockCaption, "Lock MP Tool");

  // Pressing it while unlocked locks without asking.
  TypingLogin unused("QUILTON");
  EXPECT_FALSE(main->OnBnClickedButtonUnlock(unused));
  EXPECT_EQ(unused.shown, 0);
  EXPECT_FALSE(main->m_bUnlocked);
  EXPECT_FALSE(main->m_bDebugMode);
  EXPECT_EQ(main->m_strUnlockCaption, "Unlock MP Tool");

  TypingLogin plain("quilton");
  EXPECT_TRUE(main->OnBnClickedButtonUnlock(plain));
  EXPECT_TRUE(main->m_bUnlocked);
  EXPECT_FALSE(main->m_bDebugMode);

  TypingLogin cancelled("RAVBEK", true);
  main->OnBnClickedButtonUnlock(unused);  // lock again
  EXPECT_FALSE(main->OnBnClickedButtonUnlock(cancelled));
  EXPECT_FALSE(main->m_bDebugMode);
}

}  // namespace

namespace nvl::test {
namespace {

TEST_F(SnDlgTest, ScannerRetriesAfterAShortScan) {
  ScannerSerialNumberPrompt prompt(dlg, {"12345678901", "0123456789ab"});
  EXPECT_EQ(prompt.DoModal(), IDOK);
  EXPECT_EQ(g_Ini.szBarCode, "0123456789AB");
  ScannerSerialNumberPrompt short_only(dlg, {"12345678901"});
  EXPECT_EQ(short_only.DoModal(), IDCANCEL);
  EXPECT_EQ(g_Ini.szBarCode, "");  // discarded at Enter with the field
}

}  // namespace
}  // namespace nvl::test
