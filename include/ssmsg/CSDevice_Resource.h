#pragma once

/// \file
/// A controller's capabilities: how many inputs, outputs, readers, ports, time zones and so on it
/// has, and which functions it offers; the builders send no record beyond a count.

#include <cstdint>

namespace ssmsg {

/// Capability counts of a controller: X(name, type). Each count has a Max twin.
#define SSMSG_RESOURCE_COUNTS(X)        \
  X(AppsAccess, std::int16_t)           \
  X(AppsCash, std::int16_t)             \
  X(AppsVORAN, std::int16_t)            \
  X(AppsFuel, std::int16_t)             \
  X(AppsLevel, std::int16_t)            \
  X(AppsTemperature, std::int16_t)      \
  X(AppsVend, std::int16_t)             \
  X(FunctionsRandomCheck, std::int16_t) \
  X(Cards, std::int32_t)                \
  X(Comms, std::int16_t)                \
  X(CommsFLAN, std::int16_t)            \
  X(Inputs, std::int16_t)               \
  X(Outputs, std::int16_t)              \
  X(Readers, std::int16_t)              \
  X(ReadersAssa, std::int16_t)          \
  X(ReadersOSDP, std::int16_t)          \
  X(ReadersSalto, std::int16_t)         \
  X(TimeZones, std::int16_t)            \
  X(TimeGroups, std::int16_t)

/// Capability flags of a controller: X(name). Each flag has a Max twin.
#define SSMSG_RESOURCE_FLAGS(X) \
  X(AppsBootloaderSelf)         \
  X(AppsBootloaderApp)          \
  X(FunctionsAPB)               \
  X(FunctionsATB)               \
  X(FunctionsBoothOrMantrap)    \
  X(FunctionsCapture)           \
  X(FunctionsOutputGroup)       \
  X(FunctionsVendAccess)        \
  X(FunctionsVendIO)            \
  X(FunctionsVendKey)           \
  X(FunctionsVendMDB)           \
  X(CommsBlueTooth)             \
  X(CommsGSM)                   \
  X(CommsSMS)                   \
  X(CommsWiFi)                  \
  X(CommsZigbee)                \
  X(ReadersCLIP)

/// The controller's capabilities: how many inputs, outputs, readers, ports, field-LAN nodes, time
/// zones and time groups it has (these bound the record loops), and what it can do. Every count
/// and flag has a Max twin, the most that the controller model allows.
///
/// Each count `name` of SSMSG_RESOURCE_COUNTS has Get`name`(), GetMax`name`(), Set`name`(value)
/// and SetMax`name`(value), e.g. GetInputs() and SetInputs(2); each flag of SSMSG_RESOURCE_FLAGS
/// has Is`name`(), IsMax`name`(), Set`name`(value) and SetMax`name`(value).
///
/// Each count also has Is`name`Given() and Set`name`Given(value): whether the count was given
/// (by a site file's "Resource" or a site database's resources row) rather than taken from the
/// length of the list it bounds. A count given is written back as given even where it equals
/// that length, so that it stays when the list grows. Set`name`() leaves this as it is.
class CSDevice_Resource {
 public:
#define SSMSG_COUNT_ACCESSORS(name, type) \
  type Get##name() const {                \
    return name##_;                       \
  }                                       \
  type GetMax##name() const {             \
    return Max##name##_;                  \
  }                                       \
  void Set##name(type value) {            \
    name##_ = value;                      \
  }                                       \
  void SetMax##name(type value) {         \
    Max##name##_ = value;                 \
  }
  SSMSG_RESOURCE_COUNTS(SSMSG_COUNT_ACCESSORS)
#undef SSMSG_COUNT_ACCESSORS

#define SSMSG_GIVEN_ACCESSORS(name, type)         \
  bool Is##name##Given() const {                  \
    return (given_ & GivenBit(Count::name)) != 0; \
  }                                               \
  void Set##name##Given(bool value) {             \
    if (value) {                                  \
      given_ |= GivenBit(Count::name);            \
    } else {                                      \
      given_ &= ~GivenBit(Count::name);           \
    }                                             \
  }
  SSMSG_RESOURCE_COUNTS(SSMSG_GIVEN_ACCESSORS)
#undef SSMSG_GIVEN_ACCESSORS

#define SSMSG_FLAG_ACCESSORS(name) \
  bool Is##name() const {          \
    return name##_ != 0;           \
  }                                \
  bool IsMax##name() const {       \
    return Max##name##_ != 0;      \
  }                                \
  void Set##name(bool value) {     \
    name##_ = value ? 1 : 0;       \
  }                                \
  void SetMax##name(bool value) {  \
    Max##name##_ = value ? 1 : 0;  \
  }
  SSMSG_RESOURCE_FLAGS(SSMSG_FLAG_ACCESSORS)
#undef SSMSG_FLAG_ACCESSORS

  /// Sets every count to 0 and every flag to false, and makes no count given.
  void Clear() {
    *this = {};
  }

 private:
  enum class Count : unsigned {
#define SSMSG_COUNT_NAME(name, type) name,
    SSMSG_RESOURCE_COUNTS(SSMSG_COUNT_NAME)
#undef SSMSG_COUNT_NAME
  };
  static constexpr std::uint32_t GivenBit(Count count) {
    return std::uint32_t{1} << static_cast<unsigned>(count);
  }

#define SSMSG_COUNT_FIELDS(name, type) \
  type name##_ = 0;                    \
  type Max##name##_ = 0;
  SSMSG_RESOURCE_COUNTS(SSMSG_COUNT_FIELDS)
#undef SSMSG_COUNT_FIELDS

#define SSMSG_FLAG_FIELDS(name) \
  std::uint8_t name##_ = 0;     \
  std::uint8_t Max##name##_ = 0;
  SSMSG_RESOURCE_FLAGS(SSMSG_FLAG_FIELDS)
#undef SSMSG_FLAG_FIELDS

  std::uint32_t given_ = 0;  // a bit for each count given, by its place in SSMSG_RESOURCE_COUNTS
};

}  // namespace ssmsg
