// Many writers at once over real sockets and the site database: read-modify-write changes that
// retry on 412 lose nothing, and the audit log holds every change in the order it was made.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http_client.h"
#include "server/Api.h"
#include "server/Daemon.h"
#include "server/JsonValue.h"
#include "server_support.h"

namespace ssmsg::server {
namespace {

constexpr int kControllers = 5;  // each change renames one to the next number

std::string Target(int node) {
  return "/api/controllers/1/" + std::to_string(node);
}

// A change that got 200: the controller and the number it was renamed to.
struct Change {
  int node = 0;
  int number = 0;
};

// Reads the controller, renames it to its number plus one under the tag it read, and tries
// again on 412 until the change goes through; the number it got, or 0 when something else
// happened.
int Increment(std::uint16_t port, int node, const std::string& auth, std::atomic<int>& conflicts) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const test::Answer read = test::Request(port, "GET", Target(node), {auth});
    if (read.status != 200) {
      ADD_FAILURE() << "GET " << read.status << " " << read.body;
      return 0;
    }
    const JsonValue controller = *ReadJson(read.body);
    const int number = std::stoi(controller.Find("Name")->text.substr(1)) + 1;
    const test::Answer write = test::Request(
        port, "PATCH", Target(node),
        {auth, "If-Match: " + read.Header("ETag"), "Content-Type: application/merge-patch+json"},
        "{\"Name\":\"n" + std::to_string(number) + "\"}");
    if (write.status == 200) return number;
    if (write.status != 412) {
      ADD_FAILURE() << "PATCH " << write.status << " " << write.body;
      return 0;
    }
    ++conflicts;
  }
  ADD_FAILURE() << "no change went through in 1000 attempts";
  return 0;
}

// Over a site of a PostgreSQL database, through two stores (as two servers on one database
// are), each with a daemon of its own: the clients take turns between them.
class ServerWriters : public ::testing::TestWithParam<test::StoreKind> {};

TEST_P(ServerWriters, ReadModifyWriteChangesOfManyClientsAreAllKeptInOrder) {
  // Fewer on PostgreSQL, whose every change takes some tens of statements: enough to meet.
  const bool postgres = GetParam() == test::StoreKind::Postgres;
  const int kClients = postgres ? 16 : 40;
  const int kChanges = postgres ? 10 : 25;
  const test::TempFolder folder;
  std::vector<std::unique_ptr<Store>> stores;
  stores.push_back(test::MakeStore(GetParam(), test::CounterSite(kControllers), folder));
  ASSERT_TRUE(stores[0]);
  Store& store = *stores[0];
  if (GetParam() == test::StoreKind::Postgres) {
    auto other = OpenStore(store.FileName());
    ASSERT_TRUE(other) << other.error();
    stores.push_back(std::move(*other));
  }
  ServiceOptions options;
  options.auth.cost = PasswordCost::Cheapest();
  std::vector<std::unique_ptr<Service>> services;
  for (const std::unique_ptr<Store>& each : stores) {
    services.push_back(std::make_unique<Service>(*each, options));
    AddApiRoutes(*services.back());
  }
  store.AddUser({0, "eve", Role::Editor, ""}, {});
  store.AddToken(*store.FindUser("eve"), SecretHash("eve-token"), {}, {});
  std::string error;
  DaemonOptions listen;
  listen.port = 0;
  listen.maxConnectionsPerAddress = listen.maxConnections;  // all come from 127.0.0.1
  std::vector<std::unique_ptr<Daemon>> daemons;
  for (const std::unique_ptr<Service>& service : services) {
    daemons.push_back(Daemon::Start(*service, listen, error));
    ASSERT_TRUE(daemons.back()) << error;
  }

  std::vector<std::vector<Change>> made(
      static_cast<std::size_t>(kClients));  // by client, in the order each got its 200
  std::atomic<int> conflicts{0};
  std::vector<std::thread> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      for (int k = 0; k < kChanges; ++k) {
        const int node = 1 + (client + k) % kControllers;
        const Daemon& daemon = *daemons[static_cast<std::size_t>(client + k) % daemons.size()];
        const int number =
            Increment(daemon.Port(), node, "Authorization: Bearer eve-token", conflicts);
        if (number != 0) made[static_cast<std::size_t>(client)].push_back({node, number});
      }
    });
  }
  for (std::thread& client : clients)
    client.join();
  for (const std::unique_ptr<Daemon>& daemon : daemons)
    daemon->Stop();
  EXPECT_GT(conflicts.load(), 0) << "the clients never met: the test proves nothing";

  // Each controller's number is the count of its changes: none was lost or made twice.
  std::map<int, int> counted;
  for (const std::vector<Change>& changes : made) {
    EXPECT_EQ(changes.size(), static_cast<std::size_t>(kChanges));
    for (const Change& change : changes)
      ++counted[change.node];
  }
  for (int node = 1; node <= kControllers; ++node) {
    const JsonValue controller = *ReadJson(store.Controller({1, node})->json);
    EXPECT_EQ(controller.Find("Name")->text, "n" + std::to_string(counted[node])) << node;
  }
  // The site that others read is the one the servers wrote; on PostgreSQL, read from the images
  // that they kept.
  const CSS_SiteLoadResult loaded = LoadSite(store.FileName());
  ASSERT_TRUE(loaded.site) << loaded.errors[0];
  EXPECT_EQ(loaded.site->ToJson(), store.SiteJson());
  if (postgres) {
    test::RunPostgresSql(store.FileName(),
                         "DO $$ BEGIN IF (SELECT count(\"Images\") FROM sites) <> 1 OR (SELECT "
                         "count(*) FROM controller_images) <> (SELECT count(*) FROM controllers) "
                         "THEN RAISE EXCEPTION 'the images were not kept'; END IF; END $$");
  }
  // The audit log renames each controller from n0 up by one, and each client's changes come in
  // the order it made them.
  std::map<int, int> last;                   // node -> number
  std::map<std::pair<int, int>, int> order;  // (node, number) -> place in the log
  const std::vector<AuditEntry> log =
      store.Audit(2, static_cast<std::size_t>(10 * kClients * kChanges));  // after eve's
  ASSERT_EQ(log.size(), static_cast<std::size_t>(kClients * kChanges));
  for (std::size_t i = 0; i < log.size(); ++i) {
    const int node = log[i].controller->node;
    const int before = std::stoi(ReadJson(log[i].before)->Find("Name")->text.substr(1));
    const int after = std::stoi(ReadJson(log[i].after)->Find("Name")->text.substr(1));
    EXPECT_EQ(before, last[node]) << "entry " << log[i].id;
    EXPECT_EQ(after, before + 1) << "entry " << log[i].id;
    last[node] = after;
    order[{node, after}] = static_cast<int>(i);
  }
  for (const std::vector<Change>& changes : made) {
    int previous = -1;
    for (const Change& change : changes) {
      const auto place = order.find({change.node, change.number});
      ASSERT_NE(place, order.end());
      EXPECT_GT(place->second, previous);
      previous = place->second;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, ServerWriters, testing::ValuesIn(test::StoreKinds()),
                         test::KindName);

}  // namespace
}  // namespace ssmsg::server
