#pragma once

#include <windows.h>

namespace trivane {

// A visible child control in the window's font, found again by its number.
inline HWND ChildControl(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style,
                         int id) {
  HWND child = CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return child;
}

}  // namespace trivane
