#include "server/ChangeSets.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Json.h>

#include "server/JsonValue.h"
#include "server/Merge.h"

namespace ssmsg::server {
namespace {

Refusal Unprocessable(std::string message) {
  return Refusal::Because(422, std::move(message));
}

// A controller selected, as read, and as the change set leaves it.
struct Planned {
  ControllerSummary summary;
  ControllerState before;
  std::string after;
  std::unique_ptr<CSApplicationManagerStd> records;
  std::size_t changed = 0;
};

// The copy of the parts as a merge patch: each part as it is at the source, null where it has
// none.
Outcome<std::string> CopyPatch(Store& store, const ChangeSet& change) {
  if (!change.copyFrom) return std::string();
  const std::optional<ControllerState> source = store.Controller(*change.copyFrom);
  if (!source) {
    return Failure{
        Unprocessable("there is no controller " + AddressText(*change.copyFrom) + " to copy")};
  }
  const JsonValue from = *ReadJson(source->json);
  std::string patch = "{";
  for (const std::string& part : change.copyParts) {
    if (part == "Interface" || part == "Node") {
      return Failure{Unprocessable("the address of a controller is not copied")};
    }
    if (patch.size() > 1) patch += ',';
    AppendJsonString(patch, part);
    patch += ':';
    const JsonValue* value = from.Find(part);
    patch += value != nullptr ? ToJson(*value) : "null";
  }
  patch += '}';
  return patch;
}

// `json` (a compact controller) with the records of `append` (a JSON object of lists) added at
// the end of its lists, spliced into the text: the rest of the controller is copied as it is.
Outcome<std::string> Appended(const std::string& json, const JsonValue& append) {
  const std::optional<std::vector<RawMember>> members = RawMembers(json);
  if (!members) return Failure{Unprocessable("a controller is no object")};
  std::string out = "{";
  const auto items = [](const JsonValue& list, std::string& text) {
    for (std::size_t i = 0; i < list.items.size(); ++i) {
      if (i > 0) text += ',';
      WriteJson(list.items[i], text);
    }
  };
  const auto key = [&out](std::string_view name) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, name);
    out += ':';
  };
  for (const RawMember& member : *members) {
    key(member.name);
    const JsonValue* list = append.Find(member.name);
    if (list == nullptr || list->items.empty()) {
      out += member.value;
    } else if (member.value.size() < 2 || member.value.front() != '[') {
      return Failure{Unprocessable(member.name + " of a controller is no list")};
    } else {
      out += member.value.substr(0, member.value.size() - 1);
      if (member.value != "[]") out += ',';
      items(*list, out);
      out += ']';
    }
  }
  for (const JsonMember& list : append.members) {
    const bool had = std::any_of(members->begin(), members->end(),
                                 [&](const RawMember& member) { return member.name == list.name; });
    if (had || list.value.items.empty()) continue;
    key(list.name);
    out += '[';
    items(list.value, out);
    out += ']';
  }
  out += '}';
  return out;
}

// How many values of the members `touched` differ between the controllers `before` and `after`
// (compact JSON): only those members are read into trees.
std::size_t ChangedValues(const std::string& before, const std::string& after,
                          const std::vector<std::string>& touched) {
  const std::optional<std::vector<RawMember>> was = RawMembers(before);
  const std::optional<std::vector<RawMember>> now = RawMembers(after);
  if (!was || !now) return 0;
  const auto find = [](const std::vector<RawMember>& members,
                       std::string_view name) -> std::string_view {
    for (const RawMember& member : members) {
      if (member.name == name) return member.value;
    }
    return "null";
  };
  std::size_t changed = 0;
  for (const std::string& name : touched) {
    const std::string_view a = find(*was, name);
    const std::string_view b = find(*now, name);
    if (a == b) continue;
    const JsonValue old = *ReadJson(a);
    const MergeResult merge = MergeJson(&old, *ReadJson(b), old, name, {}, true);
    changed += static_cast<std::size_t>(
        std::count_if(merge.values.begin(), merge.values.end(),
                      [](const MergedValue& value) { return value.side == MergeSide::Mine; }));
  }
  return changed;
}

// Every controller the change set selects, read and changed and checked.
Outcome<std::vector<Planned>> Plan(Store& store, const ChangeSet& change) {
  Outcome<std::string> copy = CopyPatch(store, change);
  if (!copy) return Failure{std::move(copy.error())};
  std::optional<JsonValue> append;
  // The members the change set may change, whose values are counted.
  std::vector<std::string> touched = change.copyParts;
  if (!change.append.empty()) {
    JsonRead read = ReadJson(change.append);
    if (!read || !read->IsObject()) {
      return Failure{Unprocessable("append must be an object of lists of records")};
    }
    for (const JsonMember& list : read->members) {
      if (list.value.kind != JsonValue::Kind::Array)
        return Failure{Unprocessable("append." + list.name + " must be a list of records")};
      touched.push_back(list.name);
    }
    append = std::move(*read);
  }
  if (!change.patch.empty()) {
    if (const std::optional<std::vector<RawMember>> members = RawMembers(change.patch)) {
      for (const RawMember& member : *members)
        touched.push_back(member.name);
    }
  }
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  std::vector<Planned> plan;
  for (const ControllerSummary& summary : store.Controllers()) {
    if (!change.select.Picks(summary)) continue;
    std::optional<ControllerState> now = store.Controller(summary.address);
    if (!now) continue;  // removed meanwhile
    Planned& planned = plan.emplace_back();
    planned.summary = summary;
    planned.before = std::move(*now);
    std::string json = planned.before.json;
    if (!copy->empty()) json = MergePatchText(json, *copy);
    if (!change.patch.empty()) json = MergePatchText(json, change.patch);
    if (append) {
      Outcome<std::string> appended = Appended(json, *append);
      if (!appended) return Failure{std::move(appended.error())};
      json = std::move(*appended);
    }
    Outcome<std::unique_ptr<CSApplicationManagerStd>> records = CheckController(
        store, summary.address, json, planned.before.position, &planned.before.json);
    if (!records) return Failure{std::move(records.error())};
    planned.records = std::move(*records);
    planned.changed = ChangedValues(planned.before.json, json, touched);
    planned.after = std::move(json);
  }
  return plan;
}

}  // namespace

bool Selection::Picks(const ControllerSummary& controller) const {
  return (interfaceId == 0 || controller.address.interfaceId == interfaceId) &&
         controller.address.node >= from && controller.address.node <= to &&
         (name.empty() || NameHolds(controller.name, name));
}

bool NameHolds(std::string_view text, std::string_view part) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return fold(a) == fold(b); }) != text.end();
}

std::string AddressText(CSS_ControllerAddress address) {
  return std::to_string(address.interfaceId) + "." + std::to_string(address.node);
}

Outcome<std::vector<ChangeSetItem>> PreviewChangeSet(Store& store, const ChangeSet& change) {
  Outcome<std::vector<Planned>> plan = Plan(store, change);
  if (!plan) return Failure{std::move(plan.error())};
  std::vector<ChangeSetItem> items;
  for (const Planned& planned : *plan) {
    items.push_back(
        {planned.summary.address, planned.summary.name, planned.before.etag, planned.changed});
  }
  return items;
}

Outcome<std::vector<AuditEntry>> EntriesOfChange(Store& store, std::int64_t id) {
  std::vector<AuditEntry> found;
  if (id > 0) found = store.Audit(AuditQuery{id - 1, {}, {}, {}, {}, {}}, 1);
  if (found.empty() || found.front().id != id || !found.front().controller)
    return Failure{
        Refusal::Because(404, "there is no change " + std::to_string(id) + " of a controller")};
  const AuditNote note = found.front().note;
  const auto together = [&](const AuditEntry& entry) {
    return entry.controller && entry.note.time == note.time && entry.note.user == note.user &&
           entry.note.method == note.method && entry.note.path == note.path;
  };
  // Its neighbours of the same note, a batch at a time, before it (newest first) and after it.
  constexpr std::size_t kBatch = 64;
  std::vector<AuditEntry> earlier;
  for (std::int64_t bound = id;;) {
    std::vector<AuditEntry> batch = store.Audit(AuditQuery{0, bound, {}, {}, {}, {}}, kBatch);
    std::size_t k = 0;
    while (k < batch.size() && together(batch[k]))
      earlier.push_back(std::move(batch[k++]));
    if (k < kBatch || batch.empty()) break;
    bound = earlier.back().id;
  }
  std::vector<AuditEntry> entries(std::make_move_iterator(earlier.rbegin()),
                                  std::make_move_iterator(earlier.rend()));
  entries.push_back(std::move(found.front()));
  for (std::int64_t after = id;;) {
    std::vector<AuditEntry> batch = store.Audit(AuditQuery{after, {}, {}, {}, {}, {}}, kBatch);
    std::size_t k = 0;
    while (k < batch.size() && together(batch[k]))
      entries.push_back(std::move(batch[k++]));
    if (k < kBatch || batch.empty()) break;
    after = entries.back().id;
  }
  return entries;
}

Outcome<std::size_t> RevertChange(Store& store, std::int64_t id, const AuditNote& note) {
  Outcome<std::vector<AuditEntry>> entries = EntriesOfChange(store, id);
  if (!entries) return Failure{std::move(entries.error())};
  std::vector<std::unique_ptr<CSApplicationManagerStd>> records;
  std::vector<ControllerPut> puts;
  for (const AuditEntry& entry : *entries) {
    const CSS_ControllerAddress address = *entry.controller;
    const std::optional<std::string> left = EtagOf(entry.after);
    const std::optional<ControllerState> now = store.Controller(address);
    if (!left || entry.before == "null" || !now) {
      return Failure{Refusal::Because(
          422, "change " + std::to_string(entry.id) + " made or removed controller " +
                   AddressText(address) + ": revert it alone, from its audit log")};
    }
    Outcome<std::unique_ptr<CSApplicationManagerStd>> checked =
        CheckController(store, address, entry.before, now->position, &now->json);
    if (!checked) return Failure{std::move(checked.error())};
    puts.push_back({address, {Expect::Kind::Present, *left}, checked->get()});
    records.push_back(std::move(*checked));
  }
  const BatchResult written = store.PutControllers(puts, note);
  if (written.status != WriteStatus::Done) {
    Refusal refusal = WriteRefusal(written.status);
    refusal.message =
        "controller " + AddressText(puts[written.failed].address) +
        (written.status == WriteStatus::Stale ? " changed since" : ": " + refusal.message) +
        "; nothing was reverted";
    return Failure{std::move(refusal)};
  }
  return puts.size();
}

Outcome<std::vector<ChangeSetItem>> ApplyChangeSet(Store& store, const ChangeSet& change,
                                                   const AuditNote& note) {
  Outcome<std::vector<Planned>> plan = Plan(store, change);
  if (!plan) return Failure{std::move(plan.error())};
  if (plan->empty()) return std::vector<ChangeSetItem>{};
  std::vector<ControllerPut> puts;
  puts.reserve(plan->size());
  for (const Planned& planned : *plan) {
    const std::string address = AddressText(planned.summary.address);
    const auto etag = change.etags.find(address);
    if (etag == change.etags.end()) {
      return Failure{Refusal::Because(
          428, "give the ETag of controller " + address + ", which the change set selects")};
    }
    puts.push_back(
        {planned.summary.address, {Expect::Kind::Present, etag->second}, planned.records.get()});
  }
  BatchResult written = store.PutControllers(puts, note);
  if (written.status != WriteStatus::Done) {
    Refusal refusal = WriteRefusal(written.status);
    refusal.message = "controller " + AddressText(puts[written.failed].address) + ": " +
                      refusal.message + "; nothing was changed";
    return Failure{std::move(refusal)};
  }
  std::vector<ChangeSetItem> items;
  for (std::size_t k = 0; k < plan->size(); ++k) {
    const Planned& planned = (*plan)[k];
    items.push_back({planned.summary.address, planned.records->GetConfig().Name,
                     std::move(written.states[k].etag), planned.changed});
  }
  return items;
}

}  // namespace ssmsg::server
