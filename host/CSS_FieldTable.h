#pragma once

// The machinery of the field tables: one description of every field of a record, which the
// messages, the site file (reading and writing), the warnings and the fuzzers all read.
//
// A field names its record member once, with the text that is both its key in the site file and
// its element name in a message, and its kind: a number (of the member's own width), a yes/no
// flag, an enumerated value with its enumeration, or a text. A table is a compile-time list of
// fields; code that builds messages walks it at compile time (no cost over writing each element
// by hand), and code that reads or writes whole records walks its run-time view, `Infos()`.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include <ssmsg/CSToolEnum.h>

namespace ssmsg {

enum class CSS_FieldKind : std::uint8_t {
  Number,  // a signed or unsigned integer, written in decimal
  Flag,    // a byte written "True" (non-zero) or "False"
  Enum,    // a signed integer written as the text of its enumeration
  Text,    // a string written as it is
};

// How a field is stored in its record.
enum class CSS_FieldType : std::uint8_t { Int16, Int32, UInt8, UInt32, String };

// What a number names, where it names another record of the same controller.
enum class CSS_FieldRefers : std::uint8_t {
  Nothing,
  TimeZone,   // a time zone, by its zone number
  TimeGroup,  // a time group, by its position in the list from 1; 0 names none
};

namespace detail {

template <class M>
struct MemberOf;
template <class R, class T>
struct MemberOf<T R::*> {
  using Record = R;
  using Type = T;
};

template <class T>
constexpr CSS_FieldType TypeOf() {
  if constexpr (std::is_same_v<T, std::int16_t>) return CSS_FieldType::Int16;
  if constexpr (std::is_same_v<T, std::int32_t>) return CSS_FieldType::Int32;
  if constexpr (std::is_same_v<T, std::uint8_t>) return CSS_FieldType::UInt8;
  if constexpr (std::is_same_v<T, std::uint32_t>) return CSS_FieldType::UInt32;
  if constexpr (std::is_same_v<T, std::string>) return CSS_FieldType::String;
}

}  // namespace detail

// The run-time view of one field. Records are reached through untyped pointers so that one list
// can describe fields of any record; each pointer must point to the field's own record type.
struct CSS_FieldInfo {
  std::string_view name;
  CSS_FieldKind kind;
  CSS_FieldType type;
  CSToolEnumId enumeration;  // Enum only
  std::int64_t min;          // the values the member can hold (Number and Enum)
  std::int64_t max;
  // The values that mean something to a controller (Number), where fewer than min..max do: an
  // hour 0..23. Another value is kept and sent as it is, with a warning that it is not `meaning`
  // ("an hour"); none where `meaning` is empty.
  std::int64_t low;
  std::int64_t high;
  std::string_view meaning;
  // What a person reads for the field ("Debounce time") and the unit of its number ("ticks"),
  // where it has one.
  std::string_view label;
  std::string_view unit;
  CSS_FieldRefers refers;  // Number only
  // Number, Flag and Enum: read and write the member; a written value must lie in min..max.
  std::int64_t (*get)(const void* record);
  void (*set)(void* record, std::int64_t value);
  // Text: the member itself.
  const std::string& (*text)(const void* record);
  std::string& (*textRef)(void* record);
};

// One field: the record member `Member`, written as `Kind`.
template <auto Member, CSS_FieldKind Kind>
struct CSS_Field {
  using Record = typename detail::MemberOf<decltype(Member)>::Record;
  using Type = typename detail::MemberOf<decltype(Member)>::Type;
  static constexpr auto kMember = Member;
  static constexpr CSS_FieldKind kKind = Kind;
  static constexpr CSS_FieldType kType = detail::TypeOf<Type>();
  static_assert(Kind == CSS_FieldKind::Text ? kType == CSS_FieldType::String
                                            : std::is_integral_v<Type>);
  static_assert(Kind != CSS_FieldKind::Flag || kType == CSS_FieldType::UInt8);
  static_assert(Kind != CSS_FieldKind::Enum || std::is_signed_v<Type>);

  std::string_view name;
  CSToolEnumId enumeration{};
  std::string_view meaning;  // and the values that have it: see CSS_FieldInfo
  std::int64_t low = 0;
  std::int64_t high = 0;
  std::string_view label;  // see CSS_FieldInfo
  std::string_view unit;
  CSS_FieldRefers refers = CSS_FieldRefers::Nothing;

  // The field as a person reads it: "Debounce time", in "ticks".
  constexpr CSS_Field Says(std::string_view text, std::string_view of = {}) const {
    CSS_Field field = *this;
    field.label = text;
    field.unit = of;
    return field;
  }

  // The field that names another record of the controller.
  constexpr CSS_Field Refers(CSS_FieldRefers to) const {
    static_assert(Kind == CSS_FieldKind::Number);
    CSS_Field field = *this;
    field.refers = to;
    return field;
  }

  // The field whose values mean something only within least..most.
  constexpr CSS_Field Within(std::int64_t least, std::int64_t most, std::string_view what) const {
    static_assert(Kind == CSS_FieldKind::Number);
    CSS_Field field = *this;
    field.low = least;
    field.high = most;
    field.meaning = what;
    return field;
  }

  static const Type& Of(const Record& record) { return record.*Member; }
  static Type& Of(Record& record) { return record.*Member; }

  // The values the member can hold (Number, Flag and Enum).
  static constexpr std::int64_t Min() {
    if constexpr (Kind == CSS_FieldKind::Text || Kind == CSS_FieldKind::Flag) {
      return 0;
    } else {
      return std::numeric_limits<Type>::min();
    }
  }
  static constexpr std::int64_t Max() {
    if constexpr (Kind == CSS_FieldKind::Text) {
      return 0;
    } else if constexpr (Kind == CSS_FieldKind::Flag) {
      return 1;
    } else {
      return static_cast<std::int64_t>(std::numeric_limits<Type>::max());
    }
  }

  constexpr CSS_FieldInfo Info() const {
    CSS_FieldInfo info{name, Kind,  kType, enumeration, 0,       0,       0,       0,
                       {},   label, unit,  refers,      nullptr, nullptr, nullptr, nullptr};
    if constexpr (Kind == CSS_FieldKind::Text) {
      info.text = [](const void* record) -> const std::string& {
        return Of(*static_cast<const Record*>(record));
      };
      info.textRef = [](void* record) -> std::string& { return Of(*static_cast<Record*>(record)); };
    } else {
      info.min = Min();
      info.max = Max();
      info.low = meaning.empty() ? info.min : low;
      info.high = meaning.empty() ? info.max : high;
      info.meaning = meaning;
      info.get = [](const void* record) -> std::int64_t {
        return Of(*static_cast<const Record*>(record));
      };
      info.set = [](void* record, std::int64_t value) {
        Of(*static_cast<Record*>(record)) = static_cast<Type>(value);
      };
    }
    return info;
  }
};

// The four kinds of field, each from its member and its name.
template <auto Member>
constexpr CSS_Field<Member, CSS_FieldKind::Number> Number(std::string_view name) {
  CSS_Field<Member, CSS_FieldKind::Number> field{};
  field.name = name;
  return field;
}
template <auto Member>
constexpr CSS_Field<Member, CSS_FieldKind::Flag> Flag(std::string_view name) {
  CSS_Field<Member, CSS_FieldKind::Flag> field{};
  field.name = name;
  return field;
}
template <auto Member>
constexpr CSS_Field<Member, CSS_FieldKind::Enum> Enum(std::string_view name, CSToolEnumId id) {
  CSS_Field<Member, CSS_FieldKind::Enum> field{};
  field.name = name;
  field.enumeration = id;
  return field;
}
template <auto Member>
constexpr CSS_Field<Member, CSS_FieldKind::Text> Text(std::string_view name) {
  CSS_Field<Member, CSS_FieldKind::Text> field{};
  field.name = name;
  return field;
}

// A list of fields of one record, in the order in which messages and site files write them.
template <class... Fields>
struct CSS_FieldTable {
  static constexpr std::size_t kSize = sizeof...(Fields);
  std::tuple<Fields...> fields;

  // Calls `visit(field)` for every field in order, each with its own type.
  template <class Visit>
  constexpr void ForEach(Visit&& visit) const {
    std::apply([&](const Fields&... field) { (visit(field), ...); }, fields);
  }

  // Whether every field has a label.
  constexpr bool Labelled() const {
    return std::apply([](const Fields&... field) { return (!field.label.empty() && ...); }, fields);
  }

  // The run-time view, in the same order.
  constexpr std::array<CSS_FieldInfo, kSize> Infos() const {
    return std::apply(
        [](const Fields&... field) { return std::array<CSS_FieldInfo, kSize>{field.Info()...}; },
        fields);
  }
};

template <class... Fields>
constexpr CSS_FieldTable<Fields...> MakeFieldTable(Fields... fields) {
  return {std::tuple<Fields...>(fields...)};
}

// One table made of several, in order: a record whose fields several messages share out.
template <class... A, class... B, class... More>
constexpr auto JoinFieldTables(const CSS_FieldTable<A...>& a, const CSS_FieldTable<B...>& b,
                               const More&... more) {
  const CSS_FieldTable<A..., B...> joined{std::tuple_cat(a.fields, b.fields)};
  if constexpr (sizeof...(More) == 0) {
    return joined;
  } else {
    return JoinFieldTables(joined, more...);
  }
}

// The whole table of a record kind: every field that the site file holds for it. Specialised
// for each record kind beside its fields (host/CSDevice_Fields.h).
template <class Record>
inline constexpr auto kRecordFields = MakeFieldTable();

// The run-time view of a record kind's whole table, made once.
template <class Record>
inline constexpr auto kRecordFieldInfos = kRecordFields<Record>.Infos();

}  // namespace ssmsg
