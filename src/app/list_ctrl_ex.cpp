#include "app/list_ctrl_ex.h"

#include <algorithm>

void CListCtrlEx::vAttach(COLORREF default_text_bk, COLORREF default_text) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_crDefaultTextBk = default_text_bk;
    m_crDefaultText = default_text;
    m_dwExtendedStyle = LVS_EX_FULLROWSELECT;
  }
  vNotify();
}

void CListCtrlEx::SetExtendedStyle(uint32_t style) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_dwExtendedStyle = style;
  }
  vNotify();
}

uint32_t CListCtrlEx::GetExtendedStyle() const {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_dwExtendedStyle;
}

int CListCtrlEx::InsertColumn(int position, const std::string& caption, int width) {
  int index = 0;
  {
    std::lock_guard<std::mutex> lock(m_cs);
    const int count = static_cast<int>(m_Columns.size());
    index = std::clamp(position, 0, count);
    m_Columns.insert(m_Columns.begin() + index, ListColumn{caption, width, true});
    for (auto& row : m_Rows)
      row.texts.insert(row.texts.begin() + index, std::string());
    // Coloured cells stay with their sub-item, as the records name it by index.
  }
  vNotify();
  return index;
}

void CListCtrlEx::DeleteAllColumns() {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_Columns.clear();
    for (auto& row : m_Rows)
      row.texts.clear();
  }
  vNotify();
}

int CListCtrlEx::GetColumnCount() const {
  std::lock_guard<std::mutex> lock(m_cs);
  return static_cast<int>(m_Columns.size());
}

ListColumn CListCtrlEx::GetColumn(int column) const {
  std::lock_guard<std::mutex> lock(m_cs);
  if (column < 0 || column >= static_cast<int>(m_Columns.size())) return {};
  return m_Columns[static_cast<size_t>(column)];
}

int CListCtrlEx::InsertItem(int row, const std::string& text) {
  int index = 0;
  {
    std::lock_guard<std::mutex> lock(m_cs);
    const int count = static_cast<int>(m_Rows.size());
    index = std::clamp(row, 0, count);
    Row r;
    r.texts.resize(m_Columns.size());
    if (!r.texts.empty()) r.texts[0] = text;
    m_Rows.insert(m_Rows.begin() + index, std::move(r));
  }
  vNotify();
  return index;
}

void CListCtrlEx::DeleteAllItems() {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_Rows.clear();
  }
  vNotify();
}

int CListCtrlEx::GetItemCount() const {
  std::lock_guard<std::mutex> lock(m_cs);
  return static_cast<int>(m_Rows.size());
}

bool CListCtrlEx::bValidCell(int row, int column) const {
  return row >= 0 && row < static_cast<int>(m_Rows.size()) && column >= 0 &&
         column < static_cast<int>(m_Columns.size());
}

bool CListCtrlEx::SetItemText(int row, int column, const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    if (!bValidCell(row, column)) return false;
    m_Rows[static_cast<size_t>(row)].texts[static_cast<size_t>(column)] = text;
  }
  vNotify();
  return true;
}

std::string CListCtrlEx::GetItemText(int row, int column) const {
  std::lock_guard<std::mutex> lock(m_cs);
  if (!bValidCell(row, column)) return {};
  return m_Rows[static_cast<size_t>(row)].texts[static_cast<size_t>(column)];
}

ItemData* CListCtrlEx::FindOrCreateRowData(int row) {
  Row& r = m_Rows[static_cast<size_t>(row)];
  if (r.pData == nullptr) {
    m_ItemData.push_back(std::make_unique<ItemData>());
    r.pData = m_ItemData.back().get();
  }
  return r.pData;
}

void CListCtrlEx::SetRowData(int row, uintptr_t value) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    if (row < 0 || row >= static_cast<int>(m_Rows.size())) return;
    FindOrCreateRowData(row)->dwUserValue = value;
  }
  vNotify();
}

uintptr_t CListCtrlEx::GetRowData(int row) const {
  std::lock_guard<std::mutex> lock(m_cs);
  if (row < 0 || row >= static_cast<int>(m_Rows.size())) return 0;
  const ItemData* data = m_Rows[static_cast<size_t>(row)].pData;
  return data ? data->dwUserValue : 0;
}

void CListCtrlEx::vSetCellBkColorLocked(int row, int column, COLORREF colour) {
  if (!bValidCell(row, column)) return;
  ItemData* data = FindOrCreateRowData(row);
  CellInfo* cell = nullptr;
  for (auto& c : data->cells)
    if (c->nColumn == column) cell = c.get();
  if (cell == nullptr) {
    data->cells.push_back(std::make_unique<CellInfo>());
    cell = data->cells.back().get();
    cell->nColumn = column;
  }
  cell->crBk = colour;
  cell->crText = RGB(0, 0, 0);
}

void CListCtrlEx::SetCellBkColor(int row, int column, COLORREF colour) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    vSetCellBkColorLocked(row, column, colour);
  }
  vNotify();
}

void CListCtrlEx::SetCellColorAndText(int row, int column, COLORREF colour,
                                      const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    if (!bValidCell(row, column)) return;
    vSetCellBkColorLocked(row, column, colour);
    m_Rows[static_cast<size_t>(row)].texts[static_cast<size_t>(column)] = text;
  }
  vNotify();
}

void CListCtrlEx::DeleteAllRowData() {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    for (auto& row : m_Rows)
      row.pData = nullptr;
    m_ItemData.clear();
  }
  vNotify();
}

CellColors CListCtrlEx::ResolveColors(int row, int column) const {
  std::lock_guard<std::mutex> lock(m_cs);
  CellColors out;
  if (!bValidCell(row, column)) return {m_crDefaultTextBk, m_crDefaultText, false};
  const ItemData* data = m_Rows[static_cast<size_t>(row)].pData;
  if (data != nullptr) {
    for (const auto& c : data->cells) {
      if (c->nColumn != column) continue;
      out.crBk = c->crBk;
      out.crText = c->crText;
    }
    if (out.crBk == COLOR_NONE) out.crBk = data->crBk;
    if (out.crText == COLOR_NONE) out.crText = data->crText;
  }
  out.bOwn = out.crBk != COLOR_NONE || out.crText != COLOR_NONE;
  if (out.crBk == COLOR_NONE) out.crBk = m_crDefaultTextBk;
  if (out.crText == COLOR_NONE) out.crText = m_crDefaultText;
  return out;
}

size_t CListCtrlEx::CellInfoCount(int row) const {
  std::lock_guard<std::mutex> lock(m_cs);
  if (row < 0 || row >= static_cast<int>(m_Rows.size())) return 0;
  const ItemData* data = m_Rows[static_cast<size_t>(row)].pData;
  return data ? data->cells.size() : 0;
}

bool CListCtrlEx::HasRowData(int row) const {
  std::lock_guard<std::mutex> lock(m_cs);
  if (row < 0 || row >= static_cast<int>(m_Rows.size())) return false;
  return m_Rows[static_cast<size_t>(row)].pData != nullptr;
}

void CListCtrlEx::SetChangeListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(m_cs);
  m_Listener = std::move(listener);
}

void CListCtrlEx::vNotify() const {
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> lock(m_cs);
    listener = m_Listener;
  }
  if (listener) listener();
}
