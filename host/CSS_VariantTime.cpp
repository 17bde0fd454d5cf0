#include "host/CSS_VariantTime.h"

#include <cmath>

namespace ssmsg {
namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

constexpr bool IsLeapYear(std::int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int DaysInMonth(std::int64_t year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Day number of a date in the Gregorian calendar, counted in a calendar whose years start on
// 1 March so that the leap day is the last day of its year. Valid for years 1 and later.
constexpr std::int64_t DayNumber(std::int64_t year, std::int64_t month, std::int64_t day) {
  const std::int64_t y = month <= 2 ? year - 1 : year;
  const std::int64_t marchMonth = month <= 2 ? month + 9 : month - 3;  // March is 0
  const std::int64_t dayOfYear = (153 * marchMonth + 2) / 5 + day - 1;
  return 365 * y + y / 4 - y / 100 + y / 400 + dayOfYear;
}

// The date of a day number of DayNumber.
void DateOf(std::int64_t number, CSS_DateTimeFields& fields) {
  constexpr std::int64_t kDaysPer400Years = 146097;
  const std::int64_t era = number / kDaysPer400Years;
  const std::int64_t dayOfEra = number - era * kDaysPer400Years;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t marchMonth = (5 * dayOfYear + 2) / 153;
  const std::int64_t month = marchMonth < 10 ? marchMonth + 3 : marchMonth - 9;
  fields.Year = static_cast<std::int32_t>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
  fields.Month = static_cast<std::int32_t>(month);
  fields.Day = static_cast<std::int32_t>(dayOfYear - (153 * marchMonth + 2) / 5 + 1);
}

constexpr std::int64_t kDayZero = DayNumber(1899, 12, 30);
static_assert(DayNumber(100, 1, 1) - kDayZero == static_cast<std::int64_t>(kVariantTimeFirstDay));
static_assert(DayNumber(9999, 12, 31) - kDayZero == static_cast<std::int64_t>(kVariantTimeLastDay));

constexpr bool InRange(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value >= low && value <= high;
}

}  // namespace

bool CSS_FieldsToVariantTime(const CSS_DateTimeFields& fields, double& value) {
  if (!InRange(fields.Year, 100, 9999) || !InRange(fields.Month, 1, 12) ||
      !InRange(fields.Day, 1, DaysInMonth(fields.Year, fields.Month)) ||
      !InRange(fields.Hour, 0, 23) || !InRange(fields.Minute, 0, 59) ||
      !InRange(fields.Second, 0, 59)) {
    return false;
  }
  const auto day = static_cast<double>(DayNumber(fields.Year, fields.Month, fields.Day) - kDayZero);
  const double timeOfDay =
      static_cast<double>(fields.Hour * 3600 + fields.Minute * 60 + fields.Second) /
      static_cast<double>(kSecondsPerDay);
  // Before day 0 the time of day still counts forward from midnight: it moves the value away
  // from zero.
  value = day < 0 ? day - timeOfDay : day + timeOfDay;
  return true;
}

bool CSS_VariantTimeToFields(double value, CSS_DateTimeFields& fields) {
  // The negated test also turns away NaN.
  if (!(value > kVariantTimeFirstDay - 1.0 && value < kVariantTimeLastDay + 1.0)) return false;
  const double whole = std::trunc(value);
  auto day = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(value - whole) * kSecondsPerDay);
  if (seconds == kSecondsPerDay) {  // rounded up to the next midnight
    seconds = 0;
    ++day;
  }
  if (day > static_cast<std::int64_t>(kVariantTimeLastDay)) return false;

  CSS_DateTimeFields result;
  DateOf(day + kDayZero, result);
  result.Hour = static_cast<std::int32_t>(seconds / 3600);
  result.Minute = static_cast<std::int32_t>(seconds / 60 % 60);
  result.Second = static_cast<std::int32_t>(seconds % 60);
  fields = result;
  return true;
}

}  // namespace ssmsg
