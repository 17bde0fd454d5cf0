#pragma once

/// \file
/// The whole settings job of a site: every settings message of the chosen controllers, controller
/// by controller in file order and task by task in the order asked for.

#include <ctime>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Site.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// One finished message, with the controller it is for and the task that made it.
struct CSS_SiteMessage {
  CSS_ControllerAddress address;  ///< the controller
  ApplicationManagerTask task;    ///< the task
  std::string_view text;          ///< valid during the call of the sink only
};

/// Receives the messages in order. Returning false stops the job (for instance when the output
/// can no longer be written).
using CSS_MessageSink = std::function<bool(const CSS_SiteMessage& message)>;

/// What MakeSiteSettings makes: the controllers, the tasks, the clock's time and the jobs.
struct CSS_SettingsOptions {
  /// The controllers; every controller of the site when it selects none.
  CSS_Selection selection;
  /// The tasks, in the order they are run for each controller; 151 to 177 when empty.
  std::vector<ApplicationManagerTask> tasks;
  /// The local date and time that the clock message (task 152) sends; without it, the machine's.
  std::optional<std::tm> time;
  /// How many threads build controllers at once (0: one per core). The messages reach the sink in
  /// the same order, on the calling thread, whatever the number.
  unsigned jobs = 1;
};

/// A task that returned false for a controller: its messages that were made are still sent.
struct CSS_TaskFailure {
  CSS_ControllerAddress address;  ///< the controller
  ApplicationManagerTask task;    ///< the task
};

/// How a settings job went.
struct CSS_SettingsResult {
  std::vector<CSS_TaskFailure> failures;  ///< in the order they happened
  bool stopped = false;                   ///< the sink stopped the job
};

/// Builds the settings messages of `site` and hands each to `sink`. The job uses a store and an
/// enumeration service of its own (the built-in texts with the site's), and the time of `options`,
/// all bound to the calling thread only: the process-wide store, service and clock are neither
/// read nor changed, so jobs on different threads do not disturb each other.
/// \param site the site
/// \param options the controllers, tasks, time and jobs
/// \param sink receives each message, in order, on the calling thread
/// \return the tasks that returned false, and whether the sink stopped the job
SSMSG_API CSS_SettingsResult MakeSiteSettings(const CSS_Site& site,
                                              const CSS_SettingsOptions& options,
                                              const CSS_MessageSink& sink);

}  // namespace ssmsg
