// Reading messages back: every kind decodes and encodes to the very same bytes, the JSON form,
// texts holding markup, and the reasons and columns of lines that are not messages.

#include <gtest/gtest.h>

#include <bitset>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Message.h>
#include <ssmsg/Site.h>
#include <ssmsg/SiteSettings.h>
#include "site_support.h"
#include "support.h"

namespace ssmsg {
namespace {

using test::Msg;

// Every message of the demo site, the request for settings and the four interface messages.
CSS_StringList EveryKindOfMessage() {
  const CSS_SiteLoadResult demo = LoadSite(SSMSG_TEST_SITES "/../../site/demo_site.json");
  EXPECT_TRUE(demo.site.has_value());
  CSS_StringList messages = test::SiteMessages(*demo.site, {.time = test::kFixedTime});
  CSS_Manager manager;
  const std::vector<std::uint32_t> add{3, 4, 4294967295u}, timeouts{200}, none;
  manager.Controller_AskSettings(1, 0, messages);
  manager.Interface_Start(7, true, "10.0.0.5", 4000, messages);
  manager.Interface_Start(7, false, "", -1, messages);
  manager.Interface_Stop(7, messages);
  manager.Interface_SetNodes(7, add, timeouts, add, messages);
  manager.Interface_SetNodes(7, none, timeouts, add, messages);
  manager.Interface_Poll(7, add, none, messages);
  manager.Interface_Poll(7, none, add, messages);
  return messages;
}

TEST(Decode, EveryKindComesBackByteForByte) {
  std::bitset<kMessageKindCount> kinds;
  CSS_Message message;  // reused, as a reader of many lines does
  CSS_DecodeError error;
  std::string text;
  for (const std::string& line : EveryKindOfMessage()) {
    ASSERT_TRUE(DecodeMessage(line, message, error)) << line << "\n" << error.reason;
    ASSERT_TRUE(EncodeMessage(message, text)) << line;
    EXPECT_EQ(text, line);
    const CSS_MessageKindInfo& info = MessageKindInfo(message.kind);
    EXPECT_EQ(FindMessageKind(info.messageType, info.action), message.kind) << line;
    kinds.set(static_cast<std::size_t>(message.kind));
  }
  EXPECT_TRUE(kinds.all()) << kinds;
  // An Action is found under its own MessageType only, also where a neighbouring MessageType has
  // it (every MessageType crossed with every Action).
  for (std::size_t a = 0; a < kMessageKindCount; ++a) {
    const std::string_view type = MessageKindInfo(static_cast<CSS_MessageKind>(a)).messageType;
    for (std::size_t b = 0; b < kMessageKindCount; ++b) {
      const std::string_view action = MessageKindInfo(static_cast<CSS_MessageKind>(b)).action;
      std::optional<CSS_MessageKind> expected;
      for (std::size_t k = 0; k < kMessageKindCount; ++k) {
        const CSS_MessageKindInfo& info = MessageKindInfo(static_cast<CSS_MessageKind>(k));
        if (info.messageType == type && info.action == action) expected = info.kind;
      }
      EXPECT_EQ(FindMessageKind(type, action), expected) << type << " " << action;
    }
  }
}

TEST(Decode, JsonHasNumbersFlagsTextsAndNesting) {
  const struct {
    std::string line;
    std::string json;
  } cases[] = {
      {Msg("Inputs", "InputType",
           "<Input>3</Input><DLan>0</DLan><DNode>0</DNode><DPort>3</DPort><Type>Intercom</Type>"
           "<TypeRef>0</TypeRef><EOL>False</EOL><Polarity>False</Polarity>"
           "<CountDelay>0</CountDelay><CountValue>0</CountValue>"),
       R"({"interface":1,"messageType":"Inputs","action":"InputType","node":2,"parameters":)"
       R"({"Input":3,"DLan":0,"DNode":0,"DPort":3,"Type":"Intercom","TypeRef":0,"EOL":false,)"
       R"("Polarity":false,"CountDelay":0,"CountValue":0}})"},
      {Msg("Groups", "TimeGroupSetup",
           "<Group>3</Group><Zones><Zone><ZoneNo>1</ZoneNo><Monday>True</Monday>"
           "<Tuesday>False</Tuesday><Wednesday>False</Wednesday><Thursday>False</Thursday>"
           "<Friday>False</Friday><Saturday>False</Saturday><Sunday>False</Sunday>"
           "<Holiday>True</Holiday></Zone><Zone><ZoneNo>2</ZoneNo><Monday>False</Monday>"
           "<Tuesday>False</Tuesday><Wednesday>False</Wednesday><Thursday>False</Thursday>"
           "<Friday>False</Friday><Saturday>True</Saturday><Sunday>False</Sunday>"
           "<Holiday>False</Holiday></Zone></Zones>"),
       R"({"interface":1,"messageType":"Groups","action":"TimeGroupSetup","node":2,"parameters":)"
       R"({"Group":3,"Zones":[{"ZoneNo":1,"Monday":true,"Tuesday":false,"Wednesday":false,)"
       R"("Thursday":false,"Friday":false,"Saturday":false,"Sunday":false,"Holiday":true},)"
       R"({"ZoneNo":2,"Monday":false,"Tuesday":false,"Wednesday":false,"Thursday":false,)"
       R"("Friday":false,"Saturday":true,"Sunday":false,"Holiday":false}]}})"},
      {"<Command><InterfaceID>7</InterfaceID><MessageType>Interface</MessageType><Action>SetNodes"
       "</Action><Parameters><Add>3,-1</Add><Timeout>200,0</Timeout></Parameters></Command>",
       R"({"interface":7,"messageType":"Interface","action":"SetNodes","parameters":)"
       R"({"Add":[3,-1],"Timeout":[200,0]}})"},
      {"<Command><InterfaceID>7</InterfaceID><MessageType>Interface</MessageType><Action>Stop"
       "</Action></Command>",
       R"({"interface":7,"messageType":"Interface","action":"Stop"})"},
  };
  for (const auto& c : cases) {
    CSS_Message message;
    CSS_DecodeError error;
    ASSERT_TRUE(DecodeMessage(c.line, message, error)) << error.reason;
    std::string json;
    AppendMessageJson(json, message);
    EXPECT_EQ(json, c.json);
  }
}

// Values are never escaped: a text may hold markup, spaces and even its own closing tag.
TEST(Decode, TextsHoldingMarkupComeBackWhole) {
  const struct {
    std::string line;
    std::string text;
  } cases[] = {
      {Msg("Inputs", "InputName", "<Input>1</Input><Column>0</Column><Name> a<b>&c </Name>"),
       " a<b>&c "},
      {Msg("Inputs", "InputName", "<Input>1</Input><Column>0</Column><Name>x</Name>y</Name>"),
       "x</Name>y"},
      {Msg("XTRA", "SetVORAN_Mode", "<ApplicationNo>1</ApplicationNo><Mode><Mode></Mode>"),
       "<Mode>"},
      {Msg("Controller", "FLAN_MasterSetup", "<FLAN_Node>1</FLAN_Node><Type>a</Type>b</Type>"),
       "a</Type>b"},
      {Msg("Outputs", "OutputTime",
           "<Output>1</Output><TTickResolution></TTickResolution></TTickResolution><TTimeout>0"
           "</TTimeout><PTickResolution>&lt;</PTickResolution><Pulse>0</Pulse><TgControlled>0"
           "</TgControlled><TgEnabled>0</TgEnabled><TgReport>0</TgReport>"),
       "</TTickResolution>"},
  };
  for (const auto& c : cases) {
    CSS_Message message;
    CSS_DecodeError error;
    ASSERT_TRUE(DecodeMessage(c.line, message, error)) << c.line << "\n" << error.reason;
    bool found = false;
    for (const CSS_MessageValue& value : message.parameters)
      found = found || value.text == c.text;
    EXPECT_TRUE(found) << c.line;
    std::string text;
    ASSERT_TRUE(EncodeMessage(message, text));
    EXPECT_EQ(text, c.line);
  }
}

std::string Interface(std::string_view action, std::string_view params) {
  return "<Command><InterfaceID>1</InterfaceID><MessageType>Interface</MessageType><Action>" +
         std::string(action) + "</Action>" + std::string(params) + "</Command>";
}

std::string InputType(std::string_view dlan = "0", std::string_view eol = "False") {
  return Msg("Inputs", "InputType",
             "<Input>1</Input><DLan>" + std::string(dlan) +
                 "</DLan><DNode>0</DNode><DPort>3</DPort><Type>T</Type><TypeRef>0</TypeRef><EOL>" +
                 std::string(eol) +
                 "</EOL><Polarity>False</Polarity><CountDelay>0</CountDelay>"
                 "<CountValue>0</CountValue>");
}

std::string InputTime(int levels) {
  std::string params =
      "<Input>1</Input><BounceTick>a</BounceTick><Debounce>0</Debounce>"
      "<TickResolution>b</TickResolution><Timeout>0</Timeout><LevelTGs>";
  for (int level = 1; level <= levels; ++level)
    params += "<LevelTG><Level>L</Level><Group>0</Group></LevelTG>";
  return Msg("Inputs", "InputTime", params + "</LevelTGs>");
}

std::string TimeGroup(int zones) {
  std::string params = "<Group>1</Group><Zones>";
  for (int zone = 1; zone <= zones; ++zone) {
    params +=
        "<Zone><ZoneNo>1</ZoneNo><Monday>True</Monday><Tuesday>True</Tuesday><Wednesday>"
        "True</Wednesday><Thursday>True</Thursday><Friday>True</Friday><Saturday>True"
        "</Saturday><Sunday>True</Sunday><Holiday>True</Holiday></Zone>";
  }
  return Msg("Groups", "TimeGroupSetup", params + "</Zones>");
}

std::string Replace(std::string text, std::string_view what, std::string_view with) {
  return text.replace(text.find(what), what.size(), with);
}

TEST(Decode, BadLinesSayWhereAndWhy) {
  const std::string good = InputType();
  const struct {
    std::string line;
    std::string at;  // the column is where this first stands in the line ("" = the line's end)
    std::string reason;
  } cases[] = {
      {Replace(good, ">Inputs<", ">Input<"), "Input</MessageType>",
       R"(unknown MessageType "Input")"},
      {Replace(good, ">InputType<", ">InputTyp<"), "InputTyp<",
       R"(unknown Action "InputTyp" for MessageType "Inputs")"},
      {Replace(good, "<DLan>0</DLan>", ""), "<DNode>", "expected <DLan> after </Input>"},
      {Replace(good, "<DLan>0</DLan><DNode>0</DNode>", "<DNode>0</DNode><DLan>0</DLan>"), "<DNode>",
       "expected <DLan> after </Input>"},
      {Replace(good, "</CountValue>", "</CountValue><Extra>1</Extra>"), "<Extra>",
       "expected </Parameters> after </CountValue>"},
      {InputType("70000"), "70000", "70000 is outside -32768..32767"},
      {InputType("-32769"), "-32769", "-32769 is outside -32768..32767"},
      {InputType("007"), "007", R"("007" has a leading zero)"},
      {InputType("-0"), "-0", R"("-0" is zero with a minus sign)"},
      {InputType("+1"), "+1", R"("+1" is not a number)"},
      {InputType(""), "</DLan>", "expected a number in <DLan>"},
      {InputType("99999999999999999999999"), "9999",
       "99999999999999999999999 is outside "
       "-32768..32767"},
      {InputType("0", "true"), "true", R"("true" is not True or False)"},
      {Replace(good, "<Input>1</Input>", "<Inpux>1</Inpux>"), "<Inpux>",
       "expected <Input> after </Node>"},
      {good + "\r", "\r", "bytes after </Command>"},
      {good + " ", " ", "bytes after </Command>"},
      {" " + good, " ", "expected <Command> at the start"},
      {good.substr(0, good.size() - 10), "", "expected </Command> after </Parameters>"},
      {Msg("Reader", "SetConfiguration",
           "<Reader>1</Reader><DLan>0</DLan><DNode>0</DNode><DPort>0</DPort><App>a</App>b</App>"),
       "b</App>", "expected <Type> after </App>"},
      {Replace(good, "<InterfaceID>1<", "<InterfaceID>0<"), "0<", "0 is outside 1..2147483647"},
      {Replace(good, "<Node>2<", "<Node>-1<"), "-1", "-1 is outside 0..2147483647"},
      {Msg("Inputs", "InputLink", "<Input>1</Input><EnabledInputPort>256</EnabledInputPort>"),
       "256", "256 is outside 0..255"},
      {InputTime(4), "</LevelTGs>", "expected <LevelTG> after </LevelTG>"},
      {InputTime(6), "<LevelTG><Level>L</Level><Group>0</Group></LevelTG></LevelTGs>",
       "more than 5 <LevelTG> in <LevelTGs>"},
      {TimeGroup(0), "</Zones>", "expected <Zone> after <Zones>"},
      {TimeGroup(9),
       "<Zone><ZoneNo>1</ZoneNo><Monday>True</Monday><Tuesday>True</Tuesday>"
       "<Wednesday>True</Wednesday><Thursday>True</Thursday><Friday>True</Friday>"
       "<Saturday>True</Saturday><Sunday>True</Sunday><Holiday>True</Holiday>"
       "</Zone></Zones>",
       "more than 8 <Zone> in <Zones>"},
      {Interface("Stop", "<Parameters></Parameters>"), "<Parameters>",
       "expected </Command> after </Action>"},
      {Interface("Start",
                 "<Parameters><Type>Primary</Type><IP_Address>a</IP_Address><IP_Port>1"
                 "</IP_Port><Settings>True</Settings></Parameters>"),
       "Primary", R"("Primary" is not Main or Ordinary)"},
      {Interface("Start",
                 "<Parameters><Type>Main</Type><IP_Address>a</IP_Address><IP_Port>1"
                 "</IP_Port><Settings>False</Settings></Parameters>"),
       "False", R"("False" is not True)"},
      {Interface("Poll", "<Parameters></Parameters>"), "</Parameters>",
       "expected <Start> or <Stop> after <Parameters>"},
      {Interface("Poll", "<Parameters><Start>3,,4</Start></Parameters>"), ",4<",
       "expected a number in <Start>"},
      {Interface("SetNodes", "<Parameters><Add>3,4</Add><Timeout>5</Timeout></Parameters>"), "5<",
       "<Timeout> holds 1 number, fewer than the 2 of <Add>"},
      {Interface("SetNodes", "<Parameters><Add>3</Add><Remove>5</Remove></Parameters>"), "<Remove>",
       "expected <Timeout> after </Add>"},
      {Interface("SetNodes", "<Parameters><Timeout>5</Timeout><Remove>5</Remove></Parameters>"),
       "<Timeout>", "<Timeout> without <Add>"},
      {Interface("SetNodes", "<Parameters><Remove>4294967296</Remove></Parameters>"), "4294967296",
       "4294967296 is outside -2147483648..2147483647"},
  };
  for (const auto& c : cases) {
    CSS_Message message;
    CSS_DecodeError error;
    EXPECT_FALSE(DecodeMessage(c.line, message, error)) << c.line;
    const std::size_t at = c.at.empty() ? c.line.size() : c.line.find(c.at);
    ASSERT_NE(at, std::string::npos) << c.at;
    EXPECT_EQ(error.column, at + 1) << c.line;
    EXPECT_EQ(error.reason, c.reason) << c.line;
  }
  // A line is read up to its own end, also where the text it is cut from goes on: there, right
  // after the end, stands what the line lacks.
  const std::size_t type = good.find("</Type>");
  const struct {
    std::size_t end, at;
    std::string_view reason;
  } cuts[] = {{good.size() - 1, good.find("</Command>"), "expected </Command> after </Parameters>"},
              {type, type - 1, "expected </Type> after <Type>"}};
  for (const auto& cut : cuts) {
    CSS_Message message;
    CSS_DecodeError error;
    EXPECT_FALSE(DecodeMessage(std::string_view(good).substr(0, cut.end), message, error));
    EXPECT_EQ(error.reason, cut.reason);
    EXPECT_EQ(error.column, cut.at + 1) << cut.reason;
  }
}

TEST(Decode, EncodeRefusesValuesThatDoNotFitTheirKind) {
  CSS_Message good;
  CSS_DecodeError error;
  ASSERT_TRUE(DecodeMessage(InputType(), good, error));
  std::string text;
  ASSERT_TRUE(EncodeMessage(good, text));
  const auto refused = [&](auto change) {
    CSS_Message message = good;
    change(message);
    return !EncodeMessage(message, text) && text.empty();
  };
  EXPECT_TRUE(refused([](CSS_Message& m) { m.parameters[1].number = 32768; }));
  EXPECT_TRUE(refused([](CSS_Message& m) { m.parameters.back().number = 2147483648; }));
  EXPECT_TRUE(refused([](CSS_Message& m) { m.parameters[6].number = 2; }));  // EOL
  EXPECT_TRUE(refused([](CSS_Message& m) { m.parameters.pop_back(); }));
  EXPECT_TRUE(refused([](CSS_Message& m) { m.parameters[1].name = "DNode"; }));
  EXPECT_TRUE(refused([](CSS_Message& m) { m.node.reset(); }));
  EXPECT_TRUE(refused([](CSS_Message& m) { m.interfaceId = 0; }));
  EXPECT_TRUE(refused([](CSS_Message& m) { m.kind = CSS_MessageKind::OutputType; }));
  // A poll names at least one list of nodes.
  const CSS_Message poll{.kind = CSS_MessageKind::InterfacePoll, .interfaceId = 7};
  EXPECT_FALSE(EncodeMessage(poll, text));
  CSS_Message widest = good;  // the last element, CountValue, is 32 bits wide
  widest.parameters.back().number = 2147483647;
  ASSERT_TRUE(EncodeMessage(widest, text));
  EXPECT_NE(text.find("<CountValue>2147483647</CountValue>"), std::string::npos) << text;
}

}  // namespace
}  // namespace ssmsg
