#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/text_codec.h"

namespace trivane {

// A TextCodec over the C library's iconv, for any code page name it knows.
class IconvTextCodec final : public TextCodec {
 public:
  static constexpr std::string_view kDefaultCodePage = "WINDOWS-1251";
  static constexpr std::string_view kNamesHint = "any name iconv knows (see iconv --list)";

  // Nothing when the system does not know the code page.
  static std::unique_ptr<IconvTextCodec> Open(const std::string& code_page);
  ~IconvTextCodec() override;

  IconvTextCodec(const IconvTextCodec&) = delete;
  IconvTextCodec& operator=(const IconvTextCodec&) = delete;

  std::string ToDisplay(std::string_view wire) const override;
  std::string ToWire(std::string_view display) const override;

 private:
  IconvTextCodec(void* to_display, void* to_wire) : to_display_(to_display), to_wire_(to_wire) {}

  void* to_display_;
  void* to_wire_;
};

}  // namespace trivane
