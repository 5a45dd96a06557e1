#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/date_time.h"
#include "base/formatting.h"
#include "core/grid_geometry.h"

namespace trivane {
namespace {

constexpr std::string_view kFull = "yyyy-mm-dd hh:nn:ss.zzz";

TDateTime At(int year, int month, int day, int hour, int minute, int second, int ms) {
  return EncodeDateTime({year, month, day, hour, minute, second, ms}).value();
}

TEST(DateTime, DecodeRoundsToTheNearestMillisecond) {
  EXPECT_EQ(FormatDateTime(kFull, 45634.42444444444), "2024-12-08 10:11:12.000");
  // Less than half a millisecond before midnight is already the next day.
  EXPECT_EQ(FormatDateTime(kFull, At(2024, 2, 28, 0, 0, 0, 0) + 1 - 1e-10),
            "2024-02-29 00:00:00.000");
  for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 1e300}) {
    EXPECT_EQ(FormatDateTime(kFull, bad), "1899-12-30 00:00:00.000") << bad;
  }
}

TEST(DateTime, EncodeRejectsImpossibleFields) {
  EXPECT_EQ(At(2024, 12, 8, 12, 0, 0, 0), 45634.5);
  EXPECT_EQ(FormatDateTime(kFull, At(2000, 2, 29, 23, 59, 59, 999)), "2000-02-29 23:59:59.999");
  for (const DateTimeFields& bad :
       {DateTimeFields{1900, 2, 29}, DateTimeFields{2023, 2, 29}, DateTimeFields{2024, 2, 30},
        DateTimeFields{2024, 13, 1}, DateTimeFields{2024, 1, 1, 24},
        DateTimeFields{2024, 1, 1, 0, 60}, DateTimeFields{2024, 1, 1, 0, 0, 0, 1000}}) {
    EXPECT_FALSE(EncodeDateTime(bad)) << bad.year << "-" << bad.month << "-" << bad.day;
  }
}

TEST(FormatDateTime, TokensAreCaseInsensitiveAndOtherCharactersCopied) {
  const TDateTime t = At(2024, 3, 7, 9, 5, 4, 27);
  EXPECT_EQ(FormatDateTime("YY-MM-DD [Hh/x]", t), "24-03-07 [09/x]");
  EXPECT_EQ(LongTimeString(t), "09:05:04");
  EXPECT_EQ(FDateTimeZ(At(2024, 12, 8, 14, 3, 27, 456)), "14:03:27.4 08.12");
}

TEST(FormatDuration, SystemModeShowsMinutesSecondsAndTenths) {
  EXPECT_EQ(FormatDuration(6, 0.3), "00:00.3");
  EXPECT_EQ(FormatDuration(6, 60.3), "01:00.3");
  EXPECT_EQ(FormatDuration(6, 90.5), "01:30.5");
  EXPECT_EQ(FormatDuration(6, -2.5), "-00:02.5");
  EXPECT_EQ(FormatDuration(6, 7200), "120:00.0");
  EXPECT_EQ(FormatDuration(6, std::nan("")), "00:00.0");
  EXPECT_EQ(FormatDuration(7, std::numeric_limits<double>::infinity()), FormatDuration(7, 1e200));
}

TEST(FormatDuration, EveryModeSplitsDaysHoursMinutesSeconds) {
  const double d1h1m1s = 86400 + 3600 + 60 + 1.25;
  EXPECT_EQ(FormatDuration(0, d1h1m1s), "1 01:01:01");
  EXPECT_EQ(FormatDuration(0, 59), "00:00:59");
  EXPECT_EQ(FormatDuration(1, d1h1m1s), "25:01:01");
  EXPECT_EQ(FormatDuration(2, d1h1m1s), "25:01");
  EXPECT_EQ(FormatDuration(3, d1h1m1s), "1501:01");
  EXPECT_EQ(FormatDuration(4, d1h1m1s), "25:01:01.2");
  EXPECT_EQ(FormatDuration(5, 59), "0 00:00:59");
  EXPECT_EQ(FormatDuration(7, d1h1m1s), "90061");
  EXPECT_EQ(FormatDuration(8, d1h1m1s), "25:01:01.250");
  EXPECT_EQ(FormatDuration(9, d1h1m1s), "01:01.250");
  EXPECT_EQ(FormatDuration(10, 1), "!FORMAT!");
  EXPECT_EQ(FormatDuration(-1, -1), "-!FORMAT!");
}

TEST(AutoSizeColumns, WeightedColumnTakesWhatTheOthersLeave) {
  const std::int16_t weights[] = {0, 0, 100, 0};
  int widths[] = {91, 27, 414, 97};
  GridGeometry grid{.client_width = 600,
                    .client_height = 100,
                    .full_width = 620,
                    .row_count = 10,
                    .row_height = 19};
  // 10 rows of 20 px overflow 100 px: the scroll bar is there, use the client width.
  AutoSizeColumns(widths, weights, grid);
  EXPECT_EQ(widths[2], 600 - 218 - 1);
  EXPECT_EQ(widths[3], 97);

  grid.client_height = 200;
  AutoSizeColumns(widths, weights, grid);
  EXPECT_EQ(widths[2], 619 - 218 - 1);

  // Without lines the rows are 19 px and no line width is taken off.
  grid.client_height = 190;
  grid.horizontal_lines = grid.vertical_lines = false;
  AutoSizeColumns(widths, weights, grid);
  EXPECT_EQ(widths[2], 619 - 215);

  const std::int16_t halves[] = {50, 50};
  AutoSizeColumns(widths, halves, {.client_width = 101, .row_count = 1, .row_height = 19});
  EXPECT_EQ(widths[0], 49);  // trunc(50.5) - 1
  EXPECT_EQ(widths[2], 619 - 215);
}

}  // namespace
}  // namespace trivane
