#include "server/ChangeFeed.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace ssmsg::server {

ChangeFeed::ChangeFeed(Store& store) : store_(store) {}

ChangeFeed::~ChangeFeed() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

std::int64_t ChangeFeed::Latest() const {
  const std::lock_guard lock(mutex_);
  return latest_;
}

void ChangeFeed::Refresh() {
  std::int64_t latest = 0;
  try {
    latest = store_.LatestAudit();
  } catch (const std::exception&) {
    return;
  }
  const std::lock_guard lock(mutex_);
  if (latest <= latest_) return;
  latest_ = latest;
  for (const auto& [id, listener] : listeners_)
    listener();
}

bool ChangeFeed::Stopping() const {
  const std::lock_guard lock(mutex_);
  return stopping_;
}

void ChangeFeed::Watch(std::chrono::milliseconds interval) {
  if (watcher_.joinable()) return;
  watcher_ = std::thread([this, interval] {
    // A store that hears of others' changes wakes the watcher at once; it asks at the interval
    // all the same, in case a notice was lost.
    std::unique_ptr<ChangeListener> listener;
    try {
      listener = store_.ListenForChanges();
    } catch (const std::exception&) {
      listener.reset();
    }
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      lock.unlock();
      Refresh();
      if (listener) {
        // In slices, so that the feed's end is not kept waiting.
        const auto due = std::chrono::steady_clock::now() + interval;
        while (!listener->Wait(std::min<std::chrono::milliseconds>(interval, kSlice)) &&
               std::chrono::steady_clock::now() < due && !Stopping()) {
        }
        lock.lock();
      } else {
        lock.lock();
        stop_.wait_for(lock, interval, [this] { return stopping_; });
      }
    }
  });
}

ChangeFeed::Subscription ChangeFeed::Listen(std::function<void()> listener) {
  const std::lock_guard lock(mutex_);
  const std::uint64_t id = nextId_++;
  listeners_.emplace(id, std::move(listener));
  return Subscription(this, id);
}

void ChangeFeed::Unlisten(std::uint64_t id) {
  const std::lock_guard lock(mutex_);
  listeners_.erase(id);
}

ChangeFeed::Subscription::Subscription(Subscription&& other) noexcept
    : feed_(std::exchange(other.feed_, nullptr)), id_(other.id_) {}

ChangeFeed::Subscription& ChangeFeed::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    if (feed_) feed_->Unlisten(id_);
    feed_ = std::exchange(other.feed_, nullptr);
    id_ = other.id_;
  }
  return *this;
}

ChangeFeed::Subscription::~Subscription() {
  if (feed_) feed_->Unlisten(id_);
}

}  // namespace ssmsg::server
