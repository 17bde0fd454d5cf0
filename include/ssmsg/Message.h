#pragma once

/// \file
/// Messages read back: the text of one message, exactly as the library writes it, decoded into a
/// value that says which kind of message it is, for which interface and node, and what each of its
/// parameters holds; and the value written back into the very same text, or into one line of JSON.
///
/// \code
///   CSS_Message message;
///   CSS_DecodeError error;
///   if (DecodeMessage(text, message, error)) {
///     std::string json;
///     AppendMessageJson(json, message);  // {"interface":1,"messageType":"Inputs",...}
///   } else {
///     // error.column: 1-based column of the first byte that is wrong; error.reason says why
///   }
/// \endcode

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSToolEnum.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// Every kind of message the library writes: one MessageType and Action pair each.
enum class CSS_MessageKind : std::uint8_t {
  /// MessageType "Interface"
  InterfaceStart,
  InterfaceStop,
  InterfaceSetNodes,
  InterfacePoll,
  /// MessageType "Controller"
  AskSettings,
  SetDbMode,
  SetDbSize,
  SetExpanders,
  FLanClearAll,
  FLanSetup,
  CommPortClearAll,
  CommPortSetup,
  /// MessageType "SystemData"
  SetRTC,
  /// MessageType "Groups"
  HolidayClearAll,
  HolidaySetup,
  TimeZoneClearAll,
  TimeZoneSetup,
  TimeGroupClearAll,
  TimeGroupSetup,
  /// MessageType "Inputs"
  InputClearAll,
  InputType,
  InputName,
  InputTime,
  InputLink,
  /// MessageType "Outputs"
  OutputClearAll,
  OutputType,
  OutputName,
  OutputTime,
  /// MessageType "Reader"
  ReaderClearAll,
  ReaderConfiguration,
  ReaderName,
  CardControl,
  CardLocation,
  CardStructure,
  CheckSetup,
  AccessAlarm,
  /// MessageType "XTRA"
  XtraName,
  XtraMode,
};
/// How many kinds of message there are.
inline constexpr std::size_t kMessageKindCount = 38;

/// What a kind of message looks like from outside.
struct CSS_MessageKindInfo {
  CSS_MessageKind kind;          ///< the kind
  std::string_view messageType;  ///< "Inputs"
  std::string_view action;       ///< "InputType"
  bool hasNode;                  ///< the message names a controller by its node
  bool hasParameters;            ///< the message has a "Parameters" element
};
/// What a kind of message looks like.
/// \param kind the kind
/// \return its MessageType, Action and elements
SSMSG_API const CSS_MessageKindInfo& MessageKindInfo(CSS_MessageKind kind);
/// The kind with this MessageType and Action, if there is one.
/// \param messageType the text of the MessageType element
/// \param action the text of the Action element
/// \return the kind, or nothing
SSMSG_API std::optional<CSS_MessageKind> FindMessageKind(std::string_view messageType,
                                                         std::string_view action);

/// What one parameter holds.
enum class CSS_ValueKind : std::uint8_t {
  Number,   ///< an integer in `number`, of the range that `width` gives
  Flag,     ///< "True" (`number` 1) or "False" (`number` 0)
  Enum,     ///< the text of a value of enumeration `enumeration`, in `text`
  Text,     ///< a text, in `text`
  Numbers,  ///< comma-separated signed 32-bit numbers, in `numbers`
  List,     ///< `count` Object values follow, one per element of the list
  Object,   ///< `count` values follow, the elements inside one element
};

/// The range of a Number parameter.
enum class CSS_NumberWidth : std::uint8_t {
  Int32,  ///< -2147483648 to 2147483647
  Int16,  ///< -32768 to 32767
  UInt8,  ///< 0 to 255
};

/// One parameter: an element under "Parameters" (after "Node"), or inside a list element.
struct CSS_MessageValue {
  std::string_view name;  ///< the element's name; decoded values point to the library's own text
  CSS_ValueKind kind = CSS_ValueKind::Number;      ///< what it holds
  CSS_NumberWidth width = CSS_NumberWidth::Int32;  ///< Number
  CSToolEnumId enumeration{};                      ///< Enum
  std::uint32_t count = 0;                         ///< List and Object
  std::int64_t number = 0;                         ///< Number and Flag
  std::string text;                                ///< Enum and Text
  std::vector<std::int32_t> numbers;               ///< Numbers
};

/// One message. The parameters are in message order; a list is followed by its elements, each an
/// Object followed by its values.
struct CSS_Message {
  CSS_MessageKind kind = CSS_MessageKind::InterfaceStop;  ///< the kind
  std::int32_t interfaceId = 0;                           ///< the interface
  std::optional<std::int32_t> node;                       ///< exactly when the kind has a node
  std::vector<CSS_MessageValue> parameters;               ///< the parameters, in message order
};

/// Where and why a text is not a message of the library.
struct CSS_DecodeError {
  std::size_t column = 0;  ///< 1-based column of the first byte that is wrong
  std::string reason;      ///< e.g. "expected <DLan> after </DNode>"
};

/// Reads `text`, one whole message exactly as the library writes it, into `message` (whose storage
/// is reused). Values are never escaped, so a text value is read up to its own closing tag
/// followed by what must come next. false, with `error` set, when `text` is not a message of the
/// library: unknown MessageType or Action, an element missing, extra or out of order, a number
/// that is not plain decimal or lies outside its range, a yes/no value that is not "True" or
/// "False", anything after "</Command>". `message` then holds nothing usable.
/// \param text the message's text, without a line feed
/// \param[out] message the message decoded
/// \param[out] error where and why, when the text is not a message
/// \return whether the text is a message
SSMSG_API bool DecodeMessage(std::string_view text, CSS_Message& message, CSS_DecodeError& error);

/// Writes the text of `message` into `text` (replacing what it held): for a decoded message,
/// exactly the text it was decoded from. false, leaving `text` empty, when `message` is not one
/// the library can write: parameters that do not match its kind in order, names and kinds, a
/// number outside its range, an interface number below 1, a node below 0 or a node where the kind
/// has none (or none where it has one).
/// \param message the message
/// \param[out] text its text
/// \return whether the message could be written
SSMSG_API bool EncodeMessage(const CSS_Message& message, std::string& text);

/// Appends `message` as one JSON object, without a line feed:
///   {"interface":1,"messageType":"Inputs","action":"InputType","node":2,"parameters":{...}}
/// Numbers are JSON numbers, yes/no values true and false, texts and enumeration texts strings,
/// number lists arrays, lists arrays of objects. "node" is left out where the kind has none and
/// "parameters" where the message has no "Parameters" element.
/// \param out the text the object is appended to
/// \param message the message
SSMSG_API void AppendMessageJson(std::string& out, const CSS_Message& message);

}  // namespace ssmsg
