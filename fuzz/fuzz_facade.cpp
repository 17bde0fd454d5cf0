// Fuzzes the facade: a store, enumeration texts and a clock filled from the input, then a series
// of facade calls with arguments from the input (task numbers of any value, interface numbers and
// nodes of any sign, number lists of any length). After every call it checks what a host relies
// on and stops the process with a trap when something does not hold:
//   - the caller's earlier entries are untouched and new messages only ever go to the end;
//   - a false result appended nothing, and no message text is empty;
//   - a bad interface number or node appends nothing;
//   - every message has the envelope of its call (interface number, MessageType and Action,
//     and for controller messages the node first in "Parameters");
//   - a list transfer that reports success starts with its clear message;
//   - the same call made again gives the same messages (nothing is kept between calls);
//   - when no text handed to the library holds "<", ">" or "&", every message is well-formed,
//     and decodes into a value that encodes to the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Message.h>
#include "store_filler.h"
#include "xml_check.h"

namespace ssmsg::fuzz {
namespace {

#define SSMSG_FUZZ_CHECK(condition)                                                            \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "fuzz_facade: %s does not hold (line %d)\n", #condition, __LINE__); \
      __builtin_trap();                                                                        \
    }                                                                                          \
  } while (false)

constexpr int kMaxCalls = 16;

// What the messages of one call must look like.
struct Expected {
  int interfaceId = 0;
  bool addressValid = false;     // false: the call must append nothing
  bool atMostOne = false;        // interface control calls append one message or none
  std::string_view messageType;  // empty: not known (a task outside the table)
  std::string_view action;       // empty: any
  int node = -1;                 // 0 or more: the node is the first parameter
  bool clearFirst = false;       // a list transfer: its first message is the clear message
};

// The MessageType of every message of a settings task.
std::string_view MessageTypeOfTask(int task) {
  if (task == 152) return "SystemData";
  if (task >= 153 && task <= 155) return "Groups";
  if (task >= 156 && task <= 160) return "Controller";
  if (task >= 161 && task <= 164) return "Inputs";
  if (task >= 165 && task <= 167) return "Outputs";
  if (task >= 168 && task <= 174) return "Reader";
  if (task == 175 || task == 177) return "XTRA";
  return {};
}

bool IsListTransfer(int task) {
  switch (task) {
    case 153:
    case 154:
    case 155:
    case 156:
    case 157:
    case 161:
    case 165:
    case 168:
      return true;
    default:
      return false;
  }
}

void CheckMessage(const std::string& text, const Expected& expected, bool checkXml) {
  SSMSG_FUZZ_CHECK(!text.empty());
  std::string head = "<Command><InterfaceID>" + std::to_string(expected.interfaceId) +
                     "</InterfaceID><MessageType>";
  SSMSG_FUZZ_CHECK(text.starts_with(head));
  SSMSG_FUZZ_CHECK(text.ends_with("</Command>"));
  if (!expected.messageType.empty()) {
    head.append(expected.messageType).append("</MessageType><Action>");
    SSMSG_FUZZ_CHECK(text.starts_with(head));
    if (!expected.action.empty()) {
      head.append(expected.action).append("</Action>");
      SSMSG_FUZZ_CHECK(text.starts_with(head));
    }
  }
  if (expected.node >= 0) {
    const std::string node =
        "</Action><Parameters><Node>" + std::to_string(expected.node) + "</Node>";
    SSMSG_FUZZ_CHECK(text.find(node) != std::string::npos);
  }
  if (!checkXml) return;
  SSMSG_FUZZ_CHECK(test::IsWellFormedXml(text));
  // What the library builds, it reads back: the same bytes again.
  CSS_Message message;
  CSS_DecodeError error;
  std::string again;
  SSMSG_FUZZ_CHECK(DecodeMessage(text, message, error));
  SSMSG_FUZZ_CHECK(EncodeMessage(message, again) && again == text);
}

class Session {
 public:
  Session(test::ByteSource& in, CSS_StringList earlier) : in_(in), earlier_(std::move(earlier)) {}

  void RunOne() {
    switch (in_.Byte() % 7) {
      case 0:
        Settings(Task(), in_.Count<int>(), in_.Count<int>());
        break;
      case 1: {  // every task, and the numbers just outside the table, for one controller
        const int interfaceId = in_.Count<int>();
        const int node = in_.Count<int>();
        for (int task = 149; task <= 179; ++task)
          Settings(task, interfaceId, node);
        break;
      }
      case 2: {
        const int interfaceId = in_.Count<int>();
        const bool main = (in_.Byte() & 1) != 0;
        const std::string address = in_.Text();
        const int port = in_.Value<int>();
        Check(Interface(interfaceId, "Start", true), [&](CSS_StringList& out) {
          return manager_.Interface_Start(interfaceId, main, address, port, out);
        });
        break;
      }
      case 3: {
        const int interfaceId = in_.Count<int>();
        Check(Interface(interfaceId, "Stop", true),
              [&](CSS_StringList& out) { return manager_.Interface_Stop(interfaceId, out); });
        break;
      }
      case 4: {
        const int interfaceId = in_.Count<int>();
        const auto add = Numbers(), timeouts = Numbers(), remove = Numbers();
        Check(Interface(interfaceId, "SetNodes", !add.empty() || !remove.empty()),
              [&](CSS_StringList& out) {
                return manager_.Interface_SetNodes(interfaceId, add, timeouts, remove, out);
              });
        break;
      }
      case 5: {
        const int interfaceId = in_.Count<int>();
        const auto start = Numbers(), stop = Numbers();
        Check(Interface(interfaceId, "Poll", !start.empty() || !stop.empty()),
              [&](CSS_StringList& out) {
                return manager_.Interface_Poll(interfaceId, start, stop, out);
              });
        break;
      }
      default: {
        const int interfaceId = in_.Count<int>();
        const int node = in_.Count<int>();
        Expected expected{.interfaceId = interfaceId,
                          .addressValid = interfaceId >= 1 && node >= 0,
                          .atMostOne = true,
                          .messageType = "Controller",
                          .action = "AskSettings",
                          .node = node};
        Check(expected, [&](CSS_StringList& out) {
          return manager_.Controller_AskSettings(interfaceId, node, out);
        });
        break;
      }
    }
  }

 private:
  // Mostly the table and its neighbours; now and then any number at all.
  int Task() {
    const std::uint8_t mode = in_.Byte();
    return mode < 0xF0 ? 149 + mode % 31 : in_.Value<int>();
  }

  std::vector<std::uint32_t> Numbers() {
    std::vector<std::uint32_t> numbers(in_.Byte() % 6);
    for (std::uint32_t& number : numbers)
      number = in_.Value<std::uint32_t>();
    return numbers;
  }

  static Expected Interface(int interfaceId, std::string_view action, bool listsGiven) {
    return {.interfaceId = interfaceId,
            .addressValid = interfaceId >= 1 && listsGiven,
            .atMostOne = true,
            .messageType = "Interface",
            .action = action};
  }

  void Settings(int task, int interfaceId, int node) {
    const bool inTable = task >= kFirstSettingsTask && task <= kLastSettingsTask;
    const bool silent = task == 151 || task == 176;
    const Expected expected{.interfaceId = interfaceId,
                            .addressValid = inTable && !silent && interfaceId >= 1 && node >= 0,
                            .messageType = MessageTypeOfTask(task),
                            .node = node,
                            .clearFirst = IsListTransfer(task)};
    const bool result = Check(expected, [&](CSS_StringList& out) {
      return manager_.MakeSendSettings(static_cast<ApplicationManagerTask>(task), interfaceId, node,
                                       out);
    });
    if (!inTable) SSMSG_FUZZ_CHECK(!result);
    if (silent) SSMSG_FUZZ_CHECK(result);
  }

  // Makes one call into a list that already holds the caller's entries, checks it, makes it
  // again into a fresh list and compares. Returns the call's result.
  template <class Call>
  bool Check(const Expected& expected, Call call) {
    CSS_StringList out = earlier_;
    const bool result = call(out);

    SSMSG_FUZZ_CHECK(out.size() >= earlier_.size());
    SSMSG_FUZZ_CHECK(std::equal(earlier_.begin(), earlier_.end(), out.begin()));
    const std::size_t appended = out.size() - earlier_.size();
    if (!result) SSMSG_FUZZ_CHECK(appended == 0);
    if (!expected.addressValid) SSMSG_FUZZ_CHECK(appended == 0);
    if (expected.atMostOne) SSMSG_FUZZ_CHECK(appended == (result ? 1u : 0u));
    if (expected.clearFirst && result) {
      SSMSG_FUZZ_CHECK(appended >= 1);
      SSMSG_FUZZ_CHECK(out[earlier_.size()].find("ClearAll</Action>") != std::string::npos);
    }
    const bool checkXml = !in_.MarkupSeen();
    for (std::size_t i = earlier_.size(); i < out.size(); ++i) {
      CheckMessage(out[i], expected, checkXml);
    }

    CSS_StringList again;
    SSMSG_FUZZ_CHECK(call(again) == result);
    SSMSG_FUZZ_CHECK(again.size() == appended);
    SSMSG_FUZZ_CHECK(std::equal(again.begin(), again.end(),
                                out.begin() + static_cast<std::ptrdiff_t>(earlier_.size())));
    return result;
  }

  test::ByteSource& in_;
  CSS_StringList earlier_;
  CSS_Manager manager_;
};

}  // namespace
}  // namespace ssmsg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ssmsg;
  test::ByteSource in({data, size});
  // Half of the inputs keep markup out of every text, so that their messages must be XML.
  in.StripMarkup((in.Byte() & 1) != 0);

  CSApplicationManagerStd store;
  CSToolEnum service;
  test::FillStore(in, store);
  test::FillEnumTexts(in, service);
  const test::InstalledHost host(store, service, test::ClockFrom(in.Time()));

  CSS_StringList earlier(in.Byte() % 4);
  for (std::string& entry : earlier)
    entry = in.Text();

  fuzz::Session session(in, std::move(earlier));
  for (int call = 0; call == 0 || (call < fuzz::kMaxCalls && !in.Empty()); ++call) {
    session.RunOne();
  }
  return 0;
}
