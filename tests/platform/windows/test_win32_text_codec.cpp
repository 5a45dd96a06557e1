#include <gtest/gtest.h>

#include "platform/windows/win32_text_codec.h"

namespace trivane {
namespace {

TEST(Win32TextCodec, NamesAndNumbersMeanTheCodePagesAnEngineerExpects) {
  EXPECT_EQ(Win32TextCodec::CodePageNumber("1251"), 1251u);
  EXPECT_EQ(Win32TextCodec::CodePageNumber("WINDOWS-1251"), 1251u);
  EXPECT_EQ(Win32TextCodec::CodePageNumber("windows-1252"), 1252u);
  EXPECT_EQ(Win32TextCodec::CodePageNumber("CP866"), 866u);
  EXPECT_EQ(Win32TextCodec::CodePageNumber("KOI8-R"), 20866u);
  EXPECT_EQ(Win32TextCodec::CodePageNumber("utf-8"), 65001u);
  EXPECT_EQ(Win32TextCodec::CodePageNumber("ISO-8859-5"), 28595u);
  for (const char* nonsense : {"", "0", "70000", "WINDOWS-", "CP12x", "ISO-8859-99", "LATIN"}) {
    EXPECT_FALSE(Win32TextCodec::CodePageNumber(nonsense).has_value()) << nonsense;
  }
  EXPECT_EQ(Win32TextCodec::Open("CP12x"), nullptr);
  EXPECT_EQ(Win32TextCodec::Open("12345"), nullptr) << "a number no code page has";
}

TEST(Win32TextCodec, CyrillicGoesBothWaysAndWhatCannotBeSaidIsMarked) {
  const auto codec = Win32TextCodec::Open(std::string(Win32TextCodec::kDefaultCodePage));
  ASSERT_NE(codec, nullptr);
  const std::string wire = "\xD0\xE5\xEA\xEB\xE0\xEC\xE0";  // "Реклама" in 1251
  EXPECT_EQ(codec->ToDisplay(wire), "Реклама");
  EXPECT_EQ(codec->ToWire("Реклама"), wire);
  EXPECT_EQ(codec->ToWire("A€ä→B"), "A\x88??B") << "no look-alike for what 1251 lacks";
  EXPECT_EQ(codec->ToDisplay(""), "");
  // The one byte 1251 leaves undefined does not cut the text short either.
  const std::string undefined = codec->ToDisplay("a\x98z");
  EXPECT_EQ(undefined.front(), 'a');
  EXPECT_EQ(undefined.back(), 'z');
  // Invalid UTF-8 from the operator never cuts the text short.
  EXPECT_EQ(codec->ToWire("x\xFFy").front(), 'x');
  EXPECT_EQ(codec->ToWire("x\xFFy").back(), 'y');
}

TEST(Win32TextCodec, ACodePageThatTakesNoFallbackStillCarriesItsTexts) {
  // UTF-7 is one of the code pages Windows refuses a "?" fallback for.
  const auto codec = Win32TextCodec::Open("65000");
  ASSERT_NE(codec, nullptr);
  const std::string wire = codec->ToWire("Реклама 1");
  EXPECT_EQ(wire, "+BCAENQQ6BDsEMAQ8BDA- 1");
  EXPECT_EQ(codec->ToDisplay(wire), "Реклама 1");
}

}  // namespace
}  // namespace trivane
