// Several threads build every message of the library at once over one populated store and must
// each get exactly what a single thread gets, and a settings job or a site check spread over
// several threads gives exactly what one thread gives. Built with ThreadSanitizer this also
// proves that the threads share nothing that one of them writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Import.h>
#include <ssmsg/SiteDiff.h>
#include <ssmsg/SiteSettings.h>
#include "memory_site.h"
#include "site/SiteData.h"
#include "site/file/SiteFileWriter.h"
#include "support.h"
#include "tests/store_filler.h"

namespace ssmsg::test {
namespace {

// Every facade operation: each settings task (and its neighbours outside the table) for a few
// controllers, the interface operations and the settings request. The transcript holds each
// call's result followed by its messages.
CSS_StringList RunEverything(CSS_Manager& manager) {
  const std::vector<std::uint32_t> add = {3, 4, 5}, timeouts = {200}, remove = {7};
  CSS_StringList transcript;
  const auto call = [&](std::string what, const auto& operation) {
    const std::size_t at = transcript.size();
    transcript.push_back(std::move(what));
    transcript[at] += operation() ? " true" : " false";
  };
  for (const auto& address : {std::pair{1, 2}, {3, 0}, {0, 2}}) {
    // Named copies: clang 14 cannot capture structured bindings in the lambdas below.
    const int interfaceId = address.first;
    const int node = address.second;
    for (int task = kFirstSettingsTask - 1; task <= kLastSettingsTask + 1; ++task) {
      call("task " + std::to_string(task), [&] {
        return manager.MakeSendSettings(static_cast<ApplicationManagerTask>(task), interfaceId,
                                        node, transcript);
      });
    }
    call("ask", [&] { return manager.Controller_AskSettings(interfaceId, node, transcript); });
    call("start",
         [&] { return manager.Interface_Start(interfaceId, true, "10.0.0.5", 4000, transcript); });
    call("stop", [&] { return manager.Interface_Stop(interfaceId, transcript); });
    call("nodes", [&] {
      return manager.Interface_SetNodes(interfaceId, add, timeouts, remove, transcript);
    });
    call("poll", [&] { return manager.Interface_Poll(interfaceId, add, remove, transcript); });
  }
  return transcript;
}

TEST(Concurrency, ThreadsBuildingAtOnceGetWhatOneThreadGets) {
  CSApplicationManagerStd store;
  CSToolEnum service;
  RandomSource source(11);
  FillStore(source, store);
  FillEnumTexts(source, service);
  const InstalledHost host(store, service, ClockFrom(source.Time()));

  CSS_Manager shared;
  const CSS_StringList reference = RunEverything(shared);
  // The store is populated: the input records alone give several messages.
  ASSERT_GE(std::count_if(reference.begin(), reference.end(),
                          [](const std::string& text) {
                            return text.find("<Action>InputType</Action>") != std::string::npos;
                          }),
            6);

  constexpr int kThreads = 4;
  constexpr int kRounds = 3;
  std::vector<std::vector<CSS_StringList>> results(kThreads, std::vector<CSS_StringList>(kRounds));
  // The threads start together. (Not with std::latch: GCC 12's can miss its wake-up where the
  // system has no futex, as on Windows.)
  std::atomic<int> arrived{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++arrived;
      while (arrived.load() < kThreads)
        std::this_thread::yield();
      // Half the threads use the shared manager, half one of their own.
      std::optional<CSS_Manager> own;
      if (t % 2 == 1) own.emplace();
      CSS_Manager& manager = own.has_value() ? *own : shared;
      for (CSS_StringList& result : results[static_cast<std::size_t>(t)]) {
        result = RunEverything(manager);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  for (int t = 0; t < kThreads; ++t) {
    for (int r = 0; r < kRounds; ++r) {
      EXPECT_TRUE(results[static_cast<std::size_t>(t)][static_cast<std::size_t>(r)] == reference)
          << "thread " << t << ", round " << r;
    }
  }
  EXPECT_EQ(RunEverything(shared), reference);
}

// A site file of `count` random controllers on three interfaces, as the site writer writes it.
std::string RandomSiteText(std::uint32_t seed, int count) {
  test::MemorySite data;
  RandomSource source(seed);
  for (int node = 0; node < count; ++node) {
    CSS_SiteController& controller = data.controllers.emplace_back();
    controller.address = {1 + node % 3, node};
    FillStore(source, controller.store);
  }
  data.enumTexts = {{CSToolEnumId::InputType, 6, "Intercom"},
                    {CSToolEnumId::Alarm, 2, ""},
                    {CSToolEnumId::Level, 2, "Upper"}};
  return data.Json();
}

// What a settings job handed to its sink, one line per message with its address and task, then
// its failures; the sink stops the job after `stopAfter` messages.
std::string Transcript(const CSS_Site& site, CSS_SettingsOptions options, unsigned jobs,
                       std::size_t stopAfter = std::numeric_limits<std::size_t>::max()) {
  options.jobs = jobs;
  std::string text;
  std::size_t sent = 0;
  const CSS_SettingsResult result = MakeSiteSettings(site, options, [&](const CSS_SiteMessage& m) {
    text += std::to_string(m.address.interfaceId) + "/" + std::to_string(m.address.node) + "/" +
            std::to_string(m.task) + " ";
    text.append(m.text) += '\n';
    return ++sent < stopAfter;
  });
  if (result.stopped) return text + "stopped\n";
  for (const CSS_TaskFailure& failure : result.failures) {
    text += "failed " + std::to_string(failure.address.node) + "/" + std::to_string(failure.task) +
            "\n";
  }
  return text;
}

TEST(ParallelJobs, SiteChecksAndSettingsAreThoseOfOneThread) {
  using Tasks = std::vector<ApplicationManagerTask>;
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    const std::string text = RandomSiteText(seed, 14);
    const CSS_SiteLoadResult one = LoadSiteText(text, "site.json", 1);
    ASSERT_TRUE(one.site.has_value()) << seed;
    const CSS_Site& site = *one.site;
    CSToolEnum service;
    site.LoadEnumTexts(service);
    for (const unsigned jobs : {2u, 5u, 0u}) {
      const CSS_SiteLoadResult many = LoadSiteText(text, "site.json", jobs);
      ASSERT_TRUE(many.site.has_value()) << seed;
      EXPECT_TRUE(many.site->ToJson() == site.ToJson()) << seed << ", " << jobs << " jobs";
      EXPECT_EQ(many.site->Warnings(service), site.Warnings(service)) << seed;
    }
    for (const Tasks& tasks : {Tasks{}, Tasks{kTaskInputNames, kTaskClock, kTaskTimeGroups},
                               Tasks{kTaskXtraName, kTaskXtraName}}) {
      for (const CSS_Selection& selection :
           {CSS_Selection{}, CSS_Selection{2, std::nullopt}, CSS_Selection{1, 3}}) {
        CSS_SettingsOptions options;
        options.tasks = tasks;
        options.selection = selection;
        options.time = RandomSource(0).Time();
        const std::string reference = Transcript(site, options, 1);
        for (const unsigned jobs : {2u, 3u, 8u, 0u}) {
          EXPECT_TRUE(Transcript(site, options, jobs) == reference)
              << "seed " << seed << ", " << jobs << " jobs, " << tasks.size() << " tasks";
        }
      }
    }
  }
}

// The diff of two sites on several threads is that of one thread, warnings included.
TEST(ParallelJobs, DiffIsThatOfOneThread) {
  const CSS_SiteLoadResult old = LoadSiteText(RandomSiteText(4, 12), "old.json", 1);
  const CSS_SiteLoadResult current = LoadSiteText(RandomSiteText(5, 14), "new.json", 1);
  ASSERT_TRUE(old.site.has_value() && current.site.has_value());
  const auto run = [&](unsigned jobs) {
    CSS_DiffOptions options;
    options.jobs = jobs;
    options.time = RandomSource(0).Time();
    std::string text;
    const CSS_DiffResult result =
        MakeSiteDiff(*old.site, *current.site, options, [&](const CSS_SiteMessage& m) {
          text.append(m.text) += '\n';
          return true;
        });
    for (const std::string& warning : result.warnings)
      text += warning + '\n';
    return text + std::to_string(result.messagesFull);
  };
  const std::string reference = run(1);
  ASSERT_GT(reference.size(), 10000u);
  for (const unsigned jobs : {2u, 4u, 0u})
    EXPECT_TRUE(run(jobs) == reference) << jobs << " jobs";
}

// A sink that stops the job gets exactly the messages that came before, however many threads
// were building ahead.
TEST(ParallelJobs, StoppingSinkEndsTheJob) {
  const CSS_SiteLoadResult loaded = LoadSiteText(RandomSiteText(9, 20), "site.json", 2);
  ASSERT_TRUE(loaded.site.has_value());
  CSS_SettingsOptions options;
  options.time = RandomSource(0).Time();
  const std::string all = Transcript(*loaded.site, options, 1);
  ASSERT_GT(std::count(all.begin(), all.end(), '\n'), 700);
  for (const std::size_t stopAfter : {std::size_t{1}, std::size_t{40}, std::size_t{700}}) {
    std::string expected = all;
    std::size_t end = 0;
    for (std::size_t i = 0; i < stopAfter; ++i)
      end = expected.find('\n', end) + 1;
    expected.resize(end);
    EXPECT_EQ(Transcript(*loaded.site, options, 3, stopAfter), expected + "stopped\n") << stopAfter;
  }
}

// Lines applied on several threads, a controller on each, give what one thread gives applying
// them one by one: the same site file, errors and notes, blank and bad lines among them, texts
// that need new values and level texts of the site's own.
TEST(ParallelJobs, ImportOfDecodedLinesIsThatOfOneThread) {
  const CSS_SiteLoadResult loaded = LoadSiteText(RandomSiteText(6, 14), "site.json", 1);
  ASSERT_TRUE(loaded.site.has_value());
  CSS_SettingsOptions options;
  options.time = RandomSource(0).Time();
  // With blank lines; with lines cut short too; and with more than 100 of them.
  std::vector<std::string> clean, bad, worse;
  MakeSiteSettings(*loaded.site, options, [&](const CSS_SiteMessage& m) {
    clean.emplace_back(m.text);
    if (clean.size() % 97 == 0) clean.emplace_back(" ");
    return true;
  });
  for (const std::string& line : clean) {
    bad.push_back(line);
    if (bad.size() % 149 == 0) bad.push_back(line.substr(1));
    worse.push_back(worse.size() % 7 == 0 ? line.substr(std::min<std::size_t>(2, line.size()))
                                          : line);
  }
  ASSERT_GT(clean.size(), 1300u);
  const auto run = [](const std::vector<std::string>& lines, unsigned jobs, std::size_t batch) {
    CSS_Import importer({.jobs = jobs});
    std::vector<std::string_view> views(lines.begin(), lines.end());
    for (std::size_t first = 0; first < views.size(); first += batch) {
      const auto part = std::span(views).subspan(first, std::min(batch, views.size() - first));
      if (batch == 1) {
        importer.AddLine(part[0], "in", first + 1);
      } else {
        importer.AddLines(part, "in", first + 1);
      }
    }
    std::string text;
    const bool written = importer.WriteSite([&](std::string_view piece) {
      text.append(piece);
      return true;
    });
    for (const std::string& line : importer.Errors())
      text += line + "\n";
    for (const std::string& line : importer.Notes())
      text += line + "\n";
    return text + (written ? "written" : "not written");
  };
  for (const std::vector<std::string>* lines : {&clean, &bad, &worse}) {
    const std::string reference = run(*lines, 1, 1);
    EXPECT_NE(reference.find(lines == &clean ? "\"Controllers\""
                             : lines == &bad ? "in:150:1: "
                                             : " more errors\n"),
              std::string::npos);
    for (const auto& [jobs, batch] : {std::pair{1u, 4096u}, {2u, 4096u}, {3u, 1000u}, {0u, 700u}})
      EXPECT_TRUE(run(*lines, jobs, batch) == reference) << jobs << " jobs, " << batch << " lines";
  }
}

// Files with mistakes give the same errors, in the same order, whatever the number of threads
// checking their controllers.
TEST(ParallelJobs, FilesWithMistakesGiveTheSameErrors) {
  for (const char* folder : {"bad", "hostile"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(SSMSG_TEST_SITES) / folder)) {
      if (entry.path().extension() != ".json") continue;
      const std::string text = ReadFile(entry.path());
      const CSS_SiteLoadResult one = LoadSiteText(text, "f.json", 1);
      const CSS_SiteLoadResult many = LoadSiteText(text, "f.json", 4);
      EXPECT_FALSE(many.site.has_value()) << entry.path();
      EXPECT_EQ(many.errors, one.errors) << entry.path();
    }
  }
}

}  // namespace
}  // namespace ssmsg::test
