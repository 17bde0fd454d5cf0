#include "server/Controllers.h"

#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/SiteDiff.h>

#include "server/Http.h"
#include "server/Merge.h"
#include "site/Findings.h"
#include "site/file/SiteFile.h"

namespace ssmsg::server {
namespace {

Refusal Invalid(SiteErrors errors, std::size_t position) {
  Refusal refusal;
  refusal.status = 422;
  refusal.errors = std::move(errors);
  refusal.position = position;
  return refusal;
}

// The records that writing `after` at `address` would add beyond a capability count: those
// beyond it where the stored controller (`stored`, its JSON; read from the store when not given)
// has no record. The controller would never be sent them, so they are refused, each list's in the
// words that `validate` warns of such records with. Records already beyond a count (it was
// lowered, or a site file put them there) stay, and are shown as never sent.
SiteErrors AddedBeyondCounts(Store& store, const CSApplicationManagerStd& after,
                             CSS_ControllerAddress address, const std::string* stored) {
  std::vector<SiteWarning> beyond;
  RecordsBeyondCounts(after, 0, nullptr, beyond);
  if (beyond.empty()) return {};
  std::optional<ControllerState> state;
  if (stored == nullptr) {
    state = store.Controller(address);
    if (state) stored = &state->json;
  }
  std::unique_ptr<CSApplicationManagerStd> before;
  if (stored != nullptr) {
    before = std::make_unique<CSApplicationManagerStd>();
    if (!ReadControllerText(*stored, *before)) before.reset();
  }
  beyond.clear();
  RecordsBeyondCounts(after, 0, before.get(), beyond);
  SiteErrors errors;
  for (SiteWarning& warning : beyond)
    errors.push_back({{}, warning.path.Text(), std::move(warning.what)});
  return errors;
}

// Checks `json` (the text of valid JSON) as the controller at `address`, the site's `position`-th,
// and writes it under `expect`. `stored` is the JSON of the controller it replaces, where the
// caller has read it.
Outcome<Written> Write(Store& store, CSS_ControllerAddress address, const Expect& expect,
                       std::string_view json, std::size_t position, const std::string* stored,
                       const AuditNote& note) {
  Outcome<std::unique_ptr<CSApplicationManagerStd>> records =
      CheckController(store, address, json, position, stored);
  if (!records) return Failure{std::move(records.error())};
  WriteResult result = store.PutController(address, expect, **records, note);
  if (result.status != WriteStatus::Done) return Failure{WriteRefusal(result.status)};
  return Written{std::move(result.state), expect.kind == Expect::Kind::Absent};
}

}  // namespace

Outcome<std::unique_ptr<CSApplicationManagerStd>> CheckController(Store& store,
                                                                  CSS_ControllerAddress address,
                                                                  std::string_view json,
                                                                  std::size_t position,
                                                                  const std::string* stored) {
  auto records = std::make_unique<CSApplicationManagerStd>();
  Result<CSS_ControllerAddress> read = ReadControllerText(json, *records);
  if (!read) return Failure{Invalid(std::move(read.error()), position)};
  SiteErrors errors;
  if (read->interfaceId != address.interfaceId) {
    errors.push_back({{},
                      "Interface",
                      std::to_string(read->interfaceId) + " is not the path's interface " +
                          std::to_string(address.interfaceId)});
  }
  if (read->node != address.node) {
    errors.push_back(
        {{},
         "Node",
         std::to_string(read->node) + " is not the path's node " + std::to_string(address.node)});
  }
  if (errors.empty()) errors = AddedBeyondCounts(store, *records, address, stored);
  if (!errors.empty()) return Failure{Invalid(std::move(errors), position)};
  return records;
}

std::vector<std::string> Refusal::Lines() const {
  std::vector<std::string> lines;
  const std::string controller = "Controllers[" + std::to_string(position) + "]";
  for (const SiteError& error : errors) {
    std::string line = controller;
    if (!error.path.empty()) line.append(".").append(error.path);
    lines.push_back(line.append(": ").append(error.message));
  }
  return lines;
}

Refusal Refusal::Because(int status, std::string message) {
  Refusal refusal;
  refusal.status = status;
  refusal.message = std::move(message);
  return refusal;
}

// By WriteStatus (Done refuses nothing: a write that says so went wrong).
constexpr Reason kWriteReasons[] = {{500, "the write went wrong"},
                                    {404, kNoController},
                                    {412, "the controller changed since that ETag: read it again"},
                                    {412, "there is a controller at this address"}};

Refusal WriteRefusal(WriteStatus status) {
  return RefusalOf(status, kWriteReasons);
}

Outcome<ControllerState> ReadController(Store& store, CSS_ControllerAddress address) {
  std::optional<ControllerState> state = store.Controller(address);
  if (!state) return Failure{WriteRefusal(WriteStatus::NotFound)};
  return std::move(*state);
}

Outcome<Written> ReplaceController(Store& store, CSS_ControllerAddress address,
                                   const Expect& expect, std::string_view json,
                                   const AuditNote& note) {
  // The position only names the controller in errors: a new one goes last.
  const Store::Place place = store.PlaceOf(address);
  if (!place.exists && expect.kind == Expect::Kind::Present) {
    return Failure{WriteRefusal(WriteStatus::NotFound)};
  }
  return Write(store, address, expect, json, place.position, nullptr, note);
}

namespace {

// A patch that sets nothing but whole lists (as the editor's pages and most programs send) read
// onto the records of the version at `address` alone: the lists it sets are read, and everything
// else is the records as stored. Nothing when that does not hold, or when the records would
// change in ways that only the whole reading tells apart (a mistake, records beyond a count):
// the patched text then says what it says.
std::optional<Outcome<Written>> PatchLists(Store& store, CSS_ControllerAddress address,
                                           const Expect& expect, std::string_view patch,
                                           const AuditNote& note) {
  std::optional<ControllerRecords> now = store.RecordsOf(address);
  if (!now) return std::nullopt;
  if (const WriteStatus status = expect.Check(&now->etag); status != WriteStatus::Done)
    return Failure{WriteRefusal(status)};
  if (!ReadListPatch(patch, *now->records)) return std::nullopt;
  std::vector<SiteWarning> beyond;
  RecordsBeyondCounts(*now->records, 0, nullptr, beyond);
  if (!beyond.empty()) return std::nullopt;
  Expect version = expect;
  version.ifMatch = now->etag;
  WriteResult result = store.PutController(address, version, *now->records, note);
  if (result.status != WriteStatus::Done) return Failure{WriteRefusal(result.status)};
  return Written{std::move(result.state), false};
}

}  // namespace

Outcome<Written> PatchController(Store& store, CSS_ControllerAddress address, Expect expect,
                                 std::string_view patch, const AuditNote& note) {
  if (std::optional<Outcome<Written>> patched = PatchLists(store, address, expect, patch, note))
    return std::move(*patched);
  const std::optional<ControllerState> now = store.Controller(address);
  if (const WriteStatus status = expect.Check(now ? &now->etag : nullptr);
      status != WriteStatus::Done) {
    return Failure{WriteRefusal(status)};
  }
  const std::string patched = MergePatchText(now->json, patch);
  // The patch applies to the version read here, so the write must find that very version ("*"
  // included): otherwise a change made in between would be lost.
  expect.ifMatch = now->etag;
  return Write(store, address, expect, patched, now->position, &now->json, note);
}

Outcome<Written> MergeIntoController(Store& store, CSS_ControllerAddress address,
                                     std::string_view base, std::string_view patch,
                                     const AuditNote& note) {
  const std::optional<ControllerState> now = store.Controller(address);
  if (!now) return Failure{WriteRefusal(WriteStatus::NotFound)};
  if (now->etag == base)
    return PatchController(store, address, {Expect::Kind::Present, now->etag}, patch, note);
  const std::optional<FoundVersion> found = FindVersion(store, address, base);
  if (!found) {
    return Failure{Refusal::Because(
        412,
        "the version in Merge-From is not among the controller's latest changes: read it "
        "again")};
  }
  const JsonValue was = *ReadJson(found->json);
  const MergeResult merge = MergeJson(&was, *ReadJson(MergePatchText(found->json, patch)),
                                      *ReadJson(now->json), {}, {}, true);
  if (merge.conflicts > 0) {
    Refusal refusal = Refusal::Because(409, {});
    refusal.position = now->position;
    for (const MergedValue& value : merge.values) {
      if (value.side != MergeSide::Conflict) continue;
      refusal.errors.push_back({{},
                                value.path,
                                "changed since to " + value.theirs.value_or("nothing") +
                                    ", and by this patch to " + value.mine.value_or("nothing")});
    }
    return Failure{std::move(refusal)};
  }
  return Write(store, address, {Expect::Kind::Present, now->etag}, ToJson(merge.merged),
               now->position, &now->json, note);
}

Outcome<Removed> RemoveController(Store& store, CSS_ControllerAddress address, const Expect& expect,
                                  const AuditNote& note) {
  const WriteResult result = store.DeleteController(address, expect, note);
  if (result.status != WriteStatus::Done) return Failure{WriteRefusal(result.status)};
  return Removed{};
}

Outcome<std::string> StateBefore(Store& store, CSS_ControllerAddress address, std::int64_t id) {
  std::vector<AuditEntry> entries;
  if (id > 0) entries = store.Audit(AuditQuery{id - 1, {}, address, {}, {}, {}}, 1);
  if (entries.empty() || entries.front().id != id) {
    return Failure{
        Refusal::Because(404, "there is no change " + std::to_string(id) + " of this controller")};
  }
  return std::move(entries.front().before);
}

Outcome<Reverted> RevertController(Store& store, CSS_ControllerAddress address,
                                   const Expect& expect, std::int64_t id, const AuditNote& note) {
  const Outcome<std::string> before = StateBefore(store, address, id);
  if (!before) return Failure{before.error()};
  if (*before == "null") {
    const Outcome<Removed> removed = RemoveController(store, address, expect, note);
    if (!removed) return Failure{removed.error()};
    return Reverted{};
  }
  Outcome<Written> written = ReplaceController(store, address, expect, *before, note);
  if (!written) return Failure{written.error()};
  return Reverted{std::move(written->state)};
}

Outcome<PendingMessages> PendingOf(Store& store, CSS_ControllerAddress address) {
  const std::optional<PendingSites> sites = store.Pending(address);
  if (!sites) return Failure{WriteRefusal(WriteStatus::NotFound)};
  return PendingOf(*sites, address);
}

Outcome<PendingMessages> PendingOf(const PendingSites& sites, CSS_ControllerAddress address) {
  const CSS_SiteLoadResult current = LoadSiteText(sites.current, "current");
  const CSS_SiteLoadResult sent =
      LoadSiteText(sites.sent ? *sites.sent : std::string("{\"Controllers\":[]}"), "sent");
  if (!current.site || !sent.site) {
    return Failure{
        Refusal::Because(500, "the stored controller cannot be read: " +
                                  (current.errors.empty() ? sent.errors : current.errors).front())};
  }
  CSS_DiffOptions options;
  options.selection = {address.interfaceId, address.node};
  PendingMessages pending;
  CSS_DiffResult result =
      MakeSiteDiff(*sent.site, *current.site, options, [&](const CSS_SiteMessage& message) {
        pending.messages.emplace_back(message.text);
        return true;
      });
  pending.warnings = std::move(result.warnings);
  pending.etag = sites.etag;
  pending.name = sites.name;
  return pending;
}

Outcome<ControllerState> MarkSent(Store& store, CSS_ControllerAddress address, const Expect& expect,
                                  const AuditNote& note) {
  WriteResult result = store.MarkSent(address, expect, note);
  if (result.status != WriteStatus::Done) return Failure{WriteRefusal(result.status)};
  return std::move(result.state);
}

std::optional<CSS_ControllerAddress> ParseAddress(std::string_view interfaceId,
                                                  std::string_view node) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::optional<std::int64_t> i = ParseDecimal(interfaceId, 1, kMax);
  const std::optional<std::int64_t> n = ParseDecimal(node, 0, kMax);
  if (!i || !n) return std::nullopt;
  return CSS_ControllerAddress{static_cast<std::int32_t>(*i), static_cast<std::int32_t>(*n)};
}

}  // namespace ssmsg::server
