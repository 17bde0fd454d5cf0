#include <ssmsg/CSToolEnum.h>

#include "host/CSS_ThreadHost.h"

namespace ssmsg {
namespace {

struct BuiltInText {
  CSToolEnumId id;
  int value;
  std::string_view text;
};

// The library's built-in texts. Every enumeration that a message uses has a text for each value
// a controller knows; a host replaces any of them through CSToolEnumBase::SetText.
constexpr BuiltInText kBuiltInTexts[] = {
    {CSToolEnumId::ReaderDbMode, 0, "Standard"},
    {CSToolEnumId::ReaderDbMode, 1, "Extended"},
    {CSToolEnumId::ReaderDbMode, 2, "Compact"},

    {CSToolEnumId::DCP_FLanType, 0, "None"},
    {CSToolEnumId::DCP_FLanType, 1, "IO8"},
    {CSToolEnumId::DCP_FLanType, 2, "IO16"},
    {CSToolEnumId::DCP_FLanType, 3, "Reader2"},
    {CSToolEnumId::DCP_FLanType, 4, "Reader4"},
    {CSToolEnumId::DCP_FLanType, 5, "Lift"},

    {CSToolEnumId::DCP_PortType, 0, "None"},
    {CSToolEnumId::DCP_PortType, 1, "RS232"},
    {CSToolEnumId::DCP_PortType, 2, "RS485"},
    {CSToolEnumId::DCP_PortType, 3, "USB"},

    {CSToolEnumId::DCP_BaudRate, 0, "1200"},
    {CSToolEnumId::DCP_BaudRate, 1, "2400"},
    {CSToolEnumId::DCP_BaudRate, 2, "4800"},
    {CSToolEnumId::DCP_BaudRate, 3, "9600"},
    {CSToolEnumId::DCP_BaudRate, 4, "19200"},
    {CSToolEnumId::DCP_BaudRate, 5, "38400"},
    {CSToolEnumId::DCP_BaudRate, 6, "57600"},
    {CSToolEnumId::DCP_BaudRate, 7, "115200"},

    {CSToolEnumId::DCP_PortBits, 0, "7"},
    {CSToolEnumId::DCP_PortBits, 1, "8"},

    {CSToolEnumId::DCP_PortParity, 0, "None"},
    {CSToolEnumId::DCP_PortParity, 1, "Odd"},
    {CSToolEnumId::DCP_PortParity, 2, "Even"},

    {CSToolEnumId::DCP_PeripheralType, 0, "None"},
    {CSToolEnumId::DCP_PeripheralType, 1, "Printer"},
    {CSToolEnumId::DCP_PeripheralType, 2, "Modem"},
    {CSToolEnumId::DCP_PeripheralType, 3, "Display"},
    {CSToolEnumId::DCP_PeripheralType, 4, "Vending"},

    {CSToolEnumId::InputType, 0, "Unused"},
    {CSToolEnumId::InputType, 1, "DoorContact"},
    {CSToolEnumId::InputType, 2, "ExitButton"},
    {CSToolEnumId::InputType, 3, "Alarm"},
    {CSToolEnumId::InputType, 4, "Tamper"},
    {CSToolEnumId::InputType, 5, "Counter"},

    {CSToolEnumId::Tick, 0, "10ms"},
    {CSToolEnumId::Tick, 1, "100ms"},
    {CSToolEnumId::Tick, 2, "Second"},
    {CSToolEnumId::Tick, 3, "Minute"},

    {CSToolEnumId::Level, 1, "Level1"},
    {CSToolEnumId::Level, 2, "Level2"},
    {CSToolEnumId::Level, 3, "Level3"},
    {CSToolEnumId::Level, 4, "Level4"},
    {CSToolEnumId::Level, 5, "Level5"},

    {CSToolEnumId::Alarm, 0, "None"},
    {CSToolEnumId::Alarm, 1, "Low"},
    {CSToolEnumId::Alarm, 2, "Medium"},
    {CSToolEnumId::Alarm, 3, "High"},
    {CSToolEnumId::Alarm, 4, "Critical"},

    {CSToolEnumId::OutputType, 0, "Unused"},
    {CSToolEnumId::OutputType, 1, "DoorLock"},
    {CSToolEnumId::OutputType, 2, "Siren"},
    {CSToolEnumId::OutputType, 3, "Light"},
    {CSToolEnumId::OutputType, 4, "Relay"},

    {CSToolEnumId::OutputPolarity, 0, "Normal"},
    {CSToolEnumId::OutputPolarity, 1, "Inverted"},

    {CSToolEnumId::ReaderApp, 0, "None"},
    {CSToolEnumId::ReaderApp, 1, "Access"},
    {CSToolEnumId::ReaderApp, 2, "Cash"},
    {CSToolEnumId::ReaderApp, 3, "Vend"},
    {CSToolEnumId::ReaderApp, 4, "Fuel"},

    {CSToolEnumId::ReaderType, 0, "None"},
    {CSToolEnumId::ReaderType, 1, "Wiegand"},
    {CSToolEnumId::ReaderType, 2, "MagStripe"},
    {CSToolEnumId::ReaderType, 3, "Proximity"},
    {CSToolEnumId::ReaderType, 4, "SmartCard"},
    {CSToolEnumId::ReaderType, 5, "Keypad"},

    {CSToolEnumId::ReaderLED, 0, "Off"},
    {CSToolEnumId::ReaderLED, 1, "On"},
    {CSToolEnumId::ReaderLED, 2, "Flash"},

    {CSToolEnumId::ReaderCompleteMode, 0, "None"},
    {CSToolEnumId::ReaderCompleteMode, 1, "Card"},
    {CSToolEnumId::ReaderCompleteMode, 2, "CardAndPIN"},
    {CSToolEnumId::ReaderCompleteMode, 3, "CardOrPIN"},

    {CSToolEnumId::ReaderBoothMode, 0, "Off"},
    {CSToolEnumId::ReaderBoothMode, 1, "Booth"},
    {CSToolEnumId::ReaderBoothMode, 2, "Mantrap"},

    {CSToolEnumId::ReaderPower, 0, "Internal"},
    {CSToolEnumId::ReaderPower, 1, "External"},

    {CSToolEnumId::ReaderCapture, 0, "Off"},
    {CSToolEnumId::ReaderCapture, 1, "Invalid"},
    {CSToolEnumId::ReaderCapture, 2, "Expired"},
    {CSToolEnumId::ReaderCapture, 3, "All"},

    {CSToolEnumId::ReaderCheckType, 0, "None"},
    {CSToolEnumId::ReaderCheckType, 1, "Random"},
    {CSToolEnumId::ReaderCheckType, 2, "Always"},

    {CSToolEnumId::XTRA_VORAN_Mode, 0, "Off"},
    {CSToolEnumId::XTRA_VORAN_Mode, 1, "Standalone"},
    {CSToolEnumId::XTRA_VORAN_Mode, 2, "Online"},
};

constexpr std::string_view kEnumNames[] = {
#define SSMSG_ENUM_NAME(name) #name,
    SSMSG_TOOL_ENUMS(SSMSG_ENUM_NAME)
#undef SSMSG_ENUM_NAME
};

using Service = CSS_HostService<CSToolEnum, &CSS_HostParts::enums>;

}  // namespace

std::string_view CSToolEnumBase::SparseText(int value) const {
  const auto it = sparse_.find(value);
  return it != sparse_.end() ? std::string_view(it->second) : std::string_view();
}

void CSToolEnumBase::SetText(int value, std::string_view text) {
  if (value >= 0 && value < kDenseLimit) {
    const auto at = static_cast<std::size_t>(value);
    if (at >= dense_.size()) dense_.resize(at + 1);
    dense_[at] = std::string(text);
  } else {
    sparse_[value] = std::string(text);
  }
}

std::vector<int> CSToolEnumBase::Values() const {
  std::vector<int> values;
  for (const auto& [value, text] : sparse_) {
    if (value < 0) values.push_back(value);
  }
  for (std::size_t i = 0; i < dense_.size(); ++i) {
    if (dense_[i].has_value()) values.push_back(static_cast<int>(i));
  }
  for (const auto& [value, text] : sparse_) {
    if (value >= 0) values.push_back(value);
  }
  return values;
}

CSToolEnum::CSToolEnum() {
  for (const BuiltInText& entry : kBuiltInTexts)
    Get(entry.id)->SetText(entry.value, entry.text);
}

std::string_view CSToolEnum::Name(CSToolEnumId id) {
  return kEnumNames[static_cast<std::size_t>(id)];
}

std::optional<CSToolEnumId> CSToolEnum::FindByName(std::string_view name) {
  for (std::size_t i = 0; i < kToolEnumCount; ++i) {
    if (kEnumNames[i] == name) return static_cast<CSToolEnumId>(i);
  }
  return std::nullopt;
}

CSToolEnum* gl_fn_GetToolEnum() {
  return Service::Current();
}

CSToolEnum* gl_SetToolEnum(CSToolEnum* service) {
  return Service::Install(service);
}

}  // namespace ssmsg
