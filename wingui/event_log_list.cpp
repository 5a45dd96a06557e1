#include "wingui/event_log_list.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/windows/wide_text.h"

namespace trivane {
namespace {

constexpr UINT_PTR kSubclassId = 1;

void PutOnClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* place = GlobalLock(memory)) {
      std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(place));
      GlobalUnlock(memory);
      if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

}  // namespace

EventLogList::EventLogList(HWND parent, int id, EventLog& log)
    : log_(log), list_(parent, id, LVS_SHOWSELALWAYS, LVS_EX_FULLROWSELECT) {
  std::array<std::string, EventLog::kColumns> headers;
  for (int c = 0; c < EventLog::kColumns; ++c) headers[c] = std::string(EventLog::kHeaders[c]);
  list_.AddColumns(headers, log_.Widths());
  list_.SetRowCount(log_.EntryCount());
  SetWindowSubclass(list_.Handle(), ListProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  log_.AddObserver(this);
}

EventLogList::~EventLogList() {
  log_.RemoveObserver(this);
  RemoveWindowSubclass(list_.Handle(), ListProcedure, kSubclassId);
}

void EventLogList::Place(int x, int y, int width, int height) {
  list_.Place(x, y, width, height);
  Fit();
}

void EventLogList::Fit() {
  log_.SetViewport(list_.ClientWidth(), list_.ClientHeight(), list_.FullWidth());
  log_.AutoSize();
  ApplyWidths();
}

void EventLogList::ApplyWidths() {
  for (int c = 0; c < EventLog::kColumns; ++c) list_.SetColumnWidth(c, log_.Widths()[c]);
}

bool EventLogList::OnNotify(const NMHDR& header, LRESULT& result) {
  return list_.AnswerNotify(
      header, result, [this](int column, int row) { return log_.Cell(column, row); },
      [this](NMLVCUSTOMDRAW& draw) { return OnCustomDraw(draw); });
}

LRESULT EventLogList::OnCustomDraw(NMLVCUSTOMDRAW& draw) const {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const std::uint32_t color = log_.TextColor(static_cast<int>(draw.nmcd.dwItemSpec));
      if (color == 0) return CDRF_DODEFAULT;
      draw.clrText = RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

std::vector<int> EventLogList::SelectedEntries() const {
  std::vector<int> selected;
  int item = -1;
  while ((item = ListView_GetNextItem(list_.Handle(), item, LVNI_SELECTED)) >= 0) {
    selected.push_back(item);
  }
  return selected;
}

void EventLogList::CopySelection() {
  const std::vector<int> selected = SelectedEntries();
  if (selected.empty()) return;
  const std::string text = log_.CopyText(selected.front() + 1, selected.back() + 1);
  PutOnClipboard(GetParent(list_.Handle()), WideFromUtf8(text));
}

void EventLogList::BeforeEntryAdded() {
  selected_before_add_ = SelectedEntries();
  if (burst_.entries > 0) return;
  const HWND list = list_.Handle();
  burst_.focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
  burst_.mark = ListView_GetSelectionMark(list);
  burst_.top = list_.TopRow();
  PostMessageW(list, kSettleMessage, 0, 0);
}

void EventLogList::EntryAdded(const LogEntry& /*entry*/) {
  const HWND list = list_.Handle();
  ++burst_.entries;
  list_.SetRowCount(log_.EntryCount());
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  for (const int item : selected_before_add_) {
    ListView_SetItemState(list, item + 1, LVIS_SELECTED, LVIS_SELECTED);
  }
  selected_before_add_.clear();
  InvalidateRect(list, nullptr, FALSE);
  Fit();
}

void EventLogList::BeforeOldestDropped(int index) {
  // An entry falling off the end takes its selection, focus and mark along;
  // none of them moves on to the oldest entry left.
  ListView_SetItemState(list_.Handle(), index, 0, LVIS_SELECTED);
  if (burst_.focused >= 0 && burst_.focused + burst_.entries == index) burst_.focused = -1;
  if (burst_.mark >= 0 && burst_.mark + burst_.entries == index) burst_.mark = -1;
}

void EventLogList::OldestDropped() {
  list_.SetRowCount(log_.EntryCount());
}

void EventLogList::Settle() {
  const Burst burst = std::exchange(burst_, Burst{});
  if (burst.entries == 0) return;
  const HWND list = list_.Handle();
  if (burst.focused >= 0) {
    // Focusing a row takes the focus off the one that had it.
    ListView_SetItemState(list, burst.focused + burst.entries, LVIS_FOCUSED, LVIS_FOCUSED);
  } else if (const int stale = ListView_GetNextItem(list, -1, LVNI_FOCUSED); stale >= 0) {
    ListView_SetItemState(list, stale, 0, LVIS_FOCUSED);
  }
  ListView_SetSelectionMark(list, burst.mark >= 0 ? burst.mark + burst.entries : -1);
  // At the top the newest entry comes into sight; scrolled away, the rows in
  // sight stay where they are. Some lists (Wine's) scroll a newly focused row
  // into sight, which this undoes too.
  list_.SetTopRow(burst.top == 0 ? 0 : burst.top + burst.entries);
}

void EventLogList::WidthsChanged() {
  Fit();
}

LRESULT CALLBACK EventLogList::ListProcedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam, UINT_PTR /*id*/, DWORD_PTR self) {
  if (message == kSettleMessage) {
    reinterpret_cast<EventLogList*>(self)->Settle();
    return 0;
  }
  if (message == WM_KEYDOWN &&
      EventLog::IsCopyShortcut(static_cast<int>(wparam), (GetKeyState(VK_CONTROL) & 0x8000) != 0)) {
    reinterpret_cast<EventLogList*>(self)->CopySelection();
    return 0;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace trivane
