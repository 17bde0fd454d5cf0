#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "commands/CSS_Commands.h"
#include "core/CSS_Command.h"
#include "manager/CSS_Command_M_Poll.h"
#include "manager/CSS_Command_M_SetNodes.h"
#include "manager/CSS_Command_M_Start.h"
#include "support.h"
#include "tests/store_filler.h"

namespace ssmsg {
namespace {

// A command whose flags, literals and parameters a test chooses.
class TestCommand final : public CSS_Command {
 public:
  TestCommand(std::string_view type, std::string_view action, bool hasNode, bool hasParameters,
              bool accept = true)
      : CSS_Command(type, action, hasNode, hasParameters), accept_(accept) {}

  bool AddParameters(CSS_XmlTag* parameters) override {
    ++calls;
    if (underNode) parameters->FirstChild()->AddChild("Sub", calls);
    if (withValue) parameters->AddChild("Value", "v");
    return accept_;
  }

  bool withValue = false;
  bool underNode = false;
  int calls = 0;

 private:
  bool accept_;
};

TEST(Command, EnvelopeForEachFlagCombination) {
  const std::string head =
      "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType>"
      "<Action>Stop</Action>";
  const struct {
    bool hasNode, hasParameters;
    int node;
    std::string rest;
  } cases[] = {
      {false, false, 5, "</Command>"},
      {true, true, 5, "<Parameters><Node>5</Node></Parameters></Command>"},
      {false, true, 5, "<Parameters></Parameters></Command>"},
      {true, false, 0, "<Parameters><Node>0</Node></Parameters></Command>"},
  };
  for (const auto& c : cases) {
    TestCommand command(" Interface\v", "\t\fStop\n", c.hasNode, c.hasParameters);
    std::string text;
    EXPECT_TRUE(command.MakeCommand(2, c.node, text));
    EXPECT_EQ(text, head + c.rest) << c.hasNode << c.hasParameters;
    EXPECT_EQ(command.calls, c.hasNode || c.hasParameters ? 1 : 0);
  }
}

// One command object makes many messages; each carries the interface and node of its own call,
// also when the previous message changed the elements of the envelope.
TEST(Command, EachMessageHasItsOwnEnvelope) {
  for (const bool underNode : {false, true}) {
    TestCommand command("T", "A", true, true);
    command.withValue = true;
    command.underNode = underNode;
    const std::pair<int, int> calls[] = {{1, 2}, {1, 2}, {3, 2}, {3, 0}, {1, 2}, {1, 2}};
    for (const auto& [interfaceId, node] : calls) {
      std::string text;
      ASSERT_TRUE(command.MakeCommand(interfaceId, node, text));
      // A child of "Node" makes it a deferred element: it closes in the second pass.
      const std::string parameters =
          underNode ? "<Node>" + std::to_string(node) + "<Sub>" + std::to_string(command.calls) +
                          "</Sub><Value>v</Value></Node>"
                    : "<Node>" + std::to_string(node) + "</Node><Value>v</Value>";
      EXPECT_EQ(text, "<Command><InterfaceID>" + std::to_string(interfaceId) +
                          "</InterfaceID><MessageType>T</MessageType><Action>A</Action>"
                          "<Parameters>" +
                          parameters + "</Parameters></Command>");
    }
  }
}

TEST(Command, BadInterfaceOrNodeLeavesTheTextAlone) {
  for (const auto& [interfaceId, node] : {std::pair{0, 0}, {-3, 1}, {1, -1}, {5, -100}}) {
    TestCommand command("T", "A", false, false);  // the node is checked even without "Node"
    std::string text = "before";
    EXPECT_FALSE(command.MakeCommand(interfaceId, node, text));
    EXPECT_EQ(text, "before");
    EXPECT_EQ(command.calls, 0);
  }
}

TEST(Command, RefusedParametersStillWriteTheTextButAppendNothing) {
  TestCommand command("T", "A", true, true, /*accept=*/false);
  std::string text;
  EXPECT_FALSE(command.MakeCommand(1, 1, text));
  EXPECT_FALSE(text.empty());

  CSS_StringList out = {"earlier"};
  EXPECT_FALSE(command.MakeCommands(1, 1, out));
  EXPECT_EQ(out, CSS_StringList{"earlier"});
}

TEST(Command, BlankTypeAndActionStillGiveTheirElements) {
  TestCommand command(" \t", "\r\n ", false, false);
  std::string text;
  ASSERT_TRUE(command.MakeCommand(1, 0, text));
  EXPECT_EQ(text,
            "<Command><InterfaceID>1</InterfaceID><MessageType></MessageType><Action></Action>"
            "</Command>");
}

// Made directly, every kind of message refuses to add its elements where there is no
// "Parameters" element. For a good address it makes its messages, each of its own Action; for a
// bad one it appends nothing, and reports false where it sends one message but true where it
// walks records or the pieces of a name.
template <class Command, class... Args>
void ExpectMessagesOfTheirKind(bool walks, Args&&... args) {
  Command command(std::forward<Args>(args)...);
  const std::string action = "<Action>" + std::string(command.Action()) + "</Action>";
  EXPECT_FALSE(command.AddParameters(nullptr)) << action;
  CSS_StringList out = {"kept"};
  EXPECT_TRUE(command.MakeCommands(1, 2, out)) << action;
  for (std::size_t i = 1; i < out.size(); ++i)
    EXPECT_NE(out[i].find(action), std::string::npos) << out[i];
  out.resize(1);
  EXPECT_EQ(command.MakeCommands(0, 2, out), walks) << action;
  EXPECT_EQ(command.MakeCommands(1, -1, out), walks) << action;
  EXPECT_EQ(out, CSS_StringList{"kept"}) << action;
}

// The same for each of `Commands`, made without arguments.
template <bool kWalks, class... Commands>
void ExpectAllOfTheirKind() {
  (ExpectMessagesOfTheirKind<Commands>(kWalks), ...);
}

using Commands = test::StoreTest;

TEST_F(Commands, EveryKindRefusesAMissingParametersElementAndBadAddresses) {
  test::RandomSource source(3);
  test::FillStore(source, store);
  ExpectAllOfTheirKind<false, CSS_Command_Ctrl_DbMode, CSS_Command_Ctrl_DbSize,
                       CSS_Command_Ctrl_Expanders, CSS_Command_Sys_RTC>();
  ExpectAllOfTheirKind<
      true, CSS_Command_Ctrl_FLanSetup, CSS_Command_Ctrl_PortSetup, CSS_Command_G_HolidaySetup,
      CSS_Command_G_TG_Setup, CSS_Command_G_TZ_Setup, CSS_Command_I_Type, CSS_Command_I_Name,
      CSS_Command_I_Time, CSS_Command_I_Link, CSS_Command_O_Type, CSS_Command_O_Name,
      CSS_Command_O_Time, CSS_Command_R_Configuration, CSS_Command_R_Name,
      CSS_Command_R_CardControl, CSS_Command_R_CardLocation, CSS_Command_R_CardStructure,
      CSS_Command_R_CheckSetup, CSS_Command_R_AccessAlarm, CSS_Command_XTRA_Name,
      CSS_Command_XTRA_VoranSetMode>();
  const std::vector<std::uint32_t> some = {1};
  ExpectMessagesOfTheirKind<CSS_Command_M_Start>(false, true, "10.0.0.5", 4000);
  ExpectMessagesOfTheirKind<CSS_Command_M_SetNodes>(false, some, some, some);
  ExpectMessagesOfTheirKind<CSS_Command_M_Poll>(false, some, some);
}

}  // namespace
}  // namespace ssmsg
