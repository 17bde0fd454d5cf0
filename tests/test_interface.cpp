#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/c_api.h>
#include "manager/CSS_Command_M_Poll.h"
#include "manager/CSS_Command_M_SetNodes.h"

namespace ssmsg {
namespace {

using Numbers = std::vector<std::uint32_t>;

std::string Interface(std::string_view action, std::string_view params, int interfaceId = 1) {
  std::string text = "<Command><InterfaceID>" + std::to_string(interfaceId) +
                     "</InterfaceID><MessageType>Interface</MessageType><Action>";
  return text.append(action).append("</Action>").append(params).append("</Command>");
}

TEST(Manager, RegistersTheLatestManager) {
  CSS_Manager first;
  EXPECT_EQ(gl_Get_SS_Manager(), &first);
  {
    CSS_Manager second;
    EXPECT_EQ(gl_Get_SS_Manager(), &second);
    second = first;  // assignment copies nothing and registers nothing
    EXPECT_EQ(gl_Get_SS_Manager(), &second);
    const CSS_Manager copy(first);  // a copy is a new manager
    EXPECT_EQ(gl_Get_SS_Manager(), &copy);
  }
  EXPECT_EQ(gl_Get_SS_Manager(), nullptr);  // the current one was destroyed

  // The library's own jobs and its C interface make messages without a manager of their own.
  ssmsg_strings* messages = nullptr;
  EXPECT_EQ(ssmsg_interface_stop(1, &messages), SSMSG_OK);
  ssmsg_strings_free(messages);
  EXPECT_EQ(gl_Get_SS_Manager(), nullptr);
}

struct SetNodesCase {
  Numbers add, timeouts, remove;
  const char* params;  // empty: the call fails
};

TEST(Interface, SetNodes) {
  const SetNodesCase cases[] = {
      {{3, 4, 5}, {200}, {7}, "<Add>3,4,5</Add><Timeout>200,0,0</Timeout><Remove>7</Remove>"},
      {{3, 4}, {}, {}, "<Add>3,4</Add><Timeout>0,0</Timeout>"},
      {{3}, {100, 200}, {}, "<Add>3</Add><Timeout>100,200</Timeout>"},
      {{}, {100}, {9, 10}, "<Remove>9,10</Remove>"},
      {{2147483648u, 4294967295u},
       {4294967295u},
       {},
       "<Add>-2147483648,-1</Add><Timeout>-1,0</Timeout>"},
      {{}, {1, 2}, {}, ""},
      {{}, {}, {}, ""},
  };
  for (const SetNodesCase& c : cases) {
    CSS_Manager manager;
    CSS_StringList out = {"kept"};
    const bool made = manager.Interface_SetNodes(2, c.add, c.timeouts, c.remove, out);
    if (*c.params == '\0') {
      EXPECT_FALSE(made);
      EXPECT_EQ(out, CSS_StringList{"kept"});
    } else {
      EXPECT_TRUE(made);
      EXPECT_EQ(
          out,
          (CSS_StringList{
              "kept",
              Interface("SetNodes", std::string("<Parameters>") + c.params + "</Parameters>", 2)}));
    }
  }
  CSS_Manager manager;
  CSS_StringList out;
  EXPECT_FALSE(manager.Interface_SetNodes(0, Numbers{1}, {}, {}, out));
  EXPECT_TRUE(out.empty());
}

// Made directly, a command whose node lists are both empty refuses and adds nothing.
TEST(Interface, CommandsWithoutNodesAddNothing) {
  const Numbers some = {1};
  CSS_Command_M_SetNodes noNodes({}, some, {});
  CSS_Command_M_Poll noPolls({}, {});
  for (CSS_Command* command : std::initializer_list<CSS_Command*>{&noNodes, &noPolls}) {
    CSS_XmlDocument doc;
    CSS_XmlTag* parameters = doc.AddTopContainer("Parameters", false);
    EXPECT_FALSE(command->AddParameters(parameters)) << command->Action();
    EXPECT_FALSE(parameters->HasChildren()) << command->Action();
  }
}

}  // namespace
}  // namespace ssmsg
