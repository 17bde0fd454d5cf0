#include <gtest/gtest.h>

#include <array>

#include "support.h"

namespace ssmsg::test {
namespace {

using Controller = StoreTest;

// The configuration is read afresh for every message: the second round sends the changed values.
TEST_F(Controller, DatabaseAndExpanderMessages) {
  CSDevice_Config& c = store.GetConfig();
  c.DbMode = 4, c.TGEnabled = 1, c.DbSize = 1000, c.LockSize = 50, c.In = 2, c.Out = 1;
  enums.GetReaderDbMode()->SetText(4, "M");
  ASSERT_TRUE(Run(158) && Run(159) && Run(160));
  c.DbSize = -5, c.LockSize = 0x80000000u, c.In = -32768, c.Out = -1;
  ASSERT_TRUE(Run(159) && Run(160));
  EXPECT_EQ(
      out,
      (CSS_StringList{
          Msg("Controller", "SetDbMode",
              "<DbMode>M</DbMode><TGEnabled>True</TGEnabled><PINEnabled>False"
              "</PINEnabled><RandomEnabled>False</RandomEnabled><OutGroupEnabled>"
              "False</OutGroupEnabled><VendEnabled>False</VendEnabled><ExpireEnabled>"
              "False</ExpireEnabled><PropertyEnabled>False</PropertyEnabled>"),
          Msg("Controller", "SetDbSize", "<DbSize>1000</DbSize><LockSize>50</LockSize>"),
          Msg("Controller", "SetExpanders", "<In>2</In><Out>1</Out>"),
          Msg("Controller", "SetDbSize", "<DbSize>-5</DbSize><LockSize>-2147483648</LockSize>"),
          Msg("Controller", "SetExpanders", "<In>-32768</In><Out>-1</Out>"),
      }));
}

TEST_F(Controller, PortsAndFieldLanNodesCarryTheirEnumeratedValues) {
  store.GetResource().SetComms(1), store.GetResource().SetCommsFLAN(1);
  store.GetPort().Set(
      0, {.SerialPort = 1, .Type = 1, .BaudRate = 2, .Bits = 3, .Parity = 4, .PeripheralType = 5});
  store.GetFLan_Setup().Set(0, {.FLAN_Node = 3, .Type = 6});
  enums.GetDCP_PortType()->SetText(1, "T"), enums.GetDCP_BaudRate()->SetText(2, "B");
  enums.GetDCP_PortBits()->SetText(3, "D"), enums.GetDCP_PortParity()->SetText(4, "P");
  enums.GetDCP_PeripheralType()->SetText(5, "R"), enums.GetDCP_FLanType()->SetText(6, "T");
  ASSERT_TRUE(Run(156) && Run(157));
  EXPECT_EQ(out,
            (CSS_StringList{
                Msg("Controller", "CommPortClearAll"),
                Msg("Controller", "CommPortSetup",
                    "<SerialPort>1</SerialPort><Type>T</Type><SubType>0</SubType>"
                    "<TypeRef>0</TypeRef><BaudRate>B</BaudRate><Bits>D</Bits>"
                    "<Parity>P</Parity><PeripheralType>R</PeripheralType>"
                    "<AdditionalEvent>0</AdditionalEvent>"),
                Msg("Controller", "FLAN_MasterClearAll"),
                Msg("Controller", "FLAN_MasterSetup", "<FLAN_Node>3</FLAN_Node><Type>T</Type>"),
            }));
}

// Ports and field-LAN nodes are asked for from index 0 up to the controller's capacity; each
// message carries the record's own number, and a declined index is skipped.
TEST_F(Controller, PortsAndFieldLanNodesStopAtTheCapacity) {
  for (int i : {0, 1, 3, 4}) {  // index 2 is declined, index 4 lies beyond a capacity of 4
    store.GetPort().Set(i, {.SerialPort = static_cast<std::int16_t>(10 + i)});
    store.GetFLan_Setup().Set(i, {.FLAN_Node = static_cast<std::int16_t>(10 + i)});
  }
  for (int capacity : {4, 0, -1}) {
    store.GetResource().SetComms(static_cast<std::int16_t>(capacity));
    store.GetResource().SetCommsFLAN(static_cast<std::int16_t>(capacity));
    for (int task : {156, 157}) {
      out.clear();
      EXPECT_TRUE(Run(task));
      ASSERT_EQ(out.size(), capacity > 0 ? 4u : 1u) << task;
      for (std::size_t m = 1; m < out.size(); ++m) {
        EXPECT_NE(out[m].find(std::array{">10<", ">11<", ">13<"}[m - 1]), std::string::npos);
      }
    }
  }
}

}  // namespace
}  // namespace ssmsg::test
