#pragma once

// Who waits for the store's next change. The store keeps the changes themselves (its audit log,
// in the order they commit); the feed knows only the latest audit id and wakes those waiting for
// one past theirs. It hears of this process's changes when the service has answered a request
// that may change something, and of other programs' changes to the same database by asking the
// store at an interval (Watch).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "server/Store.h"

namespace ssmsg::server {

class ChangeFeed {
 public:
  explicit ChangeFeed(Store& store);
  ~ChangeFeed();
  ChangeFeed(const ChangeFeed&) = delete;
  ChangeFeed& operator=(const ChangeFeed&) = delete;

  // The latest audit id the feed has seen.
  std::int64_t Latest() const;
  // Asks the store for its latest audit id and, when it moved on, tells the listeners. A store
  // that cannot answer now is asked again the next time.
  void Refresh();
  // Refreshes every `interval` on a thread of the feed's own, until the feed goes, and at once
  // when the store hears of another program's change (Store::ListenForChanges).
  void Watch(std::chrono::milliseconds interval);

  // A listener's place, which it keeps while it listens.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription();

   private:
    friend class ChangeFeed;
    Subscription(ChangeFeed* feed, std::uint64_t id) : feed_(feed), id_(id) {}
    ChangeFeed* feed_ = nullptr;
    std::uint64_t id_ = 0;
  };
  // Calls `listener` each time the latest id moves on, from the thread that saw it and with the
  // feed's lock held (so it must be quick, and not call the feed), until the subscription ends.
  [[nodiscard]] Subscription Listen(std::function<void()> listener);

 private:
  // How long a listener is waited for at a time.
  static constexpr std::chrono::milliseconds kSlice{100};
  void Unlisten(std::uint64_t id);
  bool Stopping() const;

  Store& store_;
  mutable std::mutex mutex_;
  std::int64_t latest_ = -1;  // -1: not asked yet
  std::map<std::uint64_t, std::function<void()>> listeners_;
  std::uint64_t nextId_ = 1;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread watcher_;
};

}  // namespace ssmsg::server
