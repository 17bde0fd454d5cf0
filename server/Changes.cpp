#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include <ssmsg/Json.h>

#include "server/Api.h"
#include "server/Controllers.h"
#include "server/PendingCache.h"
#include "site/SiteData.h"

// The change feed's routes: every committed change of a controller, in order, with the number of
// messages it waits for, by long poll (GET /api/changes) or as Server-Sent Events
// (GET /api/changes/stream).

namespace ssmsg::server {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kDefaultLimit = 100;
constexpr std::int64_t kMaxLimit = 1000;
constexpr std::int64_t kMaxWait = 60;  // seconds
// The changes a stream reads at a time.
constexpr std::size_t kStreamBatch = 100;
// How long an event stream's client waits before it connects again, in milliseconds.
constexpr std::string_view kRetry = "retry: 2000\n\n";

// {"id":12,"time":"2026-03-01T12:00:00Z","kind":"changed","interface":1,"node":2,"pending":3}
void AppendChange(std::string& out, const ChangeRow& row, PendingCounts& counts) {
  out += "{\"id\":" + std::to_string(row.id) + ",\"time\":";
  AppendJsonString(out, IsoTime(row.time));
  out += ",\"kind\":";
  AppendJsonString(out, ChangeKindName(row.kind));
  out += ",\"interface\":" + std::to_string(row.controller.interfaceId) +
         ",\"node\":" + std::to_string(row.controller.node) + ",\"pending\":";
  const std::optional<std::size_t> pending = counts.Of(row.controller);
  out += pending ? std::to_string(*pending) : "null";
  out += '}';
}

// The query parameter `name` as a number within min..max, `fallback` when it is not given.
std::optional<std::int64_t> Parameter(const Call& call, std::string_view name, std::int64_t min,
                                      std::int64_t max, std::int64_t fallback) {
  const std::string* text = call.target.Query(name);
  return text ? ParseDecimal(*text, min, max) : std::optional<std::int64_t>(fallback);
}

struct Poll {
  std::shared_ptr<const Request> request;  // as it came, to know its caller again later
  std::int64_t after = 0;
  std::size_t limit = 0;
  Clock::time_point until;
};

// The answer to a long poll: the changes after `poll.after`, or, when there are none and there
// is time left, a wait for one.
Response PollAnswer(Service& service, const Poll& poll, bool last) {
  ChangePage page = service.Data().Changes(poll.after, poll.limit);
  if (page.changes.empty() && !last && Clock::now() < poll.until) {
    Response waiting;
    waiting.deferred = std::make_shared<Deferred>(
        Deferred{&service.Feed(), page.last, poll.until, [&service, poll](bool lastTry) {
                   const std::optional<Caller> caller = service.Authority().Identify(*poll.request);
                   if (!caller) return JsonError(401, "log in or give an API token");
                   Response response = PollAnswer(service, poll, lastTry);
                   response.user = caller->user.name;
                   return response;
                 }});
    return waiting;
  }
  PendingCounts counts(service.Data(), service.Waiting());
  std::string body = "{\"changes\":[";
  for (const ChangeRow& row : page.changes) {
    if (body.back() != '[') body += ',';
    AppendChange(body, row, counts);
  }
  body += "],\"last\":" + std::to_string(page.last) + '}';
  return JsonResponse(200, std::move(body));
}

Response ListChanges(Service& service, const Call& call) {
  constexpr std::int64_t kMaxId = std::numeric_limits<std::int64_t>::max();
  // Without `after`, from now on: an answer without changes that says where now is.
  const std::optional<std::int64_t> after = call.target.Query("after")
                                                ? Parameter(call, "after", 0, kMaxId, 0)
                                                : std::optional(service.Data().LatestAudit());
  if (!after) return JsonError(400, "after must be an audit id, a number from 0");
  const std::optional<std::int64_t> wait = Parameter(call, "wait", 0, kMaxWait, 0);
  if (!wait) return JsonError(400, "wait must be a number of seconds from 0 to 60");
  const std::optional<std::int64_t> limit = Parameter(call, "limit", 1, kMaxLimit, kDefaultLimit);
  if (!limit) return JsonError(400, "limit must be a number from 1 to 1000");
  return PollAnswer(service,
                    {std::make_shared<const Request>(call.request), *after,
                     static_cast<std::size_t>(*limit), Clock::now() + std::chrono::seconds(*wait)},
                    false);
}

// An event stream of changes: one event per change, its audit id the event's id.
class ChangeStream {
 public:
  ChangeStream(Service& service, const Request& request, std::int64_t after)
      : service_(service), request_(request), after_(after) {}

  // The events since the last call; nothing once the caller may no longer read them (a logout,
  // a new password, a revoked token), which every call but the first (just after the request was
  // let in) checks again: at least every keep-alive.
  std::optional<std::string> Next(bool idle) {
    std::string text;
    if (!started_) {
      started_ = true;
      text = kRetry;
    } else if (!service_.Authority().Identify(request_)) {
      return std::nullopt;
    }
    ChangePage page = service_.Data().Changes(after_, kStreamBatch);
    PendingCounts counts(service_.Data(), service_.Waiting());
    for (const ChangeRow& row : page.changes) {
      text += "id: " + std::to_string(row.id) + "\nevent: change\ndata: ";
      AppendChange(text, row, counts);
      text += "\n\n";
    }
    after_ = page.last;
    if (text.empty() && idle) text = ":\n\n";
    return text;
  }

  std::int64_t After() const { return after_; }

 private:
  Service& service_;
  Request request_;
  std::int64_t after_;
  bool started_ = false;
};

Response StreamChanges(Service& service, const Call& call) {
  constexpr std::int64_t kMaxId = std::numeric_limits<std::int64_t>::max();
  std::optional<std::int64_t> after;
  // A client that connects again says where it was; a new one may say where to begin, or gets
  // the changes from now on.
  if (const std::string* last = call.request.Find("Last-Event-ID")) {
    after = ParseDecimal(*last, 0, kMaxId);
    if (!after) return JsonError(400, "Last-Event-ID must be an audit id, a number from 0");
  } else if (call.target.Query("after")) {
    after = Parameter(call, "after", 0, kMaxId, 0);
    if (!after) return JsonError(400, "after must be an audit id, a number from 0");
  } else {
    after = service.Data().LatestAudit();
  }
  Response response;
  response.Set("Content-Type", "text/event-stream; charset=utf-8");
  // A proxy in front is not to hold the events back.
  response.Set("X-Accel-Buffering", "no");
  if (call.request.method == "HEAD") return response;
  auto stream = std::make_shared<ChangeStream>(service, call.request, *after);
  response.stream = std::make_shared<EventStream>(
      EventStream{&service.Feed(), [stream](bool idle) { return stream->Next(idle); },
                  [stream] { return stream->After(); }, std::chrono::milliseconds(10'000)});
  return response;
}

}  // namespace

void AddChangeRoutes(Service& service) {
  using ChangeHandler = Response (*)(Service&, const Call&);
  const std::pair<const char*, ChangeHandler> routes[] = {{"/api/changes", &ListChanges},
                                                          {"/api/changes/stream", &StreamChanges}};
  for (const auto& route : routes) {
    const ChangeHandler handler = route.second;
    service.Routes().Add("GET", route.first, Access::Viewer, RouteKind::Api,
                         [&service, handler](const Call& call) { return handler(service, call); });
  }
}

}  // namespace ssmsg::server
