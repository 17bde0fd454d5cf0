#pragma once

// The settings builders of the facade: one per task that sends messages, each named
// MakeSendCommands_<group>_<name> after the command it sends and describing itself (its shape
// and the messages it sends), and the task table that the
// dispatcher walks. Private to the library: consumers reach them through MakeSendSettings.

#include <string_view>

#include <ssmsg/CSS_Manager.h>
#include "manager/CSS_TaskShapes.h"

namespace ssmsg {

struct CSS_Manager::Builders {
  // One row of the task table: a task and its builder.
  struct TaskRow {
    ApplicationManagerTask task;
    const CSS_TaskBuilder& builder;
  };
  static const TaskRow kTaskRows[];

  // The builder of a settings task (151 to 177), and what it sends.
  static const CSS_TaskBuilder& BuilderOf(ApplicationManagerTask task) {
    return kTaskRows[task - kFirstSettingsTask].builder;
  }
  static std::string_view Sends(ApplicationManagerTask task);

  // The facade's operations without a manager object, for the library's own jobs and its C
  // interface: making a manager would change the one that gl_Get_SS_Manager returns.
  static bool Dispatch(ApplicationManagerTask task, int interfaceId, int node, CSS_StringList& out);
  static bool Interface_Start(int interfaceId, bool main, std::string_view ipAddress, int ipPort,
                              CSS_StringList& out);
  static bool Interface_Stop(int interfaceId, CSS_StringList& out);
  static bool Interface_SetNodes(int interfaceId, CSS_NumberList add, CSS_NumberList timeouts,
                                 CSS_NumberList remove, CSS_StringList& out);
  static bool Interface_Poll(int interfaceId, CSS_NumberList start, CSS_NumberList stop,
                             CSS_StringList& out);
  static bool Controller_AskSettings(int interfaceId, int node, CSS_StringList& out);

  static const CSS_TaskBuilder kNothing;
  static const CSS_TaskBuilder MakeSendCommands_Sys_RTC;
  static const CSS_TaskBuilder MakeSendCommands_G_Holiday;
  static const CSS_TaskBuilder MakeSendCommands_G_TG;
  static const CSS_TaskBuilder MakeSendCommands_G_TZ;
  static const CSS_TaskBuilder MakeSendCommands_Ctrl_Port;
  static const CSS_TaskBuilder MakeSendCommands_Ctrl_FLan;
  static const CSS_TaskBuilder MakeSendCommands_Ctrl_DbMode;
  static const CSS_TaskBuilder MakeSendCommands_Ctrl_DbSize;
  static const CSS_TaskBuilder MakeSendCommands_Ctrl_Expanders;
  static const CSS_TaskBuilder MakeSendCommands_I_Type;
  static const CSS_TaskBuilder MakeSendCommands_I_Name;
  static const CSS_TaskBuilder MakeSendCommands_I_Time;
  static const CSS_TaskBuilder MakeSendCommands_I_Link;
  static const CSS_TaskBuilder MakeSendCommands_O_Type;
  static const CSS_TaskBuilder MakeSendCommands_O_Name;
  static const CSS_TaskBuilder MakeSendCommands_O_Time;
  static const CSS_TaskBuilder MakeSendCommands_R_Type;
  static const CSS_TaskBuilder MakeSendCommands_R_Name;
  static const CSS_TaskBuilder MakeSendCommands_R_CardControl;
  static const CSS_TaskBuilder MakeSendCommands_R_CardLocation;
  static const CSS_TaskBuilder MakeSendCommands_R_CardStructure;
  static const CSS_TaskBuilder MakeSendCommands_R_CheckSetup;
  static const CSS_TaskBuilder MakeSendCommands_R_AccessAlarm;
  static const CSS_TaskBuilder MakeSendCommands_XTRA_Name;
  static const CSS_TaskBuilder MakeSendCommands_XTRA_VoranSetMode;
};

}  // namespace ssmsg
