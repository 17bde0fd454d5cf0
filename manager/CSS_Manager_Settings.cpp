// The settings dispatcher: task numbers 151 to 177, each with its builder.

#include "commands/CSS_ClearAllCommands.h"
#include "commands/controller/CSS_Command_Ctrl_DbMode.h"
#include "commands/controller/CSS_Command_Ctrl_DbSize.h"
#include "commands/controller/CSS_Command_Ctrl_Expanders.h"
#include "commands/controller/CSS_Command_Ctrl_FLanSetup.h"
#include "commands/controller/CSS_Command_Ctrl_PortSetup.h"
#include "commands/controller/CSS_Command_Sys_RTC.h"
#include "commands/io/CSS_Command_I_Link.h"
#include "commands/io/CSS_Command_I_Name.h"
#include "commands/io/CSS_Command_I_Time.h"
#include "commands/io/CSS_Command_I_Type.h"
#include "commands/io/CSS_Command_O_Name.h"
#include "commands/io/CSS_Command_O_Time.h"
#include "commands/io/CSS_Command_O_Type.h"
#include "commands/io/CSS_Command_R_Name.h"
#include "commands/io/CSS_Command_XTRA_Name.h"
#include "commands/readers/CSS_Command_R_AccessAlarm.h"
#include "commands/readers/CSS_Command_R_CardControl.h"
#include "commands/readers/CSS_Command_R_CardLocation.h"
#include "commands/readers/CSS_Command_R_CardStructure.h"
#include "commands/readers/CSS_Command_R_CheckSetup.h"
#include "commands/readers/CSS_Command_R_Configuration.h"
#include "commands/readers/CSS_Command_XTRA_VoranSetMode.h"
#include "commands/schedules/CSS_Command_G_HolidaySetup.h"
#include "commands/schedules/CSS_Command_G_TG_Setup.h"
#include "commands/schedules/CSS_Command_G_TZ_Setup.h"
#include "manager/CSS_ManagerBuilders.h"
#include "manager/CSS_TaskShapes.h"

#include <array>
#include <iterator>

namespace ssmsg {

using Builders = CSS_Manager::Builders;
using Shape = CSS_TaskShape;

const Builders::TaskRow Builders::kTaskRows[] = {
    {nullptr, Shape::Nothing, {kTaskReserved151, "nothing"}},
    {&Builders::MakeSendCommands_Sys_RTC, Shape::Single, {kTaskClock, "SetRTC"}},
    {&Builders::MakeSendCommands_G_Holiday,
     Shape::ListTransfer,
     {kTaskHolidays, "HolidayClearAll, then HolidaySetup per holiday"}},
    {&Builders::MakeSendCommands_G_TG,
     Shape::ListTransfer,
     {kTaskTimeGroups,
      "TimeGroupClearAll, then TimeGroupSetup per group and block of eight zones"}},
    {&Builders::MakeSendCommands_G_TZ,
     Shape::ListTransfer,
     {kTaskTimeZones, "TimeZoneClearAll, then TimeZoneSetup per time zone"}},
    {&Builders::MakeSendCommands_Ctrl_Port,
     Shape::ListTransfer,
     {kTaskSerialPorts, "CommPortClearAll, then CommPortSetup per serial port"}},
    {&Builders::MakeSendCommands_Ctrl_FLan,
     Shape::ListTransfer,
     {kTaskFieldLan, "FLAN_MasterClearAll, then FLAN_MasterSetup per field-LAN node"}},
    {&Builders::MakeSendCommands_Ctrl_DbMode, Shape::Single, {kTaskDbMode, "SetDbMode"}},
    {&Builders::MakeSendCommands_Ctrl_DbSize, Shape::Single, {kTaskDbSize, "SetDbSize"}},
    {&Builders::MakeSendCommands_Ctrl_Expanders, Shape::Single, {kTaskExpanders, "SetExpanders"}},
    {&Builders::MakeSendCommands_I_Type,
     Shape::ListTransfer,
     {kTaskInputTypes, "InputClearAll, then InputType per input"}},
    {&Builders::MakeSendCommands_I_Name,
     Shape::PerRecord,
     {kTaskInputNames, "InputName per input and piece of ten characters"}},
    {&Builders::MakeSendCommands_I_Time,
     Shape::PerRecord,
     {kTaskInputTiming, "InputTime per input"}},
    {&Builders::MakeSendCommands_I_Link,
     Shape::PerRecord,
     {kTaskInputLinks, "InputLink per input"}},
    {&Builders::MakeSendCommands_O_Type,
     Shape::ListTransfer,
     {kTaskOutputTypes, "OutputClearAll, then OutputType per output"}},
    {&Builders::MakeSendCommands_O_Name,
     Shape::PerRecord,
     {kTaskOutputNames, "OutputName per output and piece of ten characters"}},
    {&Builders::MakeSendCommands_O_Time,
     Shape::PerRecord,
     {kTaskOutputTiming, "OutputTime per output"}},
    {&Builders::MakeSendCommands_R_Type,
     Shape::ListTransfer,
     {kTaskReaderConfiguration, "ReaderClearAll, then SetConfiguration per reader"}},
    {&Builders::MakeSendCommands_R_Name,
     Shape::PerRecord,
     {kTaskReaderNames, "ReaderName per reader and piece of ten characters"}},
    {&Builders::MakeSendCommands_R_CardControl,
     Shape::PerRecord,
     {kTaskCardControl, "SetCardControl per reader"}},
    {&Builders::MakeSendCommands_R_CardLocation,
     Shape::PerRecord,
     {kTaskCardLocation, "SetCardLocation per reader"}},
    {&Builders::MakeSendCommands_R_CardStructure,
     Shape::PerRecord,
     {kTaskCardStructure, "SetCardStructure per reader"}},
    {&Builders::MakeSendCommands_R_CheckSetup,
     Shape::PerRecord,
     {kTaskCheckSetup, "SetCheckSetup per reader"}},
    {&Builders::MakeSendCommands_R_AccessAlarm,
     Shape::PerRecord,
     {kTaskAccessAlarms, "AccessAlarm per reader"}},
    {&Builders::MakeSendCommands_XTRA_Name,
     Shape::Name,
     {kTaskXtraName, "SetName per piece of ten characters of the XTRA name"}},
    {nullptr, Shape::Nothing, {kTaskReserved176, "nothing"}},
    {&Builders::MakeSendCommands_XTRA_VoranSetMode,
     Shape::Single,
     {kTaskXtraMode, "SetVORAN_Mode"}},
};

bool CSS_Manager::MakeSendSettings(ApplicationManagerTask task, int interfaceId, int node,
                                   CSS_StringList& out) {
  return Builders::Dispatch(task, interfaceId, node, out);
}

bool Builders::Dispatch(ApplicationManagerTask task, int interfaceId, int node,
                        CSS_StringList& out) {
  static_assert(std::size(Builders::kTaskRows) == kSettingsTasks.size());
  if (task < kFirstSettingsTask || task > kLastSettingsTask) return false;
  const Builders::Builder builder = Builders::kTaskRows[task - kFirstSettingsTask].builder;
  return builder == nullptr || builder(interfaceId, node, out);
}

std::span<const CSS_TaskInfo> CSS_Manager::TaskTable() {
  static const auto table = [] {
    std::array<CSS_TaskInfo, std::size(Builders::kTaskRows)> infos{};
    for (std::size_t i = 0; i < infos.size(); ++i)
      infos[i] = Builders::kTaskRows[i].info;
    return infos;
  }();
  return table;
}

// Controller setup.

bool Builders::MakeSendCommands_Sys_RTC(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Sys_RTC>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_Ctrl_Port(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_Ctrl_PortClearAll, CSS_Command_Ctrl_PortSetup>(
      interfaceId, node, out);
}

bool Builders::MakeSendCommands_Ctrl_FLan(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_Ctrl_FLanClearAll, CSS_Command_Ctrl_FLanSetup>(
      interfaceId, node, out);
}

bool Builders::MakeSendCommands_Ctrl_DbMode(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Ctrl_DbMode>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_Ctrl_DbSize(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Ctrl_DbSize>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_Ctrl_Expanders(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Ctrl_Expanders>(interfaceId, node, out);
}

// Schedules.

bool Builders::MakeSendCommands_G_Holiday(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_G_HolidayClear, CSS_Command_G_HolidaySetup>(interfaceId,
                                                                                      node, out);
}

bool Builders::MakeSendCommands_G_TG(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_G_TG_ClearAll, CSS_Command_G_TG_Setup>(interfaceId, node,
                                                                                 out);
}

bool Builders::MakeSendCommands_G_TZ(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_G_TZ_ClearAll, CSS_Command_G_TZ_Setup>(interfaceId, node,
                                                                                 out);
}

// Inputs, outputs and names.

bool Builders::MakeSendCommands_I_Type(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_I_ClearAll, CSS_Command_I_Type>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_I_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_I_Name>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_I_Time(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_I_Time>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_I_Link(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_I_Link>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_O_Type(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_O_ClearAll, CSS_Command_O_Type>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_O_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_O_Name>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_O_Time(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_O_Time>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_R_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_R_Name>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_XTRA_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_XTRA_Name>(interfaceId, node, out);
}

// Readers and XTRA.

bool Builders::MakeSendCommands_R_Type(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_R_ClearAll, CSS_Command_R_Configuration>(interfaceId,
                                                                                   node, out);
}

bool Builders::MakeSendCommands_R_CardControl(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CardControl>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_R_CardLocation(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CardLocation>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_R_CardStructure(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CardStructure>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_R_CheckSetup(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CheckSetup>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_R_AccessAlarm(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_AccessAlarm>(interfaceId, node, out);
}

bool Builders::MakeSendCommands_XTRA_VoranSetMode(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_XTRA_VoranSetMode>(interfaceId, node, out);
}

}  // namespace ssmsg
