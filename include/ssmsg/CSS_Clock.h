#pragma once

#include <ctime>
#include <functional>
#include <optional>

#include <ssmsg/export.h>

namespace ssmsg {

// Reads the local wall-clock time once: calendar fields as std::tm gives them (years since 1900,
// month index 0 to 11, ...), or nothing when the time cannot be obtained.
using CSS_ClockSource = std::function<std::optional<std::tm>()>;

// One reading of the local time through the installed clock source.
SSMSG_API std::optional<std::tm> gl_ReadLocalTime();

// Installs `source` as the clock that the clock message reads (an empty function: the machine's
// own clock). Install it before messages are built, not while they are.
SSMSG_API void gl_SetClockSource(CSS_ClockSource source);

// A clock source that always answers the given local time.
SSMSG_API CSS_ClockSource FixedClock(const std::tm& localTime);

// The date and time year-month-day hour:minute:second (year 0 to 9999, month 1 to 12) as a clock
// reading, day of the week and of the year included; nothing when it is not a real one (30
// February, 24:00:00, ...).
SSMSG_API std::optional<std::tm> CalendarTime(int year, int month, int day, int hour, int minute,
                                              int second);

}  // namespace ssmsg
