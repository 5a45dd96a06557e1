#pragma once

#include <string>
#include <string_view>

namespace trivane {

// Windows' wide-character API and the relay's texts. What is not valid in the
// source becomes U+FFFD; nothing is cut short.
std::wstring WideFromCodePage(unsigned code_page, std::string_view text);
// A character the code page cannot hold becomes "?", never a look-alike.
std::string CodePageFromWide(unsigned code_page, std::wstring_view wide);

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace trivane
