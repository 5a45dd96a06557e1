#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/argument_values.h"
#include "tools/command_line.h"

namespace trivane::sim {
namespace {

SimCommandLine Parse(std::vector<std::string> arguments) {
  return ParseSimCommandLine(arguments);
}

TEST(SecondsAsMs, TakesDecimalsExactlyAndCutsPastTheThird) {
  EXPECT_EQ(ParseSecondsAsMs("60"), 60000);
  EXPECT_EQ(ParseSecondsAsMs("90.5"), 90500);
  EXPECT_EQ(ParseSecondsAsMs("0.001"), 1);
  // 1.2345 * 1000 in binary64 is 1234.4999..; the text is read digit by digit.
  EXPECT_EQ(ParseSecondsAsMs("1.2345"), 1234);
  EXPECT_EQ(ParseSecondsAsMs(".5"), 500);
  EXPECT_EQ(ParseSecondsAsMs("-0.25"), -250);
  EXPECT_EQ(ParseSecondsAsMs("4294967.295"), 4294967295);
  for (const char* bad : {"", ".", "-", "1.2.3", "1e3", "1,5", "abc", "12345678901"}) {
    EXPECT_FALSE(ParseSecondsAsMs(bad)) << bad;
  }
}

TEST(ArgumentValues, IntegersInRangeAndFieldsKeepingTheirCommas) {
  EXPECT_EQ(ParseInteger("0x65", 0, 255), 0x65);
  EXPECT_EQ(ParseInteger("-5", -10, 10), -5);
  EXPECT_FALSE(ParseInteger("256", 0, 255));
  EXPECT_FALSE(ParseInteger("--5", -10, 10));
  EXPECT_FALSE(ParseInteger("5x", 0, 10));
  EXPECT_FALSE(ParseInteger("0x", 0, 10));
  EXPECT_EQ(SplitFields("1,2,a, b,c", 3), (std::vector<std::string>{"1", "2", "a, b,c"}));
  EXPECT_EQ(SplitFields("1,2", 3), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(SplitFields("1,2,", 3), (std::vector<std::string>{"1", "2", ""}));
}

TEST(SourceCommandLine, KeepsEveryUnitInOrderWithItsValues) {
  const auto options = Parse({"source",
                              "--port",
                              "9100",
                              "--vl3-region",
                              "60,120.5",
                              "--hex=4c33 00:00",
                              "--vl3-notice",
                              "P,90.5,Реклама, блок",
                              "--vl2-notice",
                              "e,1.2345,x",
                              "--vl2-region",
                              "-5,nan",
                              "--drcp-block",
                              "-5,30,-1",
                              "--uecp-drcp-block",
                              "65535,1,2",
                              "--uecp-rt",
                              "Hello",
                              "--file",
                              "capture.bin",
                              "--vl3-message",
                              "3,7,",
                              "--repeat",
                              "0",
                              "--interval=250",
                              "--hold",
                              "--once",
                              "--bind",
                              "0.0.0.0",
                              "--codepage",
                              "KOI8-R"});
  ASSERT_EQ(options.error, "");
  EXPECT_EQ(options.command, SimCommand::kSource);
  EXPECT_EQ(options.codepage, "KOI8-R");
  const SourceOptions& source = options.source;
  EXPECT_EQ(source.port, 9100);
  EXPECT_EQ(source.bind, "0.0.0.0");
  EXPECT_EQ(source.repeat, 0u);
  EXPECT_EQ(source.interval_ms, 250u);
  EXPECT_TRUE(source.hold);
  EXPECT_TRUE(source.once);
  ASSERT_EQ(source.units.size(), 10u);

  const auto& region = std::get<Vl3RegionUnit>(source.units[0]);
  EXPECT_EQ(region.size_ms, 60000u);
  EXPECT_EQ(region.over_ms, 120500u);
  EXPECT_EQ(region.extra_ms, 0u);
  EXPECT_EQ(std::get<HexUnit>(source.units[1]).bytes, (Bytes{0x4C, 0x33, 0x00, 0x00}));
  const auto& notice = std::get<Vl3NoticeUnit>(source.units[2]);
  EXPECT_EQ(notice.kind, 7);  // P
  EXPECT_EQ(notice.size_ms, 90500u);
  EXPECT_EQ(notice.text, "Реклама, блок");
  const auto& vl2_notice = std::get<Vl2NoticeUnit>(source.units[3]);
  EXPECT_EQ(vl2_notice.code, 0x65);
  EXPECT_DOUBLE_EQ(vl2_notice.seconds, 1.2345);
  EXPECT_EQ(vl2_notice.text, "x");
  const auto& vl2_region = std::get<Vl2RegionUnit>(source.units[4]);
  EXPECT_DOUBLE_EQ(vl2_region.size_seconds, -5);
  EXPECT_TRUE(std::isnan(vl2_region.over_seconds));
  const auto& drcp = std::get<DrcpBlockUnit>(source.units[5]);
  EXPECT_EQ(drcp.delay_ms, -5);
  EXPECT_EQ(drcp.size_ms, 30000u);
  EXPECT_EQ(drcp.over_ms, -1000);
  EXPECT_FALSE(drcp.in_uecp_frame);
  EXPECT_TRUE(std::get<DrcpBlockUnit>(source.units[6]).in_uecp_frame);
  EXPECT_EQ(std::get<RadiotextUnit>(source.units[7]).text, "Hello");
  EXPECT_EQ(std::get<FileUnit>(source.units[8]).path, "capture.bin");
  const auto& message = std::get<Vl3MessageUnit>(source.units[9]);
  EXPECT_EQ(message.type, 3);
  EXPECT_EQ(message.num, 7);
  EXPECT_TRUE(message.payload.empty());
}

TEST(SourceCommandLine, RefusesValuesThatCannotGoOnTheWire) {
  const std::vector<std::vector<std::string>> bad{
      {"source"},                                         // no port
      {"source", "--port", "65536"},                      //
      {"source", "--port", "1", "--vl3-region", "60"},    // no over time
      {"source", "--port", "1", "--vl3-region", "-1,2"},  // sizes are unsigned
      {"source", "--port", "1", "--vl3-region", "4294967.296,0"},
      {"source", "--port", "1", "--vl3-notice", "Q,1,x"},
      {"source", "--port", "1", "--vl3-notice", "1,1"},  // no text field
      {"source", "--port", "1", "--drcp-block", "2147483648,1,1"},
      {"source", "--port", "1", "--hex", "4c3"},
      {"source", "--port", "1", "--hex", ""},
      {"source", "--port", "1", "--vl2-region", "1,x"},
      {"source", "--port", "1", "--bind", "localhost"},
      {"source", "--port", "1", "--repeat"},  // no value
      {"source", "--port", "1", "--password", "x"},
      {"source", "--port", "1", "stray"},
  };
  for (const auto& arguments : bad) {
    const auto options = Parse(arguments);
    EXPECT_NE(options.error, "") << arguments.back();
    EXPECT_FALSE(options.help);
  }
}

TEST(OtherCommandLines, OnlineListenAndDecode) {
  const auto online =
      Parse({"online", "--port=0", "--password", "sekret", "--greeting", "Hi", "--refuse", "No"});
  ASSERT_EQ(online.error, "");
  EXPECT_EQ(online.online.password, "sekret");
  EXPECT_EQ(online.online.greeting, "Hi");
  EXPECT_EQ(online.online.refusal, "No");
  EXPECT_NE(Parse({"online", "--port", "0"}).error, "");
  EXPECT_EQ(Parse({"online", "--port", "0", "--silent"}).error, "");
  EXPECT_EQ(Parse({"online", "--port", "0", "--password", ""}).error, "");
  // An empty refusal is the "accepted" answer.
  EXPECT_NE(Parse({"online", "--port", "0", "--password", "x", "--refuse", ""}).error, "");

  const auto listen = Parse({"listen", "--port", "9999", "--show-playlist"});
  ASSERT_EQ(listen.error, "");
  EXPECT_EQ(listen.listen.host, "127.0.0.1");
  EXPECT_EQ(listen.listen.port, 9999);
  EXPECT_TRUE(listen.listen.decode.show_playlist);
  EXPECT_NE(Parse({"listen", "--port", "0"}).error, "");
  EXPECT_NE(Parse({"listen"}).error, "");

  const auto stdin_decode = Parse({"decode"});
  ASSERT_EQ(stdin_decode.error, "");
  EXPECT_EQ(stdin_decode.decode.file, "-");
  const auto file_decode = Parse({"decode", "--ignore-delay", "cap.bin"});
  ASSERT_EQ(file_decode.error, "");
  EXPECT_EQ(file_decode.decode.file, "cap.bin");
  EXPECT_TRUE(file_decode.decode.decode.ignore_delay);
  EXPECT_NE(Parse({"decode", "a.bin", "b.bin"}).error, "");
  EXPECT_NE(Parse({"decode", "--port", "1"}).error, "");
}

TEST(StudioCommandLine, KeepsEveryMessageInOrderAndNeedsNoPort) {
  const auto options = Parse({"studio", "--window", "0xFFFF0010", "--class=TStudio5", "--pid-query",
                              "--region=60,120.5,0.25", "--notice=P,90.5,Реклама, блок",
                              "--clock=2024-02-29T23:59:59.990", "--clock=now", "--message=7,00ff",
                              "--message=0x10,", "--receive=1.5", "--hang=6", "--vanish"});
  ASSERT_EQ(options.error, "");
  EXPECT_EQ(options.command, SimCommand::kStudio);
  const StudioOptions& studio = options.studio;
  EXPECT_EQ(studio.window, static_cast<WindowHandle>(0xFFFF0010u));  // negative as a handle
  EXPECT_EQ(studio.window_class, "TStudio5");
  EXPECT_TRUE(studio.pid_query);
  EXPECT_EQ(studio.receive_ms, 1500u);
  EXPECT_EQ(studio.hang_ms, 6000u);
  EXPECT_TRUE(studio.vanish);
  ASSERT_EQ(studio.messages.size(), 6u);

  const auto& region = std::get<Vl3RegionUnit>(studio.messages[0]);
  EXPECT_EQ(region.size_ms, 60000u);
  EXPECT_EQ(region.over_ms, 120500u);
  EXPECT_EQ(region.extra_ms, 250u);
  const auto& notice = std::get<Vl3NoticeUnit>(studio.messages[1]);
  EXPECT_EQ(notice.kind, 7);
  EXPECT_EQ(notice.text, "Реклама, блок");
  EXPECT_EQ(std::get<ClockUnit>(studio.messages[2]).value,
            EncodeDateTime({2024, 2, 29, 23, 59, 59, 990}));
  EXPECT_FALSE(std::get<ClockUnit>(studio.messages[3]).value);  // now, when sent
  const auto& message = std::get<Vl3MessageUnit>(studio.messages[4]);
  EXPECT_EQ(message.type, 1);
  EXPECT_EQ(message.num, 7);
  EXPECT_EQ(message.payload, (Bytes{0x00, 0xFF}));
  EXPECT_EQ(std::get<Vl3MessageUnit>(studio.messages[5]).num, 16);
  EXPECT_TRUE(std::get<Vl3MessageUnit>(studio.messages[5]).payload.empty());

  const auto plain = Parse({"studio", "--window", "-5", "--clock", "2024-01-02T03:04:05"});
  ASSERT_EQ(plain.error, "");
  EXPECT_EQ(plain.studio.window, -5);
  EXPECT_EQ(plain.studio.window_class, "TStudio3");
  EXPECT_EQ(std::get<ClockUnit>(plain.studio.messages.at(0)).value,
            EncodeDateTime({2024, 1, 2, 3, 4, 5, 0}));

  const auto help = Parse({"studio", "--help"});
  EXPECT_TRUE(help.help);
  EXPECT_EQ(help.command, SimCommand::kStudio);
  EXPECT_NE(UsageText(SimCommand::kStudio).find("--pid-query"), std::string::npos);
}

TEST(StudioCommandLine, RefusesValuesThatCannotGoOut) {
  const std::vector<std::vector<std::string>> bad{
      {"studio", "--window", "0"},  // no window at all
      {"studio", "--window", "0x100000000"},
      {"studio", "--class", ""},
      {"studio", "--class", std::string(256, 'x')},
      {"studio", "--region", "60"},
      {"studio", "--region", "-1,2"},
      {"studio", "--notice", "Q,1,x"},
      {"studio", "--notice", "1,1"},
      {"studio", "--clock", "2023-02-29T00:00:00.000"},  // no such day
      {"studio", "--clock", "2024-02-29T24:00:00.000"},
      {"studio", "--clock", "2024-02-29 23:59:59.990"},
      {"studio", "--clock", "2024-2-29T23:59:59"},
      {"studio", "--message", "65536,00"},
      {"studio", "--message", "1,0g"},
      {"studio", "--message", "1"},
      {"studio", "--receive", "-1"},
      {"studio", "--hang", "x"},
      {"studio", "--receive"},  // no value
      {"studio", "--port", "1"},
      {"studio", "stray"},
  };
  for (const auto& arguments : bad) {
    const auto options = Parse(arguments);
    EXPECT_NE(options.error, "") << arguments.back();
    EXPECT_FALSE(options.help);
  }
}

TEST(OtherCommandLines, HelpWinsOverMissingOptionsAndNamesItsSubcommand) {
  EXPECT_TRUE(Parse({"--help"}).help);
  const auto listen_help = Parse({"--help", "listen"});
  EXPECT_TRUE(listen_help.help);
  EXPECT_EQ(listen_help.command, SimCommand::kListen);
  const auto source_help = Parse({"source", "--help"});
  EXPECT_TRUE(source_help.help);
  EXPECT_EQ(source_help.command, SimCommand::kSource);
  EXPECT_NE(UsageText(SimCommand::kSource).find("--vl3-region"), std::string::npos);

  EXPECT_NE(Parse({}).error, "");
  EXPECT_NE(Parse({"relay"}).error, "");
}

}  // namespace
}  // namespace trivane::sim
