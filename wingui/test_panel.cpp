#include "wingui/test_panel.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "wingui/child_control.h"

namespace trivane {
namespace {

constexpr wchar_t kClassName[] = L"TrivaneTestPanel";
constexpr int kLabelWidth = 70;
constexpr int kEditWidth = 80;
constexpr int kArrowsWidth = 16;
constexpr int kButtonWidth = 90;
constexpr int kRowHeight = 22;
constexpr int kGap = 6;
// The arrows of each field, numbered after their field.
constexpr int kArrowsOffset = 50;

}  // namespace

TestPanel::TestPanel(HWND parent, std::function<void(double, double, double)> send)
    : send_(std::move(send)) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (!GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &window_class)) {
    window_class.lpfnWndProc = Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kClassName;
    RegisterClassExW(&window_class);
  }
  panel_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"PanAuthor", WS_CHILD | WS_CLIPCHILDREN, 0,
                      0, 0, kHeight, parent, nullptr, GetModuleHandleW(nullptr), this);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, panel_,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  int x = kGap;
  const int y = (kHeight - kRowHeight) / 2;
  for (const Field& field : kFields) {
    HWND label = ChildControl(panel_, WC_STATICW, field.label, SS_RIGHT | SS_CENTERIMAGE, 0);
    MoveWindow(label, x, y, kLabelWidth, kRowHeight, FALSE);
    x += kLabelWidth + kGap;
    HWND edit = ChildControl(panel_, WC_EDITW, L"", WS_BORDER | WS_TABSTOP | ES_RIGHT, field.id);
    MoveWindow(edit, x, y, kEditWidth, kRowHeight, FALSE);
    HWND arrows = ChildControl(panel_, UPDOWN_CLASSW, L"", UDS_ALIGNRIGHT | UDS_ARROWKEYS,
                               field.id + kArrowsOffset);
    SendMessageW(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    // The arrows keep no count of their own (the field's number moves), so
    // they rest mid-range, where both directions always step; up is +1.
    SendMessageW(arrows, UDM_SETRANGE32, 0, 2);
    SendMessageW(arrows, UDM_SETPOS32, 0, 1);
    x += kEditWidth + kArrowsWidth + kGap;
    SetValue(field.id, field.start);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = panel_;
    tool.uId = reinterpret_cast<UINT_PTR>(edit);
    tool.lpszText = const_cast<wchar_t*>(field.hint);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  HWND button =
      ChildControl(panel_, WC_BUTTONW, L"Отправить", BS_PUSHBUTTON | WS_TABSTOP, kSBAuthor);
  MoveWindow(button, x, y, kButtonWidth, kRowHeight, FALSE);
}

TestPanel::~TestPanel() {
  if (tooltip_ != nullptr) DestroyWindow(tooltip_);
  if (panel_ != nullptr && IsWindow(panel_)) DestroyWindow(panel_);
}

void TestPanel::Place(int x, int y, int width) {
  MoveWindow(panel_, x, y, width, kHeight, TRUE);
}

double TestPanel::Value(int control) const {
  wchar_t text[64] = {};
  GetDlgItemTextW(panel_, control, text, static_cast<int>(std::size(text)));
  // A comma reads as the decimal point too: operators type either.
  std::replace(std::begin(text), std::end(text), L',', L'.');
  wchar_t* end = nullptr;
  const double value = std::wcstod(text, &end);
  if (end == text) return 0;
  return std::clamp(value, 0.0, kMax);
}

void TestPanel::SetValue(int control, double value) {
  wchar_t text[64] = {};
  std::swprintf(text, std::size(text), L"%.3f", std::clamp(value, 0.0, kMax));
  SetDlgItemTextW(panel_, control, text);
}

void TestPanel::Step(int control, int delta) {
  SetValue(control, Value(control) + delta);
}

LRESULT CALLBACK TestPanel::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestPanel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    if (message == WM_NOTIFY) {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->code == UDN_DELTAPOS) {
        const auto* step = reinterpret_cast<const NMUPDOWN*>(lparam);
        self->Step(static_cast<int>(header->idFrom) - kArrowsOffset, step->iDelta);
        return TRUE;
      }
    }
    if (message == WM_COMMAND && LOWORD(wparam) == kSBAuthor && HIWORD(wparam) == BN_CLICKED &&
        self->send_) {
      self->send_(self->Value(kEAdvBlock), self->Value(kEOver), self->Value(kEExtra));
      return 0;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace trivane
