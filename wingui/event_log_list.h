#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/event_log.h"
#include "wingui/list_view.h"

namespace trivane {

// SGLog as a list view over the controller's event log: newest entry on top,
// whole rows selected (ranges too), "Events" taking the width the other
// columns leave, and Ctrl+C putting the selected rows on the clipboard as
// the log's copy text (TAB between cells, a lone CR between rows).
class EventLogList final : public EventLogObserver {
 public:
  EventLogList(HWND parent, int id, EventLog& log);
  ~EventLogList() override;
  EventLogList(const EventLogList&) = delete;
  EventLogList& operator=(const EventLogList&) = delete;

  HWND Handle() const { return list_.Handle(); }
  void Place(int x, int y, int width, int height);
  bool OnNotify(const NMHDR& header, LRESULT& result);
  // Entries that report a failure are drawn in the log's error colour.
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;
  // SBCopyClick: the selection from its top row to its bottom row.
  void CopySelection();

  // EventLogObserver
  void BeforeEntryAdded() override;
  void EntryAdded(const LogEntry& entry) override;
  void BeforeOldestDropped(int index) override;
  void OldestDropped() override;
  void WidthsChanged() override;

 private:
  // The focus, the mark (where a shift-click range starts) and the top row
  // move once a burst of entries is over, on a message posted at its first:
  // every move may cost the list a repaint (under Wine a focused row out of
  // sight scrolls into it and paints).
  struct Burst {
    int entries = 0;
    int focused = -1;
    int mark = -1;
    int top = 0;
  };
  static constexpr UINT kSettleMessage = WM_APP + 1;

  static LRESULT CALLBACK ListProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR id, DWORD_PTR self);
  std::vector<int> SelectedEntries() const;
  void Fit();
  void ApplyWidths();
  void Settle();

  EventLog& log_;
  ListView list_;
  // The selection follows its entries down at once, as new ones go on top.
  std::vector<int> selected_before_add_;
  Burst burst_;
};

}  // namespace trivane
