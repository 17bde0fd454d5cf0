#pragma once

// The field tables of the configuration records of <ssmsg/CSDevice_Records.h>: for each record
// kind, every field that the site file holds, with its key (which is also its element name in
// the messages) and its kind. The tables that a message sends are named after the message; a
// record's whole table (kRecordFields) joins them in the order the site writer writes them.
//
// Not described here, because they are not plain fields of a record: the record numbers that
// messages carry ("Input", "Reader", "HolidayNumber", ...), the name pieces and their columns,
// the clock, the zones of a time group and the five level time groups of an input's timing.

#include <array>

#include <ssmsg/CSDevice_Records.h>

#include "host/CSS_FieldTable.h"

namespace ssmsg {

// --- CSDevice_Config: three messages and the XTRA unit's name --------------------------------

// "SetDbMode".
inline constexpr auto kDbModeFields =
    MakeFieldTable(Enum<&CSDevice_Config::DbMode>("DbMode", CSToolEnumId::ReaderDbMode),
                   Flag<&CSDevice_Config::TGEnabled>("TGEnabled"),
                   Flag<&CSDevice_Config::PINEnabled>("PINEnabled"),
                   Flag<&CSDevice_Config::RandomEnabled>("RandomEnabled"),
                   Flag<&CSDevice_Config::OutGroupEnabled>("OutGroupEnabled"),
                   Flag<&CSDevice_Config::VendEnabled>("VendEnabled"),
                   Flag<&CSDevice_Config::ExpireEnabled>("ExpireEnabled"),
                   Flag<&CSDevice_Config::PropertyEnabled>("PropertyEnabled"));
// "SetDbSize". The controller reads the lock size as a signed number: 2^31 and above travel
// negative.
inline constexpr auto kDbSizeFields = MakeFieldTable(
    Number<&CSDevice_Config::DbSize>("DbSize"), Number<&CSDevice_Config::LockSize>("LockSize"));
// "SetExpanders".
inline constexpr auto kExpandersFields =
    MakeFieldTable(Number<&CSDevice_Config::In>("In"), Number<&CSDevice_Config::Out>("Out"));
// The site file keeps the XTRA unit's name (sent by "SetName") on the controller, not in "Config".
inline constexpr auto kXtraNameField = MakeFieldTable(Text<&CSDevice_Config::Name>("Name"));
template <>
inline constexpr auto kRecordFields<CSDevice_Config> = JoinFieldTables(kDbModeFields, kDbSizeFields,
                                                                       kExpandersFields);

// --- CSDevice_XTRA: "SetVORAN_Mode" ------------------------------------------------------------

template <>
inline constexpr auto kRecordFields<CSDevice_XTRA> =
    MakeFieldTable(Number<&CSDevice_XTRA::ApplicationNo>("ApplicationNo"),
                   Enum<&CSDevice_XTRA::Mode>("Mode", CSToolEnumId::XTRA_VORAN_Mode));

// --- Schedules ---------------------------------------------------------------------------------

// "HolidaySetup", after the holiday's number.
template <>
inline constexpr auto kRecordFields<CSDevice_HolidayItem> =
    MakeFieldTable(Number<&CSDevice_HolidayItem::Month>("Month").Within(1, 12, "a month"),
                   Number<&CSDevice_HolidayItem::Day>("Day").Within(1, 31, "a day of a month"));

// The days of each month of a holiday, which has no year: February has 29.
inline constexpr std::array<int, 12> kMonthDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// "TimeZoneSetup".
template <>
inline constexpr auto kRecordFields<CSDevice_TimeZoneItem> = MakeFieldTable(
    Number<&CSDevice_TimeZoneItem::ZoneNo>("ZoneNo"),
    Number<&CSDevice_TimeZoneItem::StartHour>("StartHour").Within(0, 23, "an hour"),
    Number<&CSDevice_TimeZoneItem::StartMinute>("StartMinute").Within(0, 59, "a minute"),
    Number<&CSDevice_TimeZoneItem::EndHour>("EndHour").Within(0, 23, "an hour"),
    Number<&CSDevice_TimeZoneItem::EndMinute>("EndMinute").Within(0, 59, "a minute"));

// One "Zone" of "TimeGroupSetup". The group a zone belongs to is where it stands in the site.
template <>
inline constexpr auto kRecordFields<CSDevice_TimeGroupZoneItem> =
    MakeFieldTable(Number<&CSDevice_TimeGroupZoneItem::ZoneNo>("ZoneNo"),
                   Flag<&CSDevice_TimeGroupZoneItem::Monday>("Monday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Tuesday>("Tuesday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Wednesday>("Wednesday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Thursday>("Thursday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Friday>("Friday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Saturday>("Saturday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Sunday>("Sunday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Holiday>("Holiday"));

// --- Serial ports and field-LAN nodes ----------------------------------------------------------

// "CommPortSetup".
template <>
inline constexpr auto kRecordFields<CSDevice_PortItem> = MakeFieldTable(
    Number<&CSDevice_PortItem::SerialPort>("SerialPort"),
    Enum<&CSDevice_PortItem::Type>("Type", CSToolEnumId::DCP_PortType),
    Number<&CSDevice_PortItem::SubType>("SubType"), Number<&CSDevice_PortItem::TypeRef>("TypeRef"),
    Enum<&CSDevice_PortItem::BaudRate>("BaudRate", CSToolEnumId::DCP_BaudRate),
    Enum<&CSDevice_PortItem::Bits>("Bits", CSToolEnumId::DCP_PortBits),
    Enum<&CSDevice_PortItem::Parity>("Parity", CSToolEnumId::DCP_PortParity),
    Enum<&CSDevice_PortItem::PeripheralType>("PeripheralType", CSToolEnumId::DCP_PeripheralType),
    Number<&CSDevice_PortItem::AdditionalEvent>("AdditionalEvent"));

// "FLAN_MasterSetup".
template <>
inline constexpr auto kRecordFields<CSDevice_FLanSetupItem> =
    MakeFieldTable(Number<&CSDevice_FLanSetupItem::FLAN_Node>("FLAN_Node"),
                   Enum<&CSDevice_FLanSetupItem::Type>("Type", CSToolEnumId::DCP_FLanType));

// --- Inputs ------------------------------------------------------------------------------------

// "InputType", after the input's number.
inline constexpr auto kInputTypeFields = MakeFieldTable(
    Number<&CSDevice_InputTypeItem::DLan>("DLan"), Number<&CSDevice_InputTypeItem::DNode>("DNode"),
    Number<&CSDevice_InputTypeItem::DPort>("DPort"),
    Enum<&CSDevice_InputTypeItem::Type>("Type", CSToolEnumId::InputType),
    Number<&CSDevice_InputTypeItem::TypeRef>("TypeRef"), Flag<&CSDevice_InputTypeItem::EOL>("EOL"),
    Flag<&CSDevice_InputTypeItem::Polarity>("Polarity"),
    Number<&CSDevice_InputTypeItem::CountDelay>("CountDelay"),
    Number<&CSDevice_InputTypeItem::CountValue>("CountValue"));
template <>
inline constexpr auto kRecordFields<CSDevice_InputTypeItem> =
    JoinFieldTables(MakeFieldTable(Text<&CSDevice_InputTypeItem::Name>("Name")), kInputTypeFields);

// "InputTime", after the input's number and before its five level time groups.
template <>
inline constexpr auto kRecordFields<CSDevice_InputTimeItem> = MakeFieldTable(
    Enum<&CSDevice_InputTimeItem::BounceTick>("BounceTick", CSToolEnumId::Tick),
    Number<&CSDevice_InputTimeItem::Debounce>("Debounce"),
    Enum<&CSDevice_InputTimeItem::TickResolution>("TickResolution", CSToolEnumId::Tick),
    Number<&CSDevice_InputTimeItem::Timeout>("Timeout"));

// "InputLink", after the input's number.
template <>
inline constexpr auto kRecordFields<CSDevice_InputLinkItem> =
    MakeFieldTable(Number<&CSDevice_InputLinkItem::EnabledInputPort>("EnabledInputPort"),
                   Number<&CSDevice_InputLinkItem::EnabledInputLevel>("EnabledLevelInput"),
                   Number<&CSDevice_InputLinkItem::EnabledOutputPort>("EnabledOutputPort"),
                   Number<&CSDevice_InputLinkItem::EnabledOutputLevel>("EnabledLevelOutput"),
                   Enum<&CSDevice_InputLinkItem::AlarmDis>("AlarmDis", CSToolEnumId::Alarm),
                   Enum<&CSDevice_InputLinkItem::AlarmEna>("AlarmEna", CSToolEnumId::Alarm),
                   Enum<&CSDevice_InputLinkItem::AlarmNear>("AlarmNear", CSToolEnumId::Alarm),
                   Enum<&CSDevice_InputLinkItem::AlarmIn>("AlarmIn", CSToolEnumId::Alarm),
                   Enum<&CSDevice_InputLinkItem::AlarmSleep>("AlarmSleep", CSToolEnumId::Alarm),
                   Number<&CSDevice_InputLinkItem::AlarmDisRef>("AlarmDisRef"),
                   Number<&CSDevice_InputLinkItem::AlarmEnaRef>("AlarmEnaRef"),
                   Number<&CSDevice_InputLinkItem::AlarmNearRef>("AlarmNearRef"),
                   Number<&CSDevice_InputLinkItem::AlarmInRef>("AlarmInRef"),
                   Number<&CSDevice_InputLinkItem::AlarmSleepRef>("AlarmSleepRef"));

// --- Outputs -----------------------------------------------------------------------------------

// "OutputType", after the output's number.
inline constexpr auto kOutputTypeFields = MakeFieldTable(
    Number<&CSDevice_OutputTypeItem::DLan>("DLan"),
    Number<&CSDevice_OutputTypeItem::DNode>("DNode"),
    Number<&CSDevice_OutputTypeItem::DPort>("DPort"),
    Enum<&CSDevice_OutputTypeItem::Type>("Type", CSToolEnumId::OutputType),
    Number<&CSDevice_OutputTypeItem::TypeRef>("TypeRef"),
    Enum<&CSDevice_OutputTypeItem::Polarity>("Polarity", CSToolEnumId::OutputPolarity),
    Number<&CSDevice_OutputTypeItem::EnabledInputPort>("EnableIn"),
    Number<&CSDevice_OutputTypeItem::EnabledOutputPort>("EnableOut"),
    Number<&CSDevice_OutputTypeItem::ControlInput>("ControlIn"),
    Number<&CSDevice_OutputTypeItem::ControlOutput>("ControlOut"),
    Number<&CSDevice_OutputTypeItem::EnabledInputLevel>("EnableIn_L"),
    Number<&CSDevice_OutputTypeItem::EnabledOutputLevel>("EnableOut_L"),
    Number<&CSDevice_OutputTypeItem::ControlInputLevel>("ControlIn_L"),
    Number<&CSDevice_OutputTypeItem::ControlOutputLevel>("ControlOut_L"));
template <>
inline constexpr auto kRecordFields<CSDevice_OutputTypeItem> = JoinFieldTables(
    MakeFieldTable(Text<&CSDevice_OutputTypeItem::Name>("Name")), kOutputTypeFields);

// "OutputTime", after the output's number.
template <>
inline constexpr auto kRecordFields<CSDevice_OutputTimeItem> = MakeFieldTable(
    Enum<&CSDevice_OutputTimeItem::TTickResolution>("TTickResolution", CSToolEnumId::Tick),
    Number<&CSDevice_OutputTimeItem::TTimeout>("TTimeout"),
    Enum<&CSDevice_OutputTimeItem::PTickResolution>("PTickResolution", CSToolEnumId::Tick),
    Number<&CSDevice_OutputTimeItem::Pulse>("Pulse"),
    Number<&CSDevice_OutputTimeItem::TgControlled>("TgControlled"),
    Number<&CSDevice_OutputTimeItem::TgEnabled>("TgEnabled"),
    Number<&CSDevice_OutputTimeItem::TgReport>("TgReport"));

// --- Readers -----------------------------------------------------------------------------------

// "SetConfiguration", after the reader's number.
inline constexpr auto kRdConfigurationFields = MakeFieldTable(
    Number<&CSDevice_RdConfigurationItem::DLan>("DLan"),
    Number<&CSDevice_RdConfigurationItem::DNode>("DNode"),
    Number<&CSDevice_RdConfigurationItem::DPort>("DPort"),
    Enum<&CSDevice_RdConfigurationItem::App>("App", CSToolEnumId::ReaderApp),
    Enum<&CSDevice_RdConfigurationItem::Type>("Type", CSToolEnumId::ReaderType),
    Flag<&CSDevice_RdConfigurationItem::ClkPolarity>("ClkPolarity"),
    Enum<&CSDevice_RdConfigurationItem::LED>("LED", CSToolEnumId::ReaderLED),
    Number<&CSDevice_RdConfigurationItem::LCD>("LCD"),
    Number<&CSDevice_RdConfigurationItem::CardLCD>("CardLCD"),
    Enum<&CSDevice_RdConfigurationItem::Complete>("Complete", CSToolEnumId::ReaderCompleteMode),
    Enum<&CSDevice_RdConfigurationItem::BoothMode>("BoothMode", CSToolEnumId::ReaderBoothMode),
    Number<&CSDevice_RdConfigurationItem::LinkRef>("LinkRef"),
    Enum<&CSDevice_RdConfigurationItem::Power>("Power", CSToolEnumId::ReaderPower));
// "SetCheckSetup", after the reader's number: the same record's random-check settings.
inline constexpr auto kRdCheckSetupFields = MakeFieldTable(
    Enum<&CSDevice_RdConfigurationItem::CheckType>("CheckType", CSToolEnumId::ReaderCheckType),
    Number<&CSDevice_RdConfigurationItem::Percentage>("Percentage"));
template <>
inline constexpr auto kRecordFields<CSDevice_RdConfigurationItem> =
    JoinFieldTables(MakeFieldTable(Text<&CSDevice_RdConfigurationItem::Name>("Name")),
                    kRdConfigurationFields, kRdCheckSetupFields);

// "SetCardControl", after the reader's number.
template <>
inline constexpr auto kRecordFields<CSDevice_RdCardControlItem> = MakeFieldTable(
    Number<&CSDevice_RdCardControlItem::APBTo>("APBTo"),
    Number<&CSDevice_RdCardControlItem::APBFrom>("APBFrom"),
    Number<&CSDevice_RdCardControlItem::APBOffline>("APBOffline"),
    Number<&CSDevice_RdCardControlItem::APBReset>("APBReset"),
    Number<&CSDevice_RdCardControlItem::ATBMinutes>("ATBMinutes"),
    Number<&CSDevice_RdCardControlItem::ATBLink>("ATBLink"),
    Enum<&CSDevice_RdCardControlItem::Capture>("Capture", CSToolEnumId::ReaderCapture),
    Number<&CSDevice_RdCardControlItem::Attempts>("Attempts"),
    Number<&CSDevice_RdCardControlItem::DisableSeconds>("DisableSeconds"),
    Number<&CSDevice_RdCardControlItem::DualBadge>("DualBadge"),
    Number<&CSDevice_RdCardControlItem::BadgeTimeout>("BadgeTimeout"),
    Number<&CSDevice_RdCardControlItem::BadgeOutG>("BadgeOutG"));

// "SetCardLocation", after the reader's number.
template <>
inline constexpr auto kRecordFields<CSDevice_RdCardLocationItem> =
    MakeFieldTable(Number<&CSDevice_RdCardLocationItem::FacilityStart>("FacilityStart"),
                   Number<&CSDevice_RdCardLocationItem::FacilityEnd>("FacilityEnd"),
                   Number<&CSDevice_RdCardLocationItem::FacilityDigits>("FacilityDigits"),
                   Number<&CSDevice_RdCardLocationItem::CardStart>("CardStart"),
                   Number<&CSDevice_RdCardLocationItem::CardEnd>("CardEnd"),
                   Number<&CSDevice_RdCardLocationItem::CardDigits>("CardDigits"),
                   Number<&CSDevice_RdCardLocationItem::AltStart>("AltStart"),
                   Number<&CSDevice_RdCardLocationItem::AltEnd>("AltEnd"));

// "SetCardStructure", after the reader's number.
template <>
inline constexpr auto kRecordFields<CSDevice_RdCardStructureItem> =
    MakeFieldTable(Number<&CSDevice_RdCardStructureItem::CardType>("CardType"),
                   Number<&CSDevice_RdCardStructureItem::DeleteOffset>("DeleteOffset"),
                   Number<&CSDevice_RdCardStructureItem::ClientCode>("ClientCode"),
                   Number<&CSDevice_RdCardStructureItem::SiteCode>("SiteCode"),
                   Number<&CSDevice_RdCardStructureItem::ExactBits>("ExactBits"),
                   Number<&CSDevice_RdCardStructureItem::Duress>("Duress"),
                   Flag<&CSDevice_RdCardStructureItem::ParityCheck>("ParityCheck"),
                   Flag<&CSDevice_RdCardStructureItem::Frame>("Frame"));

// "AccessAlarm", after the reader's number: the five alarm settings, then their references.
template <>
inline constexpr auto kRecordFields<CSDevice_RdAccessAlarmItem> =
    MakeFieldTable(Enum<&CSDevice_RdAccessAlarmItem::AlarmOK>("OK", CSToolEnumId::Alarm),
                   Enum<&CSDevice_RdAccessAlarmItem::AlarmFail>("Fail", CSToolEnumId::Alarm),
                   Enum<&CSDevice_RdAccessAlarmItem::AlarmRandom>("Random", CSToolEnumId::Alarm),
                   Enum<&CSDevice_RdAccessAlarmItem::AlarmIllegal>("Illegal", CSToolEnumId::Alarm),
                   Enum<&CSDevice_RdAccessAlarmItem::AlarmDuress>("Duress", CSToolEnumId::Alarm),
                   Number<&CSDevice_RdAccessAlarmItem::AlarmOK_Ref>("OKRef"),
                   Number<&CSDevice_RdAccessAlarmItem::AlarmFail_Ref>("FailRef"),
                   Number<&CSDevice_RdAccessAlarmItem::AlarmRandom_Ref>("RandomRef"),
                   Number<&CSDevice_RdAccessAlarmItem::AlarmIllegal_Ref>("IllegalRef"),
                   Number<&CSDevice_RdAccessAlarmItem::AlarmDuress_Ref>("DuressRef"));

}  // namespace ssmsg
