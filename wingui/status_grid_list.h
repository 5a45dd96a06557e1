#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "core/status_grid.h"
#include "wingui/list_view.h"

namespace trivane {

// SGStatus as a list view over the controller's status grid: the header row
// is the list's header, rows 1 and 2 its two items; row 2 of a link column
// takes the status colour; hidden columns are 0 wide, and the visible ones
// share the width whenever the list is resized. Nothing can be selected.
// The hint of the column under the mouse is a tooltip, shown only when it
// has a text.
class StatusGridList final : public StatusGridObserver {
 public:
  using HintSource = std::function<std::optional<std::string>(int column)>;

  StatusGridList(HWND parent, int id, StatusGrid& grid, HintSource hints);
  ~StatusGridList() override;
  StatusGridList(const StatusGridList&) = delete;
  StatusGridList& operator=(const StatusGridList&) = delete;

  HWND Handle() const { return list_.Handle(); }
  void Place(int x, int y, int width, int height);
  // The list's notifications to its parent; true when answered here.
  bool OnNotify(const NMHDR& header, LRESULT& result);

  // StatusGridObserver
  void ColumnChanged(int column) override;
  void WidthsChanged() override;

  // The tooltip's text and whether it is active, as the operator would see it.
  const std::wstring& HintText() const { return hint_; }
  HWND Tooltip() const { return tooltip_; }

 private:
  static LRESULT CALLBACK ListProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR id, DWORD_PTR self);
  void OnMouseMove(POINT at);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;

  StatusGrid& grid_;
  HintSource hints_;
  ListView list_;
  HWND tooltip_ = nullptr;
  std::wstring hint_;
};

}  // namespace trivane
