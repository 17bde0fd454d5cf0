#pragma once

/// \file
/// The clock that the clock message (task 152) reads: the machine's local time, or a source that
/// a host installs, such as a fixed time for reproducible output.

#include <ctime>
#include <functional>
#include <optional>

#include <ssmsg/export.h>

namespace ssmsg {

/// Reads the local wall-clock time once: calendar fields as std::tm gives them (years since 1900,
/// month index 0 to 11, ...), or nothing when the time cannot be obtained.
using CSS_ClockSource = std::function<std::optional<std::tm>()>;

/// One reading of the local time through the installed clock source.
/// \return the local time, or nothing when it cannot be obtained
SSMSG_API std::optional<std::tm> gl_ReadLocalTime();

/// Installs `source` as the clock that the clock message reads (an empty function: the machine's
/// own clock). Install it before messages are built, not while they are.
/// \param source the clock source, or an empty function
SSMSG_API void gl_SetClockSource(CSS_ClockSource source);

/// A clock source that always answers the given local time.
/// \param localTime the time it answers
/// \return the clock source
SSMSG_API CSS_ClockSource FixedClock(const std::tm& localTime);

/// The date and time year-month-day hour:minute:second (year 0 to 9999, month 1 to 12) as a clock
/// reading, day of the week and of the year included; nothing when it is not a real one (30
/// February, 24:00:00, ...).
/// \param year the year, 0 to 9999
/// \param month the month, 1 to 12
/// \param day the day of the month, from 1
/// \param hour the hour, 0 to 23
/// \param minute the minute, 0 to 59
/// \param second the second, 0 to 59
/// \return the clock reading, or nothing
SSMSG_API std::optional<std::tm> CalendarTime(int year, int month, int day, int hour, int minute,
                                              int second);

}  // namespace ssmsg
