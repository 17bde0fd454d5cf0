#pragma once

/// \file
/// The configuration records of one controller, as the configuration store holds them and as the
/// command builders copy them. Each record is plain data with the field widths the controller
/// uses; `Clear` resets every field to zero, false or the empty text.

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace ssmsg {

namespace detail {
/// Resets a record to its defaults while keeping the storage of its name, so that clearing a
/// record copy before every fetch of a record loop never allocates.
template <class Record>
void ClearKeepingName(Record& record) {
  std::string name = std::move(record.Name);
  record = Record{};
  name.clear();
  record.Name = std::move(name);
}
}  // namespace detail

/// The controller's general configuration record.
struct CSDevice_Config {
  std::uint8_t Modified = 0;  ///< whether the record was changed since it was last sent
  /// \name Values
  ///@{
  std::int32_t DbMode = 0;  ///< a value of the record, named as in a site file
  std::uint8_t TGEnabled = 0;
  std::uint8_t PINEnabled = 0;
  std::uint8_t RandomEnabled = 0;
  std::uint8_t OutGroupEnabled = 0;
  std::uint8_t VendEnabled = 0;
  std::uint8_t ExpireEnabled = 0;
  std::uint8_t PropertyEnabled = 0;
  std::int32_t DbSize = 0;
  std::uint32_t LockSize = 0;
  std::int16_t In = 0;
  std::int16_t Out = 0;
  std::string Name;  ///< the XTRA unit's name
  ///@}

  /// \return whether the record was changed since it was last sent
  bool IsModified() const { return Modified != 0; }
  /// Marks the record as changed (or not) since it was last sent.
  /// \param modified whether it was changed
  void SetModified(bool modified) { Modified = modified ? 1 : 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { detail::ClearKeepingName(*this); }
};

/// The controller's XTRA (VORAN application) settings.
struct CSDevice_XTRA {
  std::uint8_t Modified = 0;  ///< whether the record was changed since it was last sent
  /// \name Values
  ///@{
  std::int16_t ApplicationNo = 0;  ///< a value of the record, named as in a site file
  std::int16_t Mode = 0;
  std::string Name;
  ///@}

  /// \return whether the record was changed since it was last sent
  bool IsModified() const { return Modified != 0; }
  /// Marks the record as changed (or not) since it was last sent.
  /// \param modified whether it was changed
  void SetModified(bool modified) { Modified = modified ? 1 : 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { detail::ClearKeepingName(*this); }
};

/// One node of the controller's field-LAN master table.
struct CSDevice_FLanSetupItem {
  /// \name Values
  ///@{
  std::int16_t FLAN_Node = 0;  ///< a value of the record, named as in a site file
  std::int16_t Type = 0;
  ///@}

  /// \return whether the record is sent (its type is above 0)
  bool CanSend() const { return Type > 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// One serial port.
struct CSDevice_PortItem {
  /// \name Values
  ///@{
  std::int16_t SerialPort = 0;  ///< a value of the record, named as in a site file
  std::int16_t Type = 0;
  std::int16_t SubType = 0;
  std::int16_t TypeRef = 0;
  std::int16_t BaudRate = 0;
  std::int16_t Bits = 0;
  std::int16_t Parity = 0;
  std::int16_t PeripheralType = 0;
  std::int16_t AdditionalEvent = 0;
  ///@}

  /// \return whether the record is sent (its type is above 0)
  bool CanSend() const { return Type > 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// One holiday: a calendar day without a year.
struct CSDevice_HolidayItem {
  /// \name Values
  ///@{
  std::int32_t Month = 0;  ///< a value of the record, named as in a site file
  std::int32_t Day = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// One time zone: a numbered daily period.
struct CSDevice_TimeZoneItem {
  /// \name Values
  ///@{
  std::int16_t ZoneNo = 0;  ///< a value of the record, named as in a site file
  std::int16_t StartHour = 0;
  std::int16_t StartMinute = 0;
  std::int16_t EndHour = 0;
  std::int16_t EndMinute = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// One time zone of a time group, with the days on which it is in force.
struct CSDevice_TimeGroupZoneItem {
  /// \name Values
  ///@{
  std::int16_t TimeGroupNo = 0;  ///< the group the zone belongs to; not sent
  std::int16_t ZoneNo = 0;
  std::uint8_t Monday = 0;
  std::uint8_t Tuesday = 0;
  std::uint8_t Wednesday = 0;
  std::uint8_t Thursday = 0;
  std::uint8_t Friday = 0;
  std::uint8_t Saturday = 0;
  std::uint8_t Sunday = 0;
  std::uint8_t Holiday = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// Where an input is wired and what kind of input it is.
struct CSDevice_InputTypeItem {
  /// \name Values
  ///@{
  std::string Name;  ///< a value of the record, named as in a site file
  std::int16_t DLan = 0;
  std::int16_t DNode = 0;
  std::int16_t DPort = 0;
  std::int16_t Type = 0;
  std::int16_t TypeRef = 0;
  std::uint8_t EOL = 0;
  std::uint8_t Polarity = 0;
  std::int16_t CountDelay = 0;
  std::int32_t CountValue = 0;
  std::uint8_t NameInitialised = 0;
  ///@}

  /// Marks the name as given (or not), so that the name messages send it.
  /// \param initialised whether the name was given
  void SetNameInitialised(bool initialised) { NameInitialised = initialised ? 1 : 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { detail::ClearKeepingName(*this); }
};

/// An input's debounce, timeout and the time group of each of its five levels.
struct CSDevice_InputTimeItem {
  static constexpr int kLevels = 5;  ///< the levels of an input, 1 to 5

  /// \name Values
  ///@{
  std::int16_t BounceTick = 0;  ///< a value of the record, named as in a site file
  std::int16_t Debounce = 0;
  std::int16_t TickResolution = 0;
  std::int16_t Timeout = 0;
  std::array<std::int16_t, kLevels> LevelTG{};  ///< LevelTG[k - 1] is the time group of level k
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// An input's enabled ports and its five alarm links.
struct CSDevice_InputLinkItem {
  /// \name Values
  ///@{
  std::uint8_t EnabledInputPort = 0;  ///< a value of the record, named as in a site file
  std::uint8_t EnabledInputLevel = 0;
  std::uint8_t EnabledOutputPort = 0;
  std::uint8_t EnabledOutputLevel = 0;
  std::int16_t AlarmDis = 0;
  std::int16_t AlarmEna = 0;
  std::int16_t AlarmNear = 0;
  std::int16_t AlarmIn = 0;
  std::int16_t AlarmSleep = 0;
  std::int16_t AlarmDisRef = 0;
  std::int16_t AlarmEnaRef = 0;
  std::int16_t AlarmNearRef = 0;
  std::int16_t AlarmInRef = 0;
  std::int16_t AlarmSleepRef = 0;
  ///@}

  /// \return the value of the same name
  std::uint8_t GetEnabledInputPort() const { return EnabledInputPort; }
  /// \return the value of the same name
  std::uint8_t GetEnabledInputLevel() const { return EnabledInputLevel; }
  /// \return the value of the same name
  std::uint8_t GetEnabledOutputPort() const { return EnabledOutputPort; }
  /// \return the value of the same name
  std::uint8_t GetEnabledOutputLevel() const { return EnabledOutputLevel; }
  /// \return the value of the same name
  std::int16_t GetAlarmDis() const { return AlarmDis; }
  /// \return the value of the same name
  std::int16_t GetAlarmEna() const { return AlarmEna; }
  /// \return the value of the same name
  std::int16_t GetAlarmNear() const { return AlarmNear; }
  /// \return the value of the same name
  std::int16_t GetAlarmIn() const { return AlarmIn; }
  /// \return the value of the same name
  std::int16_t GetAlarmSleep() const { return AlarmSleep; }
  /// \return the value of the same name
  std::int16_t GetAlarmDisRef() const { return AlarmDisRef; }
  /// \return the value of the same name
  std::int16_t GetAlarmEnaRef() const { return AlarmEnaRef; }
  /// \return the value of the same name
  std::int16_t GetAlarmNearRef() const { return AlarmNearRef; }
  /// \return the value of the same name
  std::int16_t GetAlarmInRef() const { return AlarmInRef; }
  /// \return the value of the same name
  std::int16_t GetAlarmSleepRef() const { return AlarmSleepRef; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// Where an output is wired, what kind of output it is, and what enables and controls it.
struct CSDevice_OutputTypeItem {
  /// \name Values
  ///@{
  std::string Name;  ///< a value of the record, named as in a site file
  std::int16_t DLan = 0;
  std::int16_t DNode = 0;
  std::int16_t DPort = 0;
  std::int16_t Type = 0;
  std::int16_t TypeRef = 0;
  std::int16_t Polarity = 0;
  std::uint8_t EnabledInputPort = 0;
  std::uint8_t EnabledOutputPort = 0;
  std::uint8_t ControlInput = 0;
  std::uint8_t ControlOutput = 0;
  std::uint8_t EnabledInputLevel = 0;
  std::uint8_t EnabledOutputLevel = 0;
  std::uint8_t ControlInputLevel = 0;
  std::uint8_t ControlOutputLevel = 0;
  std::uint8_t NameInitialised = 0;
  ///@}

  /// \return the value of the same name
  std::uint8_t GetEnabledInputPort() const { return EnabledInputPort; }
  /// \return the value of the same name
  std::uint8_t GetEnabledOutputPort() const { return EnabledOutputPort; }
  /// \return the value of the same name
  std::uint8_t GetControlInput() const { return ControlInput; }
  /// \return the value of the same name
  std::uint8_t GetControlOutput() const { return ControlOutput; }
  /// \return the value of the same name
  std::uint8_t GetEnabledInputLevel() const { return EnabledInputLevel; }
  /// \return the value of the same name
  std::uint8_t GetEnabledOutputLevel() const { return EnabledOutputLevel; }
  /// \return the value of the same name
  std::uint8_t GetControlInputLevel() const { return ControlInputLevel; }
  /// \return the value of the same name
  std::uint8_t GetControlOutputLevel() const { return ControlOutputLevel; }
  /// Marks the name as given (or not), so that the name messages send it.
  /// \param initialised whether the name was given
  void SetNameInitialised(bool initialised) { NameInitialised = initialised ? 1 : 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { detail::ClearKeepingName(*this); }
};

/// An output's timeout, pulse and time groups.
struct CSDevice_OutputTimeItem {
  /// \name Values
  ///@{
  std::int16_t TTickResolution = 0;  ///< a value of the record, named as in a site file
  std::int16_t TTimeout = 0;
  std::int16_t PTickResolution = 0;
  std::int16_t Pulse = 0;
  std::int16_t TgControlled = 0;
  std::int16_t TgEnabled = 0;
  std::int16_t TgReport = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// A reader's configuration, with its name and its random-check settings.
struct CSDevice_RdConfigurationItem {
  /// \name Values
  ///@{
  std::string Name;  ///< a value of the record, named as in a site file
  std::int16_t DLan = 0;
  std::int16_t DNode = 0;
  std::int16_t DPort = 0;
  std::int16_t App = 0;
  std::int16_t Type = 0;
  std::uint8_t ClkPolarity = 0;
  std::int16_t LED = 0;
  std::int16_t LCD = 0;
  std::int16_t CardLCD = 0;
  std::int16_t Complete = 0;
  std::int16_t BoothMode = 0;
  std::int16_t LinkRef = 0;
  std::int16_t Power = 0;
  std::int16_t CheckType = 0;
  std::int16_t Percentage = 0;
  std::uint8_t NameInitialised = 0;
  ///@}

  /// Marks the name as given (or not), so that the name messages send it.
  /// \param initialised whether the name was given
  void SetNameInitialised(bool initialised) { NameInitialised = initialised ? 1 : 0; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { detail::ClearKeepingName(*this); }
};

/// What a reader does with the cards presented to it: anti-passback, ATB, capture, badges.
struct CSDevice_RdCardControlItem {
  /// \name Values
  ///@{
  std::int16_t APBTo = 0;  ///< a value of the record, named as in a site file
  std::int16_t APBFrom = 0;
  std::int16_t APBOffline = 0;
  std::int16_t APBReset = 0;
  std::int16_t ATBMinutes = 0;
  std::int16_t ATBLink = 0;
  std::int16_t Capture = 0;
  std::int16_t Attempts = 0;
  std::int16_t DisableSeconds = 0;
  std::int16_t DualBadge = 0;
  std::int16_t BadgeTimeout = 0;
  std::int16_t BadgeOutG = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// Where a reader finds the facility code, the card number and the alternative number.
struct CSDevice_RdCardLocationItem {
  /// \name Values
  ///@{
  std::int16_t FacilityStart = 0;  ///< a value of the record, named as in a site file
  std::int16_t FacilityEnd = 0;
  std::int16_t FacilityDigits = 0;
  std::int16_t CardStart = 0;
  std::int16_t CardEnd = 0;
  std::int16_t CardDigits = 0;
  std::int16_t AltStart = 0;
  std::int16_t AltEnd = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// The card format a reader accepts.
struct CSDevice_RdCardStructureItem {
  /// \name Values
  ///@{
  std::int16_t CardType = 0;  ///< a value of the record, named as in a site file
  std::int32_t DeleteOffset = 0;
  std::int32_t ClientCode = 0;
  std::int16_t SiteCode = 0;
  std::int16_t ExactBits = 0;
  std::int16_t Duress = 0;
  std::uint8_t ParityCheck = 0;
  std::uint8_t Frame = 0;
  ///@}

  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

/// A reader's alarm setting and reference for each of five access outcomes.
struct CSDevice_RdAccessAlarmItem {
  /// \name Values
  ///@{
  std::int16_t AlarmOK = 0;  ///< a value of the record, named as in a site file
  std::int16_t AlarmFail = 0;
  std::int16_t AlarmRandom = 0;
  std::int16_t AlarmIllegal = 0;
  std::int16_t AlarmDuress = 0;
  std::int16_t AlarmOK_Ref = 0;
  std::int16_t AlarmFail_Ref = 0;
  std::int16_t AlarmRandom_Ref = 0;
  std::int16_t AlarmIllegal_Ref = 0;
  std::int16_t AlarmDuress_Ref = 0;
  ///@}

  /// \return the value of the same name
  std::int16_t GetAlarmOK() const { return AlarmOK; }
  /// \return the value of the same name
  std::int16_t GetAlarmFail() const { return AlarmFail; }
  /// \return the value of the same name
  std::int16_t GetAlarmRandom() const { return AlarmRandom; }
  /// \return the value of the same name
  std::int16_t GetAlarmIllegal() const { return AlarmIllegal; }
  /// \return the value of the same name
  std::int16_t GetAlarmDuress() const { return AlarmDuress; }
  /// \return the value of the same name
  std::int16_t GetAlarmOK_Ref() const { return AlarmOK_Ref; }
  /// \return the value of the same name
  std::int16_t GetAlarmFail_Ref() const { return AlarmFail_Ref; }
  /// \return the value of the same name
  std::int16_t GetAlarmRandom_Ref() const { return AlarmRandom_Ref; }
  /// \return the value of the same name
  std::int16_t GetAlarmIllegal_Ref() const { return AlarmIllegal_Ref; }
  /// \return the value of the same name
  std::int16_t GetAlarmDuress_Ref() const { return AlarmDuress_Ref; }
  /// Resets every value to 0, false or the empty text.
  void Clear() { *this = {}; }
};

}  // namespace ssmsg
