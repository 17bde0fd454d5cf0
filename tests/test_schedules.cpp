#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using Schedules = StoreTest;

TEST_F(Schedules, HolidaysAreNumberedByPositionLeavingGaps) {
  store.GetHoliday().Set(0, {.Month = 12, .Day = 25});
  store.GetHoliday().Decline(1);
  store.GetHoliday().Set(2, {.Month = 1, .Day = -1});
  ASSERT_TRUE(Run(153));
  store.GetHoliday().Clear();
  ASSERT_TRUE(Run(153));
  EXPECT_EQ(out, (CSS_StringList{
                     Msg("Groups", "HolidayClearAll"),
                     Msg("Groups", "HolidaySetup",
                         "<HolidayNumber>1</HolidayNumber><Month>12</Month><Day>25</Day>"),
                     Msg("Groups", "HolidaySetup",
                         "<HolidayNumber>3</HolidayNumber><Month>1</Month><Day>-1</Day>"),
                     Msg("Groups", "HolidayClearAll"),
                 }));
}

// Time zones are asked for with indexes 1 to the controller's time-zone count.
TEST_F(Schedules, TimeZonesFromIndexOneToTheCapacity) {
  store.GetTimeZone().Set(2, {.ZoneNo = 4, .StartHour = 8, .EndHour = 17, .EndMinute = 30});
  store.GetTimeZone().Set(3, {.ZoneNo = 9, .StartMinute = -1});
  store.GetTimeZone().Set(4, {.ZoneNo = 5});  // beyond the capacity
  for (int capacity : {3, 0, -3}) {
    store.GetResource().SetTimeZones(static_cast<std::int16_t>(capacity));
    ASSERT_TRUE(Run(155));
  }
  EXPECT_EQ(out, (CSS_StringList{
                     Msg("Groups", "TimeZoneClearAll"),
                     Msg("Groups", "TimeZoneSetup",
                         "<ZoneNo>4</ZoneNo><StartHour>8</StartHour><StartMinute>0</StartMinute>"
                         "<EndHour>17</EndHour><EndMinute>30</EndMinute>"),
                     Msg("Groups", "TimeZoneSetup",
                         "<ZoneNo>9</ZoneNo><StartHour>0</StartHour><StartMinute>-1</StartMinute>"
                         "<EndHour>0</EndHour><EndMinute>0</EndMinute>"),
                     Msg("Groups", "TimeZoneClearAll"),
                     Msg("Groups", "TimeZoneClearAll"),
                 }));
}

CSDevice_TimeGroupZoneItem Zone(int number) {
  return {.ZoneNo = static_cast<std::int16_t>(number)};
}

// Each group is fetched in blocks of eight zone numbers up to the time-zone count; a block with
// no zone or more than eight gives no message, and a declined group none at all.
TEST_F(Schedules, TimeGroupsWalkBlocksOfEightZones) {
  std::vector<CSDevice_TimeGroupZoneItem> eight;
  for (int z = 1; z <= 8; ++z)
    eight.push_back(Zone(z));
  std::vector<CSDevice_TimeGroupZoneItem> nine = eight;
  nine.push_back(Zone(3));
  store.GetTimeGroupZone().SetGroup(1, {Zone(1), Zone(9), Zone(16), Zone(17), Zone(20), Zone(25)});
  store.GetTimeGroupZone().SetGroup(3, nine);  // group 2 is declined
  store.GetTimeGroupZone().SetGroup(4, eight);
  const std::vector<int> all8 = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::string kNoDays =
      "<Monday>False</Monday><Tuesday>False</Tuesday><Wednesday>False</Wednesday><Thursday>False"
      "</Thursday><Friday>False</Friday><Saturday>False</Saturday><Sunday>False</Sunday>"
      "<Holiday>False</Holiday>";
  const std::tuple<std::int16_t, std::int16_t, std::vector<std::pair<int, std::vector<int>>>>
      cases[] = {{4, 20, {{1, {1}}, {1, {9, 16}}, {1, {17, 20}}, {4, all8}}},
                 {4, 16, {{1, {1}}, {1, {9, 16}}, {4, all8}}},
                 {3, 1, {{1, {1}}}},
                 {4, 0, {}},
                 {4, -8, {}},
                 {0, 20, {}},
                 {-1, 20, {}}};
  for (const auto& [groups, zones, messages] : cases) {
    store.GetResource().SetTimeGroups(groups), store.GetResource().SetTimeZones(zones);
    out.clear();
    ASSERT_TRUE(Run(154));
    CSS_StringList expected{Msg("Groups", "TimeGroupClearAll")};
    for (const auto& [group, numbers] : messages) {
      std::string params = "<Group>" + std::to_string(group) + "</Group><Zones>";
      for (int z : numbers) {
        params += "<Zone><ZoneNo>" + std::to_string(z) + "</ZoneNo>" + kNoDays + "</Zone>";
      }
      expected.push_back(Msg("Groups", "TimeGroupSetup", params + "</Zones>"));
    }
    EXPECT_EQ(out, expected) << groups << " groups, " << zones << " zones";
  }
}

}  // namespace
}  // namespace ssmsg::test
