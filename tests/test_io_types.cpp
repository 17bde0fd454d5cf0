#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using InputTypes = StoreTest;

TEST_F(InputTypes, WorkedExample) {
  store.GetResource().SetInputs(1);
  store.GetInputType().Set(0, {.DLan = 1,
                               .DNode = 5,
                               .DPort = 2,
                               .Type = 3,
                               .TypeRef = 0,
                               .EOL = 1,
                               .Polarity = 0,
                               .CountDelay = 0,
                               .CountValue = 100});
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

using OutputTypes = StoreTest;

TEST_F(OutputTypes, WorkedExample) {
  store.GetResource().SetOutputs(1);
  store.GetOutputType().Set(0, {.DLan = 1,
                                .DNode = 5,
                                .DPort = 1,
                                .Type = 2,
                                .TypeRef = 0,
                                .Polarity = 1,
                                .EnabledInputPort = 3,
                                .EnabledInputLevel = 1});
  enums.GetOutputType()->SetText(2, "T");
  enums.GetOutputPolarity()->SetText(1, "P");
  ASSERT_TRUE(Run(165));
  EXPECT_EQ(out, (CSS_StringList{
                     "<Command><InterfaceID>1</InterfaceID><MessageType>Outputs</MessageType>"
                     "<Action>OutputClearAll</Action><Parameters><Node>2</Node></Parameters>"
                     "</Command>",
                     "<Command><InterfaceID>1</InterfaceID><MessageType>Outputs</MessageType>"
                     "<Action>OutputType</Action><Parameters><Node>2</Node><Output>1</Output>"
                     "<DLan>1</DLan><DNode>5</DNode><DPort>1</DPort><Type>T</Type>"
                     "<TypeRef>0</TypeRef><Polarity>P</Polarity><EnableIn>3</EnableIn>"
                     "<EnableOut>0</EnableOut><ControlIn>0</ControlIn><ControlOut>0</ControlOut>"
                     "<EnableIn_L>1</EnableIn_L><EnableOut_L>0</EnableOut_L>"
                     "<ControlIn_L>0</ControlIn_L><ControlOut_L>0</ControlOut_L></Parameters>"
                     "</Command>",
                 }));
}

// Every enable and control value differs, so a getter sent under the wrong element shows; 200
// and 255 catch a signed byte.
TEST_F(OutputTypes, SparseStoreNumbersByIndexAndSendsPortsBeforeLevels) {
  store.GetResource().SetOutputs(3);
  store.GetOutputType().Set(2, {.Name = "Gate",
                                .DPort = -3,
                                .Type = 4,
                                .Polarity = 0,
                                .EnabledInputPort = 200,
                                .EnabledOutputPort = 2,
                                .ControlInput = 3,
                                .ControlOutput = 4,
                                .EnabledInputLevel = 5,
                                .EnabledOutputLevel = 6,
                                .ControlInputLevel = 7,
                                .ControlOutputLevel = 255});
  store.GetOutputType().Set(3, {});  // beyond the output count: never asked for
  enums.GetOutputType()->SetText(4, "Relay");
  enums.GetOutputPolarity()->SetText(0, "Normal");
  ASSERT_TRUE(Run(165));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1], Msg("Outputs", "OutputType",
                        "<Output>3</Output><DLan>0</DLan><DNode>0</DNode><DPort>-3</DPort>"
                        "<Type>Relay</Type><TypeRef>0</TypeRef><Polarity>Normal</Polarity>"
                        "<EnableIn>200</EnableIn><EnableOut>2</EnableOut><ControlIn>3</ControlIn>"
                        "<ControlOut>4</ControlOut><EnableIn_L>5</EnableIn_L>"
                        "<EnableOut_L>6</EnableOut_L><ControlIn_L>7</ControlIn_L>"
                        "<ControlOut_L>255</ControlOut_L>"));
}

// The list transfers of inputs, outputs and readers are bounded by the controller's count, not
// by what the container holds: a count of zero or below sends the clear message alone.
using TypeTransfers = StoreTest;

TEST_F(TypeTransfers, CountOfZeroOrBelowSendsOnlyTheClearMessage) {
  struct Case {
    int task;
    void (CSDevice_Resource::*setCount)(std::int16_t);
    const char* messageType;
    const char* clearAction;
  };
  const Case cases[] = {
      {161, &CSDevice_Resource::SetInputs, "Inputs", "InputClearAll"},
      {165, &CSDevice_Resource::SetOutputs, "Outputs", "OutputClearAll"},
      {168, &CSDevice_Resource::SetReaders, "Reader", "ReaderClearAll"},
  };
  store.GetInputType().Set(0, {});
  store.GetOutputType().Set(0, {});
  store.GetRdConfiguration().Set(0, {});
  for (const Case& c : cases) {
    for (int count : {0, -1, -32768}) {
      out.clear();
      (store.GetResource().*c.setCount)(static_cast<std::int16_t>(count));
      EXPECT_TRUE(Run(c.task)) << c.task;
      EXPECT_EQ(out, CSS_StringList{Msg(c.messageType, c.clearAction)}) << c.task << " " << count;
    }
  }
}

}  // namespace
}  // namespace ssmsg::test
