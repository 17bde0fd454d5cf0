#pragma once

// Test support shared by the tests and the fuzz targets.
//
// Fills a configuration store, an enumeration service and a clock from a source of values: the
// fuzz targets read them from the fuzzer's bytes (ByteSource below), the concurrency test from a
// seeded random generator. Every part of the store is filled: records through their field tables
// (host/CSDevice_Fields.h), and what the tables do not describe through FillUntabled.
//
// A source offers:
//   Value<T>()   any value of an integral field
//   Count<T>()   a capacity count (small ones are the interesting ones, but any value may come)
//   Positions()  how many positions a container gets (declined ones included), 0 to kMaxPositions
//   Declined()   whether the next position holds no record
//   Text(max)    a name or an enumeration text of at most `max` bytes
//   Time()       a local time for the clock, or nothing

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSToolEnum.h>

#include "host/CSDevice_Fields.h"

namespace ssmsg::test {

inline constexpr int kMaxPositions = 32;
// The time-group loop asks for groups x ceil(zones / 8) blocks, and every name becomes one
// message per ten characters. Beyond these bounds an input only takes longer and finds nothing
// new, so the filler lowers the group count and cuts names to stay within them. Enumeration
// texts keep their full length: each is written whole into one element.
inline constexpr std::int64_t kMaxTimeGroupBlocks = 1 << 12;
inline constexpr std::size_t kMaxNameLength = 256;

// Reads values from the fuzzer's bytes, front to back. Once the bytes run out every read gives
// zero, so any input, even an empty one, decodes to something.
class ByteSource {
 public:
  explicit ByteSource(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

  bool Empty() const { return rest_.empty(); }

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t byte = rest_.front();
    rest_ = rest_.subspan(1);
    return byte;
  }

  // sizeof(T) bytes, little-endian: every bit pattern is possible.
  template <std::integral T>
  T Value() {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      bits |= std::uint64_t{Byte()} << (8 * i);
    return static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
  }

  // Mostly -4 to 59 from one byte; a quarter of the byte values read a raw value instead.
  template <std::integral T>
  T Count() {
    const std::uint8_t mode = Byte();
    if (mode < 0xC0) return static_cast<T>(mode % 64 - 4);
    return Value<T>();
  }

  int Positions() { return Byte() % (kMaxPositions + 1); }
  bool Declined() { return (Byte() & 1) != 0; }

  // Up to 47 bytes as they come, or (one header byte in four) a pattern of 1 to 8 bytes repeated
  // to any length up to `maxLength`, by default long enough to outgrow every buffer of a message.
  std::string Text(std::size_t maxLength = 20000) {
    const std::uint8_t header = Byte();
    std::string text;
    if (header < 0xC0) {
      const std::size_t length = std::min({std::size_t{header} % 48, rest_.size(), maxLength});
      text.assign(reinterpret_cast<const char*>(rest_.data()), length);
      rest_ = rest_.subspan(length);
    } else {
      const std::size_t length = Value<std::uint16_t>() % (maxLength + 1);
      for (std::size_t i = 0; i <= header % 8u; ++i)
        text.push_back(static_cast<char>(Byte()));
      text.reserve(length);
      while (text.size() < length)
        text.append(text, 0, length - text.size());
      text.resize(length);
    }
    if (stripMarkup_) std::replace_if(text.begin(), text.end(), IsMarkup, '_');
    markupSeen_ = markupSeen_ || std::any_of(text.begin(), text.end(), IsMarkup);
    return text;
  }

  std::optional<std::tm> Time() {
    if ((Byte() & 1) != 0) return std::nullopt;
    std::tm time{};
    for (int* field : {&time.tm_year, &time.tm_mon, &time.tm_mday, &time.tm_hour, &time.tm_min,
                       &time.tm_sec, &time.tm_wday, &time.tm_yday, &time.tm_isdst}) {
      *field = Count<int>();
    }
    return time;
  }

  // With stripping on, "<", ">" and "&" in texts become "_".
  void StripMarkup(bool strip) { stripMarkup_ = strip; }
  // Whether any text handed out so far holds "<", ">" or "&".
  bool MarkupSeen() const { return markupSeen_; }

 private:
  static bool IsMarkup(char c) { return c == '<' || c == '>' || c == '&'; }

  std::span<const std::uint8_t> rest_;
  bool stripMarkup_ = false;
  bool markupSeen_ = false;
};

// Values for a store that looks like a real controller's: mostly small numbers (so enumerated
// fields have texts), a few declined records, short names; now and then a value of any size.
class RandomSource {
 public:
  explicit RandomSource(std::uint32_t seed) : random_(seed) {}

  template <std::integral T>
  T Value() {
    if (Chance(8)) return static_cast<T>(random_());
    return static_cast<T>(Uniform(-1, 6));
  }
  template <std::integral T>
  T Count() {
    return static_cast<T>(Uniform(-1, 12));
  }
  int Positions() { return Uniform(2, 12); }
  // A number from `low` to `high`.
  int Pick(int low, int high) { return Uniform(low, high); }
  bool Declined() { return Chance(6); }
  std::string Text(std::size_t /*maxLength*/ = 25) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789";
    std::string text(static_cast<std::size_t>(Uniform(0, 25)), ' ');
    for (char& c : text)
      c = kChars[Uniform(0, sizeof kChars - 2)];
    return text;
  }
  std::optional<std::tm> Time() {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 4;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 7;
    return time;
  }

 private:
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool Chance(int oneIn) { return Uniform(1, oneIn) == 1; }

  std::mt19937 random_;
};

template <class Source, class... Field>
void FillValues(Source& in, Field&... fields) {
  ((fields = in.template Value<Field>()), ...);
}

// The fields of a record that its field table does not describe.
template <class Source, class Record>
void FillUntabled(Source& /*in*/, Record& /*record*/) {}
template <class Source>
void FillUntabled(Source& in, CSDevice_Config& r) {
  FillValues(in, r.Modified);
  r.Name = in.Text(kMaxNameLength);
}
template <class Source>
void FillUntabled(Source& in, CSDevice_XTRA& r) {
  FillValues(in, r.Modified);
  r.Name = in.Text(kMaxNameLength);
}
template <class Source, class Record>
requires requires(Record r) {
  r.NameInitialised;
}
void FillUntabled(Source& in, Record& r) {
  FillValues(in, r.NameInitialised);
}
template <class Source>
void FillUntabled(Source& in, CSDevice_InputTimeItem& r) {
  for (std::int16_t& group : r.LevelTG)
    FillValues(in, group);
}
template <class Source>
void FillUntabled(Source& in, CSDevice_TimeGroupZoneItem& r) {
  FillValues(in, r.TimeGroupNo);
  // Zone numbers near the start make full and over-full blocks likely.
  r.ZoneNo = in.template Count<std::int16_t>();
}

// Every field of a record: those of its field table, then the others.
template <class Source, class Record>
void FillFields(Source& in, Record& record) {
  kRecordFields<Record>.ForEach([&](const auto& field) {
    auto& member = std::remove_cvref_t<decltype(field)>::Of(record);
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(member)>, std::string>) {
      member = in.Text(kMaxNameLength);
    } else {
      member = in.template Value<std::remove_cvref_t<decltype(member)>>();
    }
  });
  FillUntabled(in, record);
}

template <class Source>
void FillFields(Source& in, CSDevice_Resource& r) {
#define SSMSG_FILL_COUNT(name, type)      \
  r.Set##name(in.template Count<type>()); \
  r.SetMax##name(in.template Count<type>());
  SSMSG_RESOURCE_COUNTS(SSMSG_FILL_COUNT)
#undef SSMSG_FILL_COUNT
#define SSMSG_FILL_FLAG(name)                                \
  r.Set##name((in.template Value<std::uint8_t>() & 1) != 0); \
  r.SetMax##name((in.template Value<std::uint8_t>() & 1) != 0);
  SSMSG_RESOURCE_FLAGS(SSMSG_FILL_FLAG)
#undef SSMSG_FILL_FLAG
  const std::int64_t blocksPerGroup = (std::int64_t{r.GetTimeZones()} + 7) / 8;
  if (r.GetTimeGroups() > 0 && blocksPerGroup > 0 &&
      r.GetTimeGroups() * blocksPerGroup > kMaxTimeGroupBlocks) {
    r.SetTimeGroups(static_cast<std::int16_t>(kMaxTimeGroupBlocks / blocksPerGroup));
  }
}

// A record container: some positions declined, the others holding records of any value.
template <class Source, class Record, int First>
void FillFields(Source& in, CSDevice_Records<Record, First>& records) {
  records.Clear();
  const int positions = in.Positions();
  for (int i = 0; i < positions; ++i) {
    if (in.Declined()) {
      records.Append(std::nullopt);
      continue;
    }
    Record record{};
    FillFields(in, record);
    records.Append(std::move(record));
  }
}

// Time groups: some declined, the others holding any number of zones with any zone numbers, so
// that a block may hold none, eight or more than eight zones.
template <class Source>
void FillFields(Source& in, CSDevice_TimeGroupZone& groups) {
  groups.Clear();
  const int count = in.Positions();
  for (int g = 0; g < count; ++g) {
    if (in.Declined()) {
      groups.Append(std::nullopt);
      continue;
    }
    std::vector<CSDevice_TimeGroupZoneItem> zones(static_cast<std::size_t>(in.Positions()));
    for (CSDevice_TimeGroupZoneItem& zone : zones)
      FillFields(in, zone);
    groups.Append(std::move(zones));
  }
  groups.SetCurrentTimeGroupNo(in.template Value<int>());
}

// Every part of the store.
template <class Source>
void FillStore(Source& in, CSApplicationManagerStd& store) {
#define SSMSG_FILL_PART(name, type) FillFields(in, store.Get##name());
  SSMSG_STORE_PARTS(SSMSG_FILL_PART)
#undef SSMSG_FILL_PART
}

// A site file keeps an input's, output's or reader's sub-records inside its list element, so it
// has no way to give them where the element itself is declined: drop those.
inline void DropOrphans(CSApplicationManagerStd& store) {
  const auto drop = [](const auto& owner, auto&... parts) {
    for (int i = 0; i < std::max({parts.GetRecordCount()...}); ++i) {
      if (owner.Find(i) == nullptr) (parts.Decline(i), ...);
    }
  };
  drop(store.GetInputType(), store.GetInputTime(), store.GetInputLink());
  drop(store.GetOutputType(), store.GetOutputTime());
  drop(store.GetRdConfiguration(), store.GetRdCardControl(), store.GetRdCardLocation(),
       store.GetRdCardStructure(), store.GetRdAccessAlarm());
}

// Gives some values of some enumerations texts of their own; the other values keep their
// built-in texts or have none.
template <class Source>
void FillEnumTexts(Source& in, CSToolEnum& service) {
  const int count = in.Positions();
  for (int i = 0; i < count; ++i) {
    const auto id = static_cast<CSToolEnumId>(in.template Value<std::uint8_t>() % kToolEnumCount);
    const int value = in.template Count<int>();
    service.Get(id)->SetText(value, in.Text());
  }
}

// A clock source that answers `time`, or says the time cannot be obtained.
inline CSS_ClockSource ClockFrom(std::optional<std::tm> time) {
  if (time.has_value()) return FixedClock(*time);
  return [] { return std::optional<std::tm>(); };
}

// Installs a store, an enumeration service and a clock for as long as it lives, and puts the
// previous ones back afterwards.
class InstalledHost {
 public:
  InstalledHost(CSApplicationManagerStd& store, CSToolEnum& service, CSS_ClockSource clock)
      : previousStore_(gl_SetApplicationManagerStd(&store)),
        previousService_(gl_SetToolEnum(&service)) {
    gl_SetClockSource(std::move(clock));
  }
  ~InstalledHost() {
    gl_SetApplicationManagerStd(previousStore_);
    gl_SetToolEnum(previousService_);
    gl_SetClockSource({});
  }
  InstalledHost(const InstalledHost&) = delete;
  InstalledHost& operator=(const InstalledHost&) = delete;

 private:
  CSApplicationManagerStd* previousStore_;
  CSToolEnum* previousService_;
};

}  // namespace ssmsg::test
