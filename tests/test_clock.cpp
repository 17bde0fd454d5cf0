#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include <ssmsg/CSS_Clock.h>
#include "host/CSS_VariantTime.h"
#include "support.h"

namespace ssmsg::test {
namespace {

CSS_DateTimeFields At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return {y, mo, d, h, mi, s};
}

// A calendar stepped by hand from 1 January 100 (day -657434) to 31 December 9999 (day 2958465)
// agrees with the conversion both ways, at midnight and at 23:59:59 of every day, and the day
// after each month's last is refused.
TEST(VariantTime, EveryDayOfTheRangeRoundTrips) {
  auto leap = [](int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); };
  const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  CSS_DateTimeFields date = At(100, 1, 1);
  for (double day = -657434; day <= 2958465; ++day) {
    for (const auto& [h, m, s] : {std::array{0, 0, 0}, std::array{23, 59, 59}}) {
      const CSS_DateTimeFields fields = At(date.Year, date.Month, date.Day, h, m, s);
      double value = 0;
      CSS_DateTimeFields back;
      ASSERT_TRUE(CSS_FieldsToVariantTime(fields, value) && std::trunc(value) == day) << day;
      ASSERT_TRUE(CSS_VariantTimeToFields(value, back) && back == fields) << day;
    }
    const int length = date.Month == 2 && leap(date.Year) ? 29 : lengths[date.Month - 1];
    if (++date.Day > length) {
      double refused = 0;
      ASSERT_FALSE(CSS_FieldsToVariantTime(date, refused)) << date.Year << '-' << date.Month;
      date.Day = 1, ++date.Month;
    }
    if (date.Month > 12) date.Month = 1, ++date.Year;
  }
  EXPECT_EQ(date, At(10000, 1, 1));
}

// Before day 0 the fraction still counts from midnight; values round to the nearest second,
// possibly into the next day, and nothing outside the years 100 to 9999 converts.
TEST(VariantTime, FractionsRoundingAndLimits) {
  double value = 0;
  for (const auto& [fields, expected] : {std::pair{At(1899, 12, 29, 6), -1.25},
                                         {At(1899, 12, 30, 12), 0.5},
                                         {At(1899, 12, 31, 18), 1.75}}) {
    EXPECT_TRUE(CSS_FieldsToVariantTime(fields, value) && value == expected) << expected;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, std::optional<CSS_DateTimeFields>> cases[] = {
      {-1.25, At(1899, 12, 29, 6)},
      {-0.5, At(1899, 12, 30, 12)},
      {0.9999999, At(1899, 12, 31)},
      {-1.9999999, At(1899, 12, 30)},
      {-657434.9999999, At(100, 1, 2)},
      {2958465.9999999, std::nullopt},
      {-657435, std::nullopt},
      {2958466, std::nullopt},
      {nan, std::nullopt},
      {-std::numeric_limits<double>::infinity(), std::nullopt}};
  for (const auto& [v, fields] : cases) {
    CSS_DateTimeFields f = At(1, 2, 3);
    EXPECT_EQ(CSS_VariantTimeToFields(v, f), fields.has_value()) << v;
    EXPECT_EQ(f, fields.value_or(At(1, 2, 3))) << v;
  }
  for (const CSS_DateTimeFields& f :
       {At(99, 12, 31, 23, 59, 59), At(10000, 1, 1), At(2026, 0, 1), At(2026, 13, 1),
        At(2026, 1, 0), At(2026, 4, 31), At(1900, 2, 29), At(2100, 2, 29), At(2024, 2, 30),
        At(2026, 1, 1, 24), At(2026, 1, 1, -1), At(2026, 1, 1, 0, 60), At(2026, 1, 1, 0, 0, 60)}) {
    EXPECT_FALSE(CSS_FieldsToVariantTime(f, value)) << f.Year << '-' << f.Month << '-' << f.Day;
  }
}

class Clock : public StoreTest {
 protected:
  ~Clock() override { gl_SetClockSource({}); }
  static std::string Rtc(const CSS_DateTimeFields& f) {
    std::string params;
    for (auto [name, v] : {std::pair{"Year", f.Year},
                           {"Month", f.Month},
                           {"Day", f.Day},
                           {"Hour", f.Hour},
                           {"Minute", f.Minute},
                           {"Second", f.Second}}) {
      params += std::string("<") + name + ">" + std::to_string(v) + "</" + name + ">";
    }
    return Msg("SystemData", "SetRTC", params);
  }
};

TEST_F(Clock, SendsTheLocalTimeOfOneReading) {
  const std::pair<CSS_DateTimeFields, bool> cases[] = {{At(2026, 12, 4, 9, 5, 7), true},
                                                       {At(2025, 12, 31, 23, 59, 59), true},
                                                       {At(1850, 2, 1, 3, 4, 5), true},
                                                       {At(100, 1, 1), true},
                                                       {At(9999, 12, 31, 23, 59, 59), true},
                                                       {At(10000, 1, 1), false},
                                                       {At(2026, 2, 30), false},
                                                       {At(2026, 6, 30, 23, 59, 60), false}};
  for (const auto& [now, valid] : cases) {
    std::tm t{};
    t.tm_year = now.Year - 1900, t.tm_mon = now.Month - 1, t.tm_mday = now.Day;
    t.tm_hour = now.Hour, t.tm_min = now.Minute, t.tm_sec = now.Second;
    gl_SetClockSource(FixedClock(t));
    out.clear();
    EXPECT_TRUE(Run(152));
    EXPECT_EQ(out, CSS_StringList{Rtc(valid ? now : At(-1, -1, -1, -1, -1, -1))});
  }
}

TEST_F(Clock, ReadsTheClockOncePerMessageAndSurvivesAFailingClock) {
  int readings = 0;
  gl_SetClockSource([&]() -> std::optional<std::tm> {
    ++readings;
    return std::nullopt;
  });
  EXPECT_TRUE(Run(152));
  EXPECT_EQ(readings, 1);
  EXPECT_EQ(out, CSS_StringList{Rtc(At(-1, -1, -1, -1, -1, -1))});

  // A clock answering fields at the edge of int is refused, not overflowed.
  std::tm extreme{};
  extreme.tm_year = std::numeric_limits<int>::max();
  extreme.tm_mon = std::numeric_limits<int>::max();
  gl_SetClockSource(FixedClock(extreme));
  EXPECT_TRUE(Run(152));
  EXPECT_EQ(out.back(), Rtc(At(-1, -1, -1, -1, -1, -1)));
}

// A calendar time is a clock reading with its day of the week and of the year; the last day of
// each month is the last one accepted.
TEST(CalendarTime, RealDatesOnlyWithTheirWeekday) {
  const struct {
    std::array<int, 6> at;
    int weekday, yearDay;  // -1: refused
  } cases[] = {
      {{2026, 12, 4, 9, 5, 7}, 5, 337},  {{2000, 2, 29, 23, 59, 59}, 2, 59},
      {{2024, 12, 31, 0, 0, 0}, 2, 365}, {{9999, 12, 31, 0, 0, 0}, 5, 364},
      {{1900, 2, 29, 0, 0, 0}, -1, 0},   {{2026, 4, 31, 0, 0, 0}, -1, 0},
      {{2026, 1, 1, 24, 0, 0}, -1, 0},   {{2026, 1, 1, 0, 0, -1}, -1, 0},
      {{10000, 1, 1, 0, 0, 0}, -1, 0},   {{2026, 13, 1, 0, 0, 0}, -1, 0},
  };
  for (const auto& [at, weekday, yearDay] : cases) {
    const std::optional<std::tm> time = CalendarTime(at[0], at[1], at[2], at[3], at[4], at[5]);
    ASSERT_EQ(time.has_value(), weekday >= 0) << at[0] << "-" << at[1] << "-" << at[2];
    if (!time) continue;
    EXPECT_EQ(time->tm_year + 1900, at[0]);
    EXPECT_EQ(time->tm_mon + 1, at[1]);
    EXPECT_EQ(time->tm_sec, at[5]);
    EXPECT_EQ(time->tm_wday, weekday) << at[0];
    EXPECT_EQ(time->tm_yday, yearDay) << at[0];
  }
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_TRUE(CalendarTime(2026, month, days[month - 1], 0, 0, 0)) << month;
    EXPECT_FALSE(CalendarTime(2026, month, days[month - 1] + 1, 0, 0, 0)) << month;
    EXPECT_FALSE(CalendarTime(2026, month, 0, 0, 0, 0)) << month;
  }
}

}  // namespace
}  // namespace ssmsg::test
