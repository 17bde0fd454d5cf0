// Messages sent one per input, output or reader record without a clear message first, and the
// XTRA mode message.
//
// Records are spelled positionally where their fields come in the order of the message's
// elements, so that each record reads against its expected text.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support.h"

namespace ssmsg::test {
namespace {

using RecordMessages = StoreTest;

const struct {
  int task;
  const char* messageType;
  const char* action;
  const char* params;
} kWorkedExamples[] = {
    // "LevelTGs" closes right after the fifth "LevelTG" and before "Parameters".
    {163, "Inputs", "InputTime",
     "<Input>1</Input><BounceTick>K1</BounceTick><Debounce>5</Debounce>"
     "<TickResolution>K2</TickResolution><Timeout>30</Timeout><LevelTGs>"
     "<LevelTG><Level>L1</Level><Group>1</Group></LevelTG>"
     "<LevelTG><Level>L2</Level><Group>0</Group></LevelTG>"
     "<LevelTG><Level>L3</Level><Group>0</Group></LevelTG>"
     "<LevelTG><Level>L4</Level><Group>0</Group></LevelTG>"
     "<LevelTG><Level>L5</Level><Group>0</Group></LevelTG></LevelTGs>"},
    {164, "Inputs", "InputLink",
     "<Input>5</Input><EnabledInputPort>2</EnabledInputPort><EnabledLevelInput>1"
     "</EnabledLevelInput><EnabledOutputPort>0</EnabledOutputPort><EnabledLevelOutput>0"
     "</EnabledLevelOutput><AlarmDis>T1</AlarmDis><AlarmEna>T2</AlarmEna><AlarmNear>T3"
     "</AlarmNear><AlarmIn>T4</AlarmIn><AlarmSleep>T5</AlarmSleep><AlarmDisRef>0</AlarmDisRef>"
     "<AlarmEnaRef>0</AlarmEnaRef><AlarmNearRef>7</AlarmNearRef><AlarmInRef>0</AlarmInRef>"
     "<AlarmSleepRef>0</AlarmSleepRef>"},
    {167, "Outputs", "OutputTime",
     "<Output>2</Output><TTickResolution>K1</TTickResolution><TTimeout>0</TTimeout>"
     "<PTickResolution>K2</PTickResolution><Pulse>5</Pulse><TgControlled>0</TgControlled>"
     "<TgEnabled>3</TgEnabled><TgReport>0</TgReport>"},
    {170, "Reader", "SetCardControl",
     "<Reader>3</Reader><APBTo>1</APBTo><APBFrom>0</APBFrom><APBOffline>0</APBOffline>"
     "<APBReset>0</APBReset><ATBMinutes>5</ATBMinutes><ATBLink>0</ATBLink><Capture>C1</Capture>"
     "<Attempts>3</Attempts><DisableSeconds>30</DisableSeconds><DualBadge>0</DualBadge>"
     "<BadgeTimeout>10</BadgeTimeout><BadgeOutG>0</BadgeOutG>"},
    {171, "Reader", "SetCardLocation",
     "<Reader>2</Reader><FacilityStart>2</FacilityStart><FacilityEnd>9</FacilityEnd>"
     "<FacilityDigits>3</FacilityDigits><CardStart>10</CardStart><CardEnd>25</CardEnd>"
     "<CardDigits>5</CardDigits><AltStart>0</AltStart><AltEnd>0</AltEnd>"},
    {172, "Reader", "SetCardStructure",
     "<Reader>1</Reader><CardType>1</CardType><DeleteOffset>0</DeleteOffset>"
     "<ClientCode>1234</ClientCode><SiteCode>56</SiteCode><ExactBits>26</ExactBits>"
     "<Duress>0</Duress><ParityCheck>True</ParityCheck><Frame>False</Frame>"},
    {173, "Reader", "SetCheckSetup",
     "<Reader>1</Reader><CheckType>R1</CheckType><Percentage>25</Percentage>"},
    {174, "Reader", "AccessAlarm",
     "<Reader>1</Reader><OK>T1</OK><Fail>T2</Fail><Random>T3</Random><Illegal>T4</Illegal>"
     "<Duress>T5</Duress><OKRef>4</OKRef><FailRef>5</FailRef><RandomRef>0</RandomRef>"
     "<IllegalRef>0</IllegalRef><DuressRef>7</DuressRef>"},
    {177, "XTRA", "SetVORAN_Mode", "<ApplicationNo>1</ApplicationNo><Mode>M1</Mode>"},
};

TEST_F(RecordMessages, WorkedExamples) {
  NameValues(CSToolEnumId::Tick, "K", 1, 2);
  NameValues(CSToolEnumId::Level, "L", 1, 5);
  NameValues(CSToolEnumId::Alarm, "T", 1, 5);
  NameValues(CSToolEnumId::ReaderCapture, "C", 1, 1);
  NameValues(CSToolEnumId::ReaderCheckType, "R", 1, 1);
  NameValues(CSToolEnumId::XTRA_VORAN_Mode, "M", 1, 1);
  store.GetResource().SetInputs(5);
  store.GetResource().SetOutputs(2);
  store.GetResource().SetReaders(3);
  store.GetResource().SetAppsVORAN(3);  // still one mode message
  store.GetInputTime().Set(0, {1, 5, 2, 30, {1, 0, 0, 0, 0}});
  store.GetInputLink().Set(4, {2, 1, 0, 0, 1, 2, 3, 4, 5, 0, 0, 7, 0, 0});
  store.GetOutputTime().Set(1, {1, 0, 2, 5, 0, 3, 0});
  store.GetRdCardControl().Set(2, {1, 0, 0, 0, 5, 0, 1, 3, 30, 0, 10, 0});
  store.GetRdCardLocation().Set(1, {2, 9, 3, 10, 25, 5, 0, 0});
  store.GetRdCardStructure().Set(0, {1, 0, 1234, 56, 26, 0, 1, 0});
  store.GetRdConfiguration().Set(0, {.Name = "Door", .Type = 2, .CheckType = 1, .Percentage = 25});
  store.GetRdAccessAlarm().Set(0, {1, 2, 3, 4, 5, 4, 5, 0, 0, 7});
  store.GetXTRA() = {.ApplicationNo = 1, .Mode = 1};
  for (const auto& [task, messageType, action, params] : kWorkedExamples) {
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

TEST_F(RecordMessages, DeclinedIndexesKeepTheNumbersOfTheOthers) {
  FillAll(store, 4, {1, 3, 4});  // index 4 lies beyond the count and is never asked for
  for (const auto& [task, tag] : kRecordTasks) {
    out.clear();
    EXPECT_TRUE(Run(task)) << task;
    ASSERT_EQ(out.size(), 2u) << task;
    EXPECT_NE(out[0].find("</Node><" + tag + ">2</"), std::string::npos) << out[0];
    EXPECT_NE(out[1].find("</Node><" + tag + ">4</"), std::string::npos) << out[1];
  }
}

TEST_F(RecordMessages, NoCountOrBadAddressSendsNothingAndSucceeds) {
  for (int count : {0, -1, -32768}) {
    FillAll(store, static_cast<std::int16_t>(count), {0});
    for (const auto& row : kRecordTasks)
      EXPECT_TRUE(Run(row.task)) << row.task;
  }
  FillAll(store, 1, {0});
  for (int task : {163, 164, 167, 170, 171, 172, 173, 174, 177}) {
    EXPECT_TRUE(Run(task, 0, 2)) << task;
    EXPECT_TRUE(Run(task, 1, -1)) << task;
  }
  EXPECT_TRUE(out.empty());
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
