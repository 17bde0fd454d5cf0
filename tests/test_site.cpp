#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <ssmsg/Site.h>
#include <ssmsg/SiteSettings.h>

#include "memory_site.h"
#include "site/Findings.h"
#include "site/SiteData.h"
#include "site/file/SiteFileWriter.h"
#include "site_support.h"
#include "support.h"
#include "tests/store_filler.h"

namespace ssmsg {
namespace {

using test::ReadFile;

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

// A path holds six steps, the last a key or an index; a step more throws before the path changes,
// also when only the index of a key and index would not fit.
TEST(SitePath, HoldsSixStepsAndRefusesMore) {
  SitePath path("TimeGroups", 1);
  path.Add("Zones", 0).Add("Zone");
  EXPECT_THROW(path.Add("Day", 0), std::length_error);
  EXPECT_EQ(path.Text(), "TimeGroups[1].Zones[0].Zone");
  path.Add("Day");
  EXPECT_EQ(path.Text(), "TimeGroups[1].Zones[0].Zone.Day");
  EXPECT_THROW(path.Add("More"), std::length_error);
  EXPECT_THROW((void)path.Then("More"), std::length_error);
  EXPECT_EQ(path.size(), SitePath::kMaxSteps);
}

// Every bad site file gives exactly the errors of its .err file, and no site: the ordinary
// mistakes in bad/, and in hostile/ files made to break a reader (cut short, nested a hundred
// thousand deep, numbers and names far too large, bytes that are not UTF-8).
TEST(SiteLoader, BadFilesGiveTheirErrors) {
  for (const auto& [folderName, least] : {std::pair{"bad", 15}, std::pair{"hostile", 12}}) {
    const std::filesystem::path folder = std::filesystem::path(SSMSG_TEST_SITES) / folderName;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".json") continue;
      ++files;
      const std::string name = entry.path().filename().string();
      const CSS_SiteLoadResult result = LoadSiteText(ReadFile(entry.path()), name);
      EXPECT_FALSE(result.site.has_value()) << name;
      EXPECT_EQ(Lines(result.errors),
                ReadFile(std::filesystem::path(entry.path()).replace_extension(".err")))
          << name;
    }
    EXPECT_GE(files, least) << folderName;
  }
}

TEST(SiteLoader, UnreadableFileIsAnError) {
  const CSS_SiteLoadResult result = LoadSite("no/such/site.json");
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_EQ(result.errors[0], "no/such/site.json: cannot read the file: No such file or directory");
  EXPECT_TRUE(result.unreadable);
}

// A NUL byte is an error wherever it lies, however the file is read: on one thread or on two
// (past 16 MB), at the edge of a piece that the reader searches or in the second thread's half.
TEST(SiteLoader, NulBytesAreFoundWhereverTheReadPutsThem) {
  const std::string head = R"({"Controllers": [{"Interface": 1, "Node": 2}]})";
  std::string text = head + std::string((std::size_t{17} << 20) - head.size(), ' ');
  // A name of this process's own: other test runs may share the folder.
  const std::filesystem::path file = std::filesystem::path(testing::TempDir()) /
                                     ("ssmsg-nul-site." + std::to_string(getpid()) + ".json");
  for (const std::size_t at : {std::size_t{0}, head.size() + 3, (std::size_t{1} << 20) - 1,
                               std::size_t{1} << 20, text.size() / 2 + 5, text.size() - 1}) {
    std::string bytes = text;
    bytes[at] = '\0';
    std::ofstream(file, std::ios::binary) << bytes;
    const std::vector<std::string> expected = LoadSiteText(bytes, file.string()).errors;
    ASSERT_EQ(expected.size(), 1u) << at;
    for (const unsigned jobs : {1u, 2u}) {
      const CSS_SiteLoadResult result = LoadSite(file, jobs);
      EXPECT_FALSE(result.site.has_value()) << at << " jobs " << jobs;
      EXPECT_EQ(result.errors, expected) << at << " jobs " << jobs;
    }
  }
  std::ofstream(file, std::ios::binary) << text;
  for (const unsigned jobs : {1u, 2u}) {
    const CSS_SiteLoadResult result = LoadSite(file, jobs);
    ASSERT_TRUE(result.site.has_value()) << Lines(result.errors);
    EXPECT_EQ(result.site->ControllerCount(), 1u);
  }
  std::filesystem::remove(file);
}

using test::LoadOk;

// Which records each container hands out: positional lists, null and missing sub-records
// declined, time zones from 1, a group's zones in that group, and counts that default to the
// list lengths.
TEST(SiteLoader, StoreHandsOutWhatTheFileHolds) {
  const CSS_Site site = LoadOk(R"({"Controllers": [{
    "Interface": 3, "Node": 0, "Name": "Head Office Main Entrance",
    "Resource": {"Outputs": 1, "TimeGroups": 5},
    "Config": {"LockSize": 4294967295, "DbSize": -2147483648, "PINEnabled": true},
    "Holidays": [{"Month": 12, "Day": 25}, null],
    "TimeZones": [{"ZoneNo": 4, "StartHour": 7}, null, {"ZoneNo": 6}],
    "Inputs": [
      {"Name": "Door", "Type": 1, "EOL": true, "Time": {"Debounce": -5, "LevelTGs": [1, 2, 3, 4, 5]}},
      null,
      {"Name": "Button"},
      {"Link": {"EnabledLevelInput": 255, "AlarmSleepRef": -1}}
    ],
    "Outputs": [{"EnableIn_L": 7, "ControlOut": 9}, {"Time": {"Pulse": 20}}],
    "Readers": [{"AccessAlarm": {"OKRef": 3, "Duress": 2}}],
    "TimeGroups": [null, {"Zones": [{"ZoneNo": 9}, {"ZoneNo": 1, "Sunday": true}]}, {}]
  }]})");
  ASSERT_EQ(site.ControllerCount(), 1u);
  EXPECT_EQ(site.Address(0), (CSS_ControllerAddress{3, 0}));

  CSApplicationManagerStd store;
  store.GetFLan_Setup().Set(0, {.FLAN_Node = 1, .Type = 1});  // replaced by the load
  site.LoadController(0, store);
  EXPECT_EQ(store.GetFLan_Setup().GetRecordCount(), 0);

  const CSDevice_Resource& resource = store.GetResource();
  EXPECT_EQ(resource.GetInputs(), 4);
  EXPECT_EQ(resource.GetOutputs(), 1);  // given, shorter than the list
  EXPECT_EQ(resource.GetReaders(), 1);
  EXPECT_EQ(resource.GetTimeZones(), 3);
  EXPECT_EQ(resource.GetTimeGroups(), 5);  // given, longer than the list
  EXPECT_EQ(resource.GetComms(), 0);
  EXPECT_EQ(store.GetConfig().Name, "Head Office Main Entrance");
  EXPECT_EQ(store.GetConfig().LockSize, 4294967295u);
  EXPECT_EQ(store.GetConfig().DbSize, -2147483647 - 1);
  EXPECT_EQ(store.GetConfig().PINEnabled, 1);
  EXPECT_EQ(store.GetHoliday().GetRecordCount(), 2);

  const auto handedOut = [](const auto& container, int first, int last) {
    std::vector<int> indexes;
    typename std::remove_cvref_t<decltype(container)>::Item item;
    for (int index = first; index <= last; ++index) {
      if (container.GetItem2Send(index, item)) indexes.push_back(index);
    }
    return indexes;
  };
  EXPECT_EQ(handedOut(store.GetInputType(), -1, 5), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(handedOut(store.GetInputTime(), -1, 5), (std::vector<int>{0}));
  EXPECT_EQ(handedOut(store.GetInputLink(), -1, 5), (std::vector<int>{3}));
  EXPECT_EQ(handedOut(store.GetOutputType(), -1, 3), (std::vector<int>{0, 1}));
  EXPECT_EQ(handedOut(store.GetOutputTime(), -1, 3), (std::vector<int>{1}));
  EXPECT_EQ(handedOut(store.GetRdConfiguration(), -1, 2), (std::vector<int>{0}));
  EXPECT_EQ(handedOut(store.GetRdAccessAlarm(), -1, 2), (std::vector<int>{0}));
  EXPECT_EQ(handedOut(store.GetRdCardControl(), -1, 2), (std::vector<int>{}));
  EXPECT_EQ(handedOut(store.GetTimeZone(), -1, 5), (std::vector<int>{1, 3}));
  EXPECT_EQ(handedOut(store.GetHoliday(), -1, 3), (std::vector<int>{0}));

  CSDevice_TimeZoneItem zone;
  ASSERT_TRUE(store.GetTimeZone().GetItem2Send(1, zone));
  EXPECT_EQ(zone.ZoneNo, 4);
  EXPECT_EQ(zone.StartHour, 7);

  const CSDevice_TimeGroupZone& groups = store.GetTimeGroupZone();
  EXPECT_EQ(groups.FindGroup(1), nullptr);
  ASSERT_NE(groups.FindGroup(3), nullptr);
  EXPECT_TRUE(groups.FindGroup(3)->empty());
  ASSERT_NE(groups.FindGroup(2), nullptr);
  const std::vector<CSDevice_TimeGroupZoneItem>& zones = *groups.FindGroup(2);
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_EQ(zones[0].ZoneNo, 9);
  EXPECT_EQ(zones[1].TimeGroupNo, 2);
  EXPECT_EQ(zones[1].Sunday, 1);
  EXPECT_EQ(zones[1].Monday, 0);
}

// A byte order mark, escapes and -0 load as they always did, and each controller's records come
// from its own part of the file.
TEST(SiteLoader, ControllersLoadFromTheirOwnPartOfTheFile) {
  const CSS_Site site = LoadOk(
      "\xEF\xBB\xBF"
      R"({"Controllers": [
    {"Interface": 1, "Node": -0, "Name": "A\u00e9\"", "Holidays": [{"Month": -0, "Day": 3}]},
    {"Node": 7, "Interface": 2, "Config": {"DbMode": 5}}], "Enums": {}})");
  ASSERT_EQ(site.ControllerCount(), 2u);
  EXPECT_EQ(site.Address(0), (CSS_ControllerAddress{1, 0}));
  EXPECT_EQ(site.Address(1), (CSS_ControllerAddress{2, 7}));
  CSApplicationManagerStd store;
  site.LoadController(0, store);
  EXPECT_EQ(store.GetConfig().Name, "A\xC3\xA9\"");
  ASSERT_NE(store.GetHoliday().Find(0), nullptr);
  EXPECT_EQ(store.GetHoliday().Find(0)->Day, 3);
  site.LoadController(1, store);
  EXPECT_EQ(store.GetConfig().DbMode, 5);
  EXPECT_EQ(store.GetConfig().Name, "");
  EXPECT_EQ(store.GetHoliday().GetRecordCount(), 0);
}

TEST(SiteLoader, WarningsForTextlessValuesAndRecordsNeverSent) {
  const CSS_Site site = LoadOk(R"({"Enums": {"Alarm": {"2": ""}}, "Controllers": [
    {"Interface": 1, "Node": 1,
     "Inputs": [{"Type": 9, "Link": {"AlarmIn": 2}}, {"Type": 9}, {"Time": {"LevelTGs": [0, 0, 0, 0, 0]}}]},
    {"Interface": 1, "Node": 2, "Resource": {"Inputs": 1, "TimeZones": 9, "TimeGroups": 1},
     "Inputs": [{}, null, {}, {}],
     "TimeGroups": [{"Zones": [{"ZoneNo": 16}, {"ZoneNo": 17}, {"ZoneNo": 0}]}, {}]}
  ]})");
  CSToolEnum service;
  service.GetLevel()->SetText(4, "");
  site.LoadEnumTexts(service);
  EXPECT_EQ(Lines(site.Warnings(service)),
            "site.json: Controllers[0].Inputs[0].Type: InputType value 9 has no text\n"
            "site.json: Controllers[0].Inputs[0].Link.AlarmIn: Alarm value 2 has no text\n"
            "site.json: Controllers[0].Inputs[2].Time.LevelTGs: Level value 4 has no text\n"
            "site.json: Controllers[1].Inputs[2]: 2 records from here on lie beyond "
            "Resource.Inputs (1) and are never sent\n"
            "site.json: Controllers[1].TimeGroups[1]: 1 record lies beyond Resource.TimeGroups "
            "(1) and is never sent\n"
            "site.json: Controllers[1].TimeGroups[0].Zones[0].ZoneNo: zone 16 is not a time zone "
            "of the controller\n"
            "site.json: Controllers[1].TimeGroups[0].Zones[1].ZoneNo: zone 17 lies outside the "
            "blocks of Resource.TimeZones (9) and is never sent\n"
            "site.json: Controllers[1].TimeGroups[0].Zones[2].ZoneNo: zone 0 lies outside the "
            "blocks of Resource.TimeZones (9) and is never sent\n");
}

// Values that mean nothing to a controller, and time zones and groups that it does not have, are
// kept and warned of by record and field; the values at the edges of what makes sense are not.
TEST(SiteLoader, ValuesThatMeanNothingAreWarnedOfAndTheirEdgesAreNot) {
  const std::string zones = R"("TimeZones": [{"ZoneNo": 1}, {"ZoneNo": 2}, {"ZoneNo": 3}])";
  const struct {
    std::string records;
    std::string warnings;
  } cases[] = {
      {R"("TimeZones": [{"ZoneNo": 1, "StartHour": 0, "StartMinute": 0, "EndHour": 23,
          "EndMinute": 59}])",
       ""},
      {R"("TimeZones": [{"StartHour": 24, "StartMinute": 60, "EndHour": -1, "EndMinute": 75}])",
       "TimeZones[0].StartHour: 24 is not an hour (0..23)\n"
       "TimeZones[0].StartMinute: 60 is not a minute (0..59)\n"
       "TimeZones[0].EndHour: -1 is not an hour (0..23)\n"
       "TimeZones[0].EndMinute: 75 is not a minute (0..59)\n"},
      {R"("Holidays": [{"Month": 1, "Day": 1}, {"Month": 2, "Day": 29}, {"Month": 12, "Day": 31}])",
       ""},
      {R"("Holidays": [{"Month": 0, "Day": 1}, {"Month": 13, "Day": 1}, {"Month": 1, "Day": 0},
          {"Month": 2, "Day": 30}, {"Month": 4, "Day": 31}, {"Month": 1, "Day": 32}])",
       "Holidays[0].Month: 0 is not a month (1..12)\n"
       "Holidays[1].Month: 13 is not a month (1..12)\n"
       "Holidays[2].Day: 0 is not a day of a month (1..31)\n"
       "Holidays[3].Day: 30 is past the end of month 2 (29 days)\n"
       "Holidays[4].Day: 31 is past the end of month 4 (30 days)\n"
       "Holidays[5].Day: 32 is not a day of a month (1..31)\n"},
      {zones + R"(, "Inputs": [{"Time": {"LevelTGs": [1, 0, 0, 0, 0]}}],
          "TimeGroups": [{"Zones": [{"ZoneNo": 1}, {"ZoneNo": 3}]}])",
       ""},
      {R"("TimeZones": [{"ZoneNo": 1}, {"ZoneNo": 5}], "Resource": {"TimeZones": 1,
          "TimeGroups": 1}, "TimeGroups": [{"Zones": [{"ZoneNo": 5}, {"ZoneNo": 2}]}, {}],
          "Inputs": [{"Time": {"LevelTGs": [2, 1, -1, 0, 3]}}])",
       "TimeZones[1]: 1 record lies beyond Resource.TimeZones (1) and is never sent\n"
       "TimeGroups[1]: 1 record lies beyond Resource.TimeGroups (1) and is never sent\n"
       "TimeGroups[0].Zones[0].ZoneNo: zone 5 is not a time zone of the controller\n"
       "TimeGroups[0].Zones[1].ZoneNo: zone 2 is not a time zone of the controller\n"
       "Inputs[0].Time.LevelTGs[0]: time group 2 is not a time group of the controller\n"
       "Inputs[0].Time.LevelTGs[2]: time group -1 is not a time group of the controller\n"
       "Inputs[0].Time.LevelTGs[4]: time group 3 is not a time group of the controller\n"},
  };
  for (const auto& c : cases) {
    const CSS_Site site =
        LoadOk(R"({"Controllers": [{"Interface": 1, "Node": 1, )" + c.records + "}]}");
    CSToolEnum service;
    std::string lines;
    for (const std::string& line : site.Warnings(service))
      lines += line.substr(line.find("].") + 2) + "\n";
    EXPECT_EQ(lines, c.warnings) << c.records;
  }
}

// What the writer writes loads back into a site that makes the same messages, and writing that
// again gives the same text: random controllers, with declined records, counts above and below
// their lists, and texts that need escaping.
TEST(SiteWriter, WrittenSitesLoadBackToTheSameMessages) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    auto data = std::make_unique<test::MemorySite>();
    test::RandomSource source(seed);
    for (int node = 0; node < 3; ++node) {
      CSS_SiteController& controller = data->controllers.emplace_back();
      controller.address = {1 + node % 2, node};
      test::FillStore(source, controller.store);
      test::DropOrphans(controller.store);
      controller.store.GetConfig().Name = "Gate \"" + source.Text() + "\\";
    }
    data->enumTexts = {{CSToolEnumId::InputType, 6, "Intercom \"B\""},
                       {CSToolEnumId::Alarm, -3, ""},
                       {CSToolEnumId::InputType, 6, "Intercom"}};
    const std::string text = data->Json();
    const CSS_Site original = data->Make();
    const CSS_SiteLoadResult loaded = LoadSiteText(text, "written.json");
    ASSERT_TRUE(loaded.site.has_value()) << Lines(loaded.errors) << text;
    EXPECT_TRUE(loaded.site->ToJson() == text) << "seed " << seed;
    EXPECT_EQ(test::SiteMessages(*loaded.site, {.time = test::kFixedTime}),
              test::SiteMessages(original, {.time = test::kFixedTime}))
        << "seed " << seed;
    // A sink that refuses a controller's piece ends the writing there, and the writing says so.
    int pieces = 0;
    EXPECT_FALSE(original.WriteJson([&pieces](std::string_view) { return ++pieces < 2; }, 2));
    EXPECT_EQ(pieces, 2);
  }
}

}  // namespace
}  // namespace ssmsg
