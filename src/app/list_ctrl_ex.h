// CListCtrlEx: the state of the report-style list that shows the result table.
//
// It holds what the list view shows as plain data: the columns (caption, width, all centred),
// the rows' cell texts, one ItemData record per row and one CellInfo record per coloured cell.
// The Qt view renders it (a cell's colours come from ResolveColors, which is the custom-draw
// lookup) and is told of every change through the change listener.
//
// Every operation may be called from any thread: the records are guarded by one lock, and the
// change listener is called after the lock is released, on the calling thread (the view posts
// the repaint to its own thread).
//
// Decisions of this implementation:
//   - The sorting and in-place editing machinery is not built: the program registers no sortable
//     column and no editor, so a header click or a double click changes nothing.
//   - Column colour records are not built either (no caller creates one); the lookup goes from
//     the cell to the row to the list defaults.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A colour as the list view takes it: red in the low byte, then green, then blue.
using COLORREF = uint32_t;
inline constexpr COLORREF COLOR_NONE = 0xFFFFFFFFu;  // -1: no colour of its own
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
         (static_cast<COLORREF>(b) << 16);
}

// The colours of one cell that has its own.
struct CellInfo {
  uint8_t editor[16] = {};  // reserved for in-place editing
  COLORREF crBk = COLOR_NONE;
  COLORREF crText = COLOR_NONE;
  void* pReserved = nullptr;
  int32_t nColumn = 0;  // the sub-item the record belongs to
};

// The record of one row.
struct ItemData {
  uint8_t editor[16] = {};                       // reserved for in-place editing of the row
  std::vector<std::unique_ptr<CellInfo>> cells;  // coloured cells, in creation order
  COLORREF crBk = COLOR_NONE;
  COLORREF crText = COLOR_NONE;
  uintptr_t dwUserValue = 0;
};

// One column of the list.
struct ListColumn {
  std::string strCaption;
  int nWidth = 0;
  bool bCentred = true;
};

// The colours a cell is drawn with.
struct CellColors {
  COLORREF crBk = COLOR_NONE;
  COLORREF crText = COLOR_NONE;
  bool bOwn = false;  // false: default drawing (the cell has no colour of its own or its row's)
  bool operator==(const CellColors&) const = default;
};

class CListCtrlEx {
 public:
  // The list view's default text background and text colours (white on black).
  static constexpr COLORREF kDefaultTextBk = RGB(255, 255, 255);
  static constexpr COLORREF kDefaultText = RGB(0, 0, 0);

  CListCtrlEx() = default;
  virtual ~CListCtrlEx() = default;
  CListCtrlEx(const CListCtrlEx&) = delete;
  CListCtrlEx& operator=(const CListCtrlEx&) = delete;

  // Attaching to the window: remembers the default colours and sets full-row select.
  void vAttach(COLORREF default_text_bk = kDefaultTextBk, COLORREF default_text = kDefaultText);

  // --- styles ---
  void SetExtendedStyle(uint32_t style);
  uint32_t GetExtendedStyle() const;

  // --- columns ---
  // Inserts at `position`; a position past the end appends.  Returns the column's index.
  int InsertColumn(int position, const std::string& caption, int width);
  void DeleteAllColumns();
  int GetColumnCount() const;
  ListColumn GetColumn(int column) const;  // an empty column when out of range

  // --- rows and texts ---
  // Inserts a row with `text` in column 0 at `row` (past the end appends); returns its index.
  int InsertItem(int row, const std::string& text);
  // Removes all rows; their records must have been deleted first (DeleteAllRowData).
  void DeleteAllItems();
  int GetItemCount() const;
  // False (nothing changed) when the row or column is outside the list.
  bool SetItemText(int row, int column, const std::string& text);
  std::string GetItemText(int row, int column) const;  // "" outside the list

  // --- records ---
  void SetRowData(int row, uintptr_t value);
  uintptr_t GetRowData(int row) const;  // 0 when the row has no record
  // Ignored outside the list; otherwise the cell's background becomes `colour`, its text black.
  void SetCellBkColor(int row, int column, COLORREF colour);
  void DeleteAllRowData();
  // SetCellBkColor and then SetItemText as one step, so that a reader never sees a cell's new
  // colour with its old text.  The colour step ignores a cell outside the list, as does the text.
  void SetCellColorAndText(int row, int column, COLORREF colour, const std::string& text);

  // The custom-draw lookup for the cell at (row, column).
  CellColors ResolveColors(int row, int column) const;

  // Test and view support: the number of CellInfo records of a row (0 without ItemData), and
  // whether the row has an ItemData record.
  size_t CellInfoCount(int row) const;
  bool HasRowData(int row) const;

  // Called after every change, outside the lock.
  void SetChangeListener(std::function<void()> listener);

 private:
  struct Row {
    std::vector<std::string> texts;  // one per column
    ItemData* pData = nullptr;       // the list view's item parameter
  };
  bool bValidCell(int row, int column) const;
  ItemData* FindOrCreateRowData(int row);
  void vSetCellBkColorLocked(int row, int column, COLORREF colour);
  void vNotify() const;

  mutable std::mutex m_cs;
  std::vector<ListColumn> m_Columns;
  std::vector<Row> m_Rows;
  std::vector<std::unique_ptr<ItemData>> m_ItemData;  // owned records
  uint32_t m_dwExtendedStyle = 0;
  COLORREF m_crDefaultTextBk = kDefaultTextBk;
  COLORREF m_crDefaultText = kDefaultText;
  std::function<void()> m_Listener;
};

// Extended list styles the result table uses.
inline constexpr uint32_t LVS_EX_GRIDLINES = 0x00000001;
inline constexpr uint32_t LVS_EX_FLATSB = 0x00000100;
inline constexpr uint32_t LVS_EX_FULLROWSELECT = 0x00000020;
