#include "jobs/ControllerDiff.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "core/CSS_Command.h"
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

constexpr std::uint32_t Bit(StorePart part) {
  return std::uint32_t{1} << static_cast<unsigned>(part);
}

// The parts of a store that a task's messages are made of, the capability counts aside (every
// task of records reads them). Where these are the same in both sites, and so are the
// enumeration texts, the task makes the same messages of both. A test holds this table to the
// builders: changing any other part leaves the task's messages as they were. The clock, which
// always goes, and the tasks that send nothing have none.
constexpr std::pair<ApplicationManagerTask, StorePart> kTaskParts[] = {
    {kTaskHolidays, StorePart::Holiday},
    {kTaskTimeGroups, StorePart::TimeGroupZone},
    {kTaskTimeZones, StorePart::TimeZone},
    {kTaskSerialPorts, StorePart::Port},
    {kTaskFieldLan, StorePart::FLan},
    {kTaskDbMode, StorePart::Config},
    {kTaskDbSize, StorePart::Config},
    {kTaskExpanders, StorePart::Config},
    {kTaskXtraName, StorePart::Config},
    {kTaskInputTypes, StorePart::InputType},
    {kTaskInputNames, StorePart::InputType},
    {kTaskInputTiming, StorePart::InputTime},
    {kTaskInputLinks, StorePart::InputLink},
    {kTaskOutputTypes, StorePart::OutputType},
    {kTaskOutputNames, StorePart::OutputType},
    {kTaskOutputTiming, StorePart::OutputTime},
    {kTaskReaderConfiguration, StorePart::RdConfiguration},
    {kTaskReaderNames, StorePart::RdConfiguration},
    {kTaskCheckSetup, StorePart::RdConfiguration},
    {kTaskCardControl, StorePart::RdCardControl},
    {kTaskCardLocation, StorePart::RdCardLocation},
    {kTaskCardStructure, StorePart::RdCardStructure},
    {kTaskAccessAlarms, StorePart::RdAccessAlarm},
    {kTaskXtraMode, StorePart::Xtra}};

}  // namespace

std::uint32_t TaskParts(ApplicationManagerTask task) {
  for (const auto& [listed, part] : kTaskParts) {
    if (listed == task) return Bit(part);
  }
  return 0;
}

namespace {

// The parts of the store in which two controllers' records differ.
std::uint32_t DifferingParts(const CSApplicationManagerStd& a, const CSApplicationManagerStd& b) {
  thread_local std::string left;
  thread_local std::string right;
  std::uint32_t differing = 0;
  for (std::size_t i = 0; i < kStorePartCount; ++i) {
    const auto part = static_cast<StorePart>(i);
    left.clear();
    right.clear();
    EncodeStorePart(a, part, left);
    EncodeStorePart(b, part, right);
    if (left != right) differing |= Bit(part);
  }
  return differing;
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

void DiffController(JobHost& now, JobHost* before, bool sameTexts,
                    const CSS_ControllerAddress& address,
                    std::span<const ApplicationManagerTask> tasks, DiffMessages& out) {
  out.Reset(address);
  out.warnings.clear();
  out.full = 0;
  // Equal records and texts make equal messages: where a task's parts are the same in both,
  // only NEW's messages are made, to be counted.
  const std::uint32_t differing = before != nullptr && sameTexts
                                      ? DifferingParts(now.Store(), before->Store())
                                      : ~std::uint32_t{0};
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
    if ((differing & (TaskParts(task) | Bit(StorePart::Resource))) == 0) {
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
