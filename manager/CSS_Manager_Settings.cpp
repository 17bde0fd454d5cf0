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
#include "manager/CSS_Manager.h"
#include "manager/CSS_TaskShapes.h"

#include <array>
#include <iterator>

namespace ssmsg {

const CSS_Manager::TaskRow CSS_Manager::kTaskRows[] = {
    {nullptr, {151, "nothing"}},
    {&CSS_Manager::MakeSendCommands_Sys_RTC, {152, "SetRTC"}},
    {&CSS_Manager::MakeSendCommands_G_Holiday,
     {153, "HolidayClearAll, then HolidaySetup per holiday"}},
    {&CSS_Manager::MakeSendCommands_G_TG,
     {154, "TimeGroupClearAll, then TimeGroupSetup per group and block of eight zones"}},
    {&CSS_Manager::MakeSendCommands_G_TZ,
     {155, "TimeZoneClearAll, then TimeZoneSetup per time zone"}},
    {&CSS_Manager::MakeSendCommands_Ctrl_Port,
     {156, "CommPortClearAll, then CommPortSetup per serial port"}},
    {&CSS_Manager::MakeSendCommands_Ctrl_FLan,
     {157, "FLAN_MasterClearAll, then FLAN_MasterSetup per field-LAN node"}},
    {&CSS_Manager::MakeSendCommands_Ctrl_DbMode, {158, "SetDbMode"}},
    {&CSS_Manager::MakeSendCommands_Ctrl_DbSize, {159, "SetDbSize"}},
    {&CSS_Manager::MakeSendCommands_Ctrl_Expanders, {160, "SetExpanders"}},
    {&CSS_Manager::MakeSendCommands_I_Type, {161, "InputClearAll, then InputType per input"}},
    {&CSS_Manager::MakeSendCommands_I_Name,
     {162, "InputName per input and piece of ten characters"}},
    {&CSS_Manager::MakeSendCommands_I_Time, {163, "InputTime per input"}},
    {&CSS_Manager::MakeSendCommands_I_Link, {164, "InputLink per input"}},
    {&CSS_Manager::MakeSendCommands_O_Type, {165, "OutputClearAll, then OutputType per output"}},
    {&CSS_Manager::MakeSendCommands_O_Name,
     {166, "OutputName per output and piece of ten characters"}},
    {&CSS_Manager::MakeSendCommands_O_Time, {167, "OutputTime per output"}},
    {&CSS_Manager::MakeSendCommands_R_Type,
     {168, "ReaderClearAll, then SetConfiguration per reader"}},
    {&CSS_Manager::MakeSendCommands_R_Name,
     {169, "ReaderName per reader and piece of ten characters"}},
    {&CSS_Manager::MakeSendCommands_R_CardControl, {170, "SetCardControl per reader"}},
    {&CSS_Manager::MakeSendCommands_R_CardLocation, {171, "SetCardLocation per reader"}},
    {&CSS_Manager::MakeSendCommands_R_CardStructure, {172, "SetCardStructure per reader"}},
    {&CSS_Manager::MakeSendCommands_R_CheckSetup, {173, "SetCheckSetup per reader"}},
    {&CSS_Manager::MakeSendCommands_R_AccessAlarm, {174, "AccessAlarm per reader"}},
    {&CSS_Manager::MakeSendCommands_XTRA_Name,
     {175, "SetName per piece of ten characters of the XTRA name"}},
    {nullptr, {176, "nothing"}},
    {&CSS_Manager::MakeSendCommands_XTRA_VoranSetMode, {177, "SetVORAN_Mode"}},
};

bool CSS_Manager::MakeSendSettings(ApplicationManagerTask task, int interfaceId, int node,
                                   CSS_StringList& out) {
  static_assert(std::size(kTaskRows) == kLastSettingsTask - kFirstSettingsTask + 1);
  if (task < kFirstSettingsTask || task > kLastSettingsTask) return false;
  const Builder builder = kTaskRows[task - kFirstSettingsTask].builder;
  return builder == nullptr || (this->*builder)(interfaceId, node, out);
}

std::span<const CSS_TaskInfo> CSS_Manager::TaskTable() {
  static const auto table = [] {
    std::array<CSS_TaskInfo, std::size(kTaskRows)> infos{};
    for (std::size_t i = 0; i < infos.size(); ++i)
      infos[i] = kTaskRows[i].info;
    return infos;
  }();
  return table;
}

// Controller setup.

bool CSS_Manager::MakeSendCommands_Sys_RTC(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Sys_RTC>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_Ctrl_Port(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_Ctrl_PortClearAll, CSS_Command_Ctrl_PortSetup>(
      interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_Ctrl_FLan(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_Ctrl_FLanClearAll, CSS_Command_Ctrl_FLanSetup>(
      interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_Ctrl_DbMode(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Ctrl_DbMode>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_Ctrl_DbSize(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Ctrl_DbSize>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_Ctrl_Expanders(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_Ctrl_Expanders>(interfaceId, node, out);
}

// Schedules.

bool CSS_Manager::MakeSendCommands_G_Holiday(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_G_HolidayClear, CSS_Command_G_HolidaySetup>(interfaceId,
                                                                                      node, out);
}

bool CSS_Manager::MakeSendCommands_G_TG(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_G_TG_ClearAll, CSS_Command_G_TG_Setup>(interfaceId, node,
                                                                                 out);
}

bool CSS_Manager::MakeSendCommands_G_TZ(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_G_TZ_ClearAll, CSS_Command_G_TZ_Setup>(interfaceId, node,
                                                                                 out);
}

// Inputs, outputs and names.

bool CSS_Manager::MakeSendCommands_I_Type(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_I_ClearAll, CSS_Command_I_Type>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_I_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_I_Name>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_I_Time(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_I_Time>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_I_Link(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_I_Link>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_O_Type(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_O_ClearAll, CSS_Command_O_Type>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_O_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_O_Name>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_O_Time(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_O_Time>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_R_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_R_Name>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_XTRA_Name(int interfaceId, int node, CSS_StringList& out) {
  return SendCommand<CSS_Command_XTRA_Name>(interfaceId, node, out);
}

// Readers and XTRA.

bool CSS_Manager::MakeSendCommands_R_Type(int interfaceId, int node, CSS_StringList& out) {
  return SendClearThenRecords<CSS_Command_R_ClearAll, CSS_Command_R_Configuration>(interfaceId,
                                                                                   node, out);
}

bool CSS_Manager::MakeSendCommands_R_CardControl(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CardControl>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_R_CardLocation(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CardLocation>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_R_CardStructure(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CardStructure>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_R_CheckSetup(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_CheckSetup>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_R_AccessAlarm(int interfaceId, int node, CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_R_AccessAlarm>(interfaceId, node, out);
}

bool CSS_Manager::MakeSendCommands_XTRA_VoranSetMode(int interfaceId, int node,
                                                     CSS_StringList& out) {
  return SendAlwaysTrue<CSS_Command_XTRA_VoranSetMode>(interfaceId, node, out);
}

}  // namespace ssmsg
