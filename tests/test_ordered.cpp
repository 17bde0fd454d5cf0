// The one scheduler (core/OrderedWork.h): pieces done on several threads are handed on in the
// order they were submitted, within the window, with exceptions and stops reaching the caller.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <numeric>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/OrderedWork.h"

namespace ssmsg::test {
namespace {

// What the pieces of one run share: how long each takes, which one throws, what was seen.
struct Scene {
  Scene(std::size_t pieces, std::uint32_t seed) {
    std::mt19937 random(seed);
    for (std::size_t k = 0; k < pieces; ++k)
      delays.push_back(static_cast<int>(random() % 400));
  }

  std::vector<int> delays;  // microseconds per piece
  std::size_t throwsAt = SIZE_MAX;
  std::thread::id caller = std::this_thread::get_id();
  mutable std::atomic<std::size_t> highestStarted{0};
  mutable std::atomic<int> workers{0};
  mutable std::atomic<bool> offCaller{false};    // a piece ran on another thread
  mutable std::atomic<bool> strayWorker{false};  // a worker ran on a thread other than its own
};

struct Piece {
  std::size_t index = 0;
  std::thread::id thread;
};

struct TestWorker {
  using Context = Scene;
  using Input = std::size_t;
  using Output = Piece;

  explicit TestWorker(const Scene& scene_) : scene(scene_) { ++scene.workers; }

  void Run(std::size_t k, Piece& out) {
    if (std::this_thread::get_id() != made) scene.strayWorker = true;
    if (std::this_thread::get_id() != scene.caller) scene.offCaller = true;
    std::size_t seen = scene.highestStarted.load();
    while (k > seen && !scene.highestStarted.compare_exchange_weak(seen, k)) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(scene.delays[k]));
    if (k == scene.throwsAt) throw std::runtime_error("piece " + std::to_string(k));
    out = {k, std::this_thread::get_id()};
  }

  const Scene& scene;
  const std::thread::id made = std::this_thread::get_id();
};

TEST(OrderedWork, HandsPiecesOnInOrderWithinTheWindow) {
  struct Case {
    unsigned jobs;
    std::size_t window;
    std::size_t pieces;
  };
  for (const Case c : {Case{1, 0, 40}, Case{2, 0, 60}, Case{3, 3, 60}, Case{4, 16, 80},
                       Case{8, 0, 1}, Case{2, 0, 0}}) {
    const Scene scene(c.pieces, c.jobs);
    std::vector<std::size_t> handed;
    bool inWindow = true;
    CSS_OrderedWork<TestWorker> work(scene, c.jobs, c.window);
    const std::size_t window = c.jobs == 1 ? 1 : std::max<std::size_t>(c.window, 2 * c.jobs);
    const auto take = [&](const Piece& piece) {
      // No piece beyond the window of the one handed on has been started.
      inWindow = inWindow && scene.highestStarted < piece.index + window;
      handed.push_back(piece.index);
      return true;
    };
    for (std::size_t k = 0; k < c.pieces; ++k)
      ASSERT_TRUE(work.Submit(k, take));
    ASSERT_TRUE(work.Finish(take));
    std::vector<std::size_t> expected(c.pieces);
    std::iota(expected.begin(), expected.end(), std::size_t{0});
    EXPECT_EQ(handed, expected) << c.jobs << " jobs";
    EXPECT_TRUE(inWindow) << c.jobs << " jobs";
    EXPECT_FALSE(scene.strayWorker) << c.jobs << " jobs";
    EXPECT_LE(scene.workers, static_cast<int>(c.jobs));
  }
}

TEST(OrderedWork, OneJobStartsNoThread) {
  const Scene scene(30, 7);
  std::size_t handed = 0;
  EXPECT_TRUE(RunOrdered<TestWorker>(scene, 30, 1, [&](const Piece& piece) {
    // Handed on as soon as it is done: the piece before is never still waiting.
    EXPECT_EQ(piece.index, handed++);
    EXPECT_EQ(piece.thread, scene.caller);
    return true;
  }));
  EXPECT_EQ(handed, 30u);
  EXPECT_FALSE(scene.offCaller);
  EXPECT_EQ(scene.workers, 1);
}

TEST(OrderedWork, StopsWhenTheConsumerSaysSo) {
  for (const unsigned jobs : {1u, 2u, 4u}) {
    const Scene scene(200, jobs);
    std::size_t handed = 0;
    CSS_OrderedWork<TestWorker> work(scene, jobs);
    const auto take = [&](const Piece&) { return ++handed < 5; };
    std::size_t submitted = 0;
    while (submitted < 200 && work.Submit(submitted, take))
      ++submitted;
    EXPECT_FALSE(work.Finish(take));
    EXPECT_FALSE(work.Submit(0, take));
    EXPECT_EQ(handed, 5u) << jobs << " jobs";
    // Nothing is submitted, and little more started, once the consumer stopped.
    EXPECT_LT(submitted, 5 + 2 * std::size_t{jobs} + 1) << jobs << " jobs";
    EXPECT_LT(scene.highestStarted, 5 + 2 * std::size_t{jobs}) << jobs << " jobs";
  }
}

TEST(OrderedWork, ExceptionReachesTheCallerInItsTurn) {
  for (const unsigned jobs : {1u, 2u, 3u}) {
    Scene scene(40, jobs + 10);
    scene.throwsAt = 17;
    std::vector<std::size_t> handed;
    const auto run = [&] {
      RunOrdered<TestWorker>(scene, 40, jobs, [&](const Piece& piece) {
        handed.push_back(piece.index);
        return true;
      });
    };
    try {
      run();
      ADD_FAILURE() << "no exception with " << jobs << " jobs";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "piece 17");
    }
    // Every piece before it was handed on, none after.
    ASSERT_EQ(handed.size(), 17u) << jobs << " jobs";
    EXPECT_EQ(handed.back(), 16u);
  }
}

TEST(OrderedWork, JobThreadsNeverExceedThePieces) {
  EXPECT_EQ(JobThreads(4, 2), 2u);
  EXPECT_EQ(JobThreads(4, 0), 1u);
  EXPECT_EQ(JobThreads(1, 100), 1u);
  EXPECT_GE(JobThreads(0, 100), 1u);
  EXPECT_EQ(JobThreads(3), 3u);
}

}  // namespace
}  // namespace ssmsg::test
