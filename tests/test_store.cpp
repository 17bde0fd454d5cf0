#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSToolEnum.h>

#include "tests/store_filler.h"

namespace ssmsg {
namespace {

TEST(Store, ContainersHandOutOnlyStoredRecords) {
  CSDevice_InputType inputs;
  CSDevice_InputTypeItem item;
  item.Name = "Door";
  item.DLan = -3;
  inputs.Set(2, item);
  inputs.Append(std::nullopt);
  EXPECT_EQ(inputs.GetRecordCount(), 4);

  CSDevice_InputTypeItem copy;
  copy.Name = "stale";
  for (int index : {-1, 0, 1, 3, 4, 1 << 30}) {
    EXPECT_FALSE(inputs.GetItem2Send(index, copy)) << index;
    EXPECT_EQ(copy.Name, "stale");
  }
  ASSERT_TRUE(inputs.GetItem2Send(2, copy));
  EXPECT_EQ(copy.Name, "Door");
  EXPECT_EQ(copy.DLan, -3);
}

TEST(Store, TimeGroupBlocksHoldZonesByNumber) {
  CSDevice_TimeGroupZone groups;
  std::vector<CSDevice_TimeGroupZoneItem> zones;
  for (int zone : {9, 1, 8, 16, 17, -2, 8}) {
    zones.push_back({.ZoneNo = static_cast<std::int16_t>(zone)});
  }
  groups.SetGroup(2, zones);  // group 1 is declined

  CSDevice_TimeGroupZone::ItemList list;
  EXPECT_FALSE(groups.GetItems2Send(1, 1, list));
  EXPECT_FALSE(groups.GetItems2Send(3, 1, list));
  EXPECT_FALSE(groups.GetItems2Send(0, 1, list));
  EXPECT_TRUE(list.empty());

  const auto numbers = [&](int first) {
    list.clear();
    EXPECT_TRUE(groups.GetItems2Send(2, first, list));
    std::vector<int> result;
    for (const auto* item : list)
      result.push_back(item->ZoneNo);
    return result;
  };
  EXPECT_EQ(numbers(1), (std::vector<int>{1, 8, 8}));
  EXPECT_EQ(numbers(9), (std::vector<int>{9, 16}));
  EXPECT_EQ(numbers(17), (std::vector<int>{17}));
  EXPECT_EQ(numbers(25), (std::vector<int>{}));
  EXPECT_EQ(groups.GetRecordCount(), 2);

  groups.SetCurrentTimeGroupNo(2);
  groups.Clear();
  EXPECT_EQ(groups.GetRecordCount(), 0);
  EXPECT_EQ(groups.GetCurrentTimeGroupNo(), 0);
}

// A cleared record holds zero, false or the empty text in every field: what a field that a site
// file leaves out takes, and what a record loop's copy starts from before every fetch. A
// cleared set of capability counts is all zero.
template <class... Records>
void ExpectClearedToZero(test::RandomSource& source) {
  const auto check = [&source](auto record) {
    test::FillFields(source, record);
    record.Clear();
    for (const CSS_FieldInfo& info : kRecordFieldInfos<decltype(record)>) {
      if (info.kind == CSS_FieldKind::Text) {
        EXPECT_EQ(info.text(&record), "") << info.name;
      } else {
        EXPECT_EQ(info.get(&record), 0) << info.name;
      }
    }
  };
  (check(Records{}), ...);
}

TEST(Store, ClearedRecordsHoldZeroesAndEmptyTexts) {
  test::RandomSource source(5);
  ExpectClearedToZero<CSDevice_Config, CSDevice_XTRA, CSDevice_FLanSetupItem, CSDevice_PortItem,
                      CSDevice_HolidayItem, CSDevice_TimeZoneItem, CSDevice_TimeGroupZoneItem,
                      CSDevice_InputTypeItem, CSDevice_InputTimeItem, CSDevice_InputLinkItem,
                      CSDevice_OutputTypeItem, CSDevice_OutputTimeItem,
                      CSDevice_RdConfigurationItem, CSDevice_RdCardControlItem,
                      CSDevice_RdCardLocationItem, CSDevice_RdCardStructureItem,
                      CSDevice_RdAccessAlarmItem>(source);
  CSDevice_Resource resource;
  test::FillFields(source, resource);
  resource.Clear();
#define SSMSG_EXPECT_CLEARED(name, type) \
  EXPECT_EQ(resource.Get##name() | resource.GetMax##name(), 0) << #name;
  SSMSG_RESOURCE_COUNTS(SSMSG_EXPECT_CLEARED)
#undef SSMSG_EXPECT_CLEARED
}

TEST(Store, InstallingAStore) {
  CSApplicationManagerStd mine;
  CSApplicationManagerStd* own = gl_SetApplicationManagerStd(&mine);
  EXPECT_EQ(gl_GetApplicationManagerStd(), &mine);
  EXPECT_EQ(gl_SetApplicationManagerStd(nullptr), &mine);
  EXPECT_EQ(gl_GetApplicationManagerStd(), own);
}

// The built-in texts of every enumeration, against the reviewed list "Enumeration value text"
// in tests/golden/builtin_enum_texts.txt: each is what goes on the wire for its value.
TEST(ToolEnum, BuiltInTextsAreTheReviewedOnes) {
  CSToolEnum service;
  std::vector<std::string> listed;
  for (std::size_t i = 0; i < kToolEnumCount; ++i) {
    const auto id = static_cast<CSToolEnumId>(i);
    for (const int value : service.Get(id)->Values()) {
      listed.push_back(std::string(CSToolEnum::Name(id)) + " " + std::to_string(value) + " " +
                       std::string(service.Get(id)->EnumToString(value)));
    }
  }
  std::ifstream file(SSMSG_TEST_SITES "/../golden/builtin_enum_texts.txt");
  std::vector<std::string> reviewed;
  for (std::string line; std::getline(file, line);)
    reviewed.push_back(line);
  EXPECT_EQ(listed, reviewed);
}

// Texts replace, or add to, those of one enumeration only; values without a text have the empty
// one, also beyond the values kept by position.
TEST(ToolEnum, TextsByValueAndReplacement) {
  CSToolEnum service;
  CSToolEnumBase* alarm = service.GetAlarm();
  alarm->SetText(-1, "Minus");
  alarm->SetText(100000, "Far");
  alarm->SetText(0, "Nothing");
  alarm->SetText(9, "Nine");
  alarm->SetText(300, "");
  const std::pair<int, const char*> texts[] = {
      {-1, "Minus"}, {100000, "Far"}, {0, "Nothing"}, {1, "Low"}, {9, "Nine"}, {300, ""},
      {-2, ""},      {5, ""},         {8, ""},        {10, ""},   {255, ""},   {256, ""}};
  for (const auto& [value, text] : texts)
    EXPECT_EQ(alarm->EnumToString(value), text) << value;
  EXPECT_EQ(alarm->Values(), (std::vector<int>{-1, 0, 1, 2, 3, 4, 9, 300, 100000}));
  EXPECT_EQ(service.GetInputType()->EnumToString(0), "Unused");

  // With no service installed the library's own, with the built-in texts, answers.
  CSToolEnum* previous = gl_SetToolEnum(nullptr);
  CSToolEnum* own = gl_fn_GetToolEnum();
  EXPECT_EQ(own->GetAlarm()->EnumToString(1), "Low");
  EXPECT_EQ(gl_SetToolEnum(previous), own);
}

TEST(Store, WritesBelowTheFirstIndexLandOnTheFirstPosition) {
  CSDevice_InputType inputs;
  inputs.Set(-5, {.DLan = 1});
  inputs.Set(std::numeric_limits<int>::min(), {.DLan = 2});
  EXPECT_EQ(inputs.GetRecordCount(), 1);
  ASSERT_NE(inputs.Find(0), nullptr);
  EXPECT_EQ(inputs.Find(0)->DLan, 2);
  inputs.Decline(-1);
  EXPECT_EQ(inputs.Find(0), nullptr);
  EXPECT_EQ(inputs.Find(1), nullptr);
  EXPECT_EQ(inputs.GetRecordCount(), 1);

  CSDevice_TimeZone zones;  // asked from 1: index 0 is below the first
  zones.Set(0, {.ZoneNo = 3});
  ASSERT_NE(zones.Find(1), nullptr);
  EXPECT_EQ(zones.Find(1)->ZoneNo, 3);
  EXPECT_EQ(zones.GetRecordCount(), 1);

  CSDevice_TimeGroupZone groups;
  groups.SetGroup(3, {});
  groups.SetGroup(-7, {{.ZoneNo = 4}});
  EXPECT_EQ(groups.GetRecordCount(), 3);
  ASSERT_NE(groups.FindGroup(1), nullptr);
  EXPECT_EQ(groups.FindGroup(1)->front().ZoneNo, 4);
}

// With no source installed, the clock is the machine's own.
TEST(ClockSource, MachineClockByDefault) {
  gl_SetClockSource({});
  const std::time_t before = std::time(nullptr);
  std::optional<std::tm> now = gl_ReadLocalTime();
  ASSERT_TRUE(now.has_value());
  EXPECT_LE(std::abs(std::difftime(std::mktime(&*now), before)), 2.0);
}

}  // namespace
}  // namespace ssmsg
