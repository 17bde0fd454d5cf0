#pragma once

// What can be done to the site's controllers, as typed operations: read one, replace it, patch
// it, make it, remove it, its pending messages, and marking them sent. The API's handlers and the
// pages both call these; only the API's speak HTTP and JSON bodies. Each gives its value or a
// Refusal: the status that says why not (404, 412, 422, ...) and, for a controller that does not
// check, every error with the path of its value, so that a page puts each beside its field.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "server/JsonValue.h"
#include "server/Store.h"

namespace ssmsg::server {

struct Refusal {
  int status = 500;
  std::string message;       // when there are no errors
  SiteErrors errors;         // 422: paths from the controller on ("Inputs[2].Name")
  std::size_t position = 0;  // the controller's place in the site, which names it in errors

  // A refusal of `status` that says `message`.
  static Refusal Because(int status, std::string message);

  // "Controllers[4].Inputs[2].Name: ..." for each error, as the site file's reader words them.
  std::vector<std::string> Lines() const;
};

template <class T>
using Outcome = Result<T, Refusal>;

// Why a controller's address finds none: an API's 404 and a page's say the same.
inline constexpr std::string_view kNoController = "there is no controller at this address";

// A controller's address from its interface (1 and up) and node (0 and up) as decimals.
std::optional<CSS_ControllerAddress> ParseAddress(std::string_view interfaceId,
                                                  std::string_view node);

// What a refusal of one status of a store answers.
struct Reason {
  int status;
  std::string_view message;
};
// The refusal of `status` from `reasons`, a table by the values of its enum.
template <class Status, std::size_t N>
Refusal RefusalOf(Status status, const Reason (&reasons)[N]) {
  const Reason& reason = reasons[static_cast<std::size_t>(status)];
  return Refusal::Because(reason.status, std::string(reason.message));
}

// A controller written: its state after the write, and whether it was made by it.
struct Written {
  ControllerState state;
  bool made = false;
};

struct Removed {};

// The pending messages of a controller: what the diff from the configuration last marked sent
// writes, with its warnings, of the controller with entity tag `etag`.
struct PendingMessages {
  std::vector<std::string> messages;
  std::vector<std::string> warnings;
  std::string etag;
  std::string name;  // the controller's
};

Outcome<ControllerState> ReadController(Store& store, CSS_ControllerAddress address);

// The records of `json` (the text of valid JSON) checked as the controller at `address`, the
// site's `position`-th, replacing the one whose JSON is `stored` (null: read it from the store,
// if there is one): refused when it does not check, names another address, or adds records
// beyond a capability count.
Outcome<std::unique_ptr<CSApplicationManagerStd>> CheckController(Store& store,
                                                                  CSS_ControllerAddress address,
                                                                  std::string_view json,
                                                                  std::size_t position,
                                                                  const std::string* stored);

// Replaces the controller at `address` with `json` (the text of valid JSON), or makes it
// (Expect::Absent); refused when it does not check, names another address, or adds records
// beyond a capability count.
Outcome<Written> ReplaceController(Store& store, CSS_ControllerAddress address,
                                   const Expect& expect, std::string_view json,
                                   const AuditNote& note);

// Applies the merge patch `patch` (JSON text that CheckJson let) to the controller at `address`
// (RFC 7396), under `expect`.
Outcome<Written> PatchController(Store& store, CSS_ControllerAddress address, Expect expect,
                                 std::string_view patch, const AuditNote& note);

// Applies the merge patch `patch`, made on the controller's version with entity tag `base`, to
// the controller as it is now: what the patch sets that no one changed since is set; a value
// changed since to another than the patch's is a conflict (409, each with its path), and so is a
// base no longer found in the audit log (412).
Outcome<Written> MergeIntoController(Store& store, CSS_ControllerAddress address,
                                     std::string_view base, std::string_view patch,
                                     const AuditNote& note);

// The controller at `address` as it was before its change `id` (that audit row's "before":
// "null" when the change made it); 404 when `id` is no change of this controller.
Outcome<std::string> StateBefore(Store& store, CSS_ControllerAddress address, std::int64_t id);

// What reverting a controller left: the controller now, or none when the change reverted had made
// it, so that reverting removed it.
struct Reverted {
  std::optional<ControllerState> state;
};

// Puts the controller at `address` back as it was before its change `id`, under `expect`
// (Expect::Absent when it was removed since): exactly, as the audit log keeps it.
Outcome<Reverted> RevertController(Store& store, CSS_ControllerAddress address,
                                   const Expect& expect, std::int64_t id, const AuditNote& note);

Outcome<Removed> RemoveController(Store& store, CSS_ControllerAddress address, const Expect& expect,
                                  const AuditNote& note);

Outcome<PendingMessages> PendingOf(Store& store, CSS_ControllerAddress address);
// The same of the controller at `address` in `sites`, as the store gave them.
Outcome<PendingMessages> PendingOf(const PendingSites& sites, CSS_ControllerAddress address);

// Keeps the controller as it is now as what was last sent to it.
Outcome<ControllerState> MarkSent(Store& store, CSS_ControllerAddress address, const Expect& expect,
                                  const AuditNote& note);

// The refusal of a write that found the controller not as expected.
Refusal WriteRefusal(WriteStatus status);

}  // namespace ssmsg::server
