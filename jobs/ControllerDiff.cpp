#include "jobs/ControllerDiff.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "core/CSS_Command.h"
#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"
#include "site/SiteData.h"
#include "site/StoreImage.h"

namespace ssmsg {
namespace {

// The messages of one task, with their records, made from one site's controller.
struct TaskMessages {
  CSS_StringList messages;
  std::vector<std::int32_t> records;  // the record number of each message
  bool done = true;
};

// Whether two stores hold the same records: then every task makes the same messages of both.
bool SameRecords(const CSApplicationManagerStd& a, const CSApplicationManagerStd& b) {
  thread_local std::string left;
  thread_local std::string right;
  left.clear();
  right.clear();
  EncodeStore(a, left);
  EncodeStore(b, right);
  return left == right;
}

// NEW's messages of each record whose messages differ from OLD's for the same record, or that OLD
// did not send; a record that only OLD sent is reported, as no message of this task can withdraw
// it.
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
    warnings.push_back(DescribeAddress(address) + ": task " + std::to_string(task) + " (" +
                       std::string(CSS_Manager::Builders::Sends(task)) + "): " + record + " " +
                       std::to_string(number) +
                       " is no longer sent, and this task cannot withdraw it");
  }
  return changed;
}

}  // namespace

bool JobHost::Build(ApplicationManagerTask task, const CSS_ControllerAddress& address,
                    CSS_StringList& out, std::vector<std::int32_t>* records) {
  const CSS_ThreadHost host({&store_, &enums_, &clock_});
  if (records == nullptr) {
    return CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, out);
  }
  const CSS_RecordTrail trail(*records);
  return CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, out);
}

void DiffController(JobHost& now, JobHost* before, bool sameTexts,
                    const CSS_ControllerAddress& address,
                    std::span<const ApplicationManagerTask> tasks, DiffMessages& out) {
  out.Reset(address);
  out.warnings.clear();
  out.full = 0;
  // Equal records and texts make equal messages: only NEW's are made, to be counted (and the
  // clock's, which always goes).
  const bool unchanged =
      before != nullptr && sameTexts && SameRecords(now.Store(), before->Store());
  TaskMessages made;
  TaskMessages old;
  for (const ApplicationManagerTask task : tasks) {
    made.messages.clear();
    made.records.clear();
    made.done = now.Build(task, address, made.messages, &made.records);
    out.full += made.messages.size();
    // A controller that OLD does not have gets everything, and the clock always goes.
    if (before == nullptr || task == kTaskClock) {
      out.Add(task, made.messages, !made.done);
      continue;
    }
    if (unchanged) {
      out.Add(task, {}, !made.done);
      continue;
    }
    old.messages.clear();
    old.records.clear();
    old.done = before->Build(task, address, old.messages, &old.records);
    if (old.messages == made.messages) {
      out.Add(task, {}, !made.done);
    } else if (CSS_Manager::Builders::BuilderOf(task).shape != CSS_TaskShape::PerRecord) {
      out.Add(task, made.messages, !made.done);
    } else {
      out.Add(task, ChangedRecords(address, task, old, made, out.warnings), !made.done);
    }
  }
}

bool SameEnumTexts(const CSS_Site& a, const CSS_Site& b) {
  const auto& left = CSS_SiteAccess::Of(a).enumTexts;
  const auto& right = CSS_SiteAccess::Of(b).enumTexts;
  return std::ranges::equal(left, right, [](const CSS_SiteEnumText& x, const CSS_SiteEnumText& y) {
    return x.id == y.id && x.value == y.value && x.text == y.text;
  });
}

std::vector<CSS_ControllerAddress> RemovedControllers(const CSS_Site& old, const CSS_Site& current,
                                                      const CSS_Selection& selection) {
  std::unordered_set<std::uint64_t> inNew;
  for (const std::size_t i : current.Select(selection))
    inNew.insert(AddressKey(current.Address(i)));
  std::vector<CSS_ControllerAddress> removed;
  for (const std::size_t i : old.Select(selection)) {
    if (!inNew.contains(AddressKey(old.Address(i)))) removed.push_back(old.Address(i));
  }
  return removed;
}

std::string DescribeAddress(const CSS_ControllerAddress& address) {
  return "interface " + std::to_string(address.interfaceId) + ", node " +
         std::to_string(address.node);
}

}  // namespace ssmsg
