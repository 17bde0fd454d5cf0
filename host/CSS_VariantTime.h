#pragma once

#include <cstdint>

namespace ssmsg {

// A local date and time in whole seconds, as a calendar shows it: month 1 to 12, day of month
// 1 to 31, hour 0 to 23, minute and second 0 to 59.
struct CSS_DateTimeFields {
  std::int32_t Year = 0;
  std::int32_t Month = 0;
  std::int32_t Day = 0;
  std::int32_t Hour = 0;
  std::int32_t Minute = 0;
  std::int32_t Second = 0;

  friend bool operator==(const CSS_DateTimeFields&, const CSS_DateTimeFields&) = default;
};

// Variant time: a date and time as one floating-point day count. The whole part counts days from
// 30 December 1899 (day 0), negative before it; the fraction is the time of day, and it is the
// distance from midnight also on negative days, so -1.25 is 29 December 1899, 06:00, and -0.5
// is the same instant as 0.5. The dates it holds run from 1 January 100 to 31 December 9999.

// The earliest and the last representable day counts (midnight of those days).
inline constexpr double kVariantTimeFirstDay = -657434.0;  // 0100-01-01
inline constexpr double kVariantTimeLastDay = 2958465.0;   // 9999-12-31

// Converts `fields` into a day count. false, leaving `value` as it was, unless the fields name a
// real calendar date in the years 100 to 9999 and a real time of day.
bool CSS_FieldsToVariantTime(const CSS_DateTimeFields& fields, double& value);

// Converts a day count back into calendar fields, rounded to the nearest second. false, leaving
// `fields` as it was, for a value that is not a number or lies outside the years 100 to 9999.
bool CSS_VariantTimeToFields(double value, CSS_DateTimeFields& fields);

}  // namespace ssmsg
