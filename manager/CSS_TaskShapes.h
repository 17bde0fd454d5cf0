#pragma once

// The shapes that the settings builders share, and the description each builder gives of itself:
// its shape and the messages it sends, from which the task table's texts are made. Every message
// goes to the end of `out`.
//
// Each thread keeps one object of each command kind between calls: a command builds its envelope
// once and rewinds to it for every later message to the same interface and node, and keeps its
// element storage, so a task that sends a single message costs little more than that message.
// A call that comes while the thread's object is in use (a clock source that itself asks for
// messages, say) gets an object of its own.

#include <cstdint>
#include <string>
#include <string_view>

#include <ssmsg/CSS_Types.h>
#include "core/CSS_MessageLayout.h"

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

// The messages of one command; the result is that of the command.
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
  SendCommand<RecordCommand>(interfaceId, node, out);
  return true;
}

// A settings builder and what it says of itself. Calling it sends the task's messages; a builder
// of nothing succeeds without sending.
struct CSS_TaskBuilder {
  using Send = bool (*)(int interfaceId, int node, CSS_StringList& out);

  Send send = nullptr;
  CSS_TaskShape shape = CSS_TaskShape::Nothing;
  const CSS_MessageLayout* clear = nullptr;    // the clear message of a list transfer
  const CSS_MessageLayout* message = nullptr;  // the message of each record, or the one message
  std::string_view per;                        // what one message is sent per

  bool operator()(int interfaceId, int node, CSS_StringList& out) const {
    return send == nullptr || send(interfaceId, node, out);
  }

  // What the builder sends, e.g. "InputClearAll, then InputType per input".
  std::string Sends() const {
    if (message == nullptr) return "nothing";
    std::string text;
    if (clear != nullptr) text.append(clear->info.action).append(", then ");
    text.append(message->info.action);
    if (!per.empty()) text.append(" per ").append(per);
    return text;
  }
};

namespace task {

constexpr CSS_TaskBuilder Nothing() {
  return {};
}

template <class Command>
constexpr CSS_TaskBuilder Single() {
  return {&SendCommand<Command>, CSS_TaskShape::Single, nullptr, &Command::kMessage, {}};
}

template <class ClearCommand, class RecordCommand>
constexpr CSS_TaskBuilder ListTransfer(std::string_view per) {
  return {&SendClearThenRecords<ClearCommand, RecordCommand>, CSS_TaskShape::ListTransfer,
          &ClearCommand::kMessage, &RecordCommand::kMessage, per};
}

template <class Command>
constexpr CSS_TaskBuilder PerRecord(std::string_view per) {
  return {&SendCommand<Command>, CSS_TaskShape::PerRecord, nullptr, &Command::kMessage, per};
}

template <class Command>
constexpr CSS_TaskBuilder Name(std::string_view per) {
  return {&SendCommand<Command>, CSS_TaskShape::Name, nullptr, &Command::kMessage, per};
}

}  // namespace task

}  // namespace ssmsg
