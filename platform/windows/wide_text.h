#pragma once

#include <string>
#include <string_view>

namespace trivane {

// Windows' wide-character API and the relay's UTF-8 texts. What is not valid
// in the source becomes U+FFFD; nothing is cut short.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace trivane
