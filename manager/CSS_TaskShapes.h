#pragma once

// The shapes that the settings builders share. Every message goes to the end of `out`.
//
// Each thread keeps one object of each command kind between calls: a command builds its envelope
// once and rewinds to it for every later message to the same interface and node, and keeps its
// element storage, so a task that sends a single message costs little more than that message.
// A call that comes while the thread's object is in use (a clock source that itself asks for
// messages, say) gets an object of its own.

#include <ssmsg/CSS_Types.h>

namespace ssmsg {

// Calls `use` with this thread's object of kind `Command`, or with a new one while that is busy.
template <class Command, class Use>
bool WithCommand(Use&& use) {
  thread_local Command kept;
  thread_local bool busy = false;
  if (busy) {
    Command own;
    return use(own);
  }
  busy = true;
  struct Release {
    ~Release() { busy = false; }
  } release;
  return use(kept);
}

// A single message, or a name family: the result is that of the command.
template <class Command>
bool SendCommand(int interfaceId, int node, CSS_StringList& out) {
  return WithCommand<Command>(
      [&](Command& command) { return command.MakeCommands(interfaceId, node, out); });
}

// A list transfer: the clear-all message, then the records, which are sent only when the clear
// message was made. false only when the clear message cannot be made.
template <class ClearCommand, class RecordCommand>
bool SendClearThenRecords(int interfaceId, int node, CSS_StringList& out) {
  if (!SendCommand<ClearCommand>(interfaceId, node, out)) return false;
  WithCommand<RecordCommand>(
      [&](RecordCommand& records) { return records.MakeCommands(interfaceId, node, out); });
  return true;
}

// Records only, or a message whose failure the task does not report: always true.
template <class Command>
bool SendAlwaysTrue(int interfaceId, int node, CSS_StringList& out) {
  WithCommand<Command>(
      [&](Command& command) { return command.MakeCommands(interfaceId, node, out); });
  return true;
}

}  // namespace ssmsg
