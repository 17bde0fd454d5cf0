#include <ssmsg/CSS_Manager.h>

#include "manager/CSS_ManagerBuilders.h"

#include <atomic>

#include "manager/CSS_Command_Ctrl_AskSettings.h"
#include "manager/CSS_Command_M_Poll.h"
#include "manager/CSS_Command_M_SetNodes.h"
#include "manager/CSS_Command_M_Start.h"
#include "manager/CSS_Command_M_Stop.h"

namespace ssmsg {
namespace {

std::atomic<CSS_Manager*> currentManager{nullptr};

// Makes one message and appends it; true when it was appended.
bool AppendOne(CSS_Command& command, int interfaceId, int node, CSS_StringList& out) {
  std::string text;
  if (!command.MakeCommand(interfaceId, node, text) || text.empty()) return false;
  out.push_back(std::move(text));
  return true;
}

}  // namespace

CSS_Manager::CSS_Manager() {
  currentManager.store(this, std::memory_order_release);
}

CSS_Manager::CSS_Manager(const CSS_Manager& /*other*/) : CSS_Manager() {}

CSS_Manager::~CSS_Manager() {
  CSS_Manager* self = this;
  currentManager.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

CSS_Manager* gl_Get_SS_Manager() {
  return currentManager.load(std::memory_order_acquire);
}

bool CSS_Manager::Builders::Interface_Start(int interfaceId, bool main, std::string_view ipAddress,
                                            int ipPort, CSS_StringList& out) {
  if (interfaceId < 1) return false;
  CSS_Command_M_Start command(main, ipAddress, ipPort);
  return AppendOne(command, interfaceId, 0, out);
}

bool CSS_Manager::Builders::Interface_Stop(int interfaceId, CSS_StringList& out) {
  if (interfaceId < 1) return false;
  CSS_Command_M_Stop command;
  return AppendOne(command, interfaceId, 0, out);
}

bool CSS_Manager::Builders::Interface_SetNodes(int interfaceId, CSS_NumberList add,
                                               CSS_NumberList timeouts, CSS_NumberList remove,
                                               CSS_StringList& out) {
  if (add.empty() && remove.empty()) return false;
  CSS_Command_M_SetNodes command(add, timeouts, remove);
  return AppendOne(command, interfaceId, 0, out);
}

bool CSS_Manager::Builders::Interface_Poll(int interfaceId, CSS_NumberList start,
                                           CSS_NumberList stop, CSS_StringList& out) {
  if (start.empty() && stop.empty()) return false;
  CSS_Command_M_Poll command(start, stop);
  return AppendOne(command, interfaceId, 0, out);
}

bool CSS_Manager::Builders::Controller_AskSettings(int interfaceId, int node, CSS_StringList& out) {
  CSS_Command_Ctrl_AskSettings command;
  return AppendOne(command, interfaceId, node, out);
}

bool CSS_Manager::Interface_Start(int interfaceId, bool main, std::string_view ipAddress,
                                  int ipPort, CSS_StringList& out) {
  return Builders::Interface_Start(interfaceId, main, ipAddress, ipPort, out);
}

bool CSS_Manager::Interface_Stop(int interfaceId, CSS_StringList& out) {
  return Builders::Interface_Stop(interfaceId, out);
}

bool CSS_Manager::Interface_SetNodes(int interfaceId, CSS_NumberList add, CSS_NumberList timeouts,
                                     CSS_NumberList remove, CSS_StringList& out) {
  return Builders::Interface_SetNodes(interfaceId, add, timeouts, remove, out);
}

bool CSS_Manager::Interface_Poll(int interfaceId, CSS_NumberList start, CSS_NumberList stop,
                                 CSS_StringList& out) {
  return Builders::Interface_Poll(interfaceId, start, stop, out);
}

bool CSS_Manager::Controller_AskSettings(int interfaceId, int node, CSS_StringList& out) {
  return Builders::Controller_AskSettings(interfaceId, node, out);
}

}  // namespace ssmsg
