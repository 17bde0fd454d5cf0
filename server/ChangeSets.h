#pragma once

// One change applied to many controllers at once: those a selection picks (by interface, a range
// of nodes, a part of their name), each given a merge patch, records added at the end of its lists,
// or parts copied from another controller. It is checked for every controller first and written
// in one transaction, with an audit row per controller and each controller's entity tag checked:
// all of it, or nothing.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/Controllers.h"
#include "server/Store.h"

namespace ssmsg::server {

// The controllers of `interfaceId` (0: of any), with a node from `from` to `to`, whose name holds
// `name` (letters A to Z in either case alike; empty: any name).
struct Selection {
  std::int32_t interfaceId = 0;
  std::int32_t from = 0;
  std::int32_t to = std::numeric_limits<std::int32_t>::max();
  std::string name;

  bool Picks(const ControllerSummary& controller) const;
};

// What a change set does to each controller it selects, in this order: the parts `copyParts`
// (members of a controller: "Holidays", "Config") made as they are at `copyFrom`; the merge patch
// `patch` (JSON text; empty: none); and the records of `append` added at the end of their lists
// (a JSON object of lists, {"Holidays":[{"Month":12,"Day":24}]}; empty: none).
struct ChangeSet {
  Selection select;
  std::optional<CSS_ControllerAddress> copyFrom;
  std::vector<std::string> copyParts;
  std::string patch;
  std::string append;
  // By address ("1.2"), the entity tag each controller selected was read with: applied, one that
  // is missing or stale refuses the whole change set.
  std::map<std::string, std::string> etags;
};

// A controller of a change set: its entity tag before it (a preview) or after it (applied), and
// how many of its values the change set changes.
struct ChangeSetItem {
  CSS_ControllerAddress address;
  std::string name;
  std::string etag;
  std::size_t changed = 0;
};

// "1.2".
std::string AddressText(CSS_ControllerAddress address);
// Whether `text` holds `part`, letters of A to Z in either case alike.
bool NameHolds(std::string_view text, std::string_view part);

// What the change set would change, writing nothing: 422 when it would make a controller that does
// not check, or the patch or records are not of the shape of a controller's.
Outcome<std::vector<ChangeSetItem>> PreviewChangeSet(Store& store, const ChangeSet& change);
// The audit entries of the change of many controllers (a change set, a CSV import) that entry `id`
// is one of: those written with it under one note, in order. 404 when there is no entry `id`.
Outcome<std::vector<AuditEntry>> EntriesOfChange(Store& store, std::int64_t id);
// Puts every controller of that change back as it was before it, in one transaction, each with
// its audit entry under `note`; 412 naming the first that changed since, and nothing written.
// Answers the number of controllers put back.
Outcome<std::size_t> RevertChange(Store& store, std::int64_t id, const AuditNote& note);

// The change set applied, as one transaction: 412 when an entity tag is missing or stale.
Outcome<std::vector<ChangeSetItem>> ApplyChangeSet(Store& store, const ChangeSet& change,
                                                   const AuditNote& note);

}  // namespace ssmsg::server
