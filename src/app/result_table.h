// The result table: eight rows, one per host position, and the column layout of the page shown.
//
// The table's operations are members of the main window object (CNVL720_MPToolDlg, declared in
// app/main_dlg.h and implemented in app/result_table.cpp); they work on its result list
// (m_ListCtrlResult, a CListCtrlEx) and may be called from any thread.  This header holds what
// they share with their callers: the pages, the cell colour codes, the captions and the three
// column layouts.
//
// For the upgrade and test runners, which live below the application folder, the cell writes are
// offered through the ResultCells interface; the main window implements it.  When those runners
// are built the interface moves down beside them unchanged (it depends on nothing).
//
// Decisions of this implementation:
//   - A page value other than PAGE_UPGRADE and PAGE_TEST (the settings' init_main is not range
//     checked) shows, clears and logs the PAGE_MAIN layout.
//   - A cell text longer than 126 characters is cut to its first 126 (the cell's text buffer).
//   - A colour code other than the three below paints the cell white, like CELL_NEUTRAL.
//   - The pixel widths are the layout's; the view may scale them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/list_ctrl_ex.h"

// The pages of the window (the selected page chooses the layout).
inline constexpr uint8_t PAGE_MAIN = 0;
inline constexpr uint8_t PAGE_UPGRADE = 1;
inline constexpr uint8_t PAGE_TEST = 2;

// Cell colour codes.
inline constexpr uint8_t CELL_NEUTRAL = 0;
inline constexpr uint8_t CELL_PASS = 1;
inline constexpr uint8_t CELL_FAIL = 2;

// The background of a colour code.
COLORREF CellColour(uint8_t code);

// The longest text a cell keeps.
inline constexpr size_t RESULT_CELL_TEXT_MAX = 126;

// The caption and result texts of the window, built once.
struct UiText {
  std::string strHostNo = "H#";
  std::string strFWVersion = "FW Version";
  std::string strWRSR = "WRSR";
  std::string strBus = "Bus";
  std::string strDev = "Dev";
  std::string strFun = "Fun";
  std::string strSSID = "SSID";
  std::string strSVID = "SVID";
  std::string strUpdate = "Update";
  std::string strCheck = "Check";
  std::string strPCIeLink = "PCIe Link";
  std::string strPass = "PASS";
  std::string strFail = "FAIL";
  std::string strDoing = "doing";
  // The login dialog's captions.
  std::string strLogin = "Login";
  std::string strPassword = "Password";
  std::string strOk = "Ok";
  std::string strCancel = "Cancel";
};
extern const UiText g_UiText;

// The fixed port and test result captions.
inline constexpr const char* kCaptionUsb2Port1 = "USB2 Port1";
inline constexpr const char* kCaptionUsb2Port2 = "USB2 Port2";
inline constexpr const char* kCaptionUsb3Port1 = "USB3 Port1";
inline constexpr const char* kCaptionUsb3Port2 = "USB3 Port2";
inline constexpr const char* kCaptionUsb31Port1 = "USB3.1 Port1";
inline constexpr const char* kCaptionUsb31Port2 = "USB3.1 Port2";
inline constexpr const char* kCaptionSltResult = "SLT Result";
inline constexpr const char* kCaptionTtResult = "TT Result";
inline constexpr const char* kCaptionLtResult = "LT Result";

// One column of a layout: where it is inserted, its width in pixels and its caption.
struct ResultColumn {
  int nPosition = 0;
  int nWidth = 0;
  std::string strCaption;
  bool operator==(const ResultColumn&) const = default;
};

// The page whose layout `page` shows (PAGE_MAIN for values outside the three pages).
uint8_t ResultLayoutPage(uint8_t page);

// The layout of `page` with the captions assigned from g_UiText and the fixed texts.
std::vector<ResultColumn> ResultLayout(uint8_t page);

// Column numbers of the layouts (after insertion).
namespace result_col {
// PAGE_MAIN
inline constexpr int kMainUpdate = 7;
inline constexpr int kMainFirstPort = 8;  // six port columns: USB2 P1, P2, USB3 P1, P2, 3.1 P1, P2
inline constexpr int kMainSlt = 14;
inline constexpr int kMainTt = 15;
inline constexpr int kMainLt = 16;
// PAGE_UPGRADE
inline constexpr int kUpgradeWrsr = 2;
inline constexpr int kUpgradePcieLink = 8;
inline constexpr int kUpgradeUpdate = 9;
inline constexpr int kUpgradeCheck = 10;
// PAGE_TEST
inline constexpr int kTestFirstPort = 5;
inline constexpr int kTestSlt = 11;
inline constexpr int kTestTt = 12;
inline constexpr int kTestLt = 13;
}  // namespace result_col

// The result cells as the runners see them.  Rows are host positions 0..7, columns indexes of
// the current layout; calls may come from any thread.
class ResultCells {
 public:
  virtual ~ResultCells() = default;
  virtual void vShowResultItemTable(int row, uint8_t colour, int column,
                                    const std::string& text) = 0;
  virtual std::string strGetResultItemTable(int row, int column) = 0;
};
