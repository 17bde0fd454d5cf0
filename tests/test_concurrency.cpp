// Several threads build every message of the library at once over one populated store and must
// each get exactly what a single thread gets. Built with ThreadSanitizer this also proves that
// the calls share nothing that one of them writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include "fuzz/store_filler.h"

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
  for (const auto& [interfaceId, node] : {std::pair{1, 2}, {3, 0}, {0, 2}}) {
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
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
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

}  // namespace
}  // namespace ssmsg::test
