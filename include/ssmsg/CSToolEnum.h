#pragma once

/// \file
/// The enumeration service: the text that each enumerated value of a record is sent as, with the
/// library's built-in texts, which a host may replace.

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/export.h>

namespace ssmsg {

/// Every enumeration of the enumeration service, by the name of its CSToolEnum member without
/// the "Get" prefix.
// clang-format off
#define SSMSG_TOOL_ENUMS(X)                                                                    \
  X(Alarm) X(CardStatus) X(ChangeCounterStatus) X(ControllerCommError)                         \
  X(CounterReaderCountStatus) X(CounterSetupStatus) X(CounterStatus) X(DCP_BaudRate)           \
  X(DCP_FLanType) X(DCP_PeripheralType) X(DCP_PortBits) X(DCP_PortParity) X(DCP_PortType)      \
  X(EventStatus) X(EventType) X(InputType) X(Level) X(OutputChangeType) X(OutputLatchLevel)    \
  X(OutputPolarity) X(OutputSource) X(OutputType) X(ReaderApp) X(ReaderBoothMode)              \
  X(ReaderCompleteMode) X(ReaderCapture) X(ReaderCheckType) X(ReaderDbMode) X(ReaderLED)       \
  X(ReaderNumberOfChecks) X(ReaderPower) X(ReaderType) X(Tick) X(TimerStatus) X(VenderBus)     \
  X(VenderCommunicationType) X(VenderFreeType) X(VenderKeyFormat) X(VenderType) X(VendStatus)  \
  X(XTRA_VORAN_Mode) X(EnableInOutLevel) X(OutputInOutLevel)
// clang-format on

/// Names each enumeration of SSMSG_TOOL_ENUMS, e.g. CSToolEnumId::InputType.
enum class CSToolEnumId : std::size_t {
#define SSMSG_ENUM_ID(name) name,
  SSMSG_TOOL_ENUMS(SSMSG_ENUM_ID)
#undef SSMSG_ENUM_ID
};

/// How many enumerations there are.
inline constexpr std::size_t kToolEnumCount = 0
#define SSMSG_ENUM_COUNT(name) +1
    SSMSG_TOOL_ENUMS(SSMSG_ENUM_COUNT)
#undef SSMSG_ENUM_COUNT
    ;

/// One enumeration: a text for each of its values.
class SSMSG_API CSToolEnumBase {
 public:
  /// The text of `value`; the empty text when the value has none. The view stays valid until the
  /// text of that value is replaced.
  /// \param value the value
  /// \return its text, or the empty text
  std::string_view EnumToString(const int& value) const {
    if (value >= 0 && value < static_cast<int>(dense_.size())) {
      const auto& text = dense_[static_cast<std::size_t>(value)];
      return text.has_value() ? std::string_view(*text) : std::string_view();
    }
    return SparseText(value);
  }

  /// Gives `value` the text `text` (replacing the one it had).
  /// \param value the value
  /// \param text its new text
  void SetText(int value, std::string_view text);

  /// \return every value that has a text, in ascending order
  std::vector<int> Values() const;

 private:
  std::string_view SparseText(int value) const;

  /// Small non-negative values are looked up by position; any others in a map.
  static constexpr int kDenseLimit = 256;
  std::vector<std::optional<std::string>> dense_;
  std::map<int, std::string> sparse_;
};

/// The enumeration service: one CSToolEnumBase per enumeration, each reached through its Get
/// member. It starts with the library's built-in texts; a host may replace any text at any time
/// when no message is being built.
class SSMSG_API CSToolEnum {
 public:
  CSToolEnum();  ///< loads the built-in texts

#define SSMSG_ENUM_GETTER(name)                                   \
  CSToolEnumBase* Get##name() {                                   \
    return &enums_[static_cast<std::size_t>(CSToolEnumId::name)]; \
  }
  SSMSG_TOOL_ENUMS(SSMSG_ENUM_GETTER)
#undef SSMSG_ENUM_GETTER

  /// The enumeration `id`, as its Get member gives it (GetInputType(), ...).
  /// \param id the enumeration
  /// \return the enumeration
  CSToolEnumBase* Get(CSToolEnumId id) {
    return &enums_[static_cast<std::size_t>(id)];
  }
  /// The enumeration `id`.
  /// \param id the enumeration
  /// \return the enumeration
  const CSToolEnumBase* Get(CSToolEnumId id) const {
    return &enums_[static_cast<std::size_t>(id)];
  }

  /// The name of an enumeration.
  /// \param id the enumeration
  /// \return its name, e.g. "InputType"
  static std::string_view Name(CSToolEnumId id);
  /// The enumeration of a name.
  /// \param name e.g. "InputType"
  /// \return the enumeration, or nothing when no enumeration has that name
  static std::optional<CSToolEnumId> FindByName(std::string_view name);

 private:
  std::array<CSToolEnumBase, kToolEnumCount> enums_;
};

/// The service that the builders ask for texts: the one installed with gl_SetToolEnum, or the
/// library's own.
/// \return the service, never null
SSMSG_API CSToolEnum* gl_fn_GetToolEnum();

/// Installs `service` (null: the library's own again) and returns the one installed before. The
/// caller keeps ownership and keeps the service alive while it is installed.
/// \param service the service to install, or null for the library's own
/// \return the service installed before
SSMSG_API CSToolEnum* gl_SetToolEnum(CSToolEnum* service);

}  // namespace ssmsg
