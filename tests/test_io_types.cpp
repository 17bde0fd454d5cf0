#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using InputTypes = StoreTest;

TEST_F(InputTypes, WorkedExample) {
  store.GetResource().SetInputs(1);
  store.GetInputType().Set(0, {.DLan = 1, .DNode = 5, .DPort = 2, .Type = 3, .TypeRef = 0,
                               .EOL = 1, .Polarity = 0, .CountDelay = 0, .CountValue = 100});
  enums.GetInputType()->SetText(3, "T");
  ASSERT_TRUE(Run(161));
  EXPECT_EQ(out, (CSS_StringList{
                     "<Command><InterfaceID>1</InterfaceID><MessageType>Inputs</MessageType>"
                     "<Action>InputClearAll</Action><Parameters><Node>2</Node></Parameters>"
                     "</Command>",
                     "<Command><InterfaceID>1</InterfaceID><MessageType>Inputs</MessageType>"
                     "<Action>InputType</Action><Parameters><Node>2</Node><Input>1</Input>"
                     "<DLan>1</DLan><DNode>5</DNode><DPort>2</DPort><Type>T</Type>"
                     "<TypeRef>0</TypeRef><EOL>True</EOL><Polarity>False</Polarity>"
                     "<CountDelay>0</CountDelay><CountValue>100</CountValue></Parameters>"
                     "</Command>",
                 }));
}

TEST_F(InputTypes, SparseStoreNumbersByIndexAndFullWidths) {
  store.GetResource().SetInputs(4);
  store.GetInputType().Set(1, {.DPort = -7, .Type = 99, .EOL = 2, .CountValue = 70000});
  store.GetInputType().Set(3, {.Polarity = 255});
  store.GetInputType().Set(4, {});  // beyond the input count: never asked for
  ASSERT_TRUE(Run(161));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[1], Msg("Inputs", "InputType",
                        "<Input>2</Input><DLan>0</DLan><DNode>0</DNode><DPort>-7</DPort>"
                        "<Type></Type><TypeRef>0</TypeRef><EOL>True</EOL>"
                        "<Polarity>False</Polarity><CountDelay>0</CountDelay>"
                        "<CountValue>70000</CountValue>"));
  EXPECT_NE(out[2].find("<Input>4</Input>"), std::string::npos);
  EXPECT_NE(out[2].find("<Polarity>True</Polarity>"), std::string::npos);
}

TEST_F(InputTypes, CountOfZeroOrBelowSendsOnlyTheClearMessage) {
  store.GetInputType().Set(0, {});
  for (int count : {0, -1, -32768}) {
    out.clear();
    store.GetResource().SetInputs(static_cast<std::int16_t>(count));
    EXPECT_TRUE(Run(161));
    EXPECT_EQ(out, CSS_StringList{Msg("Inputs", "InputClearAll")});
  }
}

}  // namespace
}  // namespace ssmsg::test
