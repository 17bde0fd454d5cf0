#pragma once

// The description of a kind of message: its envelope and, in order, the elements it carries under
// "Parameters". The command classes take their MessageType, Action and flags from it, and the
// names of the elements they compute; the decoder and the encoder of <ssmsg/Message.h> walk
// it. The descriptions themselves are in commands/CSS_MessageCatalog.h.

#include <cstdint>
#include <span>
#include <string_view>

#include <ssmsg/Message.h>
#include <ssmsg/CSToolEnum.h>

namespace ssmsg {

// The MessageType of each group of commands.
inline constexpr std::string_view kInterfaceMessages = "Interface";
inline constexpr std::string_view kControllerMessages = "Controller";
inline constexpr std::string_view kSystemMessages = "SystemData";
inline constexpr std::string_view kGroupMessages = "Groups";
inline constexpr std::string_view kInputMessages = "Inputs";
inline constexpr std::string_view kOutputMessages = "Outputs";
inline constexpr std::string_view kReaderMessages = "Reader";
inline constexpr std::string_view kXtraMessages = "XTRA";

// One element under "Parameters", or inside an element of a list.
struct CSS_ElementLayout {
  std::string_view name;
  CSS_ValueKind kind = CSS_ValueKind::Number;
  CSS_NumberWidth width = CSS_NumberWidth::Int32;  // Number
  CSToolEnumId enumeration{};                      // Enum
  // Text and Flag: when not empty, the only texts the element holds.
  std::span<const std::string_view> choices{};
  // Interface messages leave out the lists they have no numbers for:
  bool optional = false;
  bool withPrevious = false;    // there exactly when the element before it is
  bool coversPrevious = false;  // holds at least as many numbers as the element before it
  // List: each element of the list is an element `item` holding `fields`; there are `minCount`
  // to `maxCount` of them.
  std::string_view item{};
  std::span<const CSS_ElementLayout> fields{};
  std::uint8_t minCount = 0;
  std::uint8_t maxCount = 0;
};

// One kind of message.
struct CSS_MessageLayout {
  CSS_MessageKindInfo info;
  std::span<const CSS_ElementLayout> elements{};
  // The message holds at least one of its optional elements.
  bool needsOptional = false;
};

}  // namespace ssmsg
