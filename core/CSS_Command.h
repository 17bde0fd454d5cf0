#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSS_Types.h>
#include "core/CSS_MessageLayout.h"
#include "core/CSS_XmlTag.h"

namespace ssmsg {

// Base of every message builder. One object stands for one kind of controller message (one
// MessageType and Action pair); it wraps what its subclass adds under "Parameters" in the common
// envelope:
//
//   <Command><InterfaceID>i</InterfaceID><MessageType>t</MessageType><Action>a</Action>
//   <Parameters><Node>n</Node>...</Parameters></Command>
//
// A command object is made on the stack of one facade call and may build many messages, one per
// configuration record; the element storage of one message is reused by the next.
class CSS_Command {
 public:
  virtual ~CSS_Command() = default;
  CSS_Command(const CSS_Command&) = delete;
  CSS_Command& operator=(const CSS_Command&) = delete;

  std::string_view MessageType() const { return messageType_; }
  std::string_view Action() const { return action_; }
  // A mark that a host may set on a command object; message building never reads it.
  bool IsMarked() const { return marked_; }
  void SetMarked() { marked_ = true; }

  // The 1-based number of the record that the message being made is about; 0 for a message that
  // names no record.
  virtual std::int32_t RecordNumber() const { return 0; }

  // Makes every message of this command and appends each to `out`. The base version makes one
  // message and returns whether it was made.
  virtual bool MakeCommands(int interfaceId, int node, CSS_StringList& out);

  // Adds the command's own elements under "Parameters". false: the message must not be sent.
  virtual bool AddParameters(CSS_XmlTag* parameters);

  // Creates the envelope ("Command" with "InterfaceID", "MessageType", "Action" and, when the
  // command has parameters or a node, an empty "Parameters") in `top` and returns its root.
  CSS_XmlTag* BuildEnvelope(CSS_XmlDocument& top, int interfaceId) const;

  // Builds one complete message into `out` (replacing what it held). Returns false, leaving
  // `out` as it was, for an interface number below 1 or a node below 0; otherwise the text is
  // written and the result is that of AddParameters.
  bool MakeCommand(int interfaceId, int node, std::string& out);

 protected:
  CSS_Command(std::string_view messageType, std::string_view action, bool hasNode,
              bool hasParameters);
  // The MessageType, Action and flags of a kind of message.
  explicit CSS_Command(const CSS_MessageLayout& layout)
      : CSS_Command(layout.info.messageType, layout.info.action, layout.info.hasNode,
                    layout.info.hasParameters) {}

  // Makes one message and appends it to `out` when it was made and is not empty. This is how
  // every message reaches the caller's list. Returns what MakeCommand returned.
  bool AppendCommand(int interfaceId, int node, CSS_StringList& out);

  // The record loop: for each index from `first` up to, not including, `end`, `fetch(index)`
  // loads the record to send into the command and says whether there is one; for each record
  // that is there, `send()` makes its messages. A missing record skips that index only; nothing
  // ends the loop early.
  template <class Fetch, class Send>
  static void ForEachFetched(int first, int end, Fetch&& fetch, Send&& send) {
    for (int index = first; index < end; ++index) {
      if (fetch(index)) send();
    }
  }

  // The record loop where each record becomes one message. A missing record or a message that
  // cannot be made skips that index only.
  template <class Fetch>
  void SendEach(int interfaceId, int node, CSS_StringList& out, int first, int end, Fetch&& fetch) {
    ForEachFetched(first, end, fetch, [&] { AppendCommand(interfaceId, node, out); });
  }

 private:
  std::string messageType_;
  std::string action_;
  bool hasNode_;
  bool hasParameters_;
  bool marked_ = false;
  CSS_XmlDocument document_;
  // The envelope that document_ is marked at: for which interface and node, and its elements.
  int envelopeInterfaceId_ = 0;
  int envelopeNode_ = 0;
  CSS_XmlTag* envelopeRoot_ = nullptr;
  CSS_XmlTag* envelopeParameters_ = nullptr;
};

// Notes, while it lives, the record number (CSS_Command::RecordNumber) of every message that the
// calling thread's commands append, in the order they are appended: a caller that compares the
// messages of two stores record by record learns which record each message is about from the
// builders themselves, not from the text.
class CSS_RecordTrail {
 public:
  explicit CSS_RecordTrail(std::vector<std::int32_t>& numbers);
  ~CSS_RecordTrail();
  CSS_RecordTrail(const CSS_RecordTrail&) = delete;
  CSS_RecordTrail& operator=(const CSS_RecordTrail&) = delete;

  // The trail of the calling thread, or null.
  static std::vector<std::int32_t>* Current();

 private:
  std::vector<std::int32_t>* previous_;
};

// A group base stands for the commands of one MessageType; each command takes its MessageType,
// Action and flags from the description of its kind of message.
template <const std::string_view& kMessageType>
class CSS_CommandGroup : public CSS_Command {
 protected:
  explicit CSS_CommandGroup(const CSS_MessageLayout& layout) : CSS_Command(layout) {
    assert(layout.info.messageType == kMessageType);
  }
};

using CSS_Command_M = CSS_CommandGroup<kInterfaceMessages>;
using CSS_Command_Ctrl = CSS_CommandGroup<kControllerMessages>;
using CSS_Command_G = CSS_CommandGroup<kGroupMessages>;
using CSS_Command_I = CSS_CommandGroup<kInputMessages>;
using CSS_Command_O = CSS_CommandGroup<kOutputMessages>;
using CSS_Command_R = CSS_CommandGroup<kReaderMessages>;
using CSS_Command_Sys = CSS_CommandGroup<kSystemMessages>;
using CSS_Command_XTRA = CSS_CommandGroup<kXtraMessages>;

// A command whose message carries nothing but the node number: the clear-all messages that open
// a list transfer, and the request for a controller's settings.
template <class Group, const CSS_MessageLayout& kLayout>
class CSS_NodeOnlyCommand final : public Group {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kLayout;

  CSS_NodeOnlyCommand() : Group(kLayout) {}
};

}  // namespace ssmsg
