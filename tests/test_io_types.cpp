// The list transfers of input, output and reader types: the clear message, then one message per
// record that the container hands out up to the controller's count, numbered by position. Every
// value differs from its neighbours and every enumeration has texts of its own, so that a field
// sent under the wrong element, or looked up in the wrong enumeration, shows. Records are spelled
// positionally: their fields come in the order of the message's elements.

#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using TypeTransfers = StoreTest;

// 70000 needs 32 bits; EOL 2 and Polarity 255 are flags.
TEST_F(TypeTransfers, InputTypesCarryEveryFieldAtItsWidth) {
  store.GetResource().SetInputs(4);
  store.GetInputType().Set(1, {"", 1, 5, -7, 3, 4, 2, 0, 6, 70000});
  store.GetInputType().Set(3, {.Type = 99, .Polarity = 255});
  store.GetInputType().Set(4, {});  // beyond the input count: never asked for
  enums.GetInputType()->SetText(3, "T");
  ASSERT_TRUE(Run(161));
  EXPECT_EQ(out, (CSS_StringList{
                     Msg("Inputs", "InputClearAll"),
                     Msg("Inputs", "InputType",
                         "<Input>2</Input><DLan>1</DLan><DNode>5</DNode><DPort>-7</DPort>"
                         "<Type>T</Type><TypeRef>4</TypeRef><EOL>True</EOL><Polarity>False"
                         "</Polarity><CountDelay>6</CountDelay><CountValue>70000</CountValue>"),
                     Msg("Inputs", "InputType",
                         "<Input>4</Input><DLan>0</DLan><DNode>0</DNode><DPort>0</DPort>"
                         "<Type></Type><TypeRef>0</TypeRef><EOL>False</EOL><Polarity>True"
                         "</Polarity><CountDelay>0</CountDelay><CountValue>0</CountValue>"),
                 }));
}

// Ports come before levels; 200 and 255 catch a signed byte.
TEST_F(TypeTransfers, OutputTypesCarryEveryFieldUnderItsElement) {
  store.GetResource().SetOutputs(3);
  store.GetOutputType().Set(2, {"Gate", 1, 5, -3, 4, 8, 1, 200, 2, 3, 9, 10, 6, 7, 255});
  store.GetOutputType().Set(3, {});  // beyond the output count: never asked for
  enums.GetOutputType()->SetText(4, "Relay");
  enums.GetOutputPolarity()->SetText(1, "Reversed");
  ASSERT_TRUE(Run(165));
  EXPECT_EQ(out, (CSS_StringList{
                     Msg("Outputs", "OutputClearAll"),
                     Msg("Outputs", "OutputType",
                         "<Output>3</Output><DLan>1</DLan><DNode>5</DNode><DPort>-3</DPort>"
                         "<Type>Relay</Type><TypeRef>8</TypeRef><Polarity>Reversed</Polarity>"
                         "<EnableIn>200</EnableIn><EnableOut>2</EnableOut><ControlIn>3</ControlIn>"
                         "<ControlOut>9</ControlOut><EnableIn_L>10</EnableIn_L>"
                         "<EnableOut_L>6</EnableOut_L><ControlIn_L>7</ControlIn_L>"
                         "<ControlOut_L>255</ControlOut_L>"),
                 }));
}

// The name and the random-check settings belong to other messages.
TEST_F(TypeTransfers, ReaderConfigurationsCarryOnlyTheirOwnFields) {
  store.GetResource().SetReaders(3);
  store.GetRdConfiguration().Set(
      1, {"Main gate", 1, 4, -2, 1, 2, 2, 3, -1, 300, 4, 5, -9, 6, 4, 50, 1});
  store.GetRdConfiguration().Set(3, {});  // beyond the reader count: never asked for
  for (const CSToolEnumId id : {CSToolEnumId::ReaderApp, CSToolEnumId::ReaderType,
                                CSToolEnumId::ReaderLED, CSToolEnumId::ReaderCompleteMode,
                                CSToolEnumId::ReaderBoothMode, CSToolEnumId::ReaderPower}) {
    NameValues(id, CSToolEnum::Name(id).substr(6), 1, 6);  // "App1", "Type1", ...
  }
  ASSERT_TRUE(Run(168));
  EXPECT_EQ(out, (CSS_StringList{
                     Msg("Reader", "ReaderClearAll"),
                     Msg("Reader", "SetConfiguration",
                         "<Reader>2</Reader><DLan>1</DLan><DNode>4</DNode><DPort>-2</DPort>"
                         "<App>App1</App><Type>Type2</Type><ClkPolarity>True</ClkPolarity>"
                         "<LED>LED3</LED><LCD>-1</LCD><CardLCD>300</CardLCD>"
                         "<Complete>CompleteMode4</Complete><BoothMode>BoothMode5</BoothMode>"
                         "<LinkRef>-9</LinkRef><Power>Power6</Power>"),
                 }));
}

// The list transfers are bounded by the controller's count, not by what the container holds: a
// count of zero or below sends the clear message alone.
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
