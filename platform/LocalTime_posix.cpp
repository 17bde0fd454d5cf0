#include "platform/LocalTime.h"

namespace ssmsg {

std::optional<std::tm> LocalTimeOf(std::time_t time) {
  std::tm local{};
  if (::localtime_r(&time, &local) == nullptr) return std::nullopt;
  return local;
}

}  // namespace ssmsg
