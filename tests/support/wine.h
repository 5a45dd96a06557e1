#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

namespace trivane::testing {

// Wine's ntdll names itself; Windows' does not. A few behaviours of Wine's
// sockets differ from Windows, and the tests that meet them say so.
inline bool RunningUnderWine() {
#if defined(_WIN32)
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace trivane::testing
