#include <ssmsg/SiteDiff.h>

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "core/OrderedWork.h"
#include "jobs/ControllerDiff.h"
#include "site/SiteData.h"

namespace ssmsg {
namespace {

// What the diff compares: the sites, NEW's controllers chosen, OLD's by address, and the tasks.
struct DiffPlan {
  const CSS_Site& old;
  const CSS_Site& current;
  std::vector<std::size_t> controllers;  // of NEW
  std::unordered_map<std::uint64_t, std::size_t> oldByAddress;
  std::vector<ApplicationManagerTask> tasks;
  CSS_ClockSource clock;
  bool sameTexts = false;
};

// What one thread compares with: a host for each site.
class DiffWorker {
 public:
  using Context = DiffPlan;
  using Input = std::size_t;
  using Output = DiffMessages;

  explicit DiffWorker(const DiffPlan& plan)
      : plan_(plan), old_(plan.old, plan.clock), now_(plan.current, plan.clock) {}

  void Run(std::size_t k, DiffMessages& out) {
    const std::size_t controller = plan_.controllers[k];
    const CSS_ControllerAddress address = plan_.current.Address(controller);
    now_.Load(controller);
    const auto old = plan_.oldByAddress.find(AddressKey(address));
    JobHost* before = nullptr;
    if (old != plan_.oldByAddress.end()) {
      old_.Load(old->second);
      before = &old_;
    }
    DiffController(now_, before, plan_.sameTexts, address, plan_.tasks, out);
  }

 private:
  const DiffPlan& plan_;
  JobHost old_;
  JobHost now_;
};

}  // namespace

CSS_DiffResult MakeSiteDiff(const CSS_Site& old, const CSS_Site& current,
                            const CSS_DiffOptions& options, const CSS_MessageSink& sink) {
  DiffPlan plan{old,
                current,
                current.Select(options.selection),
                {},
                {},
                options.time ? FixedClock(*options.time) : CSS_ClockSource(),
                SameEnumTexts(old, current)};
  for (std::size_t i = 0; i < old.ControllerCount(); ++i)
    plan.oldByAddress.emplace(AddressKey(old.Address(i)), i);
  if (options.tasks.empty()) {
    std::ranges::copy_if(kSettingsTasks, std::back_inserter(plan.tasks),
                         [](ApplicationManagerTask task) { return task != kTaskClock; });
  } else {
    plan.tasks = options.tasks;
  }

  CSS_DiffResult result;
  result.stopped = !RunOrdered<DiffWorker>(
      plan, plan.controllers.size(), options.jobs, [&](const DiffMessages& built) {
        result.warnings.insert(result.warnings.end(), built.warnings.begin(), built.warnings.end());
        result.messagesFull += built.full;
        result.messagesWritten += built.ends.size();
        if (!built.ends.empty()) ++result.controllersChanged;
        return built.Deliver(sink, result.failures);
      });
  if (result.stopped) return result;
  for (const CSS_ControllerAddress& address : RemovedControllers(old, current, options.selection))
    result.warnings.push_back(DescribeAddress(address) +
                              ": no longer in the site; nothing is sent to it");
  return result;
}

}  // namespace ssmsg
