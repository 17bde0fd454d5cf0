#include <ssmsg/CSS_Clock.h>

#include <utility>

#include "host/CSS_ThreadHost.h"

namespace ssmsg {
namespace {

std::optional<std::tm> MachineLocalTime() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return std::nullopt;
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
  return local;
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

}  // namespace ssmsg
