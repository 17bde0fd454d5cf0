// The settings dispatcher: task numbers 151 to 177, each with its builder.

#include <array>
#include <iterator>
#include <string>

#include "commands/CSS_Commands.h"
#include "manager/CSS_ManagerBuilders.h"
#include "manager/CSS_TaskShapes.h"

namespace ssmsg {

using Builders = CSS_Manager::Builders;

// Controller setup.
const CSS_TaskBuilder Builders::MakeSendCommands_Sys_RTC = task::Single<CSS_Command_Sys_RTC>();
const CSS_TaskBuilder Builders::MakeSendCommands_Ctrl_Port =
    task::ListTransfer<CSS_Command_Ctrl_PortClearAll, CSS_Command_Ctrl_PortSetup>("serial port");
const CSS_TaskBuilder Builders::MakeSendCommands_Ctrl_FLan =
    task::ListTransfer<CSS_Command_Ctrl_FLanClearAll, CSS_Command_Ctrl_FLanSetup>("field-LAN node");
const CSS_TaskBuilder Builders::MakeSendCommands_Ctrl_DbMode =
    task::Single<CSS_Command_Ctrl_DbMode>();
const CSS_TaskBuilder Builders::MakeSendCommands_Ctrl_DbSize =
    task::Single<CSS_Command_Ctrl_DbSize>();
const CSS_TaskBuilder Builders::MakeSendCommands_Ctrl_Expanders =
    task::Single<CSS_Command_Ctrl_Expanders>();

// Schedules.
const CSS_TaskBuilder Builders::MakeSendCommands_G_Holiday =
    task::ListTransfer<CSS_Command_G_HolidayClear, CSS_Command_G_HolidaySetup>("holiday");
const CSS_TaskBuilder Builders::MakeSendCommands_G_TG =
    task::ListTransfer<CSS_Command_G_TG_ClearAll, CSS_Command_G_TG_Setup>(
        "group and block of eight zones");
const CSS_TaskBuilder Builders::MakeSendCommands_G_TZ =
    task::ListTransfer<CSS_Command_G_TZ_ClearAll, CSS_Command_G_TZ_Setup>("time zone");

// Inputs, outputs and their names.
const CSS_TaskBuilder Builders::MakeSendCommands_I_Type =
    task::ListTransfer<CSS_Command_I_ClearAll, CSS_Command_I_Type>("input");
const CSS_TaskBuilder Builders::MakeSendCommands_I_Name =
    task::PerRecord<CSS_Command_I_Name>("input and piece of ten characters");
const CSS_TaskBuilder Builders::MakeSendCommands_I_Time =
    task::PerRecord<CSS_Command_I_Time>("input");
const CSS_TaskBuilder Builders::MakeSendCommands_I_Link =
    task::PerRecord<CSS_Command_I_Link>("input");
const CSS_TaskBuilder Builders::MakeSendCommands_O_Type =
    task::ListTransfer<CSS_Command_O_ClearAll, CSS_Command_O_Type>("output");
const CSS_TaskBuilder Builders::MakeSendCommands_O_Name =
    task::PerRecord<CSS_Command_O_Name>("output and piece of ten characters");
const CSS_TaskBuilder Builders::MakeSendCommands_O_Time =
    task::PerRecord<CSS_Command_O_Time>("output");

// Readers and XTRA.
const CSS_TaskBuilder Builders::MakeSendCommands_R_Type =
    task::ListTransfer<CSS_Command_R_ClearAll, CSS_Command_R_Configuration>("reader");
const CSS_TaskBuilder Builders::MakeSendCommands_R_Name =
    task::PerRecord<CSS_Command_R_Name>("reader and piece of ten characters");
const CSS_TaskBuilder Builders::MakeSendCommands_R_CardControl =
    task::PerRecord<CSS_Command_R_CardControl>("reader");
const CSS_TaskBuilder Builders::MakeSendCommands_R_CardLocation =
    task::PerRecord<CSS_Command_R_CardLocation>("reader");
const CSS_TaskBuilder Builders::MakeSendCommands_R_CardStructure =
    task::PerRecord<CSS_Command_R_CardStructure>("reader");
const CSS_TaskBuilder Builders::MakeSendCommands_R_CheckSetup =
    task::PerRecord<CSS_Command_R_CheckSetup>("reader");
const CSS_TaskBuilder Builders::MakeSendCommands_R_AccessAlarm =
    task::PerRecord<CSS_Command_R_AccessAlarm>("reader");
const CSS_TaskBuilder Builders::MakeSendCommands_XTRA_Name =
    task::Name<CSS_Command_XTRA_Name>("piece of ten characters of the XTRA name");
const CSS_TaskBuilder Builders::MakeSendCommands_XTRA_VoranSetMode =
    task::Single<CSS_Command_XTRA_VoranSetMode>();

const CSS_TaskBuilder Builders::kNothing = task::Nothing();

const Builders::TaskRow Builders::kTaskRows[] = {
    {kTaskReserved151, kNothing},
    {kTaskClock, MakeSendCommands_Sys_RTC},
    {kTaskHolidays, MakeSendCommands_G_Holiday},
    {kTaskTimeGroups, MakeSendCommands_G_TG},
    {kTaskTimeZones, MakeSendCommands_G_TZ},
    {kTaskSerialPorts, MakeSendCommands_Ctrl_Port},
    {kTaskFieldLan, MakeSendCommands_Ctrl_FLan},
    {kTaskDbMode, MakeSendCommands_Ctrl_DbMode},
    {kTaskDbSize, MakeSendCommands_Ctrl_DbSize},
    {kTaskExpanders, MakeSendCommands_Ctrl_Expanders},
    {kTaskInputTypes, MakeSendCommands_I_Type},
    {kTaskInputNames, MakeSendCommands_I_Name},
    {kTaskInputTiming, MakeSendCommands_I_Time},
    {kTaskInputLinks, MakeSendCommands_I_Link},
    {kTaskOutputTypes, MakeSendCommands_O_Type},
    {kTaskOutputNames, MakeSendCommands_O_Name},
    {kTaskOutputTiming, MakeSendCommands_O_Time},
    {kTaskReaderConfiguration, MakeSendCommands_R_Type},
    {kTaskReaderNames, MakeSendCommands_R_Name},
    {kTaskCardControl, MakeSendCommands_R_CardControl},
    {kTaskCardLocation, MakeSendCommands_R_CardLocation},
    {kTaskCardStructure, MakeSendCommands_R_CardStructure},
    {kTaskCheckSetup, MakeSendCommands_R_CheckSetup},
    {kTaskAccessAlarms, MakeSendCommands_R_AccessAlarm},
    {kTaskXtraName, MakeSendCommands_XTRA_Name},
    {kTaskReserved176, kNothing},
    {kTaskXtraMode, MakeSendCommands_XTRA_VoranSetMode},
};

bool CSS_Manager::MakeSendSettings(ApplicationManagerTask task, int interfaceId, int node,
                                   CSS_StringList& out) {
  return Builders::Dispatch(task, interfaceId, node, out);
}

bool Builders::Dispatch(ApplicationManagerTask task, int interfaceId, int node,
                        CSS_StringList& out) {
  if (task < kFirstSettingsTask || task > kLastSettingsTask) return false;
  return BuilderOf(task)(interfaceId, node, out);
}

namespace {

// The task table as the builders describe themselves, made once.
struct TaskTexts {
  std::array<std::string, kSettingsTasks.size()> sends;
  std::array<CSS_TaskInfo, kSettingsTasks.size()> infos{};

  TaskTexts() {
    static_assert(std::size(Builders::kTaskRows) == kSettingsTasks.size());
    for (std::size_t i = 0; i < infos.size(); ++i) {
      const Builders::TaskRow& row = Builders::kTaskRows[i];
      sends[i] = row.builder.Sends();
      infos[i] = {row.task, sends[i]};
    }
  }
};

const TaskTexts& Texts() {
  static const TaskTexts texts;
  return texts;
}

}  // namespace

std::string_view Builders::Sends(ApplicationManagerTask task) {
  return Texts().infos[static_cast<std::size_t>(task - kFirstSettingsTask)].sends;
}

std::span<const CSS_TaskInfo> CSS_Manager::TaskTable() {
  return Texts().infos;
}

}  // namespace ssmsg
