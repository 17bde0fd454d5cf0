#pragma once

// The site editor for every site of a database. Everything under /api/sites/{site}/ is that
// site's /api/, and everything under /sites/{site}/ its pages, answered by a service of the
// site's own (made at its first request, with its own store and change feed), so that each site
// keeps the rules of a server of one site: its users and roles, ETags, audit and feed. The rest
// is the directory's own service over the database's accounts: GET /api/sites lists the sites
// that the caller has a role in, and its pages log in and list them. A login or a token is the
// database's, and good in every site where its user has a role.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/Handler.h"
#include "server/Service.h"
#include "server/Store.h"

namespace ssmsg::server {

class SiteDirectory final : public RequestHandler {
 public:
  struct Setup {
    std::function<void(Service&)> site;  // adds the routes of a site's service (AddApiRoutes...)
    // adds the routes of the directory's own pages (AddSitesPages); none: it has none
    std::function<void(Service&)> directory;
  };
  // `accounts` is the database's (Store::SitesOf, Store::SiteOf). Every service has `options`,
  // and each site's feed watches its store every `watch` (none: not).
  SiteDirectory(std::unique_ptr<Store> accounts, ServiceOptions options, Setup setup,
                std::optional<std::chrono::milliseconds> watch);
  ~SiteDirectory() override;
  SiteDirectory(const SiteDirectory&) = delete;
  SiteDirectory& operator=(const SiteDirectory&) = delete;

  const Limits& Limit() const override { return options_.limits; }
  HeadCheck CheckHead(const Request& head) override;
  Response Handle(const Request& request) override;
  Response Resume(const Request& request, const Deferred& deferred, bool last) override;
  Response Refusal(int status, std::string_view message, const Request& request) override;
  std::shared_ptr<void> WakeOnChanges(std::function<void()> wake) override;

 private:
  struct Site {
    std::unique_ptr<Store> store;
    std::unique_ptr<Service> service;
    std::map<std::uint64_t, std::shared_ptr<void>> wakes;  // by the wake's id
  };
  // Where a request goes: the site's service with the request as it sees it, or the answer.
  struct Routed {
    Service* service = nullptr;
    Request request;
    std::optional<Response> answer;
  };
  Routed Route(const Request& request);
  // The service of the site `name`, made at its first use; null when there is no such site.
  Service* SiteService(const std::string& name);
  // GET /api/sites.
  Response List(const Call& call);
  Response Answer(int status, std::string_view message, const Request& request) const;
  void Unwake(std::uint64_t id);

  std::unique_ptr<Store> accounts_;
  ServiceOptions options_;
  Setup setup_;
  std::unique_ptr<Service> own_;  // over `accounts_`
  std::optional<std::chrono::milliseconds> watch_;
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Site>> made_;
  std::map<std::uint64_t, std::function<void()>> wakes_;
  std::uint64_t nextWake_ = 1;
};

}  // namespace ssmsg::server
