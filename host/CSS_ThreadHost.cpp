#include "host/CSS_ThreadHost.h"

namespace ssmsg {
namespace {

CSS_HostParts& Bound() {
  thread_local CSS_HostParts parts;
  return parts;
}

}  // namespace

const CSS_HostParts& ThreadHostParts() {
  return Bound();
}

CSS_ThreadHost::CSS_ThreadHost(const CSS_HostParts& parts) : previous_(Bound()) {
  Bound() = parts;
}

CSS_ThreadHost::~CSS_ThreadHost() {
  Bound() = previous_;
}

}  // namespace ssmsg
