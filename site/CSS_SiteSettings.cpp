#include <ssmsg/CSS_SiteSettings.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <numeric>
#include <thread>

#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"

namespace ssmsg {
namespace {

// What a job builds from: the site, the controllers and tasks chosen, and the clock.
struct Plan {
  const CSS_Site& site;
  std::vector<std::size_t> controllers;
  std::span<const ApplicationManagerTask> tasks;
  std::optional<std::tm> time;
};

// A store, an enumeration service (the built-in texts with the site's) and a clock of one
// thread's own, bound to that thread while it lives.
class OwnHost {
 public:
  // The site's texts go into the service before the binding is made (members are set up in the
  // order declared).
  explicit OwnHost(const Plan& plan)
      : clock_(plan.time ? FixedClock(*plan.time) : CSS_ClockSource()),
        bound_((plan.site.LoadEnumTexts(enums_), CSS_HostParts{&store_, &enums_, &clock_})) {}

  CSApplicationManagerStd& Store() { return store_; }

 private:
  CSApplicationManagerStd store_;
  CSToolEnum enums_;
  CSS_ClockSource clock_;
  CSS_ThreadHost bound_;
};

// The messages of one controller, task by task, end to end in one buffer: the thread that hands
// them on reads them in one sweep, and the thread that made them frees each message while it is
// still in its cache.
struct ControllerMessages {
  struct Task {
    ApplicationManagerTask task;
    std::size_t messages;  // how many of the messages it made
    bool failed;
  };
  CSS_ControllerAddress address;
  std::string bytes;
  std::vector<std::size_t> ends;  // where each message ends in `bytes`
  std::vector<Task> tasks;
  std::exception_ptr error;
  bool ready = false;
};

// Builds every message of controller `controller` of the plan into `out` (emptied first), with
// the host bound to the calling thread; `scratch` receives each task's messages on the way.
void Build(const Plan& plan, std::size_t controller, CSApplicationManagerStd& store,
           CSS_StringList& scratch, ControllerMessages& out) {
  out.bytes.clear();
  out.ends.clear();
  out.tasks.clear();
  plan.site.LoadController(controller, store);
  out.address = plan.site.Address(controller);
  for (const ApplicationManagerTask task : plan.tasks) {
    scratch.clear();
    const bool done =
        CSS_Manager::Builders::Dispatch(task, out.address.interfaceId, out.address.node, scratch);
    for (const std::string& message : scratch) {
      out.bytes += message;
      out.ends.push_back(out.bytes.size());
    }
    out.tasks.push_back({task, scratch.size(), !done});
  }
  scratch.clear();
}

// Hands the messages of one controller to the sink; false when the sink stopped the job.
bool Deliver(const ControllerMessages& built, const CSS_MessageSink& sink,
             CSS_SettingsResult& result) {
  const std::string_view bytes = built.bytes;
  std::size_t message = 0;
  std::size_t begin = 0;
  for (const ControllerMessages::Task& task : built.tasks) {
    if (task.failed) result.failures.push_back({built.address, task.task});
    for (const std::size_t end = message + task.messages; message < end; ++message) {
      const std::size_t stop = built.ends[message];
      if (!sink({built.address, task.task, bytes.substr(begin, stop - begin)})) return false;
      begin = stop;
    }
  }
  return true;
}

// One thread: each task's messages go to the sink as soon as the task is done.
CSS_SettingsResult RunOnThisThread(const Plan& plan, const CSS_MessageSink& sink) {
  OwnHost host(plan);
  CSS_SettingsResult result;
  CSS_StringList messages;
  for (const std::size_t controller : plan.controllers) {
    plan.site.LoadController(controller, host.Store());
    const CSS_ControllerAddress address = plan.site.Address(controller);
    for (const ApplicationManagerTask task : plan.tasks) {
      messages.clear();
      if (!CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, messages)) {
        result.failures.push_back({address, task});
      }
      for (const std::string& text : messages) {
        if (!sink({address, task, text})) {
          result.stopped = true;
          return result;
        }
      }
    }
  }
  return result;
}

// `jobs` threads build whole controllers, each into a slot of a ring: jobs - 1 workers, and the
// calling thread whenever the next slot to hand on is not ready yet. The calling thread hands the
// slots to the sink in file order as soon as each is ready. A controller is taken only while it
// lies within the ring's reach of the next one to deliver, so memory stays bounded by the ring
// whatever the site's size.
class ParallelJob {
 public:
  ParallelJob(const Plan& plan, unsigned jobs)
      : plan_(plan), slots_(std::min<std::size_t>(2 * std::size_t{jobs}, plan.controllers.size())) {
    for (unsigned i = 1; i < jobs; ++i)
      workers_.emplace_back([this] { Work(); });
  }

  ~ParallelJob() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    room_.notify_all();
    for (std::thread& worker : workers_)
      worker.join();
  }

  ParallelJob(const ParallelJob&) = delete;
  ParallelJob& operator=(const ParallelJob&) = delete;

  CSS_SettingsResult Run(const CSS_MessageSink& sink) {
    CSS_SettingsResult result;
    std::optional<OwnHost> host;  // the calling thread's, made when it first builds
    CSS_StringList scratch;
    for (std::size_t k = 0; k < plan_.controllers.size(); ++k) {
      ControllerMessages& slot = slots_[k % slots_.size()];
      {
        std::unique_lock lock(mutex_);
        while (!slot.ready) {
          if (!Takeable()) {
            ready_.wait(lock);
            continue;
          }
          const std::size_t next = next_++;
          lock.unlock();
          BuildInto(next, host, scratch);
          lock.lock();
          slots_[next % slots_.size()].ready = true;
        }
      }
      // A ready slot belongs to this thread until it is handed back.
      if (slot.error) std::rethrow_exception(slot.error);
      const bool going = Deliver(slot, sink, result);
      {
        std::lock_guard lock(mutex_);
        slot.ready = false;
        ++delivered_;
        if (!going) stopping_ = true;
      }
      room_.notify_all();
      if (!going) {
        result.stopped = true;
        break;
      }
    }
    return result;
  }

 private:
  // Whether a controller may be taken now (mutex_ held).
  bool Takeable() const {
    return next_ < plan_.controllers.size() && next_ < delivered_ + slots_.size();
  }

  // Builds controller number `k` of the plan into its slot with `host`, made on first use.
  void BuildInto(std::size_t k, std::optional<OwnHost>& host, CSS_StringList& scratch) {
    ControllerMessages& slot = slots_[k % slots_.size()];
    try {
      if (!host) host.emplace(plan_);
      Build(plan_, plan_.controllers[k], host->Store(), scratch, slot);
    } catch (...) {
      slot.error = std::current_exception();
    }
  }

  void Work() {
    std::optional<OwnHost> host;
    CSS_StringList scratch;
    std::unique_lock lock(mutex_);
    for (;;) {
      room_.wait(lock, [&] { return stopping_ || Takeable(); });
      if (stopping_) return;
      const std::size_t k = next_++;
      lock.unlock();
      BuildInto(k, host, scratch);
      lock.lock();
      slots_[k % slots_.size()].ready = true;
      ready_.notify_one();
    }
  }

  const Plan& plan_;
  std::vector<ControllerMessages> slots_;
  std::mutex mutex_;
  std::condition_variable room_;   // a slot was handed back, or stopping
  std::condition_variable ready_;  // a slot is ready
  std::size_t next_ = 0;           // the next controller to build
  std::size_t delivered_ = 0;      // controllers handed to the sink
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

CSS_SettingsResult MakeSiteSettings(const CSS_Site& site, const CSS_SettingsOptions& options,
                                    const CSS_MessageSink& sink) {
  Plan plan{site, options.controllers,
            options.tasks.empty() ? std::span<const ApplicationManagerTask>(kSettingsTasks)
                                  : std::span<const ApplicationManagerTask>(options.tasks),
            options.time};
  if (plan.controllers.empty()) {
    plan.controllers.resize(site.ControllerCount());
    std::iota(plan.controllers.begin(), plan.controllers.end(), std::size_t{0});
  }
  unsigned jobs = options.jobs != 0 ? options.jobs : std::thread::hardware_concurrency();
  jobs = static_cast<unsigned>(std::min<std::size_t>(std::max(jobs, 1u), plan.controllers.size()));
  if (jobs <= 1) return RunOnThisThread(plan, sink);
  ParallelJob job(plan, jobs);
  return job.Run(sink);
}

}  // namespace ssmsg
