#pragma once

// Building controllers on several threads and handing their results on in file order, as soon as
// every controller before them is done: the settings job and the diff both run on this.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ssmsg {

// The number of threads for `jobs` (0: one per core), never more than there are controllers.
inline unsigned JobThreads(unsigned jobs, std::size_t controllers) {
  if (jobs == 0) jobs = std::thread::hardware_concurrency();
  return static_cast<unsigned>(std::min<std::size_t>(std::max(jobs, 1u), controllers));
}

// `jobs` threads build controllers 0 to `count` - 1, each into a slot of a ring: jobs - 1 workers,
// and the calling thread whenever the next slot to hand on is not ready yet. The calling thread
// hands the slots on in order as soon as each is ready. A controller is taken only while it lies
// within the ring's reach of the next one to hand on, so memory stays bounded by the ring
// whatever the number of controllers.
//
// Worker is what one thread builds with: made on that thread, on first use, from the job's
// context (`Worker(const Worker::Context&)`, so that it may bind a store to its thread), with
// `void Build(std::size_t controller, Worker::Output& out)`.
template <class Worker>
class CSS_OrderedJob {
 public:
  using Context = typename Worker::Context;
  using Output = typename Worker::Output;

  CSS_OrderedJob(const Context& context, std::size_t count, unsigned jobs)
      : context_(context), count_(count), slots_(std::max<std::size_t>(1, 2 * std::size_t{jobs})) {
    for (unsigned i = 1; i < jobs; ++i)
      workers_.emplace_back([this] { Work(); });
  }

  ~CSS_OrderedJob() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    room_.notify_all();
    for (std::thread& worker : workers_)
      worker.join();
  }

  CSS_OrderedJob(const CSS_OrderedJob&) = delete;
  CSS_OrderedJob& operator=(const CSS_OrderedJob&) = delete;

  // Hands each controller's output to `deliver(out)` in order; false when `deliver` stopped the
  // job by returning false. An exception of a build is thrown here, on the calling thread.
  template <class Deliver>
  bool Run(Deliver&& deliver) {
    std::optional<Worker> worker;  // the calling thread's, made when it first builds
    for (std::size_t k = 0; k < count_; ++k) {
      Slot& slot = slots_[k % slots_.size()];
      {
        std::unique_lock lock(mutex_);
        while (!slot.ready) {
          if (!Takeable()) {
            ready_.wait(lock);
            continue;
          }
          const std::size_t next = next_++;
          lock.unlock();
          BuildInto(next, worker);
          lock.lock();
          slots_[next % slots_.size()].ready = true;
        }
      }
      // A ready slot belongs to this thread until it is handed back.
      if (slot.error) std::rethrow_exception(slot.error);
      const bool going = deliver(slot.output);
      {
        std::lock_guard lock(mutex_);
        slot.ready = false;
        ++delivered_;
        if (!going) stopping_ = true;
      }
      room_.notify_all();
      if (!going) return false;
    }
    return true;
  }

 private:
  struct Slot {
    Output output;
    std::exception_ptr error;
    bool ready = false;
  };

  // Whether a controller may be taken now (mutex_ held).
  bool Takeable() const { return next_ < count_ && next_ < delivered_ + slots_.size(); }

  void BuildInto(std::size_t k, std::optional<Worker>& worker) {
    Slot& slot = slots_[k % slots_.size()];
    try {
      if (!worker) worker.emplace(context_);
      worker->Build(k, slot.output);
    } catch (...) {
      slot.error = std::current_exception();
    }
  }

  void Work() {
    std::optional<Worker> worker;
    std::unique_lock lock(mutex_);
    for (;;) {
      room_.wait(lock, [&] { return stopping_ || Takeable(); });
      if (stopping_) return;
      const std::size_t k = next_++;
      lock.unlock();
      BuildInto(k, worker);
      lock.lock();
      slots_[k % slots_.size()].ready = true;
      ready_.notify_one();
    }
  }

  const Context& context_;
  const std::size_t count_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable room_;   // a slot was handed back, or stopping
  std::condition_variable ready_;  // a slot is ready
  std::size_t next_ = 0;           // the next controller to build
  std::size_t delivered_ = 0;      // controllers handed on
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace ssmsg
