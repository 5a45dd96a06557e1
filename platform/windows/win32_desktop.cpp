#include "platform/windows/win32_desktop.h"

#include <algorithm>
#include <limits>

#include "platform/windows/precise_wait.h"
#include "platform/windows/termination_event.h"

namespace trivane {
namespace {

WindowProcedure* ProcedureOf(HWND window) {
  return reinterpret_cast<WindowProcedure*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK RelayWindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  WindowProcedure* procedure = ProcedureOf(window);
  switch (message) {
    case WM_CLOSE:
      RequestTermination();
      return 0;
    case WM_QUERYENDSESSION:
      RequestTermination();
      return TRUE;
    case WM_ENDSESSION:
      // Windows may end the process once this returns: the close runs here.
      if (wparam != FALSE) {
        RequestTermination();
        RunCloseToTheEnd();
      }
      return 0;
    case WM_COPYDATA: {
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (procedure == nullptr || copy == nullptr) return 0;
      const ByteView data(static_cast<const std::uint8_t*>(copy->lpData),
                          copy->lpData == nullptr ? 0 : copy->cbData);
      return procedure->OnCopyData(static_cast<std::uint32_t>(wparam),
                                   static_cast<std::uint32_t>(copy->dwData), data);
    }
    default:
      // Only program messages reach the channel; the system's own stay with Windows.
      if (procedure != nullptr && message >= WM_USER) {
        return procedure->OnMessage(message, static_cast<std::uint32_t>(wparam),
                                    static_cast<std::uint32_t>(lparam));
      }
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

std::wstring Widen(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  auto& windows = *reinterpret_cast<std::vector<DesktopWindow>*>(list);
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof name);
  windows.push_back({Win32Desktop::FromHwnd(window), std::string(name, length > 0 ? length : 0)});
  return TRUE;
}

}  // namespace

Win32Desktop::Win32Desktop() {
  if (const HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
    is_hung_ = reinterpret_cast<IsHungAppWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "IsHungAppWindow")));
  }
}

Win32Desktop::~Win32Desktop() {
  for (const std::wstring& name : registered_classes_) {
    UnregisterClassW(name.c_str(), GetModuleHandleW(nullptr));
  }
}

// Window handles are 32 bits wide on every Windows, 64-bit included, so that
// 32- and 64-bit programs can pass them to each other.
HWND Win32Desktop::ToHwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
}

WindowHandle Win32Desktop::FromHwnd(HWND window) {
  return static_cast<WindowHandle>(reinterpret_cast<LONG_PTR>(window));
}

WindowHandle Win32Desktop::CreateTopLevelWindow(std::string_view class_name,
                                                WindowProcedure& procedure) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const std::wstring name = Widen(class_name);
  if (std::find(registered_classes_.begin(), registered_classes_.end(), name) ==
      registered_classes_.end()) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = RelayWindowProcedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = name.c_str();
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      return 0;
    }
    registered_classes_.push_back(name);
  }
  const HWND window = CreateWindowExW(0, name.c_str(), name.c_str(), WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      nullptr, nullptr, instance, &procedure);
  return window == nullptr ? 0 : FromHwnd(window);
}

void Win32Desktop::DestroyTopLevelWindow(WindowHandle window) {
  if (window != 0) DestroyWindow(ToHwnd(window));
}

std::vector<DesktopWindow> Win32Desktop::EnumWindows() {
  std::vector<DesktopWindow> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

SendOutcome Win32Desktop::Send(WindowHandle to, UINT message, WPARAM wparam, LPARAM lparam,
                               std::chrono::milliseconds limit) {
  const HWND window = ToHwnd(to);
  if (to == 0 || !IsWindow(window)) return {SendOutcome::Kind::kNoWindow, 0};
  const auto ms = static_cast<UINT>(std::clamp<std::chrono::milliseconds::rep>(
      limit.count(), 1, std::numeric_limits<int>::max()));
  DWORD_PTR result = 0;
  SetLastError(ERROR_SUCCESS);
  if (SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL | SMTO_ABORTIFHUNG, ms,
                          &result) != 0) {
    return {SendOutcome::Kind::kAnswered,
            static_cast<std::int32_t>(static_cast<std::uint32_t>(result))};
  }
  const DWORD error = GetLastError();
  if (!IsWindow(window) || error == ERROR_INVALID_WINDOW_HANDLE) {
    return {SendOutcome::Kind::kNoWindow, 0};
  }
  // A hung receiver fails at once, with or without a timeout code.
  if (error == ERROR_TIMEOUT || error == ERROR_SUCCESS) return {SendOutcome::Kind::kTimedOut, 0};
  return {SendOutcome::Kind::kFailed, 0};
}

SendOutcome Win32Desktop::SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                                      std::uint32_t lparam, std::chrono::milliseconds limit) {
  return Send(to, message, wparam, static_cast<LPARAM>(static_cast<std::int32_t>(lparam)), limit);
}

SendOutcome Win32Desktop::SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                                       ByteView data, std::chrono::milliseconds limit) {
  COPYDATASTRUCT copy{};
  copy.dwData = dw_data;
  copy.cbData = static_cast<DWORD>(data.size());
  copy.lpData = const_cast<std::uint8_t*>(data.data());
  return Send(to, WM_COPYDATA, static_cast<WPARAM>(static_cast<std::int32_t>(wparam)),
              reinterpret_cast<LPARAM>(&copy), limit);
}

std::optional<bool> Win32Desktop::IsHung(WindowHandle window) {
  if (is_hung_ == nullptr) return std::nullopt;
  return is_hung_(ToHwnd(window)) != FALSE;
}

void Win32Desktop::Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32Desktop::WaitForInput(std::chrono::steady_clock::time_point until) {
  WaitUntil(until, true);
}

}  // namespace trivane
