#pragma once

// The messages that a job made for one controller, kept until it is that controller's turn to be
// handed on (see core/OrderedWork.h).

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/SiteSettings.h>

namespace ssmsg {

// One controller's messages, task by task, end to end in one buffer: the thread that hands them
// on reads them in one sweep, and the thread that made them frees each message while it is still
// in its cache.
struct CSS_ControllerMessages {
  struct Task {
    ApplicationManagerTask task;
    std::size_t messages;  // how many of the messages it made
    bool failed;
  };

  CSS_ControllerAddress address;
  std::string bytes;
  std::vector<std::size_t> ends;  // where each message ends in `bytes`
  std::vector<Task> tasks;

  // Starts over for the controller at `where`.
  void Reset(const CSS_ControllerAddress& where) {
    address = where;
    bytes.clear();
    ends.clear();
    tasks.clear();
  }

  // Keeps `messages` as what `task` made; `failed`: the task returned false.
  void Add(ApplicationManagerTask task, std::span<const std::string> messages, bool failed) {
    for (const std::string& message : messages) {
      bytes += message;
      ends.push_back(bytes.size());
    }
    tasks.push_back({task, messages.size(), failed});
  }

  // Hands the messages to `sink` in order and notes the tasks that failed; false when the sink
  // stopped the job.
  bool Deliver(const CSS_MessageSink& sink, std::vector<CSS_TaskFailure>& failures) const {
    const std::string_view text = bytes;
    std::size_t message = 0;
    std::size_t begin = 0;
    for (const Task& task : tasks) {
      if (task.failed) failures.push_back({address, task.task});
      for (const std::size_t end = message + task.messages; message < end; ++message) {
        const std::size_t stop = ends[message];
        if (!sink({address, task.task, text.substr(begin, stop - begin)})) return false;
        begin = stop;
      }
    }
    return true;
  }
};

}  // namespace ssmsg
