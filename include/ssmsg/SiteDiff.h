#pragma once

/// \file
/// Sending only what changed: the settings messages that bring controllers configured from one
/// site (OLD) to another (NEW), task by task and, where a task sends one message per input,
/// output or reader without clearing the list first, record by record.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Site.h>
#include <ssmsg/SiteSettings.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// What MakeSiteDiff compares: the controllers, the tasks, the clock's time and the jobs.
struct CSS_DiffOptions {
  /// The controllers (of both sites); every controller when it selects none.
  CSS_Selection selection;
  /// The tasks, in the order they are compared; when empty, 151 to 177 without the clock (152),
  /// which is not configuration: the clock is sent only when named here, and then always.
  std::vector<ApplicationManagerTask> tasks;
  /// The local date and time that the clock message sends; without it, the machine's.
  std::optional<std::tm> time;
  /// How many threads compare controllers at once (0: one per core). The messages reach the sink
  /// in the same order, on the calling thread, whatever the number.
  unsigned jobs = 1;
};

/// How a diff went.
struct CSS_DiffResult {
  std::vector<CSS_TaskFailure> failures;  ///< NEW's tasks that returned false
  /// What cannot be sent: records that NEW no longer has but a task without a clear message
  /// cannot withdraw, and controllers that NEW no longer has. One line each.
  std::vector<std::string> warnings;
  bool stopped = false;                ///< the sink stopped the job
  std::size_t controllersChanged = 0;  ///< controllers that were sent anything
  std::size_t messagesWritten = 0;     ///< the messages handed to the sink
  std::size_t messagesFull = 0;        ///< what settings of NEW would have sent with the same tasks
};

/// Hands `sink` the messages that bring the selected controllers of `current` (NEW) from `old`,
/// controller by controller in NEW's order:
/// - a controller that OLD does not have gets every message of its tasks, as settings would send;
/// - for a controller that both have, each task's messages are made from both sites (each with its
///   own enumeration texts); a task whose messages are equal sends nothing; a task that clears its
///   list first, or that sends one message or one name, sends all of NEW's messages; a task of one
///   message per input, output or reader sends NEW's messages of each record whose messages differ
///   from OLD's or that OLD did not send.
/// \param old the site last sent (OLD)
/// \param current the site to send (NEW)
/// \param options the controllers, tasks, time and jobs
/// \param sink receives each message, in order, on the calling thread
/// \return the failures, warnings and counts
SSMSG_API CSS_DiffResult MakeSiteDiff(const CSS_Site& old, const CSS_Site& current,
                                      const CSS_DiffOptions& options, const CSS_MessageSink& sink);

}  // namespace ssmsg
