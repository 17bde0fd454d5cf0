#include "platform/LocalTime.h"

namespace ssmsg {

std::optional<std::tm> LocalTimeOf(std::time_t time) {
  std::tm local{};
  if (::localtime_s(&local, &time) != 0) return std::nullopt;
  return local;
}

}  // namespace ssmsg
