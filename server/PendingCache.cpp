#include "server/PendingCache.h"

#include <algorithm>
#include <unordered_map>

#include "server/Controllers.h"
#include "site/SiteData.h"

namespace ssmsg::server {

std::optional<std::size_t> PendingCache::Of(Store& store, CSS_ControllerAddress address) {
  const std::optional<PendingSites> sites = store.Pending(address);
  if (!sites) return std::nullopt;
  const std::optional<std::size_t> sent =
      sites->sent ? std::optional(SentStamp(*sites->sent)) : std::nullopt;
  if (const std::optional<std::size_t> kept = Kept(address, sites->etag, sent)) return kept;
  const Outcome<PendingMessages> pending = PendingOf(*sites, address);
  if (!pending) return std::nullopt;
  const std::lock_guard lock(mutex_);
  if (counts_.size() >= kKept) counts_.clear();
  counts_[AddressKey(address)] = {sites->etag, sent, pending->messages.size()};
  return pending->messages.size();
}

std::optional<std::size_t> PendingCache::Kept(CSS_ControllerAddress address, std::string_view etag,
                                              std::optional<std::size_t> sent) {
  const std::lock_guard lock(mutex_);
  const auto found = counts_.find(AddressKey(address));
  if (found == counts_.end() || found->second.etag != etag || found->second.sent != sent)
    return std::nullopt;
  return found->second.count;
}

std::optional<std::size_t> PendingCounts::Of(CSS_ControllerAddress address) {
  auto [known, added] = counts_.try_emplace(AddressKey(address));
  if (added) known->second = cache_.Of(store_, address);
  return known->second;
}

SiteWaiting Waiting(Store& store, PendingCache& cache,
                    std::optional<std::chrono::milliseconds> budget) {
  const auto until =
      std::chrono::steady_clock::now() + budget.value_or(std::chrono::milliseconds());
  std::unordered_map<std::uint64_t, SentMark> marks;
  for (const SentMark& mark : store.SentMarks())
    marks.emplace(AddressKey(mark.address), mark);
  SiteWaiting site;
  for (ControllerSummary& controller : store.Controllers()) {
    ControllerWaiting waiting{std::move(controller), false, std::nullopt};
    const CSS_ControllerAddress address = waiting.controller.address;
    const auto mark = marks.find(AddressKey(address));
    std::optional<std::size_t> sent;
    if (mark != marks.end()) {
      sent = mark->second.stamp;
      marks.erase(mark);
    }
    waiting.pending = cache.Kept(address, waiting.controller.etag, sent);
    waiting.counted = waiting.pending.has_value();
    if (!waiting.counted && (!budget || std::chrono::steady_clock::now() < until)) {
      waiting.pending = cache.Of(store, address);
      waiting.counted = true;
    }
    site.controllers.push_back(std::move(waiting));
  }
  for (const auto& [key, mark] : marks)
    site.removed.push_back(mark);
  std::ranges::sort(site.removed, [](const SentMark& a, const SentMark& b) {
    return std::pair(a.address.interfaceId, a.address.node) <
           std::pair(b.address.interfaceId, b.address.node);
  });
  return site;
}

}  // namespace ssmsg::server
