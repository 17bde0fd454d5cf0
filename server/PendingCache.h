#pragma once

// How many messages each controller waits for, kept by what they follow from (the controller's
// entity tag and what it was last marked sent as), so that the change feed's subscribers, the
// overview and the page of what is waiting cost one diff per controller and change, not one per
// reader. One per store; safe to share between threads.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <ssmsg/Site.h>

#include "server/Store.h"

namespace ssmsg::server {

class PendingCache {
 public:
  // The number of messages the controller at `address` waits for; none when it is not there or
  // cannot be read.
  std::optional<std::size_t> Of(Store& store, CSS_ControllerAddress address);
  // The number kept for the controller at `address` when it is `etag` and was last marked sent
  // as `sent` (a SentStamp; none: never), or none when none is kept.
  std::optional<std::size_t> Kept(CSS_ControllerAddress address, std::string_view etag,
                                  std::optional<std::size_t> sent);

 private:
  static constexpr std::size_t kKept = 4096;
  struct Count {
    std::string etag;
    std::optional<std::size_t> sent;  // the stamp of what it was last marked sent as
    std::size_t count = 0;
  };
  std::mutex mutex_;
  std::unordered_map<std::uint64_t, Count> counts_;
};

// The counts of one answer: each controller's asked once.
class PendingCounts {
 public:
  PendingCounts(Store& store, PendingCache& cache) : store_(store), cache_(cache) {}

  std::optional<std::size_t> Of(CSS_ControllerAddress address);

 private:
  Store& store_;
  PendingCache& cache_;
  std::unordered_map<std::uint64_t, std::optional<std::size_t>> counts_;
};

// A controller of the site and the number of messages it waits for.
struct ControllerWaiting {
  ControllerSummary controller;
  bool counted = false;                // false: not counted in the time given
  std::optional<std::size_t> pending;  // counted: none when it cannot be read
};

// What a site waits for: its controllers in the site's order, and the controllers removed from
// it that still hold, on site, what they were last marked sent as.
struct SiteWaiting {
  std::vector<ControllerWaiting> controllers;
  std::vector<SentMark> removed;  // by address
};

// The controllers of `store` with their counts, those not kept counted within `budget` (none:
// all of them).
SiteWaiting Waiting(Store& store, PendingCache& cache,
                    std::optional<std::chrono::milliseconds> budget = std::nullopt);

}  // namespace ssmsg::server
