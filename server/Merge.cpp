#include "server/Merge.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <ssmsg/CSApplicationManagerStd.h>

#include "site/StoreImage.h"
#include "site/file/SiteFile.h"

namespace ssmsg::server {

std::optional<std::string> EtagOf(std::string_view json) {
  if (json == "null") return std::nullopt;
  const auto records = std::make_unique<CSApplicationManagerStd>();
  if (!ReadControllerText(json, *records)) return std::nullopt;
  return ControllerEtag(ImageOf(*records).bytes);
}

namespace {

bool Same(const JsonValue& a, const JsonValue& b) {
  if (a.kind != b.kind || a.text != b.text || a.items.size() != b.items.size() ||
      a.members.size() != b.members.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    if (!Same(a.items[i], b.items[i])) return false;
  }
  for (std::size_t i = 0; i < a.members.size(); ++i) {
    if (a.members[i].name != b.members[i].name || !Same(a.members[i].value, b.members[i].value))
      return false;
  }
  return true;
}

bool Same(const JsonValue* a, const JsonValue* b) {
  return a == nullptr || b == nullptr ? a == b : Same(*a, *b);
}

std::optional<std::string> Text(const JsonValue* value) {
  if (value == nullptr) return std::nullopt;
  return ToJson(*value);
}

const JsonValue* Item(const JsonValue* list, std::size_t index) {
  return list != nullptr && index < list->items.size() ? &list->items[index] : nullptr;
}

class Merger {
 public:
  Merger(bool known, bool list, const MergePicks& picks, MergeResult& result)
      : known_(known), list_(list), picks_(picks), result_(result) {}

  // The merge of the three at `path`, each null where it is not there; null: not there either.
  std::optional<JsonValue> Merge(const JsonValue* base, const JsonValue* mine,
                                 const JsonValue* theirs, const std::string& path) {
    if (mine != nullptr && theirs != nullptr && mine->kind == theirs->kind &&
        (base == nullptr || base->kind == mine->kind)) {
      if (mine->kind == JsonValue::Kind::Object) return Members(base, *mine, *theirs, path);
      if (mine->kind == JsonValue::Kind::Array && !Shortened(base, *mine, *theirs))
        return Items(base, *mine, *theirs, path);
    }
    return Value(base, mine, theirs, path);
  }

 private:
  // A list made shorter on one side: its records may have moved, so it is merged whole.
  static bool Shortened(const JsonValue* base, const JsonValue& mine, const JsonValue& theirs) {
    return base != nullptr &&
           (mine.items.size() < base->items.size() || theirs.items.size() < base->items.size());
  }

  JsonValue Members(const JsonValue* base, const JsonValue& mine, const JsonValue& theirs,
                    const std::string& path) {
    JsonValue merged;
    merged.kind = JsonValue::Kind::Object;
    const auto add = [&](const std::string& name) {
      const JsonValue* was = base != nullptr ? base->Find(name) : nullptr;
      if (std::optional<JsonValue> value =
              Merge(was, mine.Find(name), theirs.Find(name), JoinPath(path, name))) {
        merged.members.push_back({name, std::move(*value)});
      }
    };
    // Theirs in their order, then what mine adds, then what only the base had.
    for (const JsonMember& member : theirs.members)
      add(member.name);
    for (const JsonMember& member : mine.members) {
      if (theirs.Find(member.name) == nullptr) add(member.name);
    }
    if (base != nullptr) {
      for (const JsonMember& member : base->members) {
        if (theirs.Find(member.name) == nullptr && mine.Find(member.name) == nullptr)
          add(member.name);
      }
    }
    return merged;
  }

  JsonValue Items(const JsonValue* base, const JsonValue& mine, const JsonValue& theirs,
                  const std::string& path) {
    JsonValue merged;
    merged.kind = JsonValue::Kind::Array;
    const std::size_t length = std::max(mine.items.size(), theirs.items.size());
    for (std::size_t i = 0; i < length; ++i) {
      std::optional<JsonValue> item =
          Merge(Item(base, i), Item(&mine, i), Item(&theirs, i), ItemPath(path, i));
      // Both sides add records past the base's end; a record taken away there ends the list.
      if (!item) break;
      merged.items.push_back(std::move(*item));
    }
    return merged;
  }

  std::optional<JsonValue> Value(const JsonValue* base, const JsonValue* mine,
                                 const JsonValue* theirs, const std::string& path) {
    MergeSide side;
    const JsonValue* taken;
    if (Same(mine, theirs)) {
      side = MergeSide::Both;
      taken = mine;
    } else if (known_ && Same(mine, base)) {
      side = MergeSide::Theirs;
      taken = theirs;
    } else if (known_ && Same(theirs, base)) {
      side = MergeSide::Mine;
      taken = mine;
    } else {
      side = MergeSide::Conflict;
      const auto pick = picks_.find(path);
      if (pick == picks_.end()) ++result_.conflicts;
      taken = pick != picks_.end() && pick->second ? mine : theirs;
    }
    // Values alike on both sides are listed when they changed.
    if (list_ && (side != MergeSide::Both || (known_ && !Same(mine, base))))
      result_.values.push_back(
          {path, known_ ? Text(base) : std::nullopt, Text(mine), Text(theirs), side});
    if (taken == nullptr) return std::nullopt;
    return *taken;
  }

  bool known_;
  bool list_;
  const MergePicks& picks_;
  MergeResult& result_;
};

}  // namespace

std::optional<FoundVersion> FindVersion(Store& store, CSS_ControllerAddress address,
                                        std::string_view etag) {
  FoundVersion found;
  for (AuditEntry& entry : store.Audit(AuditQuery{0, 0, address, {}, {}, {}}, kVersionSearch)) {
    if (entry.before == entry.after) continue;  // marked sent
    found.since.push_back(std::move(entry.note));
    if (EtagOf(entry.before) == etag) {
      found.json = std::move(entry.before);
      return found;
    }
  }
  return std::nullopt;
}

MergeResult MergeJson(const JsonValue* base, const JsonValue& mine, const JsonValue& theirs,
                      const std::string& path, const MergePicks& picks, bool listValues) {
  MergeResult result;
  Merger merger(base != nullptr, listValues, picks, result);
  std::optional<JsonValue> merged = merger.Merge(base, &mine, &theirs, path);
  if (merged) result.merged = std::move(*merged);
  return result;
}

}  // namespace ssmsg::server
