#pragma once

#include <windows.h>

#include <commctrl.h>

#include <span>
#include <string>
#include <string_view>

namespace trivane {

// What the two grids share as list views in report mode over a model: the
// control itself, its columns, and answering a cell's text from the model.
class ListView {
 public:
  // A child of `parent`, owner data (the list asks for every cell it shows),
  // grid lines between all cells.
  ListView(HWND parent, int id, DWORD extra_style, DWORD extended_style);
  ~ListView();
  ListView(const ListView&) = delete;
  ListView& operator=(const ListView&) = delete;

  HWND Handle() const { return list_; }
  void AddColumns(std::span<const std::string> headers, std::span<const int> widths);
  void SetColumnWidth(int column, int width);
  void SetRowCount(int rows);
  // The row at the top of the view; setting it scrolls by whole rows.
  int TopRow() const;
  void SetTopRow(int row);
  void Place(int x, int y, int width, int height);
  int ClientWidth() const;
  int ClientHeight() const;
  int FullWidth() const;

  // LVN_GETDISPINFO: copies the cell's UTF-8 text into the list's buffer.
  static void AnswerText(NMLVDISPINFOW& request, std::string_view utf8);

  // The two notifications an owner-data list answers: a cell's text, from
  // cell(column, row) with row 0 the header, and custom draw, from draw.
  // False for a notification from another control or of another kind.
  template <typename Cell, typename Draw>
  bool AnswerNotify(const NMHDR& header, LRESULT& result, Cell cell, Draw draw) const {
    if (header.hwndFrom != list_) return false;
    switch (header.code) {
      case LVN_GETDISPINFOW: {
        auto& request = *reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header));
        AnswerText(request, cell(request.item.iSubItem, request.item.iItem + 1));
        result = 0;
        return true;
      }
      case NM_CUSTOMDRAW:
        result = draw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
        return true;
      default:
        return false;
    }
  }

 private:
  HWND list_ = nullptr;
};

}  // namespace trivane
