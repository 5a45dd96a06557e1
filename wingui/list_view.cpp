#include "wingui/list_view.h"

#include <algorithm>

#include "platform/windows/wide_text.h"

namespace trivane {

ListView::ListView(HWND parent, int id, DWORD extra_style, DWORD extended_style) {
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                              LVS_NOSORTHEADER | extra_style,
                          0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER | extended_style);
}

ListView::~ListView() {
  if (list_ != nullptr && IsWindow(list_)) DestroyWindow(list_);
}

void ListView::AddColumns(std::span<const std::string> headers, std::span<const int> widths) {
  for (std::size_t c = 0; c < headers.size(); ++c) {
    std::wstring text = WideFromUtf8(headers[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = text.data();
    column.cx = c < widths.size() ? widths[c] : 0;
    column.iSubItem = static_cast<int>(c);
    ListView_InsertColumn(list_, static_cast<int>(c), &column);
  }
}

void ListView::SetColumnWidth(int column, int width) {
  if (ListView_GetColumnWidth(list_, column) != width) {
    ListView_SetColumnWidth(list_, column, std::max(width, 0));
  }
}

void ListView::SetRowCount(int rows) {
  // Keeps the rows in view where they are; the list repaints what changed.
  ListView_SetItemCountEx(list_, rows, LVSICF_NOSCROLL);
}

int ListView::TopRow() const {
  return ListView_GetTopIndex(list_);
}

void ListView::SetTopRow(int row) {
  const int rows = row - TopRow();
  RECT first{};
  if (rows == 0 || !ListView_GetItemRect(list_, 0, &first, LVIR_BOUNDS)) return;
  // In report view the list scrolls by pixels, rounded to whole rows.
  ListView_Scroll(list_, 0, rows * (first.bottom - first.top));
}

void ListView::Place(int x, int y, int width, int height) {
  MoveWindow(list_, x, y, std::max(width, 0), std::max(height, 0), TRUE);
}

int ListView::ClientWidth() const {
  RECT rect{};
  GetClientRect(list_, &rect);
  return rect.right - rect.left;
}

int ListView::ClientHeight() const {
  RECT rect{};
  GetClientRect(list_, &rect);
  return rect.bottom - rect.top;
}

int ListView::FullWidth() const {
  RECT rect{};
  GetWindowRect(list_, &rect);
  return rect.right - rect.left;
}

void ListView::AnswerText(NMLVDISPINFOW& request, std::string_view utf8) {
  if ((request.item.mask & LVIF_TEXT) == 0 || request.item.pszText == nullptr ||
      request.item.cchTextMax <= 0) {
    return;
  }
  const std::wstring text = WideFromUtf8(utf8);
  const std::size_t room = static_cast<std::size_t>(request.item.cchTextMax) - 1;
  const std::size_t length = std::min(text.size(), room);
  std::copy_n(text.data(), length, request.item.pszText);
  request.item.pszText[length] = L'\0';
}

}  // namespace trivane
