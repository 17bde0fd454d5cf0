#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using ReaderConfiguration = StoreTest;

TEST_F(ReaderConfiguration, WorkedExample) {
  store.GetResource().SetReaders(1);
  store.GetRdConfiguration().Set(0, {.DLan = 1,
                                     .DNode = 4,
                                     .DPort = 2,
                                     .App = 1,
                                     .Type = 2,
                                     .ClkPolarity = 0,
                                     .LED = 3,
                                     .LCD = 0,
                                     .CardLCD = 1,
                                     .Complete = 4,
                                     .BoothMode = 5,
                                     .LinkRef = 0,
                                     .Power = 6});
  enums.GetReaderApp()->SetText(1, "t1");
  enums.GetReaderType()->SetText(2, "t2");
  enums.GetReaderLED()->SetText(3, "t3");
  enums.GetReaderCompleteMode()->SetText(4, "t4");
  enums.GetReaderBoothMode()->SetText(5, "t5");
  enums.GetReaderPower()->SetText(6, "t6");
  ASSERT_TRUE(Run(168));
  EXPECT_EQ(out, (CSS_StringList{
                     "<Command><InterfaceID>1</InterfaceID><MessageType>Reader</MessageType>"
                     "<Action>ReaderClearAll</Action><Parameters><Node>2</Node></Parameters>"
                     "</Command>",
                     "<Command><InterfaceID>1</InterfaceID><MessageType>Reader</MessageType>"
                     "<Action>SetConfiguration</Action><Parameters><Node>2</Node>"
                     "<Reader>1</Reader><DLan>1</DLan><DNode>4</DNode><DPort>2</DPort>"
                     "<App>t1</App><Type>t2</Type><ClkPolarity>False</ClkPolarity><LED>t3</LED>"
                     "<LCD>0</LCD><CardLCD>1</CardLCD><Complete>t4</Complete>"
                     "<BoothMode>t5</BoothMode><LinkRef>0</LinkRef><Power>t6</Power>"
                     "</Parameters></Command>",
                 }));
}

// One value in every enumerated field, each enumeration with a text of its own for it: a field
// looked up in the wrong enumeration shows. The name and the random-check settings belong to
// other messages.
TEST_F(ReaderConfiguration, SparseStoreNumbersByIndexAndSendsOnlyConfiguration) {
  store.GetResource().SetReaders(3);
  store.GetRdConfiguration().Set(1, {.Name = "Main gate",
                                     .DPort = -2,
                                     .App = 7,
                                     .Type = 7,
                                     .ClkPolarity = 2,
                                     .LED = 7,
                                     .LCD = -1,
                                     .CardLCD = 300,
                                     .Complete = 7,
                                     .BoothMode = 7,
                                     .LinkRef = -9,
                                     .Power = 7,
                                     .CheckType = 4,
                                     .Percentage = 50,
                                     .NameInitialised = 1});
  store.GetRdConfiguration().Set(3, {});  // beyond the reader count: never asked for
  enums.GetReaderApp()->SetText(7, "");
  enums.GetReaderType()->SetText(7, "Type7");
  enums.GetReaderLED()->SetText(7, "Led7");
  enums.GetReaderCompleteMode()->SetText(7, "Complete7");
  enums.GetReaderBoothMode()->SetText(7, "Booth7");
  enums.GetReaderPower()->SetText(7, "Power7");
  ASSERT_TRUE(Run(168));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1], Msg("Reader", "SetConfiguration",
                        "<Reader>2</Reader><DLan>0</DLan><DNode>0</DNode><DPort>-2</DPort>"
                        "<App></App><Type>Type7</Type><ClkPolarity>True</ClkPolarity>"
                        "<LED>Led7</LED><LCD>-1</LCD><CardLCD>300</CardLCD>"
                        "<Complete>Complete7</Complete><BoothMode>Booth7</BoothMode>"
                        "<LinkRef>-9</LinkRef><Power>Power7</Power>"));
}

}  // namespace
}  // namespace ssmsg::test
