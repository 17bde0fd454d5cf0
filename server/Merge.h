#pragma once

// Two people who change one controller from the same version meet only where they changed the
// same value. A change is merged three ways: the version it was made from (found again in the
// audit log by its entity tag), the version it would save, and the version saved since. What
// only one side changed is taken from that side; a value both changed to different values is a
// conflict, which the person saving decides.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/JsonValue.h"
#include "server/Store.h"

namespace ssmsg::server {

// A version of a controller found again, and the changes saved since, newest first.
struct FoundVersion {
  std::string json;
  std::vector<AuditNote> since;
};

// The entity tag that a store gives the controller `json` (as the audit log keeps it), or nothing
// when it is none ("null").
std::optional<std::string> EtagOf(std::string_view json);

// How far back the audit log is searched for a version.
inline constexpr std::size_t kVersionSearch = 64;

// The controller at `address` as it was when its entity tag was `etag`, from the latest
// `kVersionSearch` changes of its audit log; nothing when none of them left it so.
std::optional<FoundVersion> FindVersion(Store& store, CSS_ControllerAddress address,
                                        std::string_view etag);

// Who changed a value since the common version.
enum class MergeSide : unsigned char { Mine, Theirs, Both, Conflict };

// A value that either side changed: its path ("Inputs[2].Name") and its JSON on each side
// (none: not there).
struct MergedValue {
  std::string path;
  std::optional<std::string> base, mine, theirs;
  MergeSide side = MergeSide::Mine;
};

// How each conflict is decided, by its path: true takes mine, false theirs.
using MergePicks = std::map<std::string, bool, std::less<>>;

struct MergeResult {
  JsonValue merged;                 // conflicts left undecided hold theirs
  std::size_t conflicts = 0;        // left undecided
  std::vector<MergedValue> values;  // when asked for: every value changed, in order
};

// Merges `mine` and `theirs`, both changed from `base` (null: not known, so that every value
// they differ in is a conflict). `path` is where the three are in the controller, which names
// the values and picks. A list that one side made shorter is one value: its records may have
// moved.
MergeResult MergeJson(const JsonValue* base, const JsonValue& mine, const JsonValue& theirs,
                      const std::string& path, const MergePicks& picks, bool listValues);

}  // namespace ssmsg::server
