#include "wingui/event_log_list.h"

#include <algorithm>
#include <array>

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
  if (header.hwndFrom != list_.Handle() || header.code != LVN_GETDISPINFOW) return false;
  auto& request = *reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header));
  // Item i is grid row i + 1: row 0 is the header.
  ListView::AnswerText(request, log_.Cell(request.item.iSubItem, request.item.iItem + 1));
  result = 0;
  return true;
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
}

void EventLogList::EntryAdded(const LogEntry& /*entry*/) {
  list_.SetRowCount(log_.EntryCount());
  ListView_SetItemState(list_.Handle(), -1, 0, LVIS_SELECTED);
  for (const int item : selected_before_add_) {
    if (item + 1 < log_.EntryCount()) {
      ListView_SetItemState(list_.Handle(), item + 1, LVIS_SELECTED, LVIS_SELECTED);
    }
  }
  selected_before_add_.clear();
  InvalidateRect(list_.Handle(), nullptr, FALSE);
  Fit();
}

void EventLogList::OldestDropped() {
  list_.SetRowCount(log_.EntryCount());
}

void EventLogList::WidthsChanged() {
  Fit();
}

LRESULT CALLBACK EventLogList::ListProcedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam, UINT_PTR /*id*/, DWORD_PTR self) {
  if (message == WM_KEYDOWN &&
      EventLog::IsCopyShortcut(static_cast<int>(wparam), (GetKeyState(VK_CONTROL) & 0x8000) != 0)) {
    reinterpret_cast<EventLogList*>(self)->CopySelection();
    return 0;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace trivane
