#include <ssmsg/CSApplicationManagerStd.h>

#include <atomic>

#include "host/CSS_ThreadHost.h"

namespace ssmsg {
namespace {

CSApplicationManagerStd& OwnStore() {
  static CSApplicationManagerStd store;
  return store;
}

std::atomic<CSApplicationManagerStd*> installedStore{nullptr};

}  // namespace

CSApplicationManagerStd* gl_GetApplicationManagerStd() {
  if (CSApplicationManagerStd* bound = ThreadHostParts().store) return bound;
  CSApplicationManagerStd* store = installedStore.load(std::memory_order_acquire);
  return store != nullptr ? store : &OwnStore();
}

CSApplicationManagerStd* gl_SetApplicationManagerStd(CSApplicationManagerStd* store) {
  CSApplicationManagerStd* previous = installedStore.exchange(store, std::memory_order_acq_rel);
  return previous != nullptr ? previous : &OwnStore();
}

}  // namespace ssmsg
