#include <gtest/gtest.h>

#include <string>

#include "core/CSS_Command.h"

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

struct EnvelopeCase {
  bool hasNode;
  bool hasParameters;
  int node;
  const char* expected;
};

TEST(Command, EnvelopeForEachFlagCombination) {
  const EnvelopeCase cases[] = {
      {false, false, 5,
       "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType>"
       "<Action>Stop</Action></Command>"},
      {true, true, 5,
       "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType>"
       "<Action>Stop</Action><Parameters><Node>5</Node></Parameters></Command>"},
      {false, true, 5,
       "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType>"
       "<Action>Stop</Action><Parameters></Parameters></Command>"},
      {true, false, 0,
       "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType>"
       "<Action>Stop</Action><Parameters><Node>0</Node></Parameters></Command>"},
  };
  for (const EnvelopeCase& c : cases) {
    TestCommand command(" Interface ", "\tStop\n", c.hasNode, c.hasParameters);
    std::string text;
    EXPECT_TRUE(command.MakeCommand(2, c.node, text));
    EXPECT_EQ(text, c.expected) << c.hasNode << c.hasParameters;
    EXPECT_EQ(command.calls, c.hasNode || c.hasParameters ? 1 : 0);
  }
}

TEST(Command, OwnParametersFollowTheNode) {
  TestCommand command("Controller", "AskSettings", true, true);
  command.withValue = true;
  std::string text;
  ASSERT_TRUE(command.MakeCommand(1, 7, text));
  EXPECT_EQ(text,
            "<Command><InterfaceID>1</InterfaceID><MessageType>Controller</MessageType>"
            "<Action>AskSettings</Action><Parameters><Node>7</Node><Value>v</Value>"
            "</Parameters></Command>");
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

TEST(Command, BaseMakeCommandsAppendsOneMessageAtTheEnd) {
  TestCommand command("T", "A", true, true);
  CSS_StringList out = {"first"};
  EXPECT_TRUE(command.MakeCommands(3, 4, out));
  EXPECT_FALSE(command.MakeCommands(0, 4, out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], "first");
  EXPECT_EQ(out[1],
            "<Command><InterfaceID>3</InterfaceID><MessageType>T</MessageType><Action>A</Action>"
            "<Parameters><Node>4</Node></Parameters></Command>");
}

TEST(Command, MarkedIsOnlyAFlag) {
  TestCommand command("T", "A", true, true);
  EXPECT_FALSE(command.IsMarked());
  std::string before;
  command.MakeCommand(1, 1, before);
  command.SetMarked();
  std::string after;
  command.MakeCommand(1, 1, after);
  EXPECT_TRUE(command.IsMarked());
  EXPECT_EQ(before, after);
}

TEST(Command, TypeAndActionAreTrimmedAndBlankOnesStillGiveTheirElements) {
  const TestCommand trimmed(" Interface\v", "\fStop ", true, false);
  EXPECT_EQ(trimmed.MessageType(), "Interface");
  EXPECT_EQ(trimmed.Action(), "Stop");

  TestCommand command(" \t", "\r\n ", false, false);
  std::string text;
  ASSERT_TRUE(command.MakeCommand(1, 0, text));
  EXPECT_EQ(text,
            "<Command><InterfaceID>1</InterfaceID><MessageType></MessageType><Action></Action>"
            "</Command>");
}

}  // namespace
}  // namespace ssmsg
