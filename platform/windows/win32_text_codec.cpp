#include <windows.h>

#include "platform/windows/win32_text_codec.h"

#include <array>
#include <charconv>

#include "platform/windows/wide_text.h"
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
  return Utf8FromWide(WideFromCodePage(code_page_, wire));
}

std::string Win32TextCodec::ToWire(std::string_view display) const {
  return CodePageFromWide(code_page_, WideFromUtf8(display));
}

}  // namespace trivane
