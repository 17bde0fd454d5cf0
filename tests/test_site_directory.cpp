// Every site of a PostgreSQL database served at once: each under /api/sites/{site}/ with its own
// users, entity tags, audit and change feed.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <ssmsg/SiteDatabase.h>

#include "http_client.h"
#include "server/Api.h"
#include "server/Auth.h"
#include "server/Daemon.h"
#include "server/PgStore.h"
#include "server/SiteDirectory.h"
#include "server/pages/Pages.h"
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
  // root is a database admin: an admin of every site.
  {
    const std::unique_ptr<Store> accounts = std::move(*OpenPgAccounts(database));
    ASSERT_EQ(accounts->AddUser({0, "root", Role::Admin, ""}, {}), UserWrite::Done);
    ASSERT_TRUE(accounts->AddToken(*accounts->FindUser("root"), SecretHash("root-token"), {}, {}));
  }
  ServiceOptions options;
  options.auth.cost = PasswordCost::Cheapest();
  SiteDirectory sites(std::move(*OpenPgAccounts(database)), options,
                      {[](Service& service) { AddApiRoutes(service); }, {}}, 100ms);
  const auto send = [&](const std::string& who, const std::string& method,
                        const std::string& target, std::vector<Header> headers = {},
                        std::string body = {}) {
    if (!who.empty()) headers.push_back({"Authorization", "Bearer " + who + "-token"});
    return sites.Handle(
        {method, target, std::move(headers), std::move(body), "127.0.0.1", false, {}});
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
      {"", "/api/sites", 401, "error"},
      {"root", "/api/sites", 200,
       R"({"sites":[{"name":"north","role":"admin"},{"name":"south side","role":"admin"}]})"},
      {"root", "/api/sites/south%20side/users", 200, R"("name":"tom","role":"viewer")"},
      {"ada", "/api/sites/north/controllers", 200, R"("Name":"n0")"},
      {"tom", "/api/sites/south%20side/controllers/1/2", 200, R"("Node":2)"},
      // A login is good only where its user has a role.
      {"ada", "/api/sites/south%20side/controllers", 401, "error"},
      {"tom", "/api/sites/north/controllers", 401, "error"},
      {"ada", "/api/sites/west/controllers", 404, "no such site"},
      {"ada", "/api/controllers", 404, "GET /api/sites lists yours"},
      {"ada", "/api/", 404, "GET /api/sites lists yours"},
  };
  for (const Case& c : cases) {
    const Response answer = send(c.who, "GET", c.target);
    EXPECT_EQ(answer.status, c.status) << c.who << " " << c.target << ": " << answer.body;
    EXPECT_NE(answer.body.find(c.says), std::string::npos) << c.target << ": " << answer.body;
    EXPECT_TRUE(answer.Find("X-Content-Type-Options")) << c.target;
  }
  EXPECT_EQ(send("ada", "POST", "/api/sites").status, 405);
  // A name that another site's DNS points here is not this server, for the list as for a site.
  for (const char* target : {"/api/sites", "/api/sites/north/controllers", "/api/x", "/"})
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
  // A subscription released is woken no more; one held is.
  const auto held = std::make_shared<std::atomic<int>>(0);
  const auto released = std::make_shared<std::atomic<int>>(0);
  const std::shared_ptr<void> holding = sites.WakeOnChanges([held] { ++*held; });
  sites.WakeOnChanges([released] { ++*released; }).reset();
  const Response again =
      send("ada", "PATCH", "/api/sites/north/controllers/1/1",
           {{"If-Match", *changed.Find("ETag")}, {"Content-Type", "application/merge-patch+json"}},
           R"({"Name":"n1 again"})");
  EXPECT_EQ(again.status, 200) << again.body;
  for (const auto until = std::chrono::steady_clock::now() + 5s;
       *held == 0 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_GT(*held, 0);
  EXPECT_EQ(*released, 0);
  // The change is north's alone.
  EXPECT_EQ(OpenPgSite(database, "south side")->Controller({1, 1})->json.find("n1"),
            std::string::npos);
}

// The pages of each site under /sites/{site}/, after a login on the list of sites: every link and
// form of a site's page stays in that site.
TEST(SiteDirectoryPostgres, PagesLogInOnTheListThenStayInTheirSite) {
  if (!test::HavePostgres()) GTEST_SKIP() << "no PostgreSQL server: run under pg_virtualenv";
  const std::string database = "postgresql:///" + test::NewPostgresDatabase();
  for (const char* site : {"north", "south%20side"}) {
    const CSS_SiteLoadResult loaded = LoadSiteText(test::CounterSite(2), "site.json");
    ASSERT_TRUE(loaded.site);
    ASSERT_TRUE(WriteSiteDatabase(*loaded.site, database + "?site=" + site).errors.empty());
  }
  {
    const std::unique_ptr<Store> north = OpenPgSite(database, "north");
    north->AddUser({0, "ada", Role::Admin, HashPassword("ada-secret", PasswordCost::Cheapest())},
                   {});
    // A site where ada has no role; its viewer makes it one with a user.
    OpenPgSite(database, "south side")->AddUser({0, "tom", Role::Viewer, ""}, {});
  }
  // The database's own store has no audit log, whatever its sites' logs hold.
  EXPECT_EQ((*OpenPgAccounts(database))->LatestAudit(), 0);
  ServiceOptions options;
  options.auth.cost = PasswordCost::Cheapest();
  SiteDirectory sites(std::move(*OpenPgAccounts(database)), options,
                      {[](Service& service) {
                         AddApiRoutes(service);
                         AddPageRoutes(service);
                       },
                       AddSitesPages},
                      100ms);
  std::string cookie;
  const auto send = [&](const std::string& method, const std::string& target,
                        std::string body = {}) {
    std::vector<Header> headers;
    if (!cookie.empty()) headers.push_back({"Cookie", cookie});
    if (!body.empty()) headers.push_back({"Content-Type", "application/x-www-form-urlencoded"});
    return sites.Handle({method, target, headers, std::move(body), "127.0.0.1", false, {}});
  };
  const auto location = [](const Response& answer) {
    return answer.Find("Location") ? *answer.Find("Location") : std::string("(none)");
  };

  EXPECT_EQ(location(send("GET", "/")), "/login");
  EXPECT_EQ(location(send("GET", "/sites/north/controllers/1/1")),
            "/sites/north/login?next=%2Fcontrollers%2F1%2F1");
  EXPECT_EQ(send("POST", "/login", "name=ada&password=wrong&next=%2F").status, 401);
  const Response login = send("POST", "/login", "name=ada&password=ada-secret&next=%2F");
  ASSERT_EQ(login.status, 303) << login.body;
  EXPECT_EQ(location(login), "/");
  ASSERT_TRUE(login.Find("Set-Cookie"));
  cookie = login.Find("Set-Cookie")->substr(0, login.Find("Set-Cookie")->find(';'));

  const Response list = send("GET", "/");
  EXPECT_EQ(list.status, 200);
  EXPECT_NE(list.body.find(R"(<a href="/sites/north/">north</a></td><td>admin)"), std::string::npos)
      << list.body;
  EXPECT_EQ(list.body.find("south"), std::string::npos) << list.body;
  // ada's login is no login in a site where she has no role.
  EXPECT_EQ(location(send("GET", "/sites/south%20side/")), "/sites/south%20side/login");

  // Every address on north's pages is north's, the list of sites or the style sheet.
  const std::regex address(R"re((?:href|action)="([^"]*)")re");
  for (const char* page :
       {"/sites/north/", "/sites/north/controllers/1/1", "/sites/north/controllers/1/1/pending",
        "/sites/north/audit", "/sites/north/users"}) {
    const Response shown = send("GET", page);
    EXPECT_EQ(shown.status, 200) << page << ": " << shown.body.substr(0, 300);
    std::size_t checked = 0;
    for (std::sregex_iterator it(shown.body.begin(), shown.body.end(), address), end; it != end;
         ++it, ++checked) {
      const std::string link = (*it)[1];
      // (A relative link is the site's, as its page is.)
      EXPECT_TRUE(link.rfind("/sites/north/", 0) == 0 || link == "/" || link == "/style.css" ||
                  link[0] != '/')
          << page << " links to " << link;
    }
    EXPECT_GT(checked, 4U) << page;
  }
  // A form's redirect stays in the site, and so does the API's Location.
  const std::string controller = send("GET", "/sites/north/controllers/1/1").body;
  const std::smatch csrf = [&] {
    std::smatch match;
    std::regex_search(controller, match, std::regex(R"re(name="csrf" value="([^"]+)")re"));
    return match;
  }();
  ASSERT_FALSE(csrf.empty());
  EXPECT_EQ(location(send("GET", "/sites/north/users/ada/remove")), "/sites/north/users");
  const Response made = sites.Handle({"PUT",
                                      "/api/sites/north/controllers/1/9",
                                      {{"Cookie", cookie},
                                       {"Content-Type", "application/json"},
                                       {"If-None-Match", "*"},
                                       {"X-CSRF-Token", csrf[1]}},
                                      R"({"Interface":1,"Node":9,"Name":"new"})",
                                      "127.0.0.1",
                                      false,
                                      {}});
  EXPECT_EQ(made.status, 201) << made.body;
  EXPECT_EQ(location(made), "/api/sites/north/controllers/1/9");
  // Logging out through a site ends the login everywhere.
  EXPECT_EQ(location(send("POST", "/sites/north/logout", "csrf=" + std::string(csrf[1]))),
            "/sites/north/login");
  EXPECT_EQ(location(send("GET", "/")), "/login");
}

}  // namespace
}  // namespace ssmsg::server
