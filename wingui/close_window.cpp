#include "wingui/close_window.h"

#include <commctrl.h>

namespace trivane {
namespace {

constexpr wchar_t kClassName[] = L"TrivaneCloseWindow";
constexpr int kClientWidth = 300;
constexpr int kClientHeight = 72;

void RegisterOnce(WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &window_class)) return;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));  // the wait cursor
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);
}

}  // namespace

CloseWindow::CloseWindow(HWND owner) {
  RegisterOnce(Procedure);
  // A caption without a system menu has no close button.
  const DWORD style = WS_POPUP | WS_CAPTION;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kClassName, L"Close", style,
                            work.left + (work.right - work.left - width) / 2,
                            work.top + (work.bottom - work.top - height) / 2, width, height, owner,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  HWND label =
      CreateWindowExW(0, WC_STATICW, L"Close connections", WS_CHILD | WS_VISIBLE, 12, 10,
                      kClientWidth - 24, 18, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(label, WM_SETFONT, font, FALSE);
  bar_ =
      CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_MARQUEE, 12, 36,
                      kClientWidth - 24, 18, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
}

CloseWindow::~CloseWindow() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

void CloseWindow::Show(bool shown) {
  if (window_ == nullptr) return;
  SendMessageW(bar_, PBM_SETMARQUEE, shown ? TRUE : FALSE, 30);
  ShowWindow(window_, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
  if (shown)
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT CALLBACK CloseWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // Alt+F4 must not take it away either: the close goes on behind it.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace trivane
