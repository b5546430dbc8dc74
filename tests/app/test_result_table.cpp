// The result list's records and colours, the three column layouts, the cell operations and
// their thread safety.
#include <gtest/gtest.h>

#include "support/hosts.h"

#include <memory>
#include <thread>
#include <vector>

#include "app/list_ctrl_ex.h"
#include "app/main_dlg.h"
#include "app/result_table.h"
#include "config/ini.h"
#include "discovery/utility.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// An attached 8-row, 3-column list with non-white defaults, so defaults are told apart.
class ListCtrlTest : public ::testing::Test {
 protected:
  static constexpr COLORREF kDefBk = RGB(10, 20, 30);
  static constexpr COLORREF kDefText = RGB(40, 50, 60);
  void SetUp() override {
    list.vAttach(kDefBk, kDefText);
    for (int c = 0; c < 3; ++c)
      list.InsertColumn(c, "c" + std::to_string(c), 10);
    for (int r = 0; r < 8; ++r)
      list.SetRowData(list.InsertItem(r, std::to_string(r)), 0);
  }
  CListCtrlEx list;
};

TEST_F(ListCtrlTest, ColourOutsideTheListCreatesNoRecord) {
  CListCtrlEx bare;
  bare.InsertColumn(0, "a", 1);
  bare.InsertItem(0, "0");
  bare.SetCellBkColor(0, 1, kRed);  // column past the last
  bare.SetCellBkColor(1, 0, kRed);  // row past the last
  bare.SetCellBkColor(-1, 0, kRed);
  EXPECT_FALSE(bare.HasRowData(0));
  EXPECT_EQ(bare.CellInfoCount(0), 0u);

  list.SetCellBkColor(8, 0, kRed);
  list.SetCellBkColor(0, 3, kRed);
  for (int r = 0; r < 8; ++r)
    EXPECT_EQ(list.CellInfoCount(r), 0u) << r;
}

TEST_F(ListCtrlTest, ColouringTwiceKeepsOneRecordWithTheLastColour) {
  list.SetCellBkColor(2, 1, kRed);
  list.SetCellBkColor(2, 1, kGreen);
  EXPECT_EQ(list.CellInfoCount(2), 1u);
  EXPECT_EQ(list.ResolveColors(2, 1), (CellColors{kGreen, kBlack, true}));
  list.SetCellBkColor(2, 2, kRed);
  EXPECT_EQ(list.CellInfoCount(2), 2u);
}

TEST_F(ListCtrlTest, UncolouredCellKeepsTheDefaultsBesideAColouredOne) {
  list.SetCellBkColor(3, 1, kRed);
  EXPECT_EQ(list.ResolveColors(3, 1), (CellColors{kRed, kBlack, true}));
  EXPECT_EQ(list.ResolveColors(3, 0), (CellColors{kDefBk, kDefText, false}));
  EXPECT_EQ(list.ResolveColors(4, 1), (CellColors{kDefBk, kDefText, false}));
}

TEST_F(ListCtrlTest, RowDataAndDeletingAllRecords) {
  list.SetRowData(5, 77);
  EXPECT_EQ(list.GetRowData(5), 77u);
  list.SetCellBkColor(5, 0, kGreen);
  EXPECT_EQ(list.GetRowData(5), 77u);  // colouring keeps the record
  list.DeleteAllRowData();
  EXPECT_FALSE(list.HasRowData(5));
  EXPECT_EQ(list.ResolveColors(5, 0), (CellColors{kDefBk, kDefText, false}));
}

TEST_F(ListCtrlTest, AttachSetsFullRowSelect) {
  EXPECT_EQ(list.GetExtendedStyle(), LVS_EX_FULLROWSELECT);
}

TEST(ListCtrl, InsertingPastTheEndAppendsAndTextsFollowTheirColumn) {
  CListCtrlEx list;
  list.InsertColumn(0, "a", 1);
  list.InsertItem(0, "row");
  EXPECT_EQ(list.InsertColumn(9, "b", 2), 1);
  EXPECT_EQ(list.InsertColumn(0, "c", 3), 0);
  EXPECT_EQ(list.GetColumn(0).strCaption, "c");
  EXPECT_EQ(list.GetColumn(1).strCaption, "a");
  EXPECT_EQ(list.GetItemText(0, 1), "row");
  EXPECT_FALSE(list.SetItemText(0, 3, "x"));
  EXPECT_EQ(list.GetItemText(0, 3), "");
}

TEST(ListCtrl, ChangeListenerIsToldOfCellWrites) {
  CListCtrlEx list;
  int changes = 0;
  list.SetChangeListener([&] { ++changes; });
  list.InsertColumn(0, "a", 1);
  list.InsertItem(0, "0");
  const int before = changes;
  list.SetCellColorAndText(0, 0, kRed, "FAIL");
  EXPECT_GT(changes, before);
}

// --- the main window's table operations ---

class ResultTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_Utility.vResetForTest();
    g_Ini.vResetForTest();
    g_Utility.vBlankHostTable();
    dlg = std::make_unique<CNVL720_MPToolDlg>();
  }
  void TearDown() override {
    g_Utility.vResetForTest();
    g_Ini.vResetForTest();
  }
  // A two-board station: hosts at positions 0 and 1.
  void TwoHosts() {
    nvl::test::PutTwoHosts("250101_01", "250101_02");
    for (int i = 0; i < 2; ++i) {
      g_Utility.m_HostInfo[i].ucSpiWrsr = 0x1c;
      g_Utility.m_HostInfo[i].ucPcieLink = 0x02;
    }
  }
  void Build(uint8_t page) {
    dlg->m_nPage = page;
    dlg->vRebuildResultTable();
  }
  std::vector<std::string> Row(int row) {
    std::vector<std::string> out;
    for (int c = 0; c < dlg->m_ListCtrlResult.GetColumnCount(); ++c)
      out.push_back(dlg->strGetResultItemTable(row, c));
    return out;
  }
  std::unique_ptr<CNVL720_MPToolDlg> dlg;
};

struct LayoutCase {
  uint8_t page;
  std::vector<std::pair<std::string, int>> columns;  // caption, width
};

TEST_F(ResultTableTest, ColumnLayoutsPerPage) {
  const LayoutCase cases[] = {
      {PAGE_MAIN,
       {{"H#", 26},
        {"FW Version", 110},
        {"Bus", 32},
        {"Dev", 32},
        {"Fun", 32},
        {"SSID", 40},
        {"SVID", 40},
        {"Update", 68},
        {"USB2 Port1", 68},
        {"USB2 Port2", 68},
        {"USB3 Port1", 68},
        {"USB3 Port2", 68},
        {"USB3.1 Port1", 78},
        {"USB3.1 Port2", 78},
        {"SLT Result", 66},
        {"TT Result", 66},
        {"LT Result", 66}}},
      {PAGE_UPGRADE,
       {{"H#", 36},
        {"FW Version", 110},
        {"WRSR", 44},
        {"Bus", 32},
        {"Dev", 32},
        {"Fun", 32},
        {"SSID", 40},
        {"SVID", 40},
        {"PCIe Link", 60},
        {"Update", 60},
        {"Check", 60}}},
      {PAGE_TEST,
       {{"H#", 36},
        {"FW Version", 110},
        {"Bus", 32},
        {"Dev", 32},
        {"Fun", 32},
        {"USB2 Port1", 84},
        {"USB2 Port2", 84},
        {"USB3 Port1", 84},
        {"USB3 Port2", 84},
        {"USB3.1 Port1", 84},
        {"USB3.1 Port2", 84},
        {"SLT Result", 78},
        {"TT Result", 78},
        {"LT Result", 78}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.page));
    Build(c.page);
    const CListCtrlEx& list = dlg->m_ListCtrlResult;
    ASSERT_EQ(list.GetColumnCount(), static_cast<int>(c.columns.size()));
    for (size_t i = 0; i < c.columns.size(); ++i) {
      const ListColumn col = list.GetColumn(static_cast<int>(i));
      EXPECT_EQ(col.strCaption, c.columns[i].first) << i;
      EXPECT_EQ(col.nWidth, c.columns[i].second) << i;
      EXPECT_TRUE(col.bCentred);
    }
    EXPECT_EQ(list.GetExtendedStyle(), LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB);
    ASSERT_EQ(list.GetItemCount(), 8);
    for (int r = 0; r < 8; ++r) {
      EXPECT_EQ(dlg->strGetResultItemTable(r, 0), std::to_string(r));
      EXPECT_TRUE(list.HasRowData(r));
    }
  }
}

TEST_F(ResultTableTest, UpgradeLayoutInsertsItsLastTwoColumnsPastTheEnd) {
  const auto layout = ResultLayout(PAGE_UPGRADE);
  ASSERT_EQ(layout.size(), 11u);
  EXPECT_EQ(layout[9].nPosition, 16);
  EXPECT_EQ(layout[10].nPosition, 17);
}

TEST_F(ResultTableTest, PageOutsideTheThreeShowsTheMainLayout) {
  Build(7);
  EXPECT_EQ(dlg->m_ListCtrlResult.GetColumnCount(), 17);
}

TEST_F(ResultTableTest, IdentityCellsPerPage) {
  TwoHosts();
  Build(PAGE_MAIN);
  EXPECT_EQ(Row(1), (std::vector<std::string>{"1", "250101_02", "4", "0", "0", "7310", "2e4d", "",
                                              "", "", "", "", "", "", "", "", ""}));
  Build(PAGE_UPGRADE);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"0", "250101_01", "0x1c", "3", "0", "0", "7310",
                                              "2e4d", "0x02", "", ""}));
  Build(PAGE_TEST);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"0", "250101_01", "3", "0", "0", "", "", "", "", "",
                                              "", "", "", ""}));
  // Positions without a host keep blank identity cells.
  EXPECT_EQ(dlg->strGetResultItemTable(2, 1), "");
  EXPECT_EQ(dlg->m_ListCtrlResult.ResolveColors(0, 1).crBk, kWhite);
  EXPECT_EQ(dlg->m_ListCtrlResult.ResolveColors(0, 1).crText, kBlack);
}

TEST_F(ResultTableTest, HostRowIsItsIndex) {
  TwoHosts();
  g_Utility.m_HostInfo[0].ucIndex = 5;
  Build(PAGE_TEST);
  EXPECT_EQ(dlg->strGetResultItemTable(5, 1), "250101_01");
  EXPECT_EQ(dlg->strGetResultItemTable(0, 1), "");
  dlg->vUpdateResultFixedItem(8);  // no such position: nothing happens
  dlg->vUpdateResultFixedItem(-1);
}

TEST_F(ResultTableTest, CellColoursAndTexts) {
  Build(PAGE_MAIN);
  const struct {
    uint8_t code;
    const char* text;
    COLORREF bk;
  } cases[] = {{CELL_PASS, "PASS", kGreen},
               {CELL_FAIL, "FAIL", kRed},
               {CELL_NEUTRAL, "doing", kWhite},
               {9, "odd", kWhite}};
  int column = 8;
  for (const auto& c : cases) {
    dlg->vShowResultItemTable(3, c.code, column, c.text);
    EXPECT_EQ(dlg->strGetResultItemTable(3, column), c.text);
    EXPECT_EQ(dlg->m_ListCtrlResult.ResolveColors(3, column), (CellColors{c.bk, kBlack, true}));
    ++column;
  }
  // Outside the table nothing is written.
  const size_t records = dlg->m_ListCtrlResult.CellInfoCount(0);
  dlg->vShowResultItemTable(8, CELL_PASS, 1, "PASS");
  dlg->vShowResultItemTable(0, CELL_PASS, 17, "PASS");
  EXPECT_EQ(dlg->strGetResultItemTable(8, 1), "");
  EXPECT_EQ(dlg->m_ListCtrlResult.CellInfoCount(0), records);
}

TEST_F(ResultTableTest, LongCellTextIsCutTo126Characters) {
  Build(PAGE_MAIN);
  dlg->vShowResultItemTable(0, CELL_NEUTRAL, 1, std::string(126, 'a'));
  EXPECT_EQ(dlg->strGetResultItemTable(0, 1).size(), 126u);
  dlg->vShowResultItemTable(0, CELL_NEUTRAL, 1, std::string(126, 'b') + "XYZ");
  EXPECT_EQ(dlg->strGetResultItemTable(0, 1), std::string(126, 'b'));
}

TEST_F(ResultTableTest, ClearBlanksThePageResultColumns) {
  TwoHosts();
  const struct {
    uint8_t page;
    std::vector<int> blanked;
    std::vector<int> kept;
  } cases[] = {
      {PAGE_MAIN, {7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {0, 1, 2, 3, 4, 5, 6}},
      {PAGE_UPGRADE, {2, 6, 7, 8, 9, 10}, {0, 1, 3, 4, 5}},
      {PAGE_TEST, {5, 6, 7, 8, 9, 10, 11, 12, 13}, {0, 1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.page));
    Build(c.page);
    const int columns = dlg->m_ListCtrlResult.GetColumnCount();
    for (int r = 0; r < 8; ++r)
      for (int col = 0; col < columns; ++col)
        dlg->vShowResultItemTable(r, CELL_FAIL, col, "X");
    dlg->vClearCtrlListHostInfoTable();
    for (int r = 0; r < 8; ++r) {
      for (const int col : c.blanked) {
        EXPECT_EQ(dlg->strGetResultItemTable(r, col), "") << r << "," << col;
        EXPECT_EQ(dlg->m_ListCtrlResult.ResolveColors(r, col).crBk, kWhite);
      }
      for (const int col : c.kept) {
        EXPECT_EQ(dlg->strGetResultItemTable(r, col), "X") << r << "," << col;
        EXPECT_EQ(dlg->m_ListCtrlResult.ResolveColors(r, col).crBk, kRed);
      }
    }
  }
}

TEST_F(ResultTableTest, RebuildDropsOldColours) {
  Build(PAGE_MAIN);
  dlg->vShowResultItemTable(0, CELL_FAIL, 1, "FAIL");
  Build(PAGE_MAIN);
  // The rebuild's clearing colours the result cells white; the identity cell has no own colour.
  EXPECT_EQ(dlg->m_ListCtrlResult.CellInfoCount(0), 10u);
  EXPECT_FALSE(dlg->m_ListCtrlResult.ResolveColors(0, 1).bOwn);
  EXPECT_EQ(dlg->strGetResultItemTable(0, 1), "");
}

// Runner threads write their own cells at once while the window reads the table; every cell
// ends with its writer's last text and matching colour.
TEST_F(ResultTableTest, CellWritesFromSeveralThreads) {
  Build(PAGE_MAIN);
  constexpr int kRounds = 400;
  std::vector<std::thread> writers;
  for (int row = 0; row < 8; ++row) {
    writers.emplace_back([this, row] {
      for (int i = 0; i < kRounds; ++i) {
        for (int col = 7; col < 17; ++col) {
          const bool pass = (i + col) % 2 == 0;
          dlg->vShowResultItemTable(row, pass ? CELL_PASS : CELL_FAIL, col, pass ? "PASS" : "FAIL");
        }
      }
    });
  }
  std::thread reader([this] {
    for (int i = 0; i < kRounds; ++i)
      for (int row = 0; row < 8; ++row) {
        const std::string text = dlg->strGetResultItemTable(row, 9);
        EXPECT_TRUE(text.empty() || text == "PASS" || text == "FAIL") << text;
      }
  });
  for (auto& t : writers)
    t.join();
  reader.join();
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(dlg->m_ListCtrlResult.CellInfoCount(row), 10u);
    for (int col = 7; col < 17; ++col) {
      const bool pass = (kRounds - 1 + col) % 2 == 0;
      EXPECT_EQ(dlg->strGetResultItemTable(row, col), pass ? "PASS" : "FAIL");
      EXPECT_EQ(dlg->m_ListCtrlResult.ResolveColors(row, col).crBk, pass ? kGreen : kRed);
    }
  }
}

}  // namespace
