#include <ssmsg/CSS_Clock.h>

#include <chrono>
#include <utility>

#include "host/CSS_ThreadHost.h"
#include "platform/LocalTime.h"

namespace ssmsg {
namespace {

std::optional<std::tm> MachineLocalTime() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return std::nullopt;
  return LocalTimeOf(now);
}

CSS_ClockSource& InstalledSource() {
  static CSS_ClockSource source;
  return source;
}

}  // namespace

std::optional<std::tm> gl_ReadLocalTime() {
  if (const CSS_ClockSource* bound = ThreadHostParts().clock; bound != nullptr && *bound) {
    return (*bound)();
  }
  const CSS_ClockSource& source = InstalledSource();
  return source ? source() : MachineLocalTime();
}

void gl_SetClockSource(CSS_ClockSource source) {
  InstalledSource() = std::move(source);
}

CSS_ClockSource FixedClock(const std::tm& localTime) {
  return [localTime]() -> std::optional<std::tm> { return localTime; };
}

std::optional<std::tm> CalendarTime(int year, int month, int day, int hour, int minute,
                                    int second) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 0 || year > 9999 || month < 1 || month > 12 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day < 1 || day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return std::nullopt;
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  time.tm_isdst = -1;
  // The day of the week and of the year, from the civil calendar.
  namespace chrono = std::chrono;
  const chrono::sys_days date =
      chrono::year_month_day{chrono::year{year}, chrono::month{static_cast<unsigned>(month)},
                             chrono::day{static_cast<unsigned>(day)}};
  const chrono::sys_days newYear = chrono::year{year} / chrono::January / 1;
  time.tm_wday = static_cast<int>(chrono::weekday{date}.c_encoding());
  time.tm_yday = static_cast<int>((date - newYear).count());
  return time;
}

}  // namespace ssmsg
