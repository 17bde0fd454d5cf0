#pragma once

// Every command class, by the name of its kind of message. Most are one row each: the catalog row
// of the message, the store's container of the records it sends, the capability count that
// bounds them and the field table of what it sends (commands/CSS_TableCommands.h). The commands
// that compute something of their own (the clock, time groups, an input's level time groups, the
// XTRA name) are classes in commands/computed/; the interface control commands and the request
// for settings are the facade's, in manager/.

#include <ssmsg/CSDevice_Resource.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_TableCommands.h"
#include "commands/computed/CSS_Command_G_TG_Setup.h"
#include "commands/computed/CSS_Command_I_Time.h"
#include "commands/computed/CSS_Command_Sys_RTC.h"
#include "commands/computed/CSS_Command_XTRA_Name.h"
#include "core/CSS_Command.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

// The clear-all messages that open a list transfer: nothing but the node number. The builders
// send one before the records of its list and send no record when it fails.
using CSS_Command_Ctrl_FLanClearAll = CSS_NodeOnlyCommand<CSS_Command_Ctrl, kFLanClearAllMessage>;
using CSS_Command_Ctrl_PortClearAll =
    CSS_NodeOnlyCommand<CSS_Command_Ctrl, kCommPortClearAllMessage>;
using CSS_Command_G_HolidayClear = CSS_NodeOnlyCommand<CSS_Command_G, kHolidayClearAllMessage>;
using CSS_Command_G_TZ_ClearAll = CSS_NodeOnlyCommand<CSS_Command_G, kTimeZoneClearAllMessage>;
using CSS_Command_G_TG_ClearAll = CSS_NodeOnlyCommand<CSS_Command_G, kTimeGroupClearAllMessage>;
using CSS_Command_I_ClearAll = CSS_NodeOnlyCommand<CSS_Command_I, kInputClearAllMessage>;
using CSS_Command_O_ClearAll = CSS_NodeOnlyCommand<CSS_Command_O, kOutputClearAllMessage>;
using CSS_Command_R_ClearAll = CSS_NodeOnlyCommand<CSS_Command_R, kReaderClearAllMessage>;

// Controller setup: the database mode, size and expanders from the controller's configuration;
// one message per serial port and field-LAN node, each carrying its own number.
using CSS_Command_Ctrl_DbMode =
    CSS_SingleMessage<kSetDbModeMessage, CSDevice_Config, kDbModeFields>;
using CSS_Command_Ctrl_DbSize =
    CSS_SingleMessage<kSetDbSizeMessage, CSDevice_Config, kDbSizeFields>;
using CSS_Command_Ctrl_Expanders =
    CSS_SingleMessage<kSetExpandersMessage, CSDevice_Config, kExpandersFields>;
using CSS_Command_Ctrl_PortSetup =
    CSS_RecordMessage<kCommPortSetupMessage, CSDevice_Port, &CSDevice_Resource::GetComms,
                      kNoRecordNumber, kRecordFields<CSDevice_PortItem>>;
using CSS_Command_Ctrl_FLanSetup =
    CSS_RecordMessage<kFLanSetupMessage, CSDevice_FLanSetup, &CSDevice_Resource::GetCommsFLAN,
                      kNoRecordNumber, kRecordFields<CSDevice_FLanSetupItem>>;

// Schedules: every holiday of the list (no capability bounds them), and the time zones up to the
// controller's count, each carrying its own number.
using CSS_Command_G_HolidaySetup =
    CSS_RecordMessage<kHolidaySetupMessage, CSDevice_Holiday, nullptr, kHolidayNumber,
                      kRecordFields<CSDevice_HolidayItem>>;
using CSS_Command_G_TZ_Setup =
    CSS_RecordMessage<kTimeZoneSetupMessage, CSDevice_TimeZone, &CSDevice_Resource::GetTimeZones,
                      kNoRecordNumber, kRecordFields<CSDevice_TimeZoneItem>>;

// Inputs and outputs, one message per record up to the controller's count.
using CSS_Command_I_Type =
    CSS_RecordMessage<kInputTypeMessage, CSDevice_InputType, &CSDevice_Resource::GetInputs,
                      kInputNumber, kInputTypeFields>;
using CSS_Command_I_Name = CSS_RecordNameMessage<kInputNameMessage, CSDevice_InputType,
                                                 &CSDevice_Resource::GetInputs, kInputNumber>;
using CSS_Command_I_Link =
    CSS_RecordMessage<kInputLinkMessage, CSDevice_InputLink, &CSDevice_Resource::GetInputs,
                      kInputNumber, kRecordFields<CSDevice_InputLinkItem>>;
using CSS_Command_O_Type =
    CSS_RecordMessage<kOutputTypeMessage, CSDevice_OutputType, &CSDevice_Resource::GetOutputs,
                      kOutputNumber, kOutputTypeFields>;
using CSS_Command_O_Name = CSS_RecordNameMessage<kOutputNameMessage, CSDevice_OutputType,
                                                 &CSDevice_Resource::GetOutputs, kOutputNumber>;
using CSS_Command_O_Time =
    CSS_RecordMessage<kOutputTimeMessage, CSDevice_OutputTime, &CSDevice_Resource::GetOutputs,
                      kOutputNumber, kRecordFields<CSDevice_OutputTimeItem>>;

// Readers, one message per reader up to the controller's count. The reader configuration record
// travels in two messages: its wiring and modes, and its random-check settings.
using CSS_Command_R_Configuration =
    CSS_RecordMessage<kReaderConfigurationMessage, CSDevice_RdConfiguration,
                      &CSDevice_Resource::GetReaders, kReaderNumber, kRdConfigurationFields>;
using CSS_Command_R_Name = CSS_RecordNameMessage<kReaderNameMessage, CSDevice_RdConfiguration,
                                                 &CSDevice_Resource::GetReaders, kReaderNumber>;
using CSS_Command_R_CheckSetup =
    CSS_RecordMessage<kCheckSetupMessage, CSDevice_RdConfiguration, &CSDevice_Resource::GetReaders,
                      kReaderNumber, kRdCheckSetupFields>;
using CSS_Command_R_CardControl =
    CSS_RecordMessage<kCardControlMessage, CSDevice_RdCardControl, &CSDevice_Resource::GetReaders,
                      kReaderNumber, kRecordFields<CSDevice_RdCardControlItem>>;
using CSS_Command_R_CardLocation =
    CSS_RecordMessage<kCardLocationMessage, CSDevice_RdCardLocation, &CSDevice_Resource::GetReaders,
                      kReaderNumber, kRecordFields<CSDevice_RdCardLocationItem>>;
using CSS_Command_R_CardStructure =
    CSS_RecordMessage<kCardStructureMessage, CSDevice_RdCardStructure,
                      &CSDevice_Resource::GetReaders, kReaderNumber,
                      kRecordFields<CSDevice_RdCardStructureItem>>;
using CSS_Command_R_AccessAlarm =
    CSS_RecordMessage<kAccessAlarmMessage, CSDevice_RdAccessAlarm, &CSDevice_Resource::GetReaders,
                      kReaderNumber, kRecordFields<CSDevice_RdAccessAlarmItem>>;

// The XTRA unit's application number and mode. The task reports no failure of it.
using CSS_Command_XTRA_VoranSetMode =
    CSS_SingleMessage<kXtraModeMessage, CSDevice_XTRA, kRecordFields<CSDevice_XTRA>,
                      CSS_SingleResult::AlwaysTrue>;

}  // namespace ssmsg
