// Sending only what changed, checked as properties over pairs of generated sites: NEW is OLD
// with random edits (fields, names that grow and shrink, records added, declined and removed,
// enumeration texts, controllers added and removed). OLD is given as a site and as the messages
// that settings sent for it, read back.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <ssmsg/Import.h>
#include <ssmsg/SiteDiff.h>

#include "host/CSDevice_Fields.h"
#include "host/CSS_ThreadHost.h"
#include "jobs/ControllerDiff.h"
#include "manager/CSS_ManagerBuilders.h"
#include "memory_site.h"
#include "site/SiteData.h"
#include "site/StoreImage.h"
#include "site_support.h"
#include "tests/store_filler.h"

namespace ssmsg {
namespace {

using test::RandomSource;

// Sets a random field of the record at a random position of `records` to a random value, or
// declines or adds a record there.
template <class Records>
void Edit(RandomSource& random, Records& records) {
  using Item = typename Records::Item;
  const int index = random.Pick(0, records.GetRecordCount()) + Records::kFirstIndex;
  const Item* found = records.Find(index);
  if (random.Pick(0, 5) == 0) {
    records.Decline(index);
    return;
  }
  Item item = found != nullptr ? *found : Item{};
  const auto& infos = kRecordFieldInfos<Item>;
  const CSS_FieldInfo& field = infos[static_cast<std::size_t>(random.Pick(0, infos.size() - 1))];
  if (field.kind == CSS_FieldKind::Text) {
    std::string& name = field.textRef(&item);
    name = random.Pick(0, 1) == 0 ? name.substr(0, name.size() / 2) : name + random.Text();
  } else {
    field.set(&item, std::clamp<std::int64_t>(random.Value<std::int16_t>(), field.min, field.max));
  }
  records.Set(index, std::move(item));
}

// Up to four edits, each of a record of one list or of the XTRA unit's name.
void EditStore(RandomSource& random, CSApplicationManagerStd& store) {
  using Editor = void (*)(RandomSource&, CSApplicationManagerStd&);
  static constexpr Editor kEditors[] = {
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetHoliday()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetTimeZone()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetPort()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetInputType()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetInputTime()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetInputLink()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetOutputType()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetRdConfiguration()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { Edit(r, s.GetRdAccessAlarm()); },
      [](RandomSource& r, CSApplicationManagerStd& s) { s.GetConfig().Name += r.Text(); },
  };
  for (int edits = random.Pick(0, 4); edits > 0; --edits)
    kEditors[random.Pick(0, static_cast<int>(std::size(kEditors)) - 1)](random, store);
}

using Key = std::tuple<std::int32_t, std::int32_t, int>;  // interface, node, task

// The messages of each controller and task.
template <class Job>
std::map<Key, std::vector<std::string>> ByTask(Job&& job) {
  std::map<Key, std::vector<std::string>> messages;
  job([&](const CSS_SiteMessage& m) {
    messages[{m.address.interfaceId, m.address.node, m.task}].emplace_back(m.text);
    return true;
  });
  return messages;
}

// The diff makes OLD's messages of a task only where the parts of the store the task reads
// differ. Every task's messages must stay the same when any other part is replaced.
TEST(SiteDiff, EachTaskReadsOnlyThePartsItIsSaidToRead) {
  using Store = CSApplicationManagerStd;
  using Copy = void (*)(const Store&, Store&);
  // Copies the part of the store that `Get` gives.
#define SSMSG_COPY(Get) [](const Store& f, Store& t) { t.Get() = f.Get(); }
  const std::pair<StorePart, Copy> kParts[] = {
      {StorePart::Config, SSMSG_COPY(GetConfig)},
      {StorePart::Xtra, SSMSG_COPY(GetXTRA)},
      {StorePart::FLan, SSMSG_COPY(GetFLan_Setup)},
      {StorePart::Port, SSMSG_COPY(GetPort)},
      {StorePart::Holiday, SSMSG_COPY(GetHoliday)},
      {StorePart::TimeZone, SSMSG_COPY(GetTimeZone)},
      {StorePart::InputType, SSMSG_COPY(GetInputType)},
      {StorePart::InputTime, SSMSG_COPY(GetInputTime)},
      {StorePart::InputLink, SSMSG_COPY(GetInputLink)},
      {StorePart::OutputType, SSMSG_COPY(GetOutputType)},
      {StorePart::OutputTime, SSMSG_COPY(GetOutputTime)},
      {StorePart::RdConfiguration, SSMSG_COPY(GetRdConfiguration)},
      {StorePart::RdCardControl, SSMSG_COPY(GetRdCardControl)},
      {StorePart::RdCardLocation, SSMSG_COPY(GetRdCardLocation)},
      {StorePart::RdCardStructure, SSMSG_COPY(GetRdCardStructure)},
      {StorePart::RdAccessAlarm, SSMSG_COPY(GetRdAccessAlarm)},
      {StorePart::TimeGroupZone, SSMSG_COPY(GetTimeGroupZone)},
  };
#undef SSMSG_COPY
  const CSS_ClockSource clock = FixedClock(RandomSource(0).Time().value_or(std::tm{}));
  CSToolEnum enums;
  const auto messages = [&](Store& store, ApplicationManagerTask task) {
    const CSS_ThreadHost host({&store, &enums, &clock});
    CSS_StringList out;
    CSS_Manager::Builders::Dispatch(task, 1, 2, out);
    return out;
  };
  std::size_t compared = 0;
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    RandomSource random(seed);
    Store base;
    Store other;
    test::FillStore(random, base);
    test::FillStore(random, other);
    other.GetResource() = base.GetResource();  // the counts are read by every task
    for (const auto& [part, copy] : kParts) {
      Store changed = base;
      copy(other, changed);
      for (const ApplicationManagerTask task : kSettingsTasks) {
        if ((TaskParts(task) >> static_cast<unsigned>(part) & 1) != 0) continue;
        EXPECT_EQ(messages(base, task), messages(changed, task))
            << "task " << task << ", part " << static_cast<int>(part) << ", seed " << seed;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 0u);
}

TEST(SiteDiff, SendsOnlyWhatSettingsOfNewSendsAndWholeListTransfers) {
  std::size_t written = 0, full = 0, warned = 0;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    RandomSource random(seed);
    test::MemorySite old;
    for (int node = 0; node < 3; ++node) {
      CSS_SiteController& controller = old.controllers.emplace_back();
      controller.address = {1, node};
      test::FillStore(random, controller.store);
      test::DropOrphans(controller.store);  // as a site file holds them
    }
    test::MemorySite changed;
    changed.controllers = old.controllers;
    for (CSS_SiteController& controller : changed.controllers)
      EditStore(random, controller.store);
    if (random.Pick(0, 3) == 0) changed.controllers.erase(changed.controllers.begin());
    if (random.Pick(0, 3) == 0) changed.controllers.push_back({{2, 9}, old.controllers[1].store});
    if (random.Pick(0, 2) == 0) changed.enumTexts.push_back({CSToolEnumId::Tick, 1, "Blink"});
    const CSS_Site before = old.Make();
    const CSS_Site after = changed.Make();

    CSS_DiffOptions options;
    options.time = random.Time();
    CSS_SettingsOptions settings;
    settings.time = options.time;
    const auto run = [&](const CSS_Site& from, const CSS_Site& to) {
      return [&](const CSS_MessageSink& sink) {
        const CSS_DiffResult result = MakeSiteDiff(from, to, options, sink);
        written += result.messagesWritten;
        full += result.messagesFull;
        warned += result.warnings.size();
      };
    };
    EXPECT_TRUE(ByTask(run(after, after)).empty()) << "seed " << seed;

    const auto sent = ByTask(run(before, after));
    // What settings sent to OLD, read back, stands for OLD: the same messages go.
    CSS_Import import({.enumsFrom = &after});
    std::size_t line = 0;
    MakeSiteSettings(before, settings, [&](const CSS_SiteMessage& m) {
      return import.AddLine(m.text, "sent", ++line);
    });
    std::string readBack;
    ASSERT_TRUE(import.WriteSite([&](std::string_view text) {
      readBack.append(text);
      return true;
    })) << import.Errors().front();
    const CSS_SiteLoadResult imported = LoadSiteText(readBack, "read back");
    ASSERT_TRUE(imported.site.has_value());
    EXPECT_EQ(ByTask(run(*imported.site, after)), sent) << "seed " << seed;
    const auto all =
        ByTask([&](const CSS_MessageSink& sink) { MakeSiteSettings(after, settings, sink); });
    for (const auto& [key, messages] : sent) {
      const auto task = std::get<2>(key);
      ASSERT_NE(task, kTaskClock);
      const std::vector<std::string>& whole = all.at(key);
      // In the same relative order as settings sends them...
      EXPECT_TRUE(std::ranges::includes(whole, messages,
                                        [&](const std::string& a, const std::string& b) {
                                          return std::ranges::find(whole, a) <
                                                 std::ranges::find(whole, b);
                                        }))
          << "seed " << seed << ", task " << task;
      // ...and a list transfer whole or not at all.
      if (CSS_Manager::Builders::BuilderOf(static_cast<ApplicationManagerTask>(task)).shape ==
          CSS_TaskShape::ListTransfer) {
        EXPECT_EQ(messages, whole) << "seed " << seed << ", task " << task;
      }
    }
  }
  // The edits were seen: some messages sent, far fewer than a full settings, some warnings.
  EXPECT_GT(written, 0u);
  EXPECT_LT(written * 4, full);
  EXPECT_GT(warned, 0u);
}

// A record that a task without a clear message no longer sends stays on the controller: the
// diff names it.
TEST(SiteDiff, RecordsNoLongerSentAreNamed) {
  const auto load = [](const char* inputs) {
    return test::LoadOk(std::string(R"({"Controllers": [{"Interface": 1, "Node": 2, "Inputs": )") +
                        inputs + "}]}");
  };
  CSS_DiffOptions options;
  options.tasks = {kTaskInputNames};
  const CSS_DiffResult result =
      MakeSiteDiff(load(R"([{"Name": "a"}, {"Name": "b"}])"), load(R"([{"Name": "a"}])"), options,
                   [](const CSS_SiteMessage&) { return true; });
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(
      result.warnings[0].find(": input 2 is no longer sent, and this task cannot withdraw it"),
      std::string::npos)
      << result.warnings[0];
}

}  // namespace
}  // namespace ssmsg
