#pragma once

// The settings builders of the facade: one per task that sends messages, each named
// MakeSendCommands_<group>_<name> after the command it sends, and the task table that the
// dispatcher walks. Private to the library: consumers reach them through MakeSendSettings.

#include <cstdint>

#include <ssmsg/CSS_Manager.h>

namespace ssmsg {

// How a task's messages relate to the records they send.
enum class CSS_TaskShape : std::uint8_t {
  Nothing,       // no message
  Single,        // one message
  ListTransfer,  // the list's clear message, then one message per record
  PerRecord,     // one message per input, output or reader (or per piece of its name), which
                 // carries the record's number; no clear message
  Name,          // one name, piece by piece
};

struct CSS_Manager::Builders {
  using Builder = bool (*)(int interfaceId, int node, CSS_StringList& out);
  struct TaskRow {
    Builder builder;  // null: the task sends no message and succeeds
    CSS_TaskShape shape;
    CSS_TaskInfo info;
  };
  static const TaskRow kTaskRows[];

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

  static bool MakeSendCommands_Sys_RTC(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_G_Holiday(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_G_TG(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_G_TZ(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_Ctrl_Port(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_Ctrl_FLan(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_Ctrl_DbMode(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_Ctrl_DbSize(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_Ctrl_Expanders(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_I_Type(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_I_Name(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_I_Time(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_I_Link(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_O_Type(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_O_Name(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_O_Time(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_Type(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_Name(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_CardControl(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_CardLocation(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_CardStructure(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_CheckSetup(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_R_AccessAlarm(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_XTRA_Name(int interfaceId, int node, CSS_StringList& out);
  static bool MakeSendCommands_XTRA_VoranSetMode(int interfaceId, int node, CSS_StringList& out);
};

}  // namespace ssmsg
