#include "platform/StopSignal.h"

#include <pthread.h>
#include <signal.h>

namespace ssmsg {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

StopSignal::StopSignal() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
}

void StopSignal::Wait() {
  const sigset_t set = StopSet();
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
}

}  // namespace ssmsg
