#pragma once

#include <concepts>
#include <cstdint>
#include <string_view>

#include "core/CSS_Format.h"
#include "core/CSS_XmlTag.h"
#include <ssmsg/CSToolEnum.h>

namespace ssmsg {

// Appends the leaf elements of a message's parameters, one helper per kind of value, so that a
// command's AddParameters reads as the list of its elements:
//
//   CSS_Params(parameters).Number("Input", number_).Enum("Type", CSToolEnumId::InputType, r.Type)
//       .Flag("EOL", r.EOL);
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

 private:
  CSS_XmlTag* parent_;
  CSToolEnum* enums_ = nullptr;
};

}  // namespace ssmsg
