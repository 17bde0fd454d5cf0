#pragma once

// Waiting until the program is asked to stop: Ctrl-C on its terminal, or a service manager's
// stop (SIGINT and SIGTERM on POSIX systems).

namespace ssmsg {

class StopSignal {
 public:
  // From here on, for the rest of the program, stop requests are kept for Wait instead of ending
  // it, in this thread and every thread it starts afterwards (a second request while the program
  // winds down does not cut that short); and a peer that closes a socket early does not end it
  // either. Make it before starting threads.
  StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Returns once a stop is requested.
  void Wait();
};

}  // namespace ssmsg
