#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/text_codec.h"

namespace trivane {

// A TextCodec over MultiByteToWideChar and WideCharToMultiByte, for a code
// page Windows has installed, given by its number ("1251") or by a name
// ("WINDOWS-1251", "CP1251", "KOI8-R", "UTF-8").
class Win32TextCodec final : public TextCodec {
 public:
  static constexpr std::string_view kDefaultCodePage = "WINDOWS-1251";
  static constexpr std::string_view kNamesHint =
      "a Windows code page number such as 1251, or a name such as WINDOWS-1251";

  // Nothing when the name means no code page, or Windows has not installed it.
  static std::unique_ptr<Win32TextCodec> Open(const std::string& code_page);
  // The code page number a name stands for, installed or not.
  static std::optional<unsigned> CodePageNumber(std::string_view name);

  std::string ToDisplay(std::string_view wire) const override;
  std::string ToWire(std::string_view display) const override;

 private:
  explicit Win32TextCodec(unsigned code_page) : code_page_(code_page) {}

  unsigned code_page_;
};

}  // namespace trivane
