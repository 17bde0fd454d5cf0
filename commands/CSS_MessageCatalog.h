#pragma once

// Every kind of message, described once: its MessageType, Action and envelope, and in order the
// elements under "Parameters". Record fields come from the field tables (host/CSDevice_Fields.h);
// what is written here are the elements that messages compute themselves (record numbers, name
// pieces and their columns, the clock, the interface messages' elements, the zones of a time
// group and the five level time groups of an input). The command classes take their literals from
// here; the decoder and encoder of messages walk the same rows.

#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>

#include <ssmsg/CSDevice_Containers.h>

#include "core/CSS_MessageLayout.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

namespace catalog {

constexpr CSS_ElementLayout Number(std::string_view name,
                                   CSS_NumberWidth width = CSS_NumberWidth::Int32) {
  return {.name = name, .kind = CSS_ValueKind::Number, .width = width};
}
constexpr CSS_ElementLayout Text(std::string_view name) {
  return {.name = name, .kind = CSS_ValueKind::Text};
}
constexpr CSS_ElementLayout NodeList(std::string_view name) {
  return {.name = name, .kind = CSS_ValueKind::Numbers, .optional = true};
}

// The element of a record field: its name, and its kind and width as the field table gives them.
// An unsigned 32-bit field travels as the signed number of the same bits.
constexpr CSS_ElementLayout FieldElement(const CSS_FieldInfo& field) {
  switch (field.kind) {
    case CSS_FieldKind::Flag:
      return {.name = field.name, .kind = CSS_ValueKind::Flag};
    case CSS_FieldKind::Enum:
      return {.name = field.name, .kind = CSS_ValueKind::Enum, .enumeration = field.enumeration};
    case CSS_FieldKind::Text:
      return Text(field.name);
    case CSS_FieldKind::Number:
      break;
  }
  switch (field.type) {
    case CSS_FieldType::Int16:
      return Number(field.name, CSS_NumberWidth::Int16);
    case CSS_FieldType::UInt8:
      return Number(field.name, CSS_NumberWidth::UInt8);
    default:
      return Number(field.name);
  }
}

template <std::size_t N>
constexpr std::array<CSS_ElementLayout, N> FieldElements(
    const std::array<CSS_FieldInfo, N>& fields) {
  std::array<CSS_ElementLayout, N> elements{};
  for (std::size_t i = 0; i < N; ++i)
    elements[i] = FieldElement(fields[i]);
  return elements;
}

template <class Part>
constexpr std::size_t kPartSize = 1;
template <std::size_t N>
constexpr std::size_t kPartSize<std::array<CSS_ElementLayout, N>> = N;

// The elements of a message in order, from single elements and arrays of them.
template <class... Parts>
constexpr auto Elements(const Parts&... parts) {
  std::array<CSS_ElementLayout, (kPartSize<Parts> + ... + 0)> elements{};
  std::size_t at = 0;
  const auto add = [&](const auto& part) {
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(part)>, CSS_ElementLayout>) {
      elements[at++] = part;
    } else {
      for (const CSS_ElementLayout& element : part)
        elements[at++] = element;
    }
  };
  (add(parts), ...);
  return elements;
}

constexpr CSS_MessageLayout Message(CSS_MessageKind kind, std::string_view messageType,
                                    std::string_view action,
                                    std::span<const CSS_ElementLayout> elements = {}) {
  return {{kind, messageType, action, true, true}, elements};
}

inline constexpr std::string_view kStartTypes[] = {"Main", "Ordinary"};
inline constexpr std::string_view kTrueOnly[] = {"True"};

}  // namespace catalog

// --- The elements that messages compute ------------------------------------------------------

// The 1-based number of the record a message describes.
inline constexpr CSS_ElementLayout kInputNumber = catalog::Number("Input");
inline constexpr CSS_ElementLayout kOutputNumber = catalog::Number("Output");
inline constexpr CSS_ElementLayout kReaderNumber = catalog::Number("Reader");
inline constexpr CSS_ElementLayout kHolidayNumber = catalog::Number("HolidayNumber");
// A message about the one thing of its kind that a controller has names no record.
inline constexpr CSS_ElementLayout kNoRecordNumber{};
inline constexpr CSS_ElementLayout kTimeGroupNumber = catalog::Number("Group");

// A piece of a name and the column at which it belongs.
inline constexpr CSS_ElementLayout kNameColumn = catalog::Number("Column");
inline constexpr CSS_ElementLayout kNamePiece = catalog::Text("Name");

// The clock.
inline constexpr CSS_ElementLayout kClockElements[] = {
    catalog::Number("Year"), catalog::Number("Month"),  catalog::Number("Day"),
    catalog::Number("Hour"), catalog::Number("Minute"), catalog::Number("Second"),
};

// Starting an interface: the main or an ordinary connection, the address and port, and the
// constant "Settings" True.
inline constexpr CSS_ElementLayout kStartType = {
    .name = "Type", .kind = CSS_ValueKind::Text, .choices = catalog::kStartTypes};
inline constexpr CSS_ElementLayout kIpAddress = catalog::Text("IP_Address");
inline constexpr CSS_ElementLayout kIpPort = catalog::Number("IP_Port");
inline constexpr CSS_ElementLayout kStartSettings = {
    .name = "Settings", .kind = CSS_ValueKind::Flag, .choices = catalog::kTrueOnly};

// The node lists of the interface messages. A list is left out when it has no number; the
// timeouts go with the added nodes, one for each at least.
inline constexpr CSS_ElementLayout kAddNodes = catalog::NodeList("Add");
inline constexpr CSS_ElementLayout kNodeTimeouts = {.name = "Timeout",
                                                    .kind = CSS_ValueKind::Numbers,
                                                    .optional = true,
                                                    .withPrevious = true,
                                                    .coversPrevious = true};
inline constexpr CSS_ElementLayout kRemoveNodes = catalog::NodeList("Remove");
inline constexpr CSS_ElementLayout kStartPolling = catalog::NodeList("Start");
inline constexpr CSS_ElementLayout kStopPolling = catalog::NodeList("Stop");

// The zones of one block of a time group: one to eight "Zone" elements.
inline constexpr auto kZoneElements =
    catalog::FieldElements(kRecordFieldInfos<CSDevice_TimeGroupZoneItem>);
inline constexpr CSS_ElementLayout kZones = {.name = "Zones",
                                             .kind = CSS_ValueKind::List,
                                             .item = "Zone",
                                             .fields = kZoneElements,
                                             .minCount = 1,
                                             .maxCount = CSDevice_TimeGroupZone::kBlockSize};

// The time group of each of an input's five levels, level 1 first, each named by the text of
// its level number.
inline constexpr CSS_ElementLayout kLevel = {
    .name = "Level", .kind = CSS_ValueKind::Enum, .enumeration = CSToolEnumId::Level};
inline constexpr CSS_ElementLayout kLevelGroup = catalog::Number("Group", CSS_NumberWidth::Int16);
inline constexpr CSS_ElementLayout kLevelTGElements[] = {kLevel, kLevelGroup};
inline constexpr CSS_ElementLayout kLevelTGs = {.name = "LevelTGs",
                                                .kind = CSS_ValueKind::List,
                                                .item = "LevelTG",
                                                .fields = kLevelTGElements,
                                                .minCount = CSDevice_InputTimeItem::kLevels,
                                                .maxCount = CSDevice_InputTimeItem::kLevels};

// --- The elements of each message --------------------------------------------------------------

namespace catalog {

inline constexpr auto kStart = Elements(kStartType, kIpAddress, kIpPort, kStartSettings);
inline constexpr auto kSetNodes = Elements(kAddNodes, kNodeTimeouts, kRemoveNodes);
inline constexpr auto kPoll = Elements(kStartPolling, kStopPolling);
inline constexpr auto kDbMode = FieldElements(kDbModeFields.Infos());
inline constexpr auto kDbSize = FieldElements(kDbSizeFields.Infos());
inline constexpr auto kExpanders = FieldElements(kExpandersFields.Infos());
inline constexpr auto kFLanSetup = FieldElements(kRecordFieldInfos<CSDevice_FLanSetupItem>);
inline constexpr auto kPortSetup = FieldElements(kRecordFieldInfos<CSDevice_PortItem>);
inline constexpr auto kHolidaySetup =
    Elements(kHolidayNumber, FieldElements(kRecordFieldInfos<CSDevice_HolidayItem>));
inline constexpr auto kTimeZoneSetup = FieldElements(kRecordFieldInfos<CSDevice_TimeZoneItem>);
inline constexpr auto kTimeGroupSetup = Elements(kTimeGroupNumber, kZones);
inline constexpr auto kInputType = Elements(kInputNumber, FieldElements(kInputTypeFields.Infos()));
inline constexpr auto kInputName = Elements(kInputNumber, kNameColumn, kNamePiece);
inline constexpr auto kInputTime =
    Elements(kInputNumber, FieldElements(kRecordFieldInfos<CSDevice_InputTimeItem>), kLevelTGs);
inline constexpr auto kInputLink =
    Elements(kInputNumber, FieldElements(kRecordFieldInfos<CSDevice_InputLinkItem>));
inline constexpr auto kOutputType =
    Elements(kOutputNumber, FieldElements(kOutputTypeFields.Infos()));
inline constexpr auto kOutputName = Elements(kOutputNumber, kNameColumn, kNamePiece);
inline constexpr auto kOutputTime =
    Elements(kOutputNumber, FieldElements(kRecordFieldInfos<CSDevice_OutputTimeItem>));
inline constexpr auto kReaderConfiguration =
    Elements(kReaderNumber, FieldElements(kRdConfigurationFields.Infos()));
inline constexpr auto kReaderName = Elements(kReaderNumber, kNameColumn, kNamePiece);
inline constexpr auto kCardControl =
    Elements(kReaderNumber, FieldElements(kRecordFieldInfos<CSDevice_RdCardControlItem>));
inline constexpr auto kCardLocation =
    Elements(kReaderNumber, FieldElements(kRecordFieldInfos<CSDevice_RdCardLocationItem>));
inline constexpr auto kCardStructure =
    Elements(kReaderNumber, FieldElements(kRecordFieldInfos<CSDevice_RdCardStructureItem>));
inline constexpr auto kCheckSetup =
    Elements(kReaderNumber, FieldElements(kRdCheckSetupFields.Infos()));
inline constexpr auto kAccessAlarm =
    Elements(kReaderNumber, FieldElements(kRecordFieldInfos<CSDevice_RdAccessAlarmItem>));
inline constexpr auto kXtraName = Elements(kNameColumn, kNamePiece);
inline constexpr auto kXtraMode = FieldElements(kRecordFieldInfos<CSDevice_XTRA>);

}  // namespace catalog

// --- The messages ------------------------------------------------------------------------------

// Interface messages name no node; "Stop" has no "Parameters" at all, and "SetNodes" and "Poll"
// hold at least one of their lists.
inline constexpr CSS_MessageLayout kInterfaceStartMessage = {
    {CSS_MessageKind::InterfaceStart, kInterfaceMessages, "Start", false, true}, catalog::kStart};
inline constexpr CSS_MessageLayout kInterfaceStopMessage = {
    {CSS_MessageKind::InterfaceStop, kInterfaceMessages, "Stop", false, false}};
inline constexpr CSS_MessageLayout kInterfaceSetNodesMessage = {
    {CSS_MessageKind::InterfaceSetNodes, kInterfaceMessages, "SetNodes", false, true},
    catalog::kSetNodes,
    true};
inline constexpr CSS_MessageLayout kInterfacePollMessage = {
    {CSS_MessageKind::InterfacePoll, kInterfaceMessages, "Poll", false, true},
    catalog::kPoll,
    true};

inline constexpr CSS_MessageLayout kAskSettingsMessage =
    catalog::Message(CSS_MessageKind::AskSettings, kControllerMessages, "AskSettings");
inline constexpr CSS_MessageLayout kSetDbModeMessage = catalog::Message(
    CSS_MessageKind::SetDbMode, kControllerMessages, "SetDbMode", catalog::kDbMode);
inline constexpr CSS_MessageLayout kSetDbSizeMessage = catalog::Message(
    CSS_MessageKind::SetDbSize, kControllerMessages, "SetDbSize", catalog::kDbSize);
inline constexpr CSS_MessageLayout kSetExpandersMessage = catalog::Message(
    CSS_MessageKind::SetExpanders, kControllerMessages, "SetExpanders", catalog::kExpanders);
inline constexpr CSS_MessageLayout kFLanClearAllMessage =
    catalog::Message(CSS_MessageKind::FLanClearAll, kControllerMessages, "FLAN_MasterClearAll");
inline constexpr CSS_MessageLayout kFLanSetupMessage = catalog::Message(
    CSS_MessageKind::FLanSetup, kControllerMessages, "FLAN_MasterSetup", catalog::kFLanSetup);
inline constexpr CSS_MessageLayout kCommPortClearAllMessage =
    catalog::Message(CSS_MessageKind::CommPortClearAll, kControllerMessages, "CommPortClearAll");
inline constexpr CSS_MessageLayout kCommPortSetupMessage = catalog::Message(
    CSS_MessageKind::CommPortSetup, kControllerMessages, "CommPortSetup", catalog::kPortSetup);

inline constexpr CSS_MessageLayout kSetRTCMessage =
    catalog::Message(CSS_MessageKind::SetRTC, kSystemMessages, "SetRTC", kClockElements);

inline constexpr CSS_MessageLayout kHolidayClearAllMessage =
    catalog::Message(CSS_MessageKind::HolidayClearAll, kGroupMessages, "HolidayClearAll");
inline constexpr CSS_MessageLayout kHolidaySetupMessage = catalog::Message(
    CSS_MessageKind::HolidaySetup, kGroupMessages, "HolidaySetup", catalog::kHolidaySetup);
inline constexpr CSS_MessageLayout kTimeZoneClearAllMessage =
    catalog::Message(CSS_MessageKind::TimeZoneClearAll, kGroupMessages, "TimeZoneClearAll");
inline constexpr CSS_MessageLayout kTimeZoneSetupMessage = catalog::Message(
    CSS_MessageKind::TimeZoneSetup, kGroupMessages, "TimeZoneSetup", catalog::kTimeZoneSetup);
inline constexpr CSS_MessageLayout kTimeGroupClearAllMessage =
    catalog::Message(CSS_MessageKind::TimeGroupClearAll, kGroupMessages, "TimeGroupClearAll");
inline constexpr CSS_MessageLayout kTimeGroupSetupMessage = catalog::Message(
    CSS_MessageKind::TimeGroupSetup, kGroupMessages, "TimeGroupSetup", catalog::kTimeGroupSetup);

inline constexpr CSS_MessageLayout kInputClearAllMessage =
    catalog::Message(CSS_MessageKind::InputClearAll, kInputMessages, "InputClearAll");
inline constexpr CSS_MessageLayout kInputTypeMessage =
    catalog::Message(CSS_MessageKind::InputType, kInputMessages, "InputType", catalog::kInputType);
inline constexpr CSS_MessageLayout kInputNameMessage =
    catalog::Message(CSS_MessageKind::InputName, kInputMessages, "InputName", catalog::kInputName);
inline constexpr CSS_MessageLayout kInputTimeMessage =
    catalog::Message(CSS_MessageKind::InputTime, kInputMessages, "InputTime", catalog::kInputTime);
inline constexpr CSS_MessageLayout kInputLinkMessage =
    catalog::Message(CSS_MessageKind::InputLink, kInputMessages, "InputLink", catalog::kInputLink);

inline constexpr CSS_MessageLayout kOutputClearAllMessage =
    catalog::Message(CSS_MessageKind::OutputClearAll, kOutputMessages, "OutputClearAll");
inline constexpr CSS_MessageLayout kOutputTypeMessage = catalog::Message(
    CSS_MessageKind::OutputType, kOutputMessages, "OutputType", catalog::kOutputType);
inline constexpr CSS_MessageLayout kOutputNameMessage = catalog::Message(
    CSS_MessageKind::OutputName, kOutputMessages, "OutputName", catalog::kOutputName);
inline constexpr CSS_MessageLayout kOutputTimeMessage = catalog::Message(
    CSS_MessageKind::OutputTime, kOutputMessages, "OutputTime", catalog::kOutputTime);

inline constexpr CSS_MessageLayout kReaderClearAllMessage =
    catalog::Message(CSS_MessageKind::ReaderClearAll, kReaderMessages, "ReaderClearAll");
inline constexpr CSS_MessageLayout kReaderConfigurationMessage =
    catalog::Message(CSS_MessageKind::ReaderConfiguration, kReaderMessages, "SetConfiguration",
                     catalog::kReaderConfiguration);
inline constexpr CSS_MessageLayout kReaderNameMessage = catalog::Message(
    CSS_MessageKind::ReaderName, kReaderMessages, "ReaderName", catalog::kReaderName);
inline constexpr CSS_MessageLayout kCardControlMessage = catalog::Message(
    CSS_MessageKind::CardControl, kReaderMessages, "SetCardControl", catalog::kCardControl);
inline constexpr CSS_MessageLayout kCardLocationMessage = catalog::Message(
    CSS_MessageKind::CardLocation, kReaderMessages, "SetCardLocation", catalog::kCardLocation);
inline constexpr CSS_MessageLayout kCardStructureMessage = catalog::Message(
    CSS_MessageKind::CardStructure, kReaderMessages, "SetCardStructure", catalog::kCardStructure);
inline constexpr CSS_MessageLayout kCheckSetupMessage = catalog::Message(
    CSS_MessageKind::CheckSetup, kReaderMessages, "SetCheckSetup", catalog::kCheckSetup);
inline constexpr CSS_MessageLayout kAccessAlarmMessage = catalog::Message(
    CSS_MessageKind::AccessAlarm, kReaderMessages, "AccessAlarm", catalog::kAccessAlarm);

inline constexpr CSS_MessageLayout kXtraNameMessage =
    catalog::Message(CSS_MessageKind::XtraName, kXtraMessages, "SetName", catalog::kXtraName);
inline constexpr CSS_MessageLayout kXtraModeMessage =
    catalog::Message(CSS_MessageKind::XtraMode, kXtraMessages, "SetVORAN_Mode", catalog::kXtraMode);

// Every kind, in the order of CSS_MessageKind.
inline constexpr const CSS_MessageLayout* kMessageCatalog[] = {
    &kInterfaceStartMessage,   &kInterfaceStopMessage,    &kInterfaceSetNodesMessage,
    &kInterfacePollMessage,    &kAskSettingsMessage,      &kSetDbModeMessage,
    &kSetDbSizeMessage,        &kSetExpandersMessage,     &kFLanClearAllMessage,
    &kFLanSetupMessage,        &kCommPortClearAllMessage, &kCommPortSetupMessage,
    &kSetRTCMessage,           &kHolidayClearAllMessage,  &kHolidaySetupMessage,
    &kTimeZoneClearAllMessage, &kTimeZoneSetupMessage,    &kTimeGroupClearAllMessage,
    &kTimeGroupSetupMessage,   &kInputClearAllMessage,    &kInputTypeMessage,
    &kInputNameMessage,        &kInputTimeMessage,        &kInputLinkMessage,
    &kOutputClearAllMessage,   &kOutputTypeMessage,       &kOutputNameMessage,
    &kOutputTimeMessage,       &kReaderClearAllMessage,   &kReaderConfigurationMessage,
    &kReaderNameMessage,       &kCardControlMessage,      &kCardLocationMessage,
    &kCardStructureMessage,    &kCheckSetupMessage,       &kAccessAlarmMessage,
    &kXtraNameMessage,         &kXtraModeMessage,
};
static_assert(std::size(kMessageCatalog) == kMessageKindCount);
static_assert([] {
  for (std::size_t i = 0; i < std::size(kMessageCatalog); ++i) {
    if (static_cast<std::size_t>(kMessageCatalog[i]->info.kind) != i) return false;
  }
  return true;
}());

constexpr const CSS_MessageLayout& MessageLayoutOf(CSS_MessageKind kind) {
  return *kMessageCatalog[static_cast<std::size_t>(kind)];
}

// The kind whose MessageType and Action these are, or null.
const CSS_MessageLayout* FindMessageLayout(std::string_view messageType, std::string_view action);
// Whether any kind has this MessageType.
bool IsMessageType(std::string_view messageType);

}  // namespace ssmsg
