#include "server/SiteDirectory.h"

#include <exception>
#include <string_view>
#include <utility>

#include <ssmsg/Json.h>

#include "server/Html.h"

namespace ssmsg::server {

namespace {

constexpr std::string_view kSites = "/api/sites";

}  // namespace

SiteDirectory::SiteDirectory(Sites sites, ServiceOptions options,
                             std::function<void(Service&)> setup,
                             std::optional<std::chrono::milliseconds> watch)
    : sites_(std::move(sites)),
      options_(std::move(options)),
      setup_(std::move(setup)),
      watch_(watch) {}

SiteDirectory::~SiteDirectory() = default;

Service* SiteDirectory::SiteService(const std::string& name) {
  const std::lock_guard lock(mutex_);
  if (const auto found = made_.find(name); found != made_.end())
    return found->second->service.get();
  std::unique_ptr<Store> store = sites_.open(name);
  if (!store) return nullptr;
  auto site = std::make_unique<Site>();
  site->store = std::move(store);
  site->service = std::make_unique<Service>(*site->store, options_);
  setup_(*site->service);
  if (watch_) site->service->Feed().Watch(*watch_);
  for (const auto& [id, wake] : wakes_)
    site->wakes[id] = site->service->WakeOnChanges(wake);
  Service* service = site->service.get();
  made_.emplace(name, std::move(site));
  return service;
}

Response SiteDirectory::Answer(int status, std::string_view message, const Request& request) const {
  Response response = std::string_view(request.target).substr(0, 5) == "/api/"
                          ? JsonError(status, message)
                          : HtmlMessagePage(status, message);
  if (status == 401) response.Set("WWW-Authenticate", "Bearer realm=\"ssmsg\"");
  AddCommonHeaders(response, request);
  return response;
}

SiteDirectory::Routed SiteDirectory::Route(const Request& request) {
  Routed routed;
  const std::string_view target = request.target;
  const std::string_view path = target.substr(0, target.find('?'));
  const bool ownAnswer =
      path == kSites || path == "/api/sites/" || path.substr(0, kSites.size() + 1) != "/api/sites/";
  // What a site's service checks first, checked here for what the directory answers itself.
  if (ownAnswer && request.HeadSize() > options_.limits.maxHeaders) {
    routed.answer = Answer(431, kHeadersTooLarge, request);
    return routed;
  }
  if (const std::string* host = request.Find("Host");
      ownAnswer && host && !HostAnswered(*host, options_.hosts)) {
    routed.answer = Answer(421, kOtherHost, request);
    return routed;
  }
  if (path == kSites || path == "/api/sites/") {
    routed.answer = List(request);
    return routed;
  }
  if (path.substr(0, kSites.size() + 1) != "/api/sites/") {
    routed.answer = Answer(404,
                           "this server serves many sites: GET /api/sites lists yours, and "
                           "/api/sites/{site}/ is the API of each",
                           request);
    return routed;
  }
  const std::string_view rest = target.substr(kSites.size() + 1);
  const std::size_t end = rest.find_first_of("/?");
  const Result<Target, std::string> site = ParseTarget("/" + std::string(rest.substr(0, end)));
  if (!site || site->segments.size() != 1 || site->segments[0].empty()) {
    routed.answer = Answer(400, "the site's name in the path is not valid", request);
    return routed;
  }
  try {
    routed.service = SiteService(site->segments[0]);
  } catch (const std::exception& error) {
    if (options_.log) options_.log(std::string("cannot open a site: ") + error.what());
    routed.answer = Answer(503,
                           "the sites' database server cannot be reached now; the server tries "
                           "again at the next request, and its log says why",
                           request);
    return routed;
  }
  if (!routed.service) {
    routed.answer = Answer(404, "no such site", request);
    return routed;
  }
  routed.request = request;
  routed.request.target =
      "/api" + std::string(end == std::string_view::npos ? "" : rest.substr(end));
  return routed;
}

Response SiteDirectory::List(const Request& request) {
  if (request.method != "GET" && request.method != "HEAD") {
    Response refused = Answer(405, "GET lists the sites", request);
    refused.Set("Allow", "GET, HEAD");
    return refused;
  }
  std::string body = "{\"sites\":[";
  std::string user;  // for the log
  bool any = false;
  try {
    for (const std::string& name : sites_.names()) {
      Service* service = SiteService(name);
      if (!service) continue;
      const std::optional<Caller> caller = service->Authority().Identify(request);
      if (!caller) continue;
      user = caller->user.name;
      if (any) body += ',';
      any = true;
      body += "{\"name\":";
      AppendJsonString(body, name);
      body += ",\"role\":";
      AppendJsonString(body, RoleName(caller->user.role));
      body += '}';
    }
  } catch (const std::exception& error) {
    if (options_.log) options_.log(std::string("cannot list the sites: ") + error.what());
    return Answer(503, "the sites' database server cannot be reached now; its log says why",
                  request);
  }
  if (!any) return Answer(401, "log in or give an API token of a user of a site", request);
  Response response = JsonResponse(200, body + "]}");
  response.user = user;
  AddCommonHeaders(response, request);
  return response;
}

HeadCheck SiteDirectory::CheckHead(const Request& head) {
  Routed routed = Route(head);
  if (routed.answer) return {std::move(routed.answer), 0};
  return routed.service->CheckHead(routed.request);
}

Response SiteDirectory::Handle(const Request& request) {
  Routed routed = Route(request);
  if (routed.answer) return std::move(*routed.answer);
  return routed.service->Handle(routed.request);
}

Response SiteDirectory::Resume(const Request& request, const Deferred& deferred, bool last) {
  Routed routed = Route(request);
  if (routed.answer) return std::move(*routed.answer);
  return routed.service->Resume(routed.request, deferred, last);
}

Response SiteDirectory::Refusal(int status, std::string_view message, const Request& request) {
  return Answer(status, message, request);
}

std::shared_ptr<void> SiteDirectory::WakeOnChanges(std::function<void()> wake) {
  const std::lock_guard lock(mutex_);
  const std::uint64_t id = nextWake_++;
  for (const auto& [name, site] : made_)
    site->wakes[id] = site->service->WakeOnChanges(wake);
  wakes_.emplace(id, std::move(wake));
  return std::shared_ptr<void>(new char, [this, id](void* held) {
    delete static_cast<char*>(held);
    Unwake(id);
  });
}

void SiteDirectory::Unwake(std::uint64_t id) {
  const std::lock_guard lock(mutex_);
  wakes_.erase(id);
  for (const auto& [name, site] : made_)
    site->wakes.erase(id);
}

}  // namespace ssmsg::server
