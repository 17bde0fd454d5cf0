#include <ssmsg/SiteSettings.h>

#include <numeric>

#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"
#include "jobs/ControllerMessages.h"
#include "core/OrderedWork.h"

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

// What one thread builds with: a host of its own, and the settings messages of each controller.
class SettingsWorker {
 public:
  using Context = Plan;
  using Input = std::size_t;
  using Output = CSS_ControllerMessages;

  explicit SettingsWorker(const Plan& plan) : plan_(plan), host_(plan) {}

  // Builds every message of controller `k` of the plan into `out`.
  void Run(std::size_t k, CSS_ControllerMessages& out) {
    const std::size_t controller = plan_.controllers[k];
    plan_.site.LoadController(controller, host_.Store());
    out.Reset(plan_.site.Address(controller));
    for (const ApplicationManagerTask task : plan_.tasks) {
      scratch_.clear();
      const bool done = CSS_Manager::Builders::Dispatch(task, out.address.interfaceId,
                                                        out.address.node, scratch_);
      out.Add(task, scratch_, !done);
    }
    scratch_.clear();
  }

 private:
  const Plan& plan_;
  OwnHost host_;
  CSS_StringList scratch_;
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
  CSS_SettingsResult result;
  result.stopped = !RunOrdered<SettingsWorker>(
      plan, plan.controllers.size(), options.jobs,
      [&](const CSS_ControllerMessages& built) { return built.Deliver(sink, result.failures); });
  return result;
}

}  // namespace ssmsg
