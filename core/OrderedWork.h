#pragma once

// Work done on several threads and handed on in the order it was given: the one scheduler of the
// library. The site check gives it each controller's object as the parser finds it, the settings
// job and the diff each controller of the site, the import each controller's share of a stream of
// messages and each controller that goes into a site file.
//
//   CSS_OrderedWork<Worker> work(context, jobs);
//   for (each piece of work, as it is found)
//     if (!work.Submit(input, take)) break;  // take(output) on this thread, in order
//   work.Finish(take);
//
// With one job nothing is started: each piece is done on the calling thread as it is submitted
// and handed on at once. With more, jobs - 1 threads do the pieces, and the calling thread does
// them too whenever it would otherwise wait. At most `window` pieces are submitted and not yet
// handed on, so memory stays bounded whatever the number of pieces.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace ssmsg {

// The number of threads for `jobs` (0: one per core), never more than there are pieces of work.
inline unsigned JobThreads(unsigned jobs,
                           std::size_t pieces = std::numeric_limits<std::size_t>::max()) {
  if (jobs == 0) jobs = std::thread::hardware_concurrency();
  return static_cast<unsigned>(
      std::min<std::size_t>(std::max(jobs, 1u), std::max<std::size_t>(pieces, 1)));
}

// Worker is what one thread works with:
//   using Context = ...;  what every thread works from; read only while the work runs
//   using Input = ...;    one piece of work
//   using Output = ...;   what a piece gives; kept between pieces, so that its storage is reused
//   explicit Worker(const Context&);       made on the thread that uses it, when it first works
//   void Run(Input& input, Output& out);   may throw: the exception reaches the caller
template <class Worker>
class CSS_OrderedWork {
 public:
  using Context = typename Worker::Context;
  using Input = typename Worker::Input;
  using Output = typename Worker::Output;

  // `jobs` threads in all, the calling one among them (0: one per core); `window`: the most pieces
  // submitted and not yet handed on (0: twice the threads).
  CSS_OrderedWork(const Context& context, unsigned jobs, std::size_t window = 0)
      : context_(context) {
    const unsigned threads = JobThreads(jobs);
    slots_.resize(threads == 1 ? 1 : std::max<std::size_t>(window, 2 * std::size_t{threads}));
    for (unsigned i = 1; i < threads; ++i)
      threads_.emplace_back([this] { Work(); });
  }

  ~CSS_OrderedWork() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
      thread.join();
  }

  CSS_OrderedWork(const CSS_OrderedWork&) = delete;
  CSS_OrderedWork& operator=(const CSS_OrderedWork&) = delete;

  // Submits `input` as the next piece, and hands on to `take(Output&)` every piece that is done
  // and whose turn it is, on this thread; `take` returns false to stop the work. false once
  // stopped: nothing is done any more. A piece's exception is thrown here, in its turn.
  template <class Take>
  bool Submit(Input input, Take&& take) {
    if (stopped_) return false;
    if (threads_.empty()) {
      Slot& slot = slots_[0];
      slot.input = std::move(input);
      if (!own_) own_.emplace(context_);
      own_->Run(slot.input, slot.output);
      return Hand(slot, take);
    }
    std::unique_lock lock(mutex_);
    for (;;) {
      if (!HandOnDone(lock, take)) return false;
      if (submitted_ - delivered_ < slots_.size()) break;
      HelpOrWait(lock);
    }
    Slot& slot = slots_[submitted_ % slots_.size()];
    slot.input = std::move(input);
    ++submitted_;
    lock.unlock();
    queued_.notify_one();
    return true;
  }

  // Waits for every piece submitted, doing pieces meanwhile, and hands them on in order. false
  // when `take` stopped the work.
  template <class Take>
  bool Finish(Take&& take) {
    if (stopped_) return false;
    if (threads_.empty()) return true;
    std::unique_lock lock(mutex_);
    for (;;) {
      if (!HandOnDone(lock, take)) return false;
      if (delivered_ == submitted_) return true;
      HelpOrWait(lock);
    }
  }

 private:
  struct Slot {
    Input input{};
    Output output{};
    std::exception_ptr error;
    bool done = false;
  };

  // Hands `slot` on (it belongs to this thread meanwhile); false when the work stops.
  template <class Take>
  bool Hand(Slot& slot, Take& take) {
    if (slot.error) {
      Stop();
      std::exception_ptr error = std::exchange(slot.error, nullptr);
      std::rethrow_exception(error);
    }
    if (take(slot.output)) return true;
    Stop();
    return false;
  }

  // Hands on the pieces that are done, in order, until one is not (mutex_ held on entry and exit,
  // released while `take` runs).
  template <class Take>
  bool HandOnDone(std::unique_lock<std::mutex>& lock, Take& take) {
    while (delivered_ < submitted_) {
      Slot& slot = slots_[delivered_ % slots_.size()];
      if (!slot.done) return true;
      lock.unlock();
      const bool going = Hand(slot, take);
      lock.lock();
      slot.done = false;
      ++delivered_;
      if (!going) return false;
    }
    return true;
  }

  // Does the next piece that no thread has taken, or waits until a piece is done (mutex_ held).
  void HelpOrWait(std::unique_lock<std::mutex>& lock) {
    if (started_ < submitted_) {
      RunNext(lock, own_);
    } else {
      done_.wait(lock);
    }
  }

  // Does the next piece with `worker`, made here if need be (mutex_ held, released meanwhile).
  void RunNext(std::unique_lock<std::mutex>& lock, std::optional<Worker>& worker) {
    Slot& slot = slots_[started_++ % slots_.size()];
    lock.unlock();
    try {
      if (!worker) worker.emplace(context_);
      worker->Run(slot.input, slot.output);
    } catch (...) {
      slot.error = std::current_exception();
    }
    lock.lock();
    slot.done = true;
  }

  void Work() {
    std::optional<Worker> worker;
    std::unique_lock lock(mutex_);
    for (;;) {
      queued_.wait(lock, [&] { return stopping_ || started_ < submitted_; });
      if (stopping_) return;
      RunNext(lock, worker);
      done_.notify_one();
    }
  }

  void Stop() {
    stopped_ = true;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    queued_.notify_all();
  }

  const Context& context_;
  std::vector<Slot> slots_;    // a ring: piece k in slot k % size
  std::optional<Worker> own_;  // the calling thread's
  bool stopped_ = false;       // the calling thread's view: the work ended early

  std::mutex mutex_;
  std::condition_variable queued_;  // a piece was submitted, or stopping
  std::condition_variable done_;    // a piece is done
  std::size_t submitted_ = 0;       // pieces submitted
  std::size_t started_ = 0;         // pieces taken by a thread
  std::size_t delivered_ = 0;       // pieces handed on
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Submits pieces 0 to `count` - 1 (Input std::size_t) on `jobs` threads, at most one per piece,
// and hands them on to `take` in order; false when `take` stopped the work.
template <class Worker, class Take>
bool RunOrdered(const typename Worker::Context& context, std::size_t count, unsigned jobs,
                Take&& take) {
  CSS_OrderedWork<Worker> work(context, JobThreads(jobs, count));
  for (std::size_t k = 0; k < count; ++k) {
    if (!work.Submit(k, take)) return false;
  }
  return work.Finish(take);
}

}  // namespace ssmsg
