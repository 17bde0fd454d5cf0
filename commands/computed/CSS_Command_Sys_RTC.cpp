#include "commands/computed/CSS_Command_Sys_RTC.h"

#include <cstdint>
#include <iterator>
#include <optional>

#include <ssmsg/CSS_Clock.h>
#include "commands/CSS_Params.h"
#include "host/CSS_VariantTime.h"

namespace ssmsg {
namespace {

// One reading of the local clock, or nothing when the clock cannot be read or its time does not
// survive the trip into a variant time and back unchanged.
std::optional<CSS_DateTimeFields> ReadClock() {
  const std::optional<std::tm> local = gl_ReadLocalTime();
  // A replaceable clock may answer anything; a year or month beyond the representable range is
  // simply not a time the controller can be given.
  if (!local || local->tm_year > 9999 - 1900 || local->tm_mon > 12) return std::nullopt;
  const CSS_DateTimeFields fields{.Year = local->tm_year + 1900,
                                  .Month = local->tm_mon + 1,
                                  .Day = local->tm_mday,
                                  .Hour = local->tm_hour,
                                  .Minute = local->tm_min,
                                  .Second = local->tm_sec};
  double value = 0;
  CSS_DateTimeFields back;
  if (!CSS_FieldsToVariantTime(fields, value) || !CSS_VariantTimeToFields(value, back) ||
      back != fields) {
    return std::nullopt;
  }
  return back;
}

}  // namespace

bool CSS_Command_Sys_RTC::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  // All six fields come from the one reading, so they always name the same instant.
  const CSS_DateTimeFields f = ReadClock().value_or(CSS_DateTimeFields{-1, -1, -1, -1, -1, -1});
  const std::int32_t values[] = {f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second};
  static_assert(std::size(values) == std::size(kClockElements));
  CSS_Params params(parameters);
  for (std::size_t i = 0; i < std::size(values); ++i)
    params.Number(kClockElements[i].name, values[i]);
  return true;
}

}  // namespace ssmsg
