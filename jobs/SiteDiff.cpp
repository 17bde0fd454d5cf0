#include <ssmsg/SiteDiff.h>

#include <algorithm>
#include <map>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/CSS_Command.h"
#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"
#include "jobs/ControllerMessages.h"
#include "core/OrderedWork.h"
#include "site/SiteData.h"

namespace ssmsg {
namespace {

// The messages of one task, with their records, made from one site's controller.
struct TaskMessages {
  CSS_StringList messages;
  std::vector<std::int32_t> records;  // the record number of each message
  bool done = true;
};

// One site's part of a comparison: a store for its controller and its enumeration texts.
class Side {
 public:
  explicit Side(const CSS_Site& site) : site_(site) { site.LoadEnumTexts(enums_); }

  void Load(std::size_t controller) { site_.LoadController(controller, store_); }

  // The messages of `task` for `address`, made from this side's store and texts.
  TaskMessages Make(ApplicationManagerTask task, const CSS_ControllerAddress& address,
                    const CSS_ClockSource& clock) {
    const CSS_ThreadHost host({&store_, &enums_, &clock});
    TaskMessages made;
    const CSS_RecordTrail trail(made.records);
    made.done =
        CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, made.messages);
    return made;
  }

 private:
  const CSS_Site& site_;
  CSApplicationManagerStd store_;
  CSToolEnum enums_;
};

std::string Describe(const CSS_ControllerAddress& address) {
  return "interface " + std::to_string(address.interfaceId) + ", node " +
         std::to_string(address.node);
}

// What the diff compares: the sites, NEW's controllers chosen, OLD's by address, and the tasks.
struct DiffPlan {
  const CSS_Site& old;
  const CSS_Site& current;
  std::vector<std::size_t> controllers;  // of NEW
  std::unordered_map<std::uint64_t, std::size_t> oldByAddress;
  std::vector<ApplicationManagerTask> tasks;
  std::optional<std::tm> time;
};

// What one controller of NEW needs: its messages, with the warnings about it and the number of
// messages a full settings would send it.
struct DiffMessages : CSS_ControllerMessages {
  std::vector<std::string> warnings;
  std::size_t full = 0;
};

// What one thread compares with: a side for each site, and the clock.
class DiffWorker {
 public:
  using Context = DiffPlan;
  using Input = std::size_t;
  using Output = DiffMessages;

  explicit DiffWorker(const DiffPlan& plan)
      : plan_(plan),
        oldSide_(plan.old),
        newSide_(plan.current),
        clock_(plan.time ? FixedClock(*plan.time) : CSS_ClockSource()) {}

  void Run(std::size_t k, DiffMessages& out) {
    const std::size_t controller = plan_.controllers[k];
    const CSS_ControllerAddress address = plan_.current.Address(controller);
    out.Reset(address);
    out.warnings.clear();
    out.full = 0;
    newSide_.Load(controller);
    const auto old = plan_.oldByAddress.find(AddressKey(address));
    if (old != plan_.oldByAddress.end()) oldSide_.Load(old->second);
    for (const ApplicationManagerTask task : plan_.tasks) {
      const TaskMessages made = newSide_.Make(task, address, clock_);
      out.full += made.messages.size();
      // A controller that OLD does not have gets everything, and the clock always goes.
      if (old == plan_.oldByAddress.end() || task == kTaskClock) {
        out.Add(task, made.messages, !made.done);
        continue;
      }
      const TaskMessages before = oldSide_.Make(task, address, clock_);
      if (before.messages == made.messages) {
        out.Add(task, {}, !made.done);
      } else if (CSS_Manager::Builders::BuilderOf(task).shape != CSS_TaskShape::PerRecord) {
        out.Add(task, made.messages, !made.done);
      } else {
        out.Add(task, ChangedRecords(address, task, before, made, out.warnings), !made.done);
      }
    }
  }

 private:
  // NEW's messages of each record whose messages differ from OLD's for the same record, or that
  // OLD did not send; a record that only OLD sent is reported, as no message of this task can
  // withdraw it.
  CSS_StringList ChangedRecords(const CSS_ControllerAddress& address, ApplicationManagerTask task,
                                const TaskMessages& before, const TaskMessages& after,
                                std::vector<std::string>& warnings) {
    // Each record's messages are consecutive: (first, count) by record number.
    std::map<std::int32_t, std::pair<std::size_t, std::size_t>> oldRecords;
    for (std::size_t i = 0; i < before.records.size(); ++i)
      ++oldRecords.try_emplace(before.records[i], i, 0).first->second.second;
    const std::span<const std::string> oldMessages(before.messages);
    CSS_StringList changed;
    for (std::size_t first = 0; first < after.messages.size();) {
      const std::int32_t number = after.records[first];
      std::size_t end = first + 1;
      while (end < after.records.size() && after.records[end] == number)
        ++end;
      const std::span<const std::string> newGroup(after.messages.data() + first, end - first);
      const auto old = oldRecords.find(number);
      const bool same =
          old != oldRecords.end() &&
          std::ranges::equal(oldMessages.subspan(old->second.first, old->second.second), newGroup);
      if (old != oldRecords.end()) oldRecords.erase(old);
      if (!same) changed.insert(changed.end(), newGroup.begin(), newGroup.end());
      first = end;
    }
    // The element that names a record is the first of its message ("Input", "Reader", ...).
    const CSS_TaskBuilder& builder = CSS_Manager::Builders::BuilderOf(task);
    const std::string_view tag = builder.message->elements.front().name;
    for (const auto& [number, messages] : oldRecords) {
      std::string record(tag);
      if (!record.empty()) record[0] = static_cast<char>(record[0] - 'A' + 'a');
      warnings.push_back(Describe(address) + ": task " + std::to_string(task) + " (" +
                         std::string(CSS_Manager::Builders::Sends(task)) + "): " + record + " " +
                         std::to_string(number) +
                         " is no longer sent, and this task cannot withdraw it");
    }
    return changed;
  }

  const DiffPlan& plan_;
  Side oldSide_;
  Side newSide_;
  const CSS_ClockSource clock_;
};

}  // namespace

CSS_DiffResult MakeSiteDiff(const CSS_Site& old, const CSS_Site& current,
                            const CSS_DiffOptions& options, const CSS_MessageSink& sink) {
  DiffPlan plan{old, current, current.Select(options.interfaceId, options.node),
                {},  {},      options.time};
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

  std::unordered_set<std::uint64_t> inNew;
  for (const std::size_t i : plan.controllers)
    inNew.insert(AddressKey(current.Address(i)));
  for (const std::size_t i : old.Select(options.interfaceId, options.node)) {
    if (inNew.contains(AddressKey(old.Address(i)))) continue;
    result.warnings.push_back(Describe(old.Address(i)) +
                              ": no longer in the site; nothing is sent to it");
  }
  return result;
}

}  // namespace ssmsg
