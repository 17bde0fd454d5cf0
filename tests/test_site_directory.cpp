// Every site of a PostgreSQL database served at once: each under /api/sites/{site}/ with its own
// users, entity tags, audit and change feed.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <ssmsg/SiteDatabase.h>

#include "http_client.h"
#include "server/Api.h"
#include "server/Daemon.h"
#include "server/PgStore.h"
#include "server/SiteDirectory.h"
#include "server_support.h"

namespace ssmsg::server {
namespace {

using namespace std::chrono_literals;

TEST(SiteDirectoryPostgres, EachSiteIsServedUnderItsNameToItsOwnUsers) {
  if (!test::HavePostgres()) GTEST_SKIP() << "no PostgreSQL server: run under pg_virtualenv";
  const std::string database = "postgresql:///" + test::NewPostgresDatabase();
  for (const char* site : {"north", "south side"}) {
    const CSS_SiteLoadResult loaded = LoadSiteText(test::CounterSite(2), "site.json");
    ASSERT_TRUE(loaded.site);
    const auto written = WriteSiteDatabase(
        *loaded.site, database + "?site=" + (site[0] == 'n' ? "north" : "south%20side"));
    ASSERT_TRUE(written.errors.empty()) << written.errors[0];
  }
  // ada is north's admin, tom south side's viewer.
  for (const auto& [site, user, role] :
       {std::tuple{"north", "ada", Role::Admin}, {"south side", "tom", Role::Viewer}}) {
    const std::unique_ptr<Store> store = OpenPgSite(database, site);
    ASSERT_TRUE(store);
    store->AddUser({0, user, role, ""}, {});
    store->AddToken(*store->FindUser(user), SecretHash(std::string(user) + "-token"), {}, {});
  }
  ServiceOptions options;
  options.auth.cost = PasswordCost::Cheapest();
  SiteDirectory sites(
      {[&] { return *PgSiteNames(database); },
       [&](const std::string& name) { return OpenPgSite(database, name); }},
      options, [](Service& service) { AddApiRoutes(service); }, 100ms);
  const auto send = [&](const std::string& who, const std::string& method,
                        const std::string& target, std::vector<Header> headers = {},
                        std::string body = {}) {
    if (!who.empty()) headers.push_back({"Authorization", "Bearer " + who + "-token"});
    return sites.Handle({method, target, std::move(headers), std::move(body), "127.0.0.1", false});
  };

  struct Case {
    const char* who;
    std::string target;
    int status;
    const char* says;  // in the body
  };
  const std::vector<Case> cases = {
      {"ada", "/api/sites", 200, R"({"sites":[{"name":"north","role":"admin"}]})"},
      {"tom", "/api/sites/", 200, R"({"sites":[{"name":"south side","role":"viewer"}]})"},
      {"", "/api/sites", 401, "log in"},
      {"ada", "/api/sites/north/controllers", 200, R"("Name":"n0")"},
      {"tom", "/api/sites/south%20side/controllers/1/2", 200, R"("Node":2)"},
      // A login is good only where its user has a role.
      {"ada", "/api/sites/south%20side/controllers", 401, "error"},
      {"tom", "/api/sites/north/controllers", 401, "error"},
      {"ada", "/api/sites/west/controllers", 404, "no such site"},
      {"ada", "/api/controllers", 404, "GET /api/sites lists yours"},
      {"ada", "/", 404, "GET /api/sites lists yours"},
  };
  for (const Case& c : cases) {
    const Response answer = send(c.who, "GET", c.target);
    EXPECT_EQ(answer.status, c.status) << c.who << " " << c.target << ": " << answer.body;
    EXPECT_NE(answer.body.find(c.says), std::string::npos) << c.target << ": " << answer.body;
    EXPECT_TRUE(answer.Find("X-Content-Type-Options")) << c.target;
  }
  EXPECT_EQ(send("ada", "POST", "/api/sites").status, 405);
  // A name that another site's DNS points here is not this server, for the list as for a site.
  for (const char* target : {"/api/sites", "/api/sites/north/controllers", "/"})
    EXPECT_EQ(send("ada", "GET", target, {{"Host", "evil.example"}}).status, 421) << target;

  // A long poll of north's feed, through the daemon, is woken by a change to north.
  DaemonOptions listen;
  listen.port = 0;
  std::string error;
  const std::unique_ptr<Daemon> daemon = Daemon::Start(sites, listen, error);
  ASSERT_TRUE(daemon) << error;
  const Response before = send("ada", "GET", "/api/sites/north/controllers/1/1");
  ASSERT_TRUE(before.Find("ETag"));
  const std::string read = *before.Find("ETag");
  const auto started = std::chrono::steady_clock::now();
  auto poll = std::async(std::launch::async, [&] {
    return test::Request(daemon->Port(), "GET", "/api/sites/north/changes?wait=20",
                         {"Authorization: Bearer ada-token"});
  });
  std::this_thread::sleep_for(300ms);
  const Response changed = send(
      "ada", "PATCH", "/api/sites/north/controllers/1/1",
      {{"If-Match", read}, {"Content-Type", "application/merge-patch+json"}}, R"({"Name":"n1"})");
  EXPECT_EQ(changed.status, 200) << changed.body;
  const test::Answer woken = poll.get();
  EXPECT_EQ(woken.status, 200) << woken.body;
  EXPECT_NE(woken.body.find(R"("kind":"changed","interface":1,"node":1)"), std::string::npos)
      << woken.body;
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  daemon->Stop();
  // The change is north's alone.
  EXPECT_EQ(OpenPgSite(database, "south side")->Controller({1, 1})->json.find("n1"),
            std::string::npos);
}

}  // namespace
}  // namespace ssmsg::server
