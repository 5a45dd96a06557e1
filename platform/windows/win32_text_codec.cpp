#include "platform/windows/win32_text_codec.h"

#include <windows.h>

#include <array>
#include <charconv>
#include <climits>

#include "settings/ascii_text.h"

namespace trivane {
namespace {

constexpr unsigned kUtf8 = CP_UTF8;

struct NamedCodePage {
  std::string_view name;
  unsigned number;
};

constexpr std::array<NamedCodePage, 6> kNamedCodePages = {{{"UTF-8", kUtf8},
                                                           {"UTF8", kUtf8},
                                                           {"KOI8-R", 20866},
                                                           {"KOI8-U", 21866},
                                                           {"US-ASCII", 20127},
                                                           {"ASCII", 20127}}};

std::optional<unsigned> Number(std::string_view digits) {
  unsigned value = 0;
  const auto* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || error != std::errc() || stop != end || value == 0 || value > 65535) {
    return std::nullopt;
  }
  return value;
}

std::wstring Widen(unsigned code_page, std::string_view text) {
  if (text.empty()) return {};
  // Without MB_ERR_INVALID_CHARS a byte the code page has no character for
  // becomes U+FFFD, and the rest of the text still comes through.
  const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
  const int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(unsigned code_page, const std::wstring& wide) {
  if (wide.empty()) return {};
  // A character the code page cannot hold becomes "?", never a look-alike.
  const bool utf8 = code_page == kUtf8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : "?";
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, fallback, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), size, narrow.data(), length, fallback,
                      nullptr);
  return narrow;
}

}  // namespace

std::optional<unsigned> Win32TextCodec::CodePageNumber(std::string_view name) {
  const std::string upper = UpperAscii(name);
  for (const NamedCodePage& named : kNamedCodePages) {
    if (upper == named.name) return named.number;
  }
  if (upper.starts_with("ISO-8859-")) {
    const auto part = Number(std::string_view(upper).substr(9));
    if (part && *part <= 16) return 28590 + *part;
    return std::nullopt;
  }
  for (const std::string_view prefix : {"WINDOWS-", "CP", "IBM"}) {
    if (upper.starts_with(prefix)) return Number(std::string_view(upper).substr(prefix.size()));
  }
  return Number(upper);
}

std::unique_ptr<Win32TextCodec> Win32TextCodec::Open(const std::string& code_page) {
  const auto number = CodePageNumber(code_page);
  if (!number || !IsValidCodePage(*number)) return nullptr;
  return std::unique_ptr<Win32TextCodec>(new Win32TextCodec(*number));
}

std::string Win32TextCodec::ToDisplay(std::string_view wire) const {
  return Narrow(kUtf8, Widen(code_page_, wire));
}

std::string Win32TextCodec::ToWire(std::string_view display) const {
  return Narrow(code_page_, Widen(kUtf8, display));
}

}  // namespace trivane
