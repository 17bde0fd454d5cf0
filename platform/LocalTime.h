#pragma once

// The machine's local time.

#include <ctime>
#include <optional>

namespace ssmsg {

// `time` as the machine's local calendar time (its time zone, daylight saving included);
// nothing when the system cannot say.
std::optional<std::tm> LocalTimeOf(std::time_t time);

}  // namespace ssmsg
