#pragma once

// The shapes that the settings builders share. Each makes its command objects on its own stack,
// and every message goes to the end of `out`.

#include <ssmsg/CSS_Types.h>

namespace ssmsg {

// A single message, or a name family: the result is that of the command.
template <class Command>
bool SendCommand(int interfaceId, int node, CSS_StringList& out) {
  Command command;
  return command.MakeCommands(interfaceId, node, out);
}

// A list transfer: the clear-all message, then the records, which are sent only when the clear
// message was made. false only when the clear message cannot be made.
template <class ClearCommand, class RecordCommand>
bool SendClearThenRecords(int interfaceId, int node, CSS_StringList& out) {
  ClearCommand clear;
  if (!clear.MakeCommands(interfaceId, node, out)) return false;
  RecordCommand records;
  records.MakeCommands(interfaceId, node, out);
  return true;
}

// Records only, or a message whose failure the task does not report: always true.
template <class Command>
bool SendAlwaysTrue(int interfaceId, int node, CSS_StringList& out) {
  Command command;
  command.MakeCommands(interfaceId, node, out);
  return true;
}

}  // namespace ssmsg
