// Several threads build every message of the library at once over one populated store and must
// each get exactly what a single thread gets. Built with ThreadSanitizer this also proves that
// the calls share nothing that one of them writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <ctime>
#include <latch>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fuzz/store_filler.h"
#include <ssmsg/CSS_Manager.h>

namespace ssmsg::test {
namespace {

// Values for a store that looks like a real controller's: mostly small numbers (so enumerated
// fields have texts), a few declined records, short names; now and then a value of any size.
class RandomSource {
 public:
  explicit RandomSource(std::uint32_t seed) : random_(seed) {}

  template <std::integral T>
  T Value() {
    if (Chance(8)) return static_cast<T>(random_());
    return static_cast<T>(Uniform(-1, 6));
  }
  template <std::integral T>
  T Count() {
    return static_cast<T>(Uniform(-1, 12));
  }
  int Positions() { return Uniform(2, 12); }
  bool Declined() { return Chance(6); }
  std::string Text(std::size_t /*maxLength*/ = 25) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789";
    std::string text(static_cast<std::size_t>(Uniform(0, 25)), ' ');
    for (char& c : text)
      c = kChars[Uniform(0, sizeof kChars - 2)];
    return text;
  }
  std::optional<std::tm> Time() {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 4;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 7;
    return time;
  }

 private:
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool Chance(int oneIn) { return Uniform(1, oneIn) == 1; }

  std::mt19937 random_;
};

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
  RandomSource source(20261204);
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
