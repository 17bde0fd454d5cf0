#pragma once

#include <atomic>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSToolEnum.h>

namespace ssmsg {

// What the builders running on one thread read: a store, an enumeration service and a clock.
// A null member falls back to the process-wide one (gl_SetApplicationManagerStd, gl_SetToolEnum,
// gl_SetClockSource).
struct CSS_HostParts {
  CSApplicationManagerStd* store = nullptr;
  CSToolEnum* enums = nullptr;
  const CSS_ClockSource* clock = nullptr;
};

// The parts bound to the calling thread.
const CSS_HostParts& ThreadHostParts();

// One of the services that builders read, of type T and held in CSS_HostParts as `kBound`: the
// one bound to the calling thread, else the one installed for the process, else a default of the
// service's own. `Install` returns what was in force before (the default for none).
template <class T, T* CSS_HostParts::*kBound>
class CSS_HostService {
 public:
  static T* Current() {
    if (T* bound = ThreadHostParts().*kBound) return bound;
    T* installed = installed_.load(std::memory_order_acquire);
    return installed != nullptr ? installed : &Own();
  }
  static T* Install(T* service) {
    T* previous = installed_.exchange(service, std::memory_order_acq_rel);
    return previous != nullptr ? previous : &Own();
  }

 private:
  static T& Own() {
    static T own;
    return own;
  }
  static inline std::atomic<T*> installed_{nullptr};
};

// Binds `parts` to the calling thread for its lifetime and restores the earlier binding after.
// A job that builds controllers on several threads gives each worker a store of its own this
// way, so that no thread reads what another one writes, while single-threaded hosts keep using
// the process-wide accessors.
class CSS_ThreadHost {
 public:
  explicit CSS_ThreadHost(const CSS_HostParts& parts);
  ~CSS_ThreadHost();
  CSS_ThreadHost(const CSS_ThreadHost&) = delete;
  CSS_ThreadHost& operator=(const CSS_ThreadHost&) = delete;

 private:
  CSS_HostParts previous_;
};

}  // namespace ssmsg
