#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <optional>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSToolEnum.h>

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

  copy.Clear();
  EXPECT_EQ(copy.Name, "");
  EXPECT_EQ(copy.DLan, 0);
}

TEST(Store, TimeZonesAreAskedFromOne) {
  CSDevice_TimeZone zones;
  zones.Set(1, CSDevice_TimeZoneItem{.ZoneNo = 4});
  zones.Set(3, CSDevice_TimeZoneItem{.ZoneNo = 6});
  EXPECT_EQ(zones.GetRecordCount(), 3);
  CSDevice_TimeZoneItem item;
  EXPECT_FALSE(zones.GetItem2Send(0, item));
  EXPECT_TRUE(zones.GetItem2Send(1, item));
  EXPECT_EQ(item.ZoneNo, 4);
  EXPECT_FALSE(zones.GetItem2Send(2, item));
  EXPECT_TRUE(zones.GetItem2Send(3, item));
  EXPECT_EQ(item.ZoneNo, 6);
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
}

TEST(Store, ResourceCountsAndFlagsHaveMaxTwins) {
  CSDevice_Resource resource;
  resource.SetInputs(-5);
  resource.SetMaxInputs(64);
  resource.SetCards(100000);
  resource.SetFunctionsAPB(true);
  EXPECT_EQ(resource.GetInputs(), -5);
  EXPECT_EQ(resource.GetMaxInputs(), 64);
  EXPECT_EQ(resource.GetCards(), 100000);
  EXPECT_TRUE(resource.IsFunctionsAPB());
  EXPECT_FALSE(resource.IsMaxFunctionsAPB());
  resource.Clear();
  EXPECT_EQ(resource.GetInputs(), 0);
}

TEST(Store, InstallingAStore) {
  CSApplicationManagerStd mine;
  CSApplicationManagerStd* own = gl_SetApplicationManagerStd(&mine);
  EXPECT_EQ(gl_GetApplicationManagerStd(), &mine);
  EXPECT_EQ(gl_SetApplicationManagerStd(nullptr), &mine);
  EXPECT_EQ(gl_GetApplicationManagerStd(), own);
}

TEST(ToolEnum, TextsByValueAndReplacement) {
  CSToolEnum service;
  CSToolEnumBase* alarm = service.GetAlarm();
  EXPECT_EQ(alarm->EnumToString(0), "None");
  EXPECT_EQ(alarm->EnumToString(99), "");
  EXPECT_EQ(alarm->EnumToString(-1), "");
  alarm->SetText(-1, "Minus");
  alarm->SetText(100000, "Far");
  alarm->SetText(0, "Nothing");
  EXPECT_EQ(alarm->EnumToString(-1), "Minus");
  EXPECT_EQ(alarm->EnumToString(100000), "Far");
  EXPECT_EQ(alarm->EnumToString(0), "Nothing");
  EXPECT_EQ(alarm->Values(), (std::vector<int>{-1, 0, 1, 2, 3, 4, 100000}));
  // Enumerations are independent of each other.
  EXPECT_EQ(service.GetInputType()->EnumToString(0), "Unused");
}

TEST(ToolEnum, EveryEnumerationHasANameThatFindsIt) {
  for (std::size_t i = 0; i < kToolEnumCount; ++i) {
    const auto id = static_cast<CSToolEnumId>(i);
    EXPECT_EQ(CSToolEnum::FindByName(CSToolEnum::Name(id)), id);
  }
  EXPECT_EQ(CSToolEnum::FindByName("GetAlarm"), std::nullopt);
  EXPECT_EQ(CSToolEnum::Name(CSToolEnumId::XTRA_VORAN_Mode), "XTRA_VORAN_Mode");
}

// A wrong index from a host or a site file never writes outside a container: positions below
// the first one land on the first position, and nothing grows for them.
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

TEST(ToolEnum, ValuesWithoutTextAndTheOwnService) {
  CSToolEnum service;
  CSToolEnumBase* level = service.GetLevel();  // built-in texts for 1 to 5 only
  level->SetText(9, "Nine");
  for (int value : {0, 6, 8, 10, 255, 256, -2})
    EXPECT_EQ(level->EnumToString(value), "") << value;
  EXPECT_EQ(level->Values(), (std::vector<int>{1, 2, 3, 4, 5, 9}));

  // With no service installed the library's own, with the built-in texts, answers.
  CSToolEnum* previous = gl_SetToolEnum(nullptr);
  CSToolEnum* own = gl_fn_GetToolEnum();
  EXPECT_EQ(own->GetAlarm()->EnumToString(1), "Low");
  EXPECT_EQ(gl_SetToolEnum(previous), own);
}

TEST(ClockSource, InstalledSourceOrTheMachineClock) {
  std::tm fixed{};
  fixed.tm_year = 126;
  fixed.tm_mday = 31;
  gl_SetClockSource(FixedClock(fixed));
  const std::optional<std::tm> read = gl_ReadLocalTime();
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->tm_year, 126);
  EXPECT_EQ(read->tm_mday, 31);

  gl_SetClockSource([] { return std::optional<std::tm>(); });
  EXPECT_FALSE(gl_ReadLocalTime().has_value());

  gl_SetClockSource({});  // the machine's own clock again
  const std::time_t before = std::time(nullptr);
  std::optional<std::tm> now = gl_ReadLocalTime();
  ASSERT_TRUE(now.has_value());
  EXPECT_LE(std::abs(std::difftime(std::mktime(&*now), before)), 2.0);
}

}  // namespace
}  // namespace ssmsg
