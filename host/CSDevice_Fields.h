#pragma once

// The field tables of the configuration records of <ssmsg/CSDevice_Records.h>: for each record
// kind, every field that the site file holds, with its key (which is also its element name in
// the messages), its kind and what a person reads for it: its label and unit. The tables that a message sends are named after the message; a
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
inline constexpr auto kDbModeFields = MakeFieldTable(
    Enum<&CSDevice_Config::DbMode>("DbMode", CSToolEnumId::ReaderDbMode).Says("Database mode"),
    Flag<&CSDevice_Config::TGEnabled>("TGEnabled").Says("Time groups enabled"),
    Flag<&CSDevice_Config::PINEnabled>("PINEnabled").Says("PIN enabled"),
    Flag<&CSDevice_Config::RandomEnabled>("RandomEnabled").Says("Random checks enabled"),
    Flag<&CSDevice_Config::OutGroupEnabled>("OutGroupEnabled").Says("Output groups enabled"),
    Flag<&CSDevice_Config::VendEnabled>("VendEnabled").Says("Vending enabled"),
    Flag<&CSDevice_Config::ExpireEnabled>("ExpireEnabled").Says("Expiry enabled"),
    Flag<&CSDevice_Config::PropertyEnabled>("PropertyEnabled").Says("Property enabled"));
// "SetDbSize". The controller reads the lock size as a signed number: 2^31 and above travel
// negative.
inline constexpr auto kDbSizeFields =
    MakeFieldTable(Number<&CSDevice_Config::DbSize>("DbSize").Says("Database size"),
                   Number<&CSDevice_Config::LockSize>("LockSize").Says("Lock size"));
// "SetExpanders".
inline constexpr auto kExpandersFields =
    MakeFieldTable(Number<&CSDevice_Config::In>("In").Says("Input expanders"),
                   Number<&CSDevice_Config::Out>("Out").Says("Output expanders"));
// The site file keeps the XTRA unit's name (sent by "SetName") on the controller, not in "Config".
inline constexpr auto kXtraNameField =
    MakeFieldTable(Text<&CSDevice_Config::Name>("Name").Says("XTRA unit name"));
template <>
inline constexpr auto kRecordFields<CSDevice_Config> = JoinFieldTables(kDbModeFields, kDbSizeFields,
                                                                       kExpandersFields);

// --- CSDevice_XTRA: "SetVORAN_Mode" ------------------------------------------------------------

template <>
inline constexpr auto kRecordFields<CSDevice_XTRA> = MakeFieldTable(
    Number<&CSDevice_XTRA::ApplicationNo>("ApplicationNo").Says("Application number"),
    Enum<&CSDevice_XTRA::Mode>("Mode", CSToolEnumId::XTRA_VORAN_Mode).Says("Application mode"));

// --- Schedules ---------------------------------------------------------------------------------

// "HolidaySetup", after the holiday's number.
template <>
inline constexpr auto kRecordFields<CSDevice_HolidayItem> = MakeFieldTable(
    Number<&CSDevice_HolidayItem::Month>("Month").Within(1, 12, "a month").Says("Month"),
    Number<&CSDevice_HolidayItem::Day>("Day").Within(1, 31, "a day of a month").Says("Day"));

// The days of each month of a holiday, which has no year: February has 29.
inline constexpr std::array<int, 12> kMonthDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// "TimeZoneSetup".
template <>
inline constexpr auto kRecordFields<CSDevice_TimeZoneItem> = MakeFieldTable(
    Number<&CSDevice_TimeZoneItem::ZoneNo>("ZoneNo").Says("Zone number"),
    Number<&CSDevice_TimeZoneItem::StartHour>("StartHour")
        .Within(0, 23, "an hour")
        .Says("Start hour"),
    Number<&CSDevice_TimeZoneItem::StartMinute>("StartMinute")
        .Within(0, 59, "a minute")
        .Says("Start minute"),
    Number<&CSDevice_TimeZoneItem::EndHour>("EndHour").Within(0, 23, "an hour").Says("End hour"),
    Number<&CSDevice_TimeZoneItem::EndMinute>("EndMinute")
        .Within(0, 59, "a minute")
        .Says("End minute"));

// One "Zone" of "TimeGroupSetup". The group a zone belongs to is where it stands in the site.
template <>
inline constexpr auto kRecordFields<CSDevice_TimeGroupZoneItem> =
    MakeFieldTable(Number<&CSDevice_TimeGroupZoneItem::ZoneNo>("ZoneNo")
                       .Says("Time zone")
                       .Refers(CSS_FieldRefers::TimeZone),
                   Flag<&CSDevice_TimeGroupZoneItem::Monday>("Monday").Says("Monday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Tuesday>("Tuesday").Says("Tuesday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Wednesday>("Wednesday").Says("Wednesday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Thursday>("Thursday").Says("Thursday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Friday>("Friday").Says("Friday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Saturday>("Saturday").Says("Saturday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Sunday>("Sunday").Says("Sunday"),
                   Flag<&CSDevice_TimeGroupZoneItem::Holiday>("Holiday").Says("Holidays"));

// --- Serial ports and field-LAN nodes ----------------------------------------------------------

// "CommPortSetup".
template <>
inline constexpr auto kRecordFields<CSDevice_PortItem> = MakeFieldTable(
    Number<&CSDevice_PortItem::SerialPort>("SerialPort").Says("Serial port number"),
    Enum<&CSDevice_PortItem::Type>("Type", CSToolEnumId::DCP_PortType).Says("Port type"),
    Number<&CSDevice_PortItem::SubType>("SubType").Says("Sub-type"),
    Number<&CSDevice_PortItem::TypeRef>("TypeRef").Says("Type reference"),
    Enum<&CSDevice_PortItem::BaudRate>("BaudRate", CSToolEnumId::DCP_BaudRate).Says("Baud rate"),
    Enum<&CSDevice_PortItem::Bits>("Bits", CSToolEnumId::DCP_PortBits).Says("Data bits"),
    Enum<&CSDevice_PortItem::Parity>("Parity", CSToolEnumId::DCP_PortParity).Says("Parity"),
    Enum<&CSDevice_PortItem::PeripheralType>("PeripheralType", CSToolEnumId::DCP_PeripheralType)
        .Says("Peripheral type"),
    Number<&CSDevice_PortItem::AdditionalEvent>("AdditionalEvent").Says("Additional event"));

// "FLAN_MasterSetup".
template <>
inline constexpr auto kRecordFields<CSDevice_FLanSetupItem> = MakeFieldTable(
    Number<&CSDevice_FLanSetupItem::FLAN_Node>("FLAN_Node").Says("Field-LAN node number"),
    Enum<&CSDevice_FLanSetupItem::Type>("Type", CSToolEnumId::DCP_FLanType).Says("Node type"));

// --- Inputs ------------------------------------------------------------------------------------

// "InputType", after the input's number.
inline constexpr auto kInputTypeFields = MakeFieldTable(
    Number<&CSDevice_InputTypeItem::DLan>("DLan").Says("Device LAN number"),
    Number<&CSDevice_InputTypeItem::DNode>("DNode").Says("Device node number"),
    Number<&CSDevice_InputTypeItem::DPort>("DPort").Says("Device port number"),
    Enum<&CSDevice_InputTypeItem::Type>("Type", CSToolEnumId::InputType).Says("Input type"),
    Number<&CSDevice_InputTypeItem::TypeRef>("TypeRef").Says("Type reference"),
    Flag<&CSDevice_InputTypeItem::EOL>("EOL").Says("End-of-line supervision"),
    Flag<&CSDevice_InputTypeItem::Polarity>("Polarity").Says("Polarity"),
    Number<&CSDevice_InputTypeItem::CountDelay>("CountDelay").Says("Counting delay"),
    Number<&CSDevice_InputTypeItem::CountValue>("CountValue").Says("Counting value"));
template <>
inline constexpr auto kRecordFields<CSDevice_InputTypeItem> = JoinFieldTables(
    MakeFieldTable(Text<&CSDevice_InputTypeItem::Name>("Name").Says("Name")), kInputTypeFields);

// "InputTime", after the input's number and before its five level time groups.
template <>
inline constexpr auto kRecordFields<CSDevice_InputTimeItem> = MakeFieldTable(
    Enum<&CSDevice_InputTimeItem::BounceTick>("BounceTick", CSToolEnumId::Tick)
        .Says("Debounce tick unit"),
    Number<&CSDevice_InputTimeItem::Debounce>("Debounce").Says("Debounce time", "ticks"),
    Enum<&CSDevice_InputTimeItem::TickResolution>("TickResolution", CSToolEnumId::Tick)
        .Says("Timeout tick unit"),
    Number<&CSDevice_InputTimeItem::Timeout>("Timeout").Says("Timeout", "ticks"));

// "InputLink", after the input's number.
template <>
inline constexpr auto kRecordFields<CSDevice_InputLinkItem> = MakeFieldTable(
    Number<&CSDevice_InputLinkItem::EnabledInputPort>("EnabledInputPort")
        .Says("Enabled input port"),
    Number<&CSDevice_InputLinkItem::EnabledInputLevel>("EnabledLevelInput")
        .Says("Enabled input level"),
    Number<&CSDevice_InputLinkItem::EnabledOutputPort>("EnabledOutputPort")
        .Says("Enabled output port"),
    Number<&CSDevice_InputLinkItem::EnabledOutputLevel>("EnabledLevelOutput")
        .Says("Enabled output level"),
    Enum<&CSDevice_InputLinkItem::AlarmDis>("AlarmDis", CSToolEnumId::Alarm).Says("Dis alarm"),
    Enum<&CSDevice_InputLinkItem::AlarmEna>("AlarmEna", CSToolEnumId::Alarm).Says("Ena alarm"),
    Enum<&CSDevice_InputLinkItem::AlarmNear>("AlarmNear", CSToolEnumId::Alarm).Says("Near alarm"),
    Enum<&CSDevice_InputLinkItem::AlarmIn>("AlarmIn", CSToolEnumId::Alarm).Says("In alarm"),
    Enum<&CSDevice_InputLinkItem::AlarmSleep>("AlarmSleep", CSToolEnumId::Alarm)
        .Says("Sleep alarm"),
    Number<&CSDevice_InputLinkItem::AlarmDisRef>("AlarmDisRef").Says("Dis alarm reference"),
    Number<&CSDevice_InputLinkItem::AlarmEnaRef>("AlarmEnaRef").Says("Ena alarm reference"),
    Number<&CSDevice_InputLinkItem::AlarmNearRef>("AlarmNearRef").Says("Near alarm reference"),
    Number<&CSDevice_InputLinkItem::AlarmInRef>("AlarmInRef").Says("In alarm reference"),
    Number<&CSDevice_InputLinkItem::AlarmSleepRef>("AlarmSleepRef").Says("Sleep alarm reference"));

// --- Outputs -----------------------------------------------------------------------------------

// "OutputType", after the output's number.
inline constexpr auto kOutputTypeFields = MakeFieldTable(
    Number<&CSDevice_OutputTypeItem::DLan>("DLan").Says("Device LAN number"),
    Number<&CSDevice_OutputTypeItem::DNode>("DNode").Says("Device node number"),
    Number<&CSDevice_OutputTypeItem::DPort>("DPort").Says("Device port number"),
    Enum<&CSDevice_OutputTypeItem::Type>("Type", CSToolEnumId::OutputType).Says("Output type"),
    Number<&CSDevice_OutputTypeItem::TypeRef>("TypeRef").Says("Type reference"),
    Enum<&CSDevice_OutputTypeItem::Polarity>("Polarity", CSToolEnumId::OutputPolarity)
        .Says("Polarity"),
    Number<&CSDevice_OutputTypeItem::EnabledInputPort>("EnableIn").Says("Enable input port"),
    Number<&CSDevice_OutputTypeItem::EnabledOutputPort>("EnableOut").Says("Enable output port"),
    Number<&CSDevice_OutputTypeItem::ControlInput>("ControlIn").Says("Control input port"),
    Number<&CSDevice_OutputTypeItem::ControlOutput>("ControlOut").Says("Control output port"),
    Number<&CSDevice_OutputTypeItem::EnabledInputLevel>("EnableIn_L").Says("Enable input level"),
    Number<&CSDevice_OutputTypeItem::EnabledOutputLevel>("EnableOut_L").Says("Enable output level"),
    Number<&CSDevice_OutputTypeItem::ControlInputLevel>("ControlIn_L").Says("Control input level"),
    Number<&CSDevice_OutputTypeItem::ControlOutputLevel>("ControlOut_L")
        .Says("Control output level"));
template <>
inline constexpr auto kRecordFields<CSDevice_OutputTypeItem> = JoinFieldTables(
    MakeFieldTable(Text<&CSDevice_OutputTypeItem::Name>("Name").Says("Name")), kOutputTypeFields);

// "OutputTime", after the output's number.
template <>
inline constexpr auto kRecordFields<CSDevice_OutputTimeItem> = MakeFieldTable(
    Enum<&CSDevice_OutputTimeItem::TTickResolution>("TTickResolution", CSToolEnumId::Tick)
        .Says("Timeout tick unit"),
    Number<&CSDevice_OutputTimeItem::TTimeout>("TTimeout").Says("Timeout", "ticks"),
    Enum<&CSDevice_OutputTimeItem::PTickResolution>("PTickResolution", CSToolEnumId::Tick)
        .Says("Pulse tick unit"),
    Number<&CSDevice_OutputTimeItem::Pulse>("Pulse").Says("Pulse length", "ticks"),
    Number<&CSDevice_OutputTimeItem::TgControlled>("TgControlled")
        .Refers(CSS_FieldRefers::TimeGroup)
        .Says("Controlled time group"),
    Number<&CSDevice_OutputTimeItem::TgEnabled>("TgEnabled")
        .Refers(CSS_FieldRefers::TimeGroup)
        .Says("Enabled time group"),
    Number<&CSDevice_OutputTimeItem::TgReport>("TgReport")
        .Refers(CSS_FieldRefers::TimeGroup)
        .Says("Report time group"));

// --- Readers -----------------------------------------------------------------------------------

// "SetConfiguration", after the reader's number.
inline constexpr auto kRdConfigurationFields = MakeFieldTable(
    Number<&CSDevice_RdConfigurationItem::DLan>("DLan").Says("Device LAN number"),
    Number<&CSDevice_RdConfigurationItem::DNode>("DNode").Says("Device node number"),
    Number<&CSDevice_RdConfigurationItem::DPort>("DPort").Says("Device port number"),
    Enum<&CSDevice_RdConfigurationItem::App>("App", CSToolEnumId::ReaderApp).Says("Application"),
    Enum<&CSDevice_RdConfigurationItem::Type>("Type", CSToolEnumId::ReaderType).Says("Reader type"),
    Flag<&CSDevice_RdConfigurationItem::ClkPolarity>("ClkPolarity").Says("Clock polarity"),
    Enum<&CSDevice_RdConfigurationItem::LED>("LED", CSToolEnumId::ReaderLED).Says("LED mode"),
    Number<&CSDevice_RdConfigurationItem::LCD>("LCD").Says("LCD setting"),
    Number<&CSDevice_RdConfigurationItem::CardLCD>("CardLCD").Says("Card LCD setting"),
    Enum<&CSDevice_RdConfigurationItem::Complete>("Complete", CSToolEnumId::ReaderCompleteMode)
        .Says("Completion mode"),
    Enum<&CSDevice_RdConfigurationItem::BoothMode>("BoothMode", CSToolEnumId::ReaderBoothMode)
        .Says("Booth mode"),
    Number<&CSDevice_RdConfigurationItem::LinkRef>("LinkRef").Says("Link reference"),
    Enum<&CSDevice_RdConfigurationItem::Power>("Power", CSToolEnumId::ReaderPower)
        .Says("Power mode"));
// "SetCheckSetup", after the reader's number: the same record's random-check settings.
inline constexpr auto kRdCheckSetupFields = MakeFieldTable(
    Enum<&CSDevice_RdConfigurationItem::CheckType>("CheckType", CSToolEnumId::ReaderCheckType)
        .Says("Random check type"),
    Number<&CSDevice_RdConfigurationItem::Percentage>("Percentage")
        .Within(0, 100, "a percentage")
        .Says("Random check percentage", "%"));
template <>
inline constexpr auto kRecordFields<CSDevice_RdConfigurationItem> =
    JoinFieldTables(MakeFieldTable(Text<&CSDevice_RdConfigurationItem::Name>("Name").Says("Name")),
                    kRdConfigurationFields, kRdCheckSetupFields);

// "SetCardControl", after the reader's number.
template <>
inline constexpr auto kRecordFields<CSDevice_RdCardControlItem> = MakeFieldTable(
    Number<&CSDevice_RdCardControlItem::APBTo>("APBTo").Says("Anti-passback, to side"),
    Number<&CSDevice_RdCardControlItem::APBFrom>("APBFrom").Says("Anti-passback, from side"),
    Number<&CSDevice_RdCardControlItem::APBOffline>("APBOffline")
        .Says("Anti-passback when offline"),
    Number<&CSDevice_RdCardControlItem::APBReset>("APBReset").Says("Anti-passback reset"),
    Number<&CSDevice_RdCardControlItem::ATBMinutes>("ATBMinutes").Says("ATB period", "minutes"),
    Number<&CSDevice_RdCardControlItem::ATBLink>("ATBLink").Says("ATB link"),
    Enum<&CSDevice_RdCardControlItem::Capture>("Capture", CSToolEnumId::ReaderCapture)
        .Says("Card capture mode"),
    Number<&CSDevice_RdCardControlItem::Attempts>("Attempts").Says("Attempts"),
    Number<&CSDevice_RdCardControlItem::DisableSeconds>("DisableSeconds")
        .Says("Disable time", "seconds"),
    Number<&CSDevice_RdCardControlItem::DualBadge>("DualBadge").Says("Dual badge"),
    Number<&CSDevice_RdCardControlItem::BadgeTimeout>("BadgeTimeout").Says("Badge timeout"),
    Number<&CSDevice_RdCardControlItem::BadgeOutG>("BadgeOutG").Says("Badge output group"));

// "SetCardLocation", after the reader's number.
template <>
inline constexpr auto kRecordFields<CSDevice_RdCardLocationItem> = MakeFieldTable(
    Number<&CSDevice_RdCardLocationItem::FacilityStart>("FacilityStart")
        .Says("Facility code start"),
    Number<&CSDevice_RdCardLocationItem::FacilityEnd>("FacilityEnd").Says("Facility code end"),
    Number<&CSDevice_RdCardLocationItem::FacilityDigits>("FacilityDigits")
        .Says("Facility code digits"),
    Number<&CSDevice_RdCardLocationItem::CardStart>("CardStart").Says("Card number start"),
    Number<&CSDevice_RdCardLocationItem::CardEnd>("CardEnd").Says("Card number end"),
    Number<&CSDevice_RdCardLocationItem::CardDigits>("CardDigits").Says("Card number digits"),
    Number<&CSDevice_RdCardLocationItem::AltStart>("AltStart").Says("Alternative number start"),
    Number<&CSDevice_RdCardLocationItem::AltEnd>("AltEnd").Says("Alternative number end"));

// "SetCardStructure", after the reader's number.
template <>
inline constexpr auto kRecordFields<CSDevice_RdCardStructureItem> = MakeFieldTable(
    Number<&CSDevice_RdCardStructureItem::CardType>("CardType").Says("Card type"),
    Number<&CSDevice_RdCardStructureItem::DeleteOffset>("DeleteOffset").Says("Delete offset"),
    Number<&CSDevice_RdCardStructureItem::ClientCode>("ClientCode").Says("Client code"),
    Number<&CSDevice_RdCardStructureItem::SiteCode>("SiteCode").Says("Site code"),
    Number<&CSDevice_RdCardStructureItem::ExactBits>("ExactBits").Says("Exact bit count"),
    Number<&CSDevice_RdCardStructureItem::Duress>("Duress").Says("Duress setting"),
    Flag<&CSDevice_RdCardStructureItem::ParityCheck>("ParityCheck").Says("Parity check"),
    Flag<&CSDevice_RdCardStructureItem::Frame>("Frame").Says("Frame"));

// "AccessAlarm", after the reader's number: the five alarm settings, then their references.
template <>
inline constexpr auto kRecordFields<CSDevice_RdAccessAlarmItem> = MakeFieldTable(
    Enum<&CSDevice_RdAccessAlarmItem::AlarmOK>("OK", CSToolEnumId::Alarm).Says("OK alarm"),
    Enum<&CSDevice_RdAccessAlarmItem::AlarmFail>("Fail", CSToolEnumId::Alarm).Says("Fail alarm"),
    Enum<&CSDevice_RdAccessAlarmItem::AlarmRandom>("Random", CSToolEnumId::Alarm)
        .Says("Random alarm"),
    Enum<&CSDevice_RdAccessAlarmItem::AlarmIllegal>("Illegal", CSToolEnumId::Alarm)
        .Says("Illegal alarm"),
    Enum<&CSDevice_RdAccessAlarmItem::AlarmDuress>("Duress", CSToolEnumId::Alarm)
        .Says("Duress alarm"),
    Number<&CSDevice_RdAccessAlarmItem::AlarmOK_Ref>("OKRef").Says("OK alarm reference"),
    Number<&CSDevice_RdAccessAlarmItem::AlarmFail_Ref>("FailRef").Says("Fail alarm reference"),
    Number<&CSDevice_RdAccessAlarmItem::AlarmRandom_Ref>("RandomRef")
        .Says("Random alarm reference"),
    Number<&CSDevice_RdAccessAlarmItem::AlarmIllegal_Ref>("IllegalRef")
        .Says("Illegal alarm reference"),
    Number<&CSDevice_RdAccessAlarmItem::AlarmDuress_Ref>("DuressRef")
        .Says("Duress alarm reference"));

// Every field says what it is to the person who edits it.
static_assert(kRecordFields<CSDevice_Config>.Labelled());
static_assert(kRecordFields<CSDevice_XTRA>.Labelled());
static_assert(kRecordFields<CSDevice_HolidayItem>.Labelled());
static_assert(kRecordFields<CSDevice_TimeZoneItem>.Labelled());
static_assert(kRecordFields<CSDevice_TimeGroupZoneItem>.Labelled());
static_assert(kRecordFields<CSDevice_PortItem>.Labelled());
static_assert(kRecordFields<CSDevice_FLanSetupItem>.Labelled());
static_assert(kRecordFields<CSDevice_InputTypeItem>.Labelled());
static_assert(kRecordFields<CSDevice_InputTimeItem>.Labelled());
static_assert(kRecordFields<CSDevice_InputLinkItem>.Labelled());
static_assert(kRecordFields<CSDevice_OutputTypeItem>.Labelled());
static_assert(kRecordFields<CSDevice_OutputTimeItem>.Labelled());
static_assert(kRecordFields<CSDevice_RdConfigurationItem>.Labelled());
static_assert(kRecordFields<CSDevice_RdCardControlItem>.Labelled());
static_assert(kRecordFields<CSDevice_RdCardLocationItem>.Labelled());
static_assert(kRecordFields<CSDevice_RdCardStructureItem>.Labelled());
static_assert(kRecordFields<CSDevice_RdAccessAlarmItem>.Labelled());
static_assert(kXtraNameField.Labelled());

}  // namespace ssmsg
