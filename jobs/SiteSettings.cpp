#include <ssmsg/SiteSettings.h>

#include "core/OrderedWork.h"
#include "jobs/ControllerMessages.h"
#include "jobs/JobHost.h"

namespace ssmsg {
namespace {

// What a job builds from: the site, the controllers and tasks chosen, and the clock.
struct Plan {
  const CSS_Site& site;
  std::vector<std::size_t> controllers;
  std::span<const ApplicationManagerTask> tasks;
  CSS_ClockSource clock;
};

// What one thread builds with: a host of its own, and the settings messages of each controller.
class SettingsWorker {
 public:
  using Context = Plan;
  using Input = std::size_t;
  using Output = CSS_ControllerMessages;

  explicit SettingsWorker(const Plan& plan) : plan_(plan), host_(plan.site, plan.clock) {}

  // Builds every message of controller `k` of the plan into `out`.
  void Run(std::size_t k, CSS_ControllerMessages& out) {
    const std::size_t controller = plan_.controllers[k];
    host_.Load(controller);
    out.Reset(plan_.site.Address(controller));
    for (const ApplicationManagerTask task : plan_.tasks) {
      scratch_.clear();
      const bool done = host_.Build(task, out.address, scratch_);
      out.Add(task, scratch_, !done);
    }
    scratch_.clear();
  }

 private:
  const Plan& plan_;
  JobHost host_;
  CSS_StringList scratch_;
};

}  // namespace

CSS_SettingsResult MakeSiteSettings(const CSS_Site& site, const CSS_SettingsOptions& options,
                                    const CSS_MessageSink& sink) {
  const Plan plan{site, site.Select(options.selection),
                  options.tasks.empty() ? std::span<const ApplicationManagerTask>(kSettingsTasks)
                                        : std::span<const ApplicationManagerTask>(options.tasks),
                  options.time ? FixedClock(*options.time) : CSS_ClockSource()};
  CSS_SettingsResult result;
  result.stopped = !RunOrdered<SettingsWorker>(
      plan, plan.controllers.size(), options.jobs,
      [&](const CSS_ControllerMessages& built) { return built.Deliver(sink, result.failures); });
  return result;
}

}  // namespace ssmsg
