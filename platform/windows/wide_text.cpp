#include <windows.h>

#include "platform/windows/wide_text.h"

#include <algorithm>
#include <climits>

namespace trivane {

namespace {

int ClampedSize(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

std::string Narrow(unsigned code_page, std::wstring_view wide, DWORD flags, const char* fallback) {
  const int size = ClampedSize(wide.size());
  const int length =
      WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, fallback, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), size, text.data(), length, fallback, nullptr);
  return text;
}

}  // namespace

std::wstring WideFromCodePage(unsigned code_page, std::string_view text) {
  if (text.empty()) return {};
  // Without MB_ERR_INVALID_CHARS a byte the code page has no character for
  // becomes U+FFFD, and the rest of the text still comes through.
  const int size = ClampedSize(text.size());
  const int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string CodePageFromWide(unsigned code_page, std::wstring_view wide) {
  if (wide.empty()) return {};
  if (code_page == CP_UTF8) return Narrow(code_page, wide, 0, nullptr);
  std::string text = Narrow(code_page, wide, WC_NO_BEST_FIT_CHARS, "?");
  // The stateful code pages (ISO-2022, UTF-7 and their kin) take no flags and
  // no fallback; without this retry their texts would come out empty.
  if (text.empty()) {
    const DWORD refused = GetLastError();
    if (refused == ERROR_INVALID_FLAGS || refused == ERROR_INVALID_PARAMETER) {
      text = Narrow(code_page, wide, 0, nullptr);
    }
  }
  return text;
}

std::wstring WideFromUtf8(std::string_view utf8) {
  return WideFromCodePage(CP_UTF8, utf8);
}

std::string Utf8FromWide(std::wstring_view wide) {
  return CodePageFromWide(CP_UTF8, wide);
}

}  // namespace trivane
