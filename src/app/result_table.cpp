#include "app/result_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "app/daily_log.h"
#include "app/main_dlg.h"
#include "config/ini.h"
#include "discovery/utility.h"
#include "platform/diag_log.h"
#include "platform/program_paths.h"

const UiText g_UiText{};

COLORREF CellColour(uint8_t code) {
  switch (code) {
    case CELL_PASS:
      return RGB(0, 255, 0);
    case CELL_FAIL:
      return RGB(255, 0, 0);
    default:
      return RGB(255, 255, 255);
  }
}

uint8_t ResultLayoutPage(uint8_t page) {
  return page == PAGE_UPGRADE || page == PAGE_TEST ? page : PAGE_MAIN;
}

std::vector<ResultColumn> ResultLayout(uint8_t page) {
  const UiText& u = g_UiText;
  switch (ResultLayoutPage(page)) {
    case PAGE_UPGRADE:
      return {{0, 36, u.strHostNo},
              {1, 110, u.strFWVersion},
              {2, 44, u.strWRSR},
              {3, 32, u.strBus},
              {4, 32, u.strDev},
              {5, 32, u.strFun},
              {6, 40, u.strSSID},
              {7, 40, u.strSVID},
              {8, 60, u.strPCIeLink},
              // Inserted past the end, so they become columns 9 and 10.
              {16, 60, u.strUpdate},
              {17, 60, u.strCheck}};
    case PAGE_TEST:
      return {{0, 36, u.strHostNo},
              {1, 110, u.strFWVersion},
              {2, 32, u.strBus},
              {3, 32, u.strDev},
              {4, 32, u.strFun},
              {5, 84, kCaptionUsb2Port1},
              {6, 84, kCaptionUsb2Port2},
              {7, 84, kCaptionUsb3Port1},
              {8, 84, kCaptionUsb3Port2},
              {9, 84, kCaptionUsb31Port1},
              {10, 84, kCaptionUsb31Port2},
              {11, 78, kCaptionSltResult},
              {12, 78, kCaptionTtResult},
              {13, 78, kCaptionLtResult}};
    default:
      return {{0, 26, u.strHostNo},
              {1, 110, u.strFWVersion},
              {2, 32, u.strBus},
              {3, 32, u.strDev},
              {4, 32, u.strFun},
              {5, 40, u.strSSID},
              {6, 40, u.strSVID},
              {7, 68, u.strUpdate},
              {8, 68, kCaptionUsb2Port1},
              {9, 68, kCaptionUsb2Port2},
              {10, 68, kCaptionUsb3Port1},
              {11, 68, kCaptionUsb3Port2},
              {12, 78, kCaptionUsb31Port1},
              {13, 78, kCaptionUsb31Port2},
              {14, 66, kCaptionSltResult},
              {15, 66, kCaptionTtResult},
              {16, 66, kCaptionLtResult}};
  }
}

namespace {

constexpr int kRows = HOST_MAX;

std::string Dec(int v) {
  return std::to_string(v);
}

std::string Hex2(uint8_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", v);
  return text;
}

}  // namespace

void CNVL720_MPToolDlg::vRebuildResultTable() {
  vSetMainResultHeader();
  vSetMainResultItemTable();
  vUpdateAllMainResultSubItemTable();
}

void CNVL720_MPToolDlg::vSetMainResultHeader() {
  try {
    m_ListCtrlResult.DeleteAllRowData();
    m_ListCtrlResult.DeleteAllItems();
    m_ListCtrlResult.DeleteAllColumns();
    m_ListCtrlResult.SetExtendedStyle(m_ListCtrlResult.GetExtendedStyle() | LVS_EX_GRIDLINES |
                                      LVS_EX_FULLROWSELECT | LVS_EX_FLATSB);
    for (const auto& col : ResultLayout(m_nPage))
      m_ListCtrlResult.InsertColumn(col.nPosition, col.strCaption, col.nWidth);
  } catch (...) {
    LogMessage(1,
               "\r\n%s:%d: vSetMainResultHeader: ucMainResultColumnCount : %d , "
               "ucMainResultTotalCount : %d , dwErrorCode %d",
               "CNVL720_MPToolDlg::vSetMainResultHeader", __LINE__, 0, 0, errno);
  }
}

void CNVL720_MPToolDlg::vSetMainResultItemTable() {
  int row = 0;
  try {
    m_ListCtrlResult.DeleteAllRowData();
    m_ListCtrlResult.DeleteAllItems();
    for (row = 0; row < kRows; ++row) {
      const int index = m_ListCtrlResult.InsertItem(row, Dec(row));
      m_ListCtrlResult.SetRowData(index, 0);
    }
  } catch (...) {
    LogMessage(1, "\r\n%s:%d: vSetMainResultItemTable: Idx/Max = [%d] , dwErrorCode %d",
               "CNVL720_MPToolDlg::vSetMainResultItemTable", __LINE__, row, errno);
  }
}

void CNVL720_MPToolDlg::vShowResultItemTable(int row, uint8_t colour, int column,
                                             const std::string& text) {
  try {
    m_ListCtrlResult.SetCellColorAndText(row, column, CellColour(colour),
                                         text.substr(0, RESULT_CELL_TEXT_MAX));
  } catch (...) {
    LogMessage(1, "\r\n%s:%d: vUpdateResultItemTable: dwErrorCode : %d ",
               "CNVL720_MPToolDlg::vShowResultItemTable", __LINE__, errno);
  }
}

std::string CNVL720_MPToolDlg::strGetResultItemTable(int row, int column) {
  try {
    return m_ListCtrlResult.GetItemText(row, column);
  } catch (...) {
    LogMessage(1, "\r\n%s:%d: vUpdateResultItemTable: dwErrorCode : %d ",
               "CNVL720_MPToolDlg::strGetResultItemTable", __LINE__, errno);
    return {};
  }
}

void CNVL720_MPToolDlg::vClearCtrlListHostInfoTable() {
  try {
    std::vector<int> columns;
    switch (ResultLayoutPage(m_nPage)) {
      case PAGE_TEST:
        for (int c = 5; c <= 13; ++c)
          columns.push_back(c);
        break;
      case PAGE_UPGRADE:
        columns = {2, 6, 7, 8, 9, 10};
        break;
      default:
        for (int c = 7; c <= 16; ++c)
          columns.push_back(c);
        break;
    }
    for (int row = 0; row < kRows; ++row)
      for (const int c : columns)
        vShowResultItemTable(row, CELL_NEUTRAL, c, "");
  } catch (...) {
    LogMessage(1, "\r\n%s:%d: vClearCtrlListHostInfoTable: dwErrorCode : %d ",
               "CNVL720_MPToolDlg::vClearCtrlListHostInfoTable", __LINE__, errno);
  }
}

void CNVL720_MPToolDlg::vUpdateResultFixedItem(int position) {
  try {
    // A position outside the table names no record.
    if (position < 0 || position >= HOST_MAX) return;
    const HostInfo& h = g_Utility.m_HostInfo[position];
    const int row = h.ucIndex;
    auto put = [&](int column, const std::string& text) {
      vShowResultItemTable(row, CELL_NEUTRAL, column, text);
    };
    switch (ResultLayoutPage(m_nPage)) {
      case PAGE_UPGRADE:
        put(1, h.strFWVersion);
        put(2, Hex2(h.ucSpiWrsr));
        put(3, Dec(h.ucBus));
        put(4, Dec(h.ucDevice));
        put(5, Dec(h.ucFunction));
        put(6, h.strSSID);
        put(7, h.strSVID);
        put(8, Hex2(h.ucPcieLink));
        break;
      case PAGE_TEST:
        put(1, h.strFWVersion);
        put(2, Dec(h.ucBus));
        put(3, Dec(h.ucDevice));
        put(4, Dec(h.ucFunction));
        break;
      default:
        put(1, h.strFWVersion);
        put(2, Dec(h.ucBus));
        put(3, Dec(h.ucDevice));
        put(4, Dec(h.ucFunction));
        put(5, h.strSSID);
        put(6, h.strSVID);
        break;
    }
  } catch (...) {
    LogMessage(1, "\r\n%s:%d: dwErrorCode : %d ", "CNVL720_MPToolDlg::vUpdateResultFixedItem",
               __LINE__, errno);
  }
}

void CNVL720_MPToolDlg::vUpdateAllMainResultSubItemTable() {
  try {
    vClearCtrlListHostInfoTable();
    const int count = std::min<int>(g_Utility.m_ucHostCount, HOST_MAX);
    for (int i = 0; i < count; ++i)
      vUpdateResultFixedItem(i);
  } catch (...) {
    LogMessage(1, "\r\n%s:%d:  bClearSubItemTable : %d , dwErrorCode : %d ",
               "CNVL720_MPToolDlg::vUpdateAllMainResultSubItemTable", __LINE__, 1, errno);
  }
}

void CNVL720_MPToolDlg::vWriteResultLog() {
  try {
    const LocalTime now = LocalTimeNow();
    const MpSettings& s = g_Ini.Settings();
    const uint8_t page = ResultLayoutPage(m_nPage);
    // The Upgrade page has no port columns (see app/daily_log.h).
    const bool ports_from_table = page != PAGE_UPGRADE;
    const int first_port =
        page == PAGE_TEST ? result_col::kTestFirstPort : result_col::kMainFirstPort;
    std::string lines;
    const int count = std::min<int>(g_Utility.m_ucHostCount, HOST_MAX);
    for (int i = 0; i < count; ++i) {
      DailyLogRow row;
      row.nPosition = i;
      row.pHost = &g_Utility.m_HostInfo[i];
      row.strSerial = s.szBarCode;
      row.bPortsFromTable = ports_from_table;
      if (ports_from_table && bDailyLogReadsPorts(s))
        for (int k = 0; k < 6; ++k)
          row.strPorts[k] = strGetResultItemTable(i, first_port + k);
      lines += strDailyLogLine(now, s, row);
    }
    bAppendDailyLog(nvl::ProgramDir(), now, s.savelogBarCode_enable == 1, lines);
  } catch (...) {
    // The log is a record of the run; failing to write it does not change the run's outcome.
  }
}
