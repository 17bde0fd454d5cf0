#pragma once

#include <concepts>
#include <cstdint>
#include <string_view>

#include <ssmsg/CSToolEnum.h>
#include "core/CSS_Format.h"
#include "core/CSS_XmlTag.h"

#include "host/CSS_FieldTable.h"

namespace ssmsg {

// Appends the leaf elements of a message's parameters, one helper per kind of value, so that a
// command's AddParameters reads as the list of its elements: the elements it computes, then the
// fields of a record's table.
//
//   CSS_Params(parameters).Number("Input", number_).Fields(kInputTypeFields, record_);
class CSS_Params {
 public:
  explicit CSS_Params(CSS_XmlTag* parent) : parent_(parent) {}

  // Signed decimal; 16-bit fields are widened with their sign.
  CSS_Params& Number(std::string_view name, std::int32_t value) {
    parent_->AddChild(name, value);
    return *this;
  }
  // Unsigned 8-bit values (ports and levels), 0 to 255.
  CSS_Params& Number(std::string_view name, std::uint8_t value) {
    parent_->AddChild(name, value);
    return *this;
  }
  template <class T>
  requires std::same_as<T, bool> CSS_Params& Number(std::string_view name, T value) = delete;

  // "True" for any non-zero byte, "False" for zero.
  CSS_Params& Flag(std::string_view name, std::uint8_t flag) {
    parent_->AddChild(name, FlagText(flag));
    return *this;
  }

  // The text that the enumeration service gives for `value` in enumeration `id`, as it comes
  // (an empty text gives an empty element). The service is looked up once per helper: it is not
  // replaced while a message is being built.
  CSS_Params& Enum(std::string_view name, CSToolEnumId id, int value) {
    if (enums_ == nullptr) enums_ = gl_fn_GetToolEnum();
    parent_->AddChild(name, enums_->Get(id)->EnumToString(value));
    return *this;
  }

  // A text, unchanged.
  CSS_Params& Text(std::string_view name, std::string_view text) {
    parent_->AddChild(name, text);
    return *this;
  }

  // Every field of `table`, in order, from `record`. The table is walked at compile time.
  template <class Table, class Record>
  CSS_Params& Fields(const Table& table, const Record& record) {
    table.ForEach([&](const auto& field) { Field(field, record); });
    return *this;
  }

  // One field of a record, written as its kind says.
  template <auto Member, CSS_FieldKind Kind>
  CSS_Params& Field(const CSS_Field<Member, Kind>& field,
                    const typename CSS_Field<Member, Kind>::Record& record) {
    using F = CSS_Field<Member, Kind>;
    const auto& value = F::Of(record);
    if constexpr (Kind == CSS_FieldKind::Flag) {
      return Flag(field.name, value);
    } else if constexpr (Kind == CSS_FieldKind::Enum) {
      return Enum(field.name, field.enumeration, value);
    } else if constexpr (Kind == CSS_FieldKind::Text) {
      return Text(field.name, value);
    } else if constexpr (F::kType == CSS_FieldType::UInt8) {
      return Number(field.name, value);
    } else {
      // 16-bit fields widen with their sign; an unsigned 32-bit field travels as the signed
      // number of the same bits.
      return Number(field.name, static_cast<std::int32_t>(value));
    }
  }

 private:
  CSS_XmlTag* parent_;
  CSToolEnum* enums_ = nullptr;
};

}  // namespace ssmsg
