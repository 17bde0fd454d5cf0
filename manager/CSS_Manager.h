#pragma once

#include <span>
#include <string_view>

#include "core/CSS_Types.h"

namespace ssmsg {

// The configuration tasks that MakeSendSettings accepts, 151 to 177.
enum ApplicationManagerTask : int {
  kFirstSettingsTask = 151,
  kLastSettingsTask = 177,
};

// One row of the task table: what a settings task sends.
struct CSS_TaskInfo {
  int task;
  std::string_view sends;  // e.g. "InputClearAll, then InputType per input"
};

// The facade: the one way into the library. Each operation builds messages and appends them to
// the caller's list; nothing is sent. Operations keep no state between calls; the configuration
// they send is read from the store that gl_GetApplicationManagerStd returns.
class CSS_Manager {
 public:
  // Makes the new manager the one that gl_Get_SS_Manager returns.
  CSS_Manager();
  CSS_Manager(const CSS_Manager&);
  // A manager that is destroyed while it is the current one is no longer returned.
  ~CSS_Manager();
  // Managers hold no data: assignment copies nothing.
  CSS_Manager& operator=(const CSS_Manager&) { return *this; }

  // Interface control. Each appends one message and returns true, or appends nothing and
  // returns false (interface number below 1; both relevant node lists empty).
  bool Interface_Start(int interfaceId, bool main, std::string_view ipAddress, int ipPort,
                       CSS_StringList& out);
  bool Interface_Stop(int interfaceId, CSS_StringList& out);
  bool Interface_SetNodes(int interfaceId, CSS_NumberList add, CSS_NumberList timeouts,
                          CSS_NumberList remove, CSS_StringList& out);
  bool Interface_Poll(int interfaceId, CSS_NumberList start, CSS_NumberList stop,
                      CSS_StringList& out);

  // Asks controller `node` to report its settings. false (nothing appended) for an interface
  // number below 1 or a node below 0.
  bool Controller_AskSettings(int interfaceId, int node, CSS_StringList& out);

  // Appends the messages of one configuration task for controller `node`. false for a task
  // outside 151 to 177; otherwise the result of the task's builder (see TaskTable).
  bool MakeSendSettings(ApplicationManagerTask task, int interfaceId, int node,
                        CSS_StringList& out);

  // What each task 151 to 177 sends, in task order.
  static std::span<const CSS_TaskInfo> TaskTable();

 private:
  using Builder = bool (CSS_Manager::*)(int interfaceId, int node, CSS_StringList& out);
  struct TaskRow {
    Builder builder;  // null: the task sends no message and succeeds
    CSS_TaskInfo info;
  };
  static const TaskRow kTaskRows[];

  bool MakeSendCommands_Sys_RTC(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_G_Holiday(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_G_TG(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_G_TZ(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_Ctrl_Port(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_Ctrl_FLan(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_Ctrl_DbMode(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_Ctrl_DbSize(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_Ctrl_Expanders(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_I_Type(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_I_Name(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_I_Time(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_I_Link(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_O_Type(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_O_Name(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_O_Time(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_Type(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_Name(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_CardControl(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_CardLocation(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_CardStructure(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_CheckSetup(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_R_AccessAlarm(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_XTRA_Name(int interfaceId, int node, CSS_StringList& out);
  bool MakeSendCommands_XTRA_VoranSetMode(int interfaceId, int node, CSS_StringList& out);
};

// The most recently constructed manager that still exists, or null.
CSS_Manager* gl_Get_SS_Manager();

}  // namespace ssmsg
