// Messages sent one per input, output or reader record without a clear message first, and the
// XTRA mode message. Records are spelled positionally where their fields come in the order of
// the message's elements, so that each record reads against its expected text.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support.h"

namespace ssmsg::test {
namespace {

using RecordMessages = StoreTest;

// Every value of a record differs, and each enumeration has texts of its own, so that a field
// sent under the wrong element or looked up in the wrong enumeration shows. (The demo site's
// golden messages repeat values in these records.)
TEST_F(RecordMessages, EachCarriesItsRecordFieldsInElementOrder) {
  NameValues(CSToolEnumId::Alarm, "T", 1, 5);
  NameValues(CSToolEnumId::ReaderCapture, "C", 7, 7);
  store.GetResource().SetInputs(5);
  store.GetResource().SetReaders(3);
  store.GetInputLink().Set(4, {6, 7, 8, 9, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14});
  store.GetRdCardControl().Set(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  store.GetRdAccessAlarm().Set(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  const struct {
    int task;
    const char* messageType;
    const char* action;
    const char* params;
  } cases[] = {
      {164, "Inputs", "InputLink",
       "<Input>5</Input><EnabledInputPort>6</EnabledInputPort><EnabledLevelInput>7"
       "</EnabledLevelInput><EnabledOutputPort>8</EnabledOutputPort><EnabledLevelOutput>9"
       "</EnabledLevelOutput><AlarmDis>T1</AlarmDis><AlarmEna>T2</AlarmEna><AlarmNear>T3"
       "</AlarmNear><AlarmIn>T4</AlarmIn><AlarmSleep>T5</AlarmSleep><AlarmDisRef>10"
       "</AlarmDisRef><AlarmEnaRef>11</AlarmEnaRef><AlarmNearRef>12</AlarmNearRef><AlarmInRef>13"
       "</AlarmInRef><AlarmSleepRef>14</AlarmSleepRef>"},
      {170, "Reader", "SetCardControl",
       "<Reader>3</Reader><APBTo>1</APBTo><APBFrom>2</APBFrom><APBOffline>3</APBOffline>"
       "<APBReset>4</APBReset><ATBMinutes>5</ATBMinutes><ATBLink>6</ATBLink><Capture>C7"
       "</Capture><Attempts>8</Attempts><DisableSeconds>9</DisableSeconds><DualBadge>10"
       "</DualBadge><BadgeTimeout>11</BadgeTimeout><BadgeOutG>12</BadgeOutG>"},
      {174, "Reader", "AccessAlarm",
       "<Reader>1</Reader><OK>T1</OK><Fail>T2</Fail><Random>T3</Random><Illegal>T4</Illegal>"
       "<Duress>T5</Duress><OKRef>6</OKRef><FailRef>7</FailRef><RandomRef>8</RandomRef>"
       "<IllegalRef>9</IllegalRef><DuressRef>10</DuressRef>"},
  };
  for (const auto& [task, messageType, action, params] : cases) {
    out.clear();
    EXPECT_TRUE(Run(task)) << task;
    EXPECT_EQ(out, CSS_StringList{Msg(messageType, action, params)});
  }
}

TEST_F(RecordMessages, WidthsAndSignsOfTheValues) {
  NameValues(CSToolEnumId::Alarm, "T", 0, 2);  // Duress of a card structure is not one of them
  store.GetResource().SetInputs(1);
  store.GetResource().SetReaders(1);
  store.GetInputLink().Set(0, {255, 128, 3, 255, 0, 0, 0, 0, 0, -1, 0, 0, 0, -32768});
  store.GetRdCardStructure().Set(0, {0, 100000, INT32_MIN, -1, 0, 2, 2, 255});
  store.GetXTRA() = {.ApplicationNo = -4, .Mode = 99};  // a mode without a text
  store.GetResource().SetAppsVORAN(3);                  // still one mode message
  const struct {
    int task;
    const char* fragment;
  } kFragments[] = {
      {164,
       "<Input>1</Input><EnabledInputPort>255</EnabledInputPort><EnabledLevelInput>128"
       "</EnabledLevelInput><EnabledOutputPort>3</EnabledOutputPort><EnabledLevelOutput>"
       "255</EnabledLevelOutput>"},
      {164, "<AlarmDisRef>-1</AlarmDisRef>"},
      {164, "<AlarmSleepRef>-32768</AlarmSleepRef>"},
      {172,
       "<DeleteOffset>100000</DeleteOffset><ClientCode>-2147483648</ClientCode>"
       "<SiteCode>-1</SiteCode><ExactBits>0</ExactBits><Duress>2</Duress>"
       "<ParityCheck>True</ParityCheck><Frame>True</Frame>"},
      {177, "<ApplicationNo>-4</ApplicationNo><Mode></Mode>"},
  };
  for (const auto& [task, fragment] : kFragments) {
    out.clear();
    EXPECT_TRUE(Run(task)) << task;
    ASSERT_EQ(out.size(), 1u) << task;
    EXPECT_NE(out[0].find(fragment), std::string::npos) << out[0];
  }
}

// Sets every record count and stores an empty record at each of `indexes` in every container
// that the records-only tasks read.
void FillAll(CSApplicationManagerStd& s, std::int16_t count, std::initializer_list<int> indexes) {
  s.GetResource().SetInputs(count);
  s.GetResource().SetOutputs(count);
  s.GetResource().SetReaders(count);
  for (int i : indexes) {
    s.GetInputTime().Set(i, {});
    s.GetInputLink().Set(i, {});
    s.GetOutputTime().Set(i, {});
    s.GetRdConfiguration().Set(i, {});
    s.GetRdCardControl().Set(i, {});
    s.GetRdCardLocation().Set(i, {});
    s.GetRdCardStructure().Set(i, {});
    s.GetRdAccessAlarm().Set(i, {});
  }
}

const struct {
  int task;
  std::string numberTag;  // the element that carries the record number
} kRecordTasks[] = {{163, "Input"},  {164, "Input"},  {167, "Output"}, {170, "Reader"},
                    {171, "Reader"}, {172, "Reader"}, {173, "Reader"}, {174, "Reader"}};

TEST_F(RecordMessages, DeclinedIndexesKeepTheNumbersOfTheOthersAndBadAddressesSucceed) {
  FillAll(store, 4, {1, 3, 4});  // index 4 lies beyond the count and is never asked for
  for (const auto& [task, tag] : kRecordTasks) {
    out.clear();
    EXPECT_TRUE(Run(task)) << task;
    ASSERT_EQ(out.size(), 2u) << task;
    EXPECT_NE(out[0].find("</Node><" + tag + ">2</"), std::string::npos) << out[0];
    EXPECT_NE(out[1].find("</Node><" + tag + ">4</"), std::string::npos) << out[1];
    // Records only: a bad address sends nothing, and still succeeds.
    EXPECT_TRUE(Run(task, 0, 2) && Run(task, 1, -1)) << task;
    EXPECT_EQ(out.size(), 2u) << task;
  }
}

// Check setup reads the reader configuration container, so it covers exactly the readers that
// the configuration messages cover, whatever the other reader containers hold.
TEST_F(RecordMessages, CheckSetupCoversTheConfiguredReaders) {
  FillAll(store, 4, {0, 2});
  store.GetRdConfiguration().Clear();
  store.GetRdConfiguration().Set(1, {.Percentage = 0});
  store.GetRdConfiguration().Set(3, {.Percentage = 150});
  ASSERT_TRUE(Run(173));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_NE(out[0].find("<Reader>2</Reader><CheckType>"), std::string::npos);
  EXPECT_NE(out[0].find("<Percentage>0</Percentage>"), std::string::npos);
  EXPECT_NE(out[1].find("<Reader>4</Reader><CheckType>"), std::string::npos);
  EXPECT_NE(out[1].find("<Percentage>150</Percentage>"), std::string::npos);
}

}  // namespace
}  // namespace ssmsg::test
