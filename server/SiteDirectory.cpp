#include "server/SiteDirectory.h"

#include <exception>
#include <string_view>
#include <utility>

#include <ssmsg/Json.h>

#include "server/Html.h"

namespace ssmsg::server {

namespace {

constexpr std::string_view kApiSites = "/api/sites";
constexpr std::string_view kSites = "/sites";

// The rest of `path` after `prefix` and a slash, none when it is not there.
std::optional<std::string_view> Under(std::string_view path, std::string_view prefix) {
  if (path.size() <= prefix.size() || path.substr(0, prefix.size()) != prefix ||
      path[prefix.size()] != '/') {
    return std::nullopt;
  }
  return path.substr(prefix.size() + 1);
}

}  // namespace

SiteDirectory::SiteDirectory(std::unique_ptr<Store> accounts, ServiceOptions options, Setup setup,
                             std::optional<std::chrono::milliseconds> watch)
    : accounts_(std::move(accounts)),
      options_(std::move(options)),
      setup_(std::move(setup)),
      own_(std::make_unique<Service>(*accounts_, options_)),
      watch_(watch) {
  own_->Routes().Add("GET", std::string(kApiSites), Access::Viewer, RouteKind::Api,
                     [this](const Call& call) { return List(call); });
  if (setup_.directory) setup_.directory(*own_);
}

SiteDirectory::~SiteDirectory() = default;

Service* SiteDirectory::SiteService(const std::string& name) {
  const std::lock_guard lock(mutex_);
  if (const auto found = made_.find(name); found != made_.end())
    return found->second->service.get();
  std::unique_ptr<Store> store = accounts_->SiteOf(name);
  if (!store) return nullptr;
  auto site = std::make_unique<Site>();
  site->store = std::move(store);
  site->service = std::make_unique<Service>(*site->store, options_);
  setup_.site(*site->service);
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
  routed.request = request;
  const std::string_view target = request.target;
  const std::string_view path = target.substr(0, target.find('?'));
  const std::optional<std::string_view> api = Under(path, kApiSites);
  const std::optional<std::string_view> pages = api ? std::nullopt : Under(path, kSites);
  const bool site = (api && !api->empty()) || (pages && !pages->empty());
  if (!site && path.substr(0, 5) != "/api/") {
    routed.service = own_.get();  // the list of sites, logging in and out, the style sheet
    return routed;
  }
  if (!site && (path == kApiSites || path == "/api/sites/")) {
    routed.service = own_.get();
    routed.request.target = std::string(kApiSites) + std::string(target.substr(path.size()));
    return routed;
  }
  // What a site's service checks first, checked here for what the directory answers itself.
  if (request.HeadSize() > options_.limits.maxHeaders) {
    routed.answer = Answer(431, kHeadersTooLarge, request);
    return routed;
  }
  if (const std::string* host = request.Find("Host");
      host && !HostAnswered(*host, options_.hosts)) {
    routed.answer = Answer(421, kOtherHost, request);
    return routed;
  }
  if (!site) {
    routed.answer = Answer(404,
                           "this server serves many sites: GET /api/sites lists yours, and "
                           "/api/sites/{site}/ is the API of each",
                           request);
    return routed;
  }
  // The site's name, then the path within it ("/api/..." or "/...").
  const std::string_view rest = target.substr(path.size() - (api ? *api : *pages).size());
  const std::size_t end = rest.find_first_of("/?");
  const Result<Target, std::string> name = ParseTarget("/" + std::string(rest.substr(0, end)));
  if (!name || name->segments.size() != 1 || name->segments[0].empty()) {
    routed.answer = Answer(400, "the site's name in the path is not valid", request);
    return routed;
  }
  try {
    routed.service = SiteService(name->segments[0]);
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
  const std::string within(end == std::string_view::npos ? "" : rest.substr(end));
  routed.request.base = std::string(kSites) + "/" + PercentEncode(name->segments[0]);
  routed.request.target = api                                  ? "/api" + within
                          : within.empty() || within[0] == '?' ? "/" + within
                                                               : within;
  return routed;
}

Response SiteDirectory::List(const Call& call) {
  std::string body = "{\"sites\":[";
  bool first = true;
  for (const SiteRole& site : accounts_->SitesOf(call.caller->user.id)) {
    if (!first) body += ',';
    first = false;
    body += "{\"name\":";
    AppendJsonString(body, site.site);
    body += ",\"role\":";
    AppendJsonString(body, RoleName(site.role));
    body += '}';
  }
  return JsonResponse(200, body + "]}");
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
