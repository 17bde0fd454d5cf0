#include <ssmsg/CSS_SiteDiff.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <span>
#include <string_view>
#include <unordered_map>

#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"

namespace ssmsg {
namespace {

// The record that a message of a per-record task names: the element that follows "Node", as in
// "<Node>2</Node><Input>3</Input>": its name ("Input") and number (3).
struct RecordOf {
  std::string_view tag;
  std::int32_t number = 0;

  explicit RecordOf(std::string_view message) {
    constexpr std::string_view kAfterNode = "</Node><";
    const std::size_t at = message.find(kAfterNode);
    if (at == std::string_view::npos) return;
    const std::string_view rest = message.substr(at + kAfterNode.size());
    const std::size_t close = rest.find('>');
    if (close == std::string_view::npos) return;
    tag = rest.substr(0, close);
    const std::string_view digits = rest.substr(close + 1);
    std::from_chars(digits.data(), digits.data() + digits.size(), number);
  }
};

// The messages of one task, with their records, made from one site's controller.
struct TaskMessages {
  CSS_StringList messages;
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

std::string_view Sends(ApplicationManagerTask task) {
  return CSS_Manager::Builders::kTaskRows[task - kFirstSettingsTask].info.sends;
}

class Differ {
 public:
  Differ(const CSS_Site& old, const CSS_Site& current, const CSS_DiffOptions& options,
         const CSS_MessageSink& sink)
      : old_(old),
        current_(current),
        oldSide_(old),
        newSide_(current),
        options_(options),
        sink_(sink),
        clock_(options.time ? FixedClock(*options.time) : CSS_ClockSource()) {
    if (options.tasks.empty()) {
      std::copy_if(kSettingsTasks.begin(), kSettingsTasks.end(), std::back_inserter(tasks_),
                   [](ApplicationManagerTask task) { return task != kTaskClock; });
    } else {
      tasks_ = options.tasks;
    }
  }

  CSS_DiffResult Run() {
    std::unordered_map<std::uint64_t, std::size_t> oldByAddress;
    for (std::size_t i = 0; i < old_.ControllerCount(); ++i)
      oldByAddress.emplace(Key(old_.Address(i)), i);
    std::unordered_map<std::uint64_t, std::size_t> newByAddress;
    for (const std::size_t i : current_.Select(options_.interfaceId, options_.node)) {
      const CSS_ControllerAddress address = current_.Address(i);
      newByAddress.emplace(Key(address), i);
      const auto found = oldByAddress.find(Key(address));
      const std::size_t written = result_.messagesWritten;
      if (!Controller(i, address, found == oldByAddress.end() ? nullptr : &found->second)) {
        result_.stopped = true;
        return std::move(result_);
      }
      if (result_.messagesWritten != written) ++result_.controllersChanged;
    }
    for (const std::size_t i : old_.Select(options_.interfaceId, options_.node)) {
      const CSS_ControllerAddress address = old_.Address(i);
      if (newByAddress.contains(Key(address))) continue;
      result_.warnings.push_back(Describe(address) +
                                 ": no longer in the site; nothing is sent to it");
    }
    return std::move(result_);
  }

 private:
  static std::uint64_t Key(const CSS_ControllerAddress& address) {
    return (std::uint64_t{static_cast<std::uint32_t>(address.interfaceId)} << 32) |
           static_cast<std::uint32_t>(address.node);
  }

  // Sends what controller `controller` of NEW needs; false when the sink stopped the job.
  bool Controller(std::size_t controller, const CSS_ControllerAddress& address,
                  const std::size_t* oldController) {
    newSide_.Load(controller);
    if (oldController != nullptr) oldSide_.Load(*oldController);
    for (const ApplicationManagerTask task : tasks_) {
      const TaskMessages made = newSide_.Make(task, address, clock_);
      if (!made.done) result_.failures.push_back({address, task});
      result_.messagesFull += made.messages.size();
      const CSS_TaskShape shape = CSS_Manager::Builders::kTaskRows[task - kFirstSettingsTask].shape;
      if (oldController == nullptr || task == kTaskClock) {
        if (!Send(address, task, made.messages)) return false;
        continue;
      }
      const TaskMessages before = oldSide_.Make(task, address, clock_);
      if (before.messages == made.messages) continue;
      if (shape != CSS_TaskShape::PerRecord) {
        if (!Send(address, task, made.messages)) return false;
        continue;
      }
      if (!SendChangedRecords(address, task, before.messages, made.messages)) return false;
    }
    return true;
  }

  bool Send(const CSS_ControllerAddress& address, ApplicationManagerTask task,
            std::span<const std::string> messages) {
    for (const std::string& text : messages) {
      if (!sink_({address, task, text})) return false;
      ++result_.messagesWritten;
    }
    return true;
  }

  // The messages of each record of NEW that differ from OLD's for the same record, or that OLD
  // did not send; a record that only OLD sent is reported, as no message of this task can
  // withdraw it.
  bool SendChangedRecords(const CSS_ControllerAddress& address, ApplicationManagerTask task,
                          const CSS_StringList& before, const CSS_StringList& after) {
    // Each record's messages are consecutive: (first, count) by record number.
    std::map<std::int32_t, std::pair<std::size_t, std::size_t>> oldRecords;
    std::string_view tag;
    for (std::size_t i = 0; i < before.size(); ++i) {
      const RecordOf record(before[i]);
      tag = record.tag;
      auto& [first, count] = oldRecords.try_emplace(record.number, i, 0).first->second;
      ++count;
    }
    const std::span<const std::string> oldMessages(before);
    for (std::size_t first = 0; first < after.size();) {
      const std::int32_t number = RecordOf(after[first]).number;
      std::size_t end = first + 1;
      while (end < after.size() && RecordOf(after[end]).number == number)
        ++end;
      const std::span<const std::string> newGroup(after.data() + first, end - first);
      const auto old = oldRecords.find(number);
      const bool same =
          old != oldRecords.end() &&
          std::ranges::equal(oldMessages.subspan(old->second.first, old->second.second), newGroup);
      if (old != oldRecords.end()) oldRecords.erase(old);
      if (!same && !Send(address, task, newGroup)) return false;
      first = end;
    }
    for (const auto& [number, messages] : oldRecords) {
      std::string record(tag);
      if (!record.empty()) record[0] = static_cast<char>(record[0] - 'A' + 'a');
      result_.warnings.push_back(Describe(address) + ": task " + std::to_string(task) + " (" +
                                 std::string(Sends(task)) + "): " + record + " " +
                                 std::to_string(number) +
                                 " is no longer sent, and this task cannot withdraw it");
    }
    return true;
  }

  const CSS_Site& old_;
  const CSS_Site& current_;
  Side oldSide_;
  Side newSide_;
  const CSS_DiffOptions& options_;
  const CSS_MessageSink& sink_;
  const CSS_ClockSource clock_;
  std::vector<ApplicationManagerTask> tasks_;
  CSS_DiffResult result_;
};

}  // namespace

CSS_DiffResult MakeSiteDiff(const CSS_Site& old, const CSS_Site& current,
                            const CSS_DiffOptions& options, const CSS_MessageSink& sink) {
  return Differ(old, current, options, sink).Run();
}

}  // namespace ssmsg
