// Import: the site file written from a stream of settings messages makes the same messages again,
// for generated sites and the demo site and any task list without the clock; clear messages
// empty their own task only; enumeration texts find their values; bad lines are reported.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <ssmsg/Import.h>
#include <ssmsg/SiteSettings.h>
#include "core/ErrorCap.h"
#include "memory_site.h"
#include "site/SiteData.h"
#include "site/file/SiteFileWriter.h"
#include "site_support.h"
#include "support.h"
#include "tests/store_filler.h"

namespace ssmsg {
namespace {

using Tasks = std::vector<ApplicationManagerTask>;

// The messages that `ssmsg settings --task tasks` writes for `site`.
std::vector<std::string> Settings(const CSS_Site& site, const Tasks& tasks) {
  return test::SiteMessages(site, {.tasks = tasks});
}

struct Imported {
  std::string site;
  std::vector<std::string> errors;
  std::vector<std::string> notes;
};

Imported Import(const std::vector<std::string>& lines, const CSS_Site* enumsFrom = nullptr) {
  CSS_Import importer({.enumsFrom = enumsFrom});
  for (std::size_t i = 0; i < lines.size(); ++i)
    importer.AddLine(lines[i], "in", i + 1);
  Imported result;
  importer.WriteSite([&](std::string_view text) {
    result.site.append(text);
    return true;
  });
  result.errors = importer.Errors();
  result.notes = importer.Notes();
  return result;
}

using test::LoadOk;

// settings(import(settings(S, L)), L) == settings(S, L).
void ExpectRoundTrip(const CSS_Site& site, const Tasks& tasks, const std::string& what) {
  const std::vector<std::string> sent = Settings(site, tasks);
  const Imported imported = Import(sent);
  ASSERT_TRUE(imported.errors.empty()) << what << ": " << imported.errors[0];
  EXPECT_EQ(Settings(LoadOk(imported.site), tasks), sent) << what << "\n" << imported.site;
  // The site itself, its lines applied on three threads: the same messages and the same file.
  CSS_Import direct({.jobs = 3});
  const std::vector<std::string_view> lines(sent.begin(), sent.end());
  EXPECT_TRUE(direct.AddLines(lines, "in", 1)) << what;
  const std::optional<CSS_Site> made = direct.TakeSite("in");
  ASSERT_TRUE(made.has_value()) << what;
  EXPECT_EQ(Settings(*made, tasks), sent) << what;
  EXPECT_TRUE(made->ToJson() == imported.site) << what;
}

Tasks RandomTasks(std::mt19937& random) {
  Tasks tasks(1 + random() % 8);
  for (ApplicationManagerTask& task : tasks) {
    do {
      task = kSettingsTasks[random() % kSettingsTasks.size()];
    } while (task == kTaskClock);
  }
  return tasks;
}

Tasks AllButClock() {
  Tasks tasks(kSettingsTasks.begin(), kSettingsTasks.end());
  std::erase(tasks, kTaskClock);
  return tasks;
}

TEST(Import, GeneratedSitesComeBackForAnyTaskList) {
  std::mt19937 random(5);
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const CSS_Site site = test::RandomSite(seed, 3);
    ExpectRoundTrip(site, AllButClock(), "seed " + std::to_string(seed));
    const Tasks tasks = RandomTasks(random);
    std::string what = "seed " + std::to_string(seed) + ", tasks";
    for (const ApplicationManagerTask task : tasks)
      what += " " + std::to_string(task);
    ExpectRoundTrip(site, tasks, what);
  }
}

// Read back with the demo site's own texts, the demo site's "Enums" are the ones written.
TEST(Import, DemoSiteComesBackWithItsEnumerationTexts) {
  const CSS_SiteLoadResult demo = LoadSite(SSMSG_TEST_SITES "/../../site/demo_site.json");
  ASSERT_TRUE(demo.site.has_value());
  Tasks reversed = AllButClock();
  std::reverse(reversed.begin(), reversed.end());
  ExpectRoundTrip(*demo.site, reversed, "all tasks backwards");
  const Imported imported = Import(Settings(*demo.site, AllButClock()), &*demo.site);
  const auto enums = [](const std::string& text) {
    return text.substr(0, text.find("Controllers"));
  };
  EXPECT_EQ(enums(imported.site), enums(demo.site->ToJson()));
}

// A name of any length that a site file holds comes back, piece by piece.
TEST(Import, LongNamesComeBack) {
  auto data = std::make_unique<test::MemorySite>();
  CSS_SiteController& controller = data->controllers.emplace_back();
  controller.address = {1, 2};
  controller.store.GetResource().SetInputs(1);
  controller.store.GetConfig().Name = std::string(100'003, 'x');
  CSDevice_InputTypeItem input{};
  input.Type = 1;
  input.Name = "Door " + std::string(100'000, 'd') + " end";
  controller.store.GetInputType().Set(0, input);
  ExpectRoundTrip(LoadOk(data->Json()), AllButClock(), "a 100,000-byte name");
}

using test::Msg;

std::string Name(std::string_view action, std::string_view tag, int n, std::string_view piece) {
  return Msg(tag == "Input" ? "Inputs" : "Reader", action,
             "<" + std::string(tag) + ">" + std::to_string(n) + "</" + std::string(tag) +
                 "><Column>0</Column><Name>" + std::string(piece) + "</Name>");
}

// A clear message empties the records of its own task: names, timing and check setup stay.
TEST(Import, ClearMessagesEmptyTheirOwnTaskOnly) {
  const std::string time = Msg(
      "Inputs", "InputTime",
      "<Input>2</Input><BounceTick>10ms</BounceTick><Debounce>3</Debounce><TickResolution>"
      "10ms</TickResolution><Timeout>0</Timeout><LevelTGs>" +
          [] {
            std::string levels;
            for (int level = 1; level <= 5; ++level)
              levels += "<LevelTG><Level>Level" + std::to_string(level) +
                        "</Level><Group>0</Group></LevelTG>";
            return levels;
          }() +
          "</LevelTGs>");
  const Imported imported = Import({
      Name("InputName", "Input", 2, "Door"),
      time,
      Msg("Inputs", "InputClearAll"),
      Name("ReaderName", "Reader", 1, "Gate"),
      Msg("Reader", "SetCheckSetup",
          "<Reader>1</Reader><CheckType>None</CheckType><Percentage>20</Percentage>"),
      Msg("Reader", "ReaderClearAll"),
      Msg("Outputs", "OutputType",
          "<Output>1</Output><DLan>0</DLan><DNode>0</DNode><DPort>1</DPort><Type>DoorLock</Type>"
          "<TypeRef>1</TypeRef><Polarity>Normal</Polarity><EnableIn>1</EnableIn><EnableOut>0"
          "</EnableOut><ControlIn>2</ControlIn><ControlOut>0</ControlOut><EnableIn_L>1"
          "</EnableIn_L><EnableOut_L>0</EnableOut_L><ControlIn_L>2</ControlIn_L><ControlOut_L>0"
          "</ControlOut_L>"),
      Msg("Outputs", "OutputClearAll"),
  });
  ASSERT_TRUE(imported.errors.empty()) << imported.errors[0];
  CSApplicationManagerStd store;
  LoadOk(imported.site).LoadController(0, store);
  ASSERT_NE(store.GetInputType().Find(1), nullptr);
  EXPECT_EQ(store.GetInputType().Find(1)->Name, "Door");
  ASSERT_NE(store.GetInputTime().Find(1), nullptr);
  EXPECT_EQ(store.GetInputTime().Find(1)->Debounce, 3);
  ASSERT_NE(store.GetRdConfiguration().Find(0), nullptr);
  EXPECT_EQ(store.GetRdConfiguration().Find(0)->Name, "Gate");
  EXPECT_EQ(store.GetRdConfiguration().Find(0)->Percentage, 20);
  EXPECT_EQ(store.GetOutputType().Find(0), nullptr);
}

// Two runs one after the other: the later one wins, and controllers keep the order in which they
// first appear.
TEST(Import, LaterRunsWin) {
  const Imported imported = Import({
      Msg("Groups", "HolidayClearAll", "", 1, 5),
      Msg("Groups", "HolidaySetup", "<HolidayNumber>2</HolidayNumber><Month>1</Month><Day>1</Day>",
          1, 5),
      Msg("XTRA", "SetName", "<Column>0</Column><Name>Long name </Name>", 1, 2),
      Msg("XTRA", "SetName", "<Column>11</Column><Name>here</Name>", 1, 2),
      Msg("Groups", "HolidayClearAll", "", 1, 5),
      Msg("Groups", "HolidaySetup", "<HolidayNumber>1</HolidayNumber><Month>3</Month><Day>4</Day>",
          1, 5),
      Msg("XTRA", "SetName", "<Column>0</Column><Name>Short</Name>", 1, 2),
  });
  ASSERT_TRUE(imported.errors.empty()) << imported.errors[0];
  const CSS_Site site = LoadOk(imported.site);
  ASSERT_EQ(site.ControllerCount(), 2u);
  EXPECT_EQ(site.Address(0).node, 5);
  CSApplicationManagerStd store;
  site.LoadController(0, store);
  EXPECT_EQ(store.GetHoliday().GetRecordCount(), 1);
  EXPECT_EQ(store.GetHoliday().Find(0)->Month, 3);
  site.LoadController(1, store);
  EXPECT_EQ(store.GetConfig().Name, "Short");
}

TEST(Import, EnumerationTextsFindTheirValues) {
  CSS_Site enums = LoadOk(R"({"Enums": {"InputType": {"6": "Intercom", "7": "Intercom",
                                                  "-99999": "Far", "9": "Far"}},
                            "Controllers": []})");
  const auto typeOf = [&](std::string_view text, const CSS_Site* from) {
    const Imported imported =
        Import({Msg("Inputs", "InputType",
                    "<Input>1</Input><DLan>0</DLan><DNode>0</DNode><DPort>0</DPort><Type>" +
                        std::string(text) +
                        "</Type><TypeRef>0</TypeRef><EOL>False</EOL><Polarity>False</Polarity>"
                        "<CountDelay>0</CountDelay><CountValue>0</CountValue>")},
               from);
    CSApplicationManagerStd store;
    const CSS_Site site = LoadOk(imported.site);
    site.LoadController(0, store);
    CSToolEnum service;
    site.LoadEnumTexts(service);
    EXPECT_EQ(service.GetInputType()->EnumToString(store.GetInputType().Find(0)->Type), text);
    return store.GetInputType().Find(0)->Type;
  };
  EXPECT_EQ(typeOf("DoorContact", nullptr), 1);  // a built-in text
  EXPECT_EQ(typeOf("Intercom", &enums), 6);      // the lowest value with the text
  EXPECT_EQ(typeOf("Far", &enums), 9);           // the lowest that fits the field
  EXPECT_EQ(typeOf("Lift", nullptr), 6);         // the lowest value without a text gets it
  EXPECT_EQ(typeOf("", nullptr), 6);             // which says nothing
}

TEST(Import, BadLinesAreReportedAndNothingIsWritten) {
  const Imported imported = Import({
      "",
      Msg("Inputs", "InputTyp"),
      Msg("Inputs", "InputName", "<Input>0</Input><Column>0</Column><Name>a</Name>"),
      Msg("Inputs", "InputName", "<Input>1</Input><Column>0</Column><Name>\xff</Name>"),
      Msg("SystemData", "SetRTC",
          "<Year>1</Year><Month>1</Month><Day>1</Day><Hour>1</Hour><Minute>1</Minute><Second>1"
          "</Second>"),
      Msg("Outputs", "OutputName", "<Output>2</Output><Column>0</Column><Name>\xfe</Name>"),
      Msg("Reader", "ReaderName", "<Reader>3</Reader><Column>0</Column><Name>a\x01</Name>"),
  });
  EXPECT_EQ(imported.site, "");
  // A name grows only by the pieces read: a piece that would leave a gap is refused, whatever
  // the column.
  EXPECT_EQ(Import({Msg("XTRA", "SetName", "<Column>0</Column><Name>abcdefghij</Name>"),
                    Msg("XTRA", "SetName", "<Column>12</Column><Name>x</Name>")})
                .errors,
            (std::vector<std::string>{"in:2: a name piece at column 12 leaves a gap: the name so "
                                      "far ends at column 10"}));
  EXPECT_EQ(Import({Msg("XTRA", "SetName", "<Column>2147483647</Column><Name>x</Name>")}).errors,
            (std::vector<std::string>{"in:1: a name piece at column 2147483647 leaves a gap: the "
                                      "name so far ends at column 0"}));
  EXPECT_EQ(imported.errors,
            (std::vector<std::string>{
                R"(in:2:79: unknown Action "InputTyp" for MessageType "Inputs")",
                "in:3: <Input> 0 is outside 1..32767",
                "in:4: the name of input 1 is not valid UTF-8; a site file cannot hold it",
                "in:6: the name of output 2 is not valid UTF-8; a site file cannot hold it",
                "in:7: the name of reader 3 holds the control character U+0001; a site file "
                "cannot hold it"}));
  EXPECT_EQ(imported.notes,
            (std::vector<std::string>{"skipped 1 SystemData SetRTC message, which carries no "
                                      "configuration"}));

  // A batch answers for its own lines: one bad line makes it false, and a good batch after it
  // is true again.
  CSS_Import batches;
  const std::string bad = Msg("Inputs", "InputTyp");
  const std::string good =
      Msg("Inputs", "InputName", "<Input>1</Input><Column>0</Column><Name>a</Name>");
  const std::vector<std::string_view> mixed{good, bad}, clean{good};
  EXPECT_FALSE(batches.AddLines(mixed, "in", 1));
  EXPECT_TRUE(batches.AddLines(clean, "in", 3));
  EXPECT_EQ(batches.Errors().size(), 1u);

  // Once written, the records are gone: a second write and a further line are refused.
  CSS_Import once;
  const auto sink = [](std::string_view) { return true; };
  ASSERT_TRUE(once.WriteSite(sink));
  EXPECT_FALSE(once.WriteSite(sink));
  EXPECT_FALSE(once.AddLine(Msg("Inputs", "InputClearAll"), "in", 7));
  EXPECT_EQ(once.Errors(),
            (std::vector<std::string>{"in:7: comes after the site file was written"}));

  // Past the cap, errors are only counted.
  const std::vector<std::string> wrong(kMaxErrors + 1, Msg("Inputs", "InputTyp"));
  const std::vector<std::string> errors = Import(wrong).errors;
  ASSERT_EQ(errors.size(), kMaxErrors + 1);
  EXPECT_EQ(errors.back(), "and 1 more errors");
}

}  // namespace
}  // namespace ssmsg
