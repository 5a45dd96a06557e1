#include "wingui/status_grid_list.h"

#include <array>
#include <string>

#include "platform/windows/wide_text.h"

namespace trivane {
namespace {

constexpr UINT_PTR kSubclassId = 1;

COLORREF ToColorRef(StatusColor color) {
  return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

StatusColor FromColorRef(COLORREF color) {
  return (static_cast<StatusColor>(GetRValue(color)) << 16) |
         (static_cast<StatusColor>(GetGValue(color)) << 8) | GetBValue(color);
}

}  // namespace

StatusGridList::StatusGridList(HWND parent, int id, StatusGrid& grid, HintSource hints)
    : grid_(grid), hints_(std::move(hints)), list_(parent, id, LVS_SINGLESEL, 0) {
  std::array<std::string, StatusGrid::kColumns> headers;
  std::array<int, StatusGrid::kColumns> widths{};
  for (int c = 0; c < StatusGrid::kColumns; ++c) {
    headers[c] = std::string(grid_.Cell(c, 0));
    widths[c] = grid_.Width(c);
  }
  list_.AddColumns(headers, widths);
  list_.SetRowCount(StatusGrid::kRows - 1);

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = parent;
  tool.uId = reinterpret_cast<UINT_PTR>(list_.Handle());
  tool.lpszText = hint_.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
  SetWindowSubclass(list_.Handle(), ListProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  grid_.AddObserver(this);
}

StatusGridList::~StatusGridList() {
  grid_.RemoveObserver(this);
  RemoveWindowSubclass(list_.Handle(), ListProcedure, kSubclassId);
  if (tooltip_ != nullptr) DestroyWindow(tooltip_);
}

void StatusGridList::Place(int x, int y, int width, int height) {
  list_.Place(x, y, width, height);
  grid_.SetClientWidth(list_.ClientWidth());
  grid_.Resize_SGStatus();
}

bool StatusGridList::OnNotify(const NMHDR& header, LRESULT& result) {
  return list_.AnswerNotify(
      header, result, [this](int column, int row) { return grid_.Cell(column, row); },
      [this](NMLVCUSTOMDRAW& draw) { return OnCustomDraw(draw); });
}

LRESULT StatusGridList::OnCustomDraw(NMLVCUSTOMDRAW& draw) const {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      // The grid selects nothing, so nothing is drawn as selected.
      draw.nmcd.uItemState &= ~(CDIS_SELECTED | CDIS_FOCUS);
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      const int row = static_cast<int>(draw.nmcd.dwItemSpec) + 1;
      const StatusColor window = FromColorRef(GetSysColor(COLOR_WINDOW));
      draw.clrTextBk = ToColorRef(grid_.CellBackground(draw.iSubItem, row, window));
      draw.clrText = GetSysColor(COLOR_WINDOWTEXT);
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void StatusGridList::ColumnChanged(int /*column*/) {
  // The header texts never change; the two rows are repainted from the grid.
  InvalidateRect(list_.Handle(), nullptr, FALSE);
}

void StatusGridList::WidthsChanged() {
  for (int c = 0; c < StatusGrid::kColumns; ++c) list_.SetColumnWidth(c, grid_.Width(c));
  InvalidateRect(list_.Handle(), nullptr, FALSE);
}

void StatusGridList::OnMouseMove(POINT at) {
  LVHITTESTINFO hit{};
  hit.pt = at;
  if (ListView_SubItemHitTest(list_.Handle(), &hit) < 0 || hit.iItem < 0) return;
  const std::optional<std::string> hint = hints_ ? hints_(hit.iSubItem) : std::nullopt;
  if (!hint) return;  // this column leaves the hint as it was
  const std::wstring text = WideFromUtf8(*hint);
  if (text == hint_) return;
  hint_ = text;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = GetParent(list_.Handle());
  tool.uId = reinterpret_cast<UINT_PTR>(list_.Handle());
  tool.lpszText = hint_.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, TTM_ACTIVATE, hint_.empty() ? FALSE : TRUE, 0);
}

LRESULT CALLBACK StatusGridList::ListProcedure(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam, UINT_PTR /*id*/, DWORD_PTR self) {
  if (message == WM_MOUSEMOVE) {
    reinterpret_cast<StatusGridList*>(self)->OnMouseMove(
        {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace trivane
