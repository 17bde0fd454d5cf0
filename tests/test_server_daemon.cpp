// The server over real sockets on the loopback address: what reaches the handler is what was
// sent, and the limits on sizes, slow clients and connections hold.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http_client.h"
#include "server/Api.h"
#include "server/Daemon.h"
#include "server_support.h"
#include "support.h"

namespace ssmsg::server {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::Client;
// The rest of a request line and the head of a request of vic's.
const std::string kVic = " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer vic-token\r\n";
using test::StatusOf;

// A request, named, and the status it must get.
struct Asked {
  std::string name;
  std::string request;
  int status;
};

class ServerDaemon : public ::testing::Test {
 protected:
  ServerDaemon()
      : store_(test::MakeStore(test::StoreKind::Database,
                               test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json"), folder_)),
        service_(*store_, Options()) {
    AddApiRoutes(service_);
    for (const auto& [name, role] : {std::pair{"vic", Role::Viewer}, {"eve", Role::Editor}}) {
      store_->AddUser({0, name, role, ""}, {});
      store_->AddToken(*store_->FindUser(name), SecretHash(std::string(name) + "-token"), {}, {});
    }
  }
  ~ServerDaemon() override {
    if (daemon_) daemon_->Stop();
  }

  static ServiceOptions Options() {
    ServiceOptions options;
    options.auth.cost = PasswordCost::Cheapest();
    return options;
  }

  void Start(DaemonOptions options = {}) {
    options.port = 0;
    options.log = [this](std::string_view line) {
      const std::lock_guard lock(logMutex_);
      log_.emplace_back(line);
    };
    std::string error;
    daemon_ = Daemon::Start(service_, options, error);
    ASSERT_TRUE(daemon_) << error;
  }

  // The answer to `request`, sent on a connection of its own, as it stands after `wait`.
  std::string Ask(const std::string& request, std::chrono::milliseconds wait) {
    Client client(daemon_->Port());
    client.Send(request);
    return client.Read(wait);
  }
  std::string Get(const std::string& target) { return Ask("GET " + target + kVic + "\r\n", 5s); }

  test::TempFolder folder_;
  std::unique_ptr<Store> store_;
  Service service_;
  std::unique_ptr<Daemon> daemon_;
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

TEST_F(ServerDaemon, RequestsArriveAsSentAndAreLogged) {
  Start();
  const std::string vic = "Authorization: Bearer vic-token";  // as test::Request takes it
  const test::Answer got = test::Request(daemon_->Port(), "GET", "/api/controllers/1/2", {vic});
  EXPECT_EQ(got.status, 200) << got.head;
  EXPECT_NE(got.body.find("\"Name\":\"Warehouse Vending\""), std::string::npos);
  EXPECT_EQ(got.Header("Content-Security-Policy").rfind("default-src 'none'", 0), 0U) << got.head;
  // Escapes reach the handler undecoded: an encoded slash or dot-dot is not a path of its own.
  EXPECT_EQ(StatusOf(Get("/api/controllers/1%2F2")), 400);
  EXPECT_EQ(StatusOf(Get("/api/controllers/1/%2e%2e/1/2")), 400);
  EXPECT_EQ(StatusOf(Get("/api/audit?after=1%0A")), 400);
  EXPECT_EQ(test::Request(daemon_->Port(), "GET", "/api/controllers/1/2",
                          {vic, "If-None-Match: W/\"x\", " + got.Header("ETag")})
                .status,
            304);
  // HEAD says how long GET's body is, and sends none.
  const test::Answer head = test::Request(daemon_->Port(), "HEAD", "/api/controllers/1/2", {vic});
  EXPECT_FALSE(got.Header("Content-Length").empty());
  EXPECT_EQ(head.Header("Content-Length"), got.Header("Content-Length")) << head.head;
  EXPECT_EQ(head.body, "");
  daemon_->Stop();
  const std::lock_guard lock(logMutex_);
  ASSERT_EQ(log_.size(), 6U);
  // The lines come as the requests end, which their threads need not keep in order.
  const auto logged = [this](const std::string& start) {
    return std::any_of(log_.begin(), log_.end(),
                       [&start](const std::string& line) { return line.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(logged("127.0.0.1 vic \"GET /api/controllers/1/2\" 200 "));
  EXPECT_TRUE(logged("127.0.0.1 - \"GET /api/audit?after=1%0A\" 400 "));
}

TEST_F(ServerDaemon, SizesOverTheLimitsAreRefusedAndTheServerStaysUp) {
  Start();
  const std::string head =
      "PUT /api/controllers/1/2 HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer "
      "eve-token\r\n";
  const std::vector<Asked> cases = {
      {"headers just under 16 KiB",
       "GET /api/site HTTP/1.1\r\nAuthorization: Bearer vic-token\r\nX: " +
           std::string(16000, 'x') + "\r\n\r\n",
       200},
      {"headers over 16 KiB",
       "GET /api/site HTTP/1.1\r\nX: " + std::string(16 << 10, 'x') + "\r\n\r\n", 431},
      {"headers over the connection's memory",
       "GET /api/site HTTP/1.1\r\nX: " + std::string(kConnectionMemory, 'x') + "\r\n\r\n", 431},
      {"a body announced over 16 MiB", head + "Content-Length: 16777217\r\n\r\n", 413},
      {"a huge announced body", head + "Content-Length: 99999999999999999999\r\n\r\n", 413},
      {"a chunked body over 16 MiB",
       head + "Transfer-Encoding: chunked\r\n\r\n1000001\r\n" + std::string((16 << 20) + 1, 'x') +
           "\r\n0\r\n\r\n",
       413},
  };
  for (const Asked& c : cases) {
    const std::string answer = Ask(c.request, 10s);
    EXPECT_EQ(StatusOf(answer), c.status) << c.name << ": " << answer.substr(0, 200);
  }
  // A body cut short by a client that goes away gets no answer, and changes nothing.
  {
    Client client(daemon_->Port());
    client.Send(head + "Content-Length: 100\r\nContent-Type: application/json\r\n\r\n{\"Name\":");
    client.EndSending();
    EXPECT_EQ(client.Read(2s), "");
  }
  EXPECT_EQ(StatusOf(Get("/api/controllers/1/1")), 200);
  EXPECT_EQ(store_->Audit(0, 10).size(), 4U);  // the users' and their tokens'
}

// A body is read only for a caller who may send it, and all bodies share one budget: requests
// without credentials cannot make the server hold their bodies.
TEST_F(ServerDaemon, ABodyIsReadOnlyForACallerWhoMaySendIt) {
  DaemonOptions options;
  options.bodyMemory = 1 << 20;
  Start(options);
  const auto put = [](const std::string& token, std::size_t length) {
    return "PUT /api/controllers/1/2 HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           (token.empty() ? "" : "Authorization: Bearer " + token + "\r\n") +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(length) +
           "\r\n\r\n";
  };
  // Heads sent without the bodies they announce.
  const std::vector<Asked> cases = {
      {"no credentials", put("", 900'000), 401},
      {"a role that may not", put("vic-token", 900'000), 403},
      {"no such route", "POST /api/nothing HTTP/1.1\r\nContent-Length: 900000\r\n\r\n", 404},
      {"no such method", "POST /api/site HTTP/1.1\r\nContent-Length: 900000\r\n\r\n", 405},
      {"a login larger than 4 KiB",
       "POST /api/session HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: "
       "4097\r\n\r\n",
       413},
  };
  for (const Asked& c : cases) {
    const std::string answer = Ask(c.request, 2s);
    EXPECT_EQ(StatusOf(answer), c.status) << c.name << ": " << answer.substr(0, 300);
    EXPECT_NE(answer.find("\r\nContent-Security-Policy: "), std::string::npos) << c.name;
  }
  // An editor's body is waited for; while it holds most of the memory for bodies, another
  // editor's that does not fit is refused at once, and taken once the first has gone.
  auto first = std::make_unique<Client>(daemon_->Port());
  first->Send(put("eve-token", 700'000));
  EXPECT_EQ(first->Read(300ms), "");
  const std::string second = Ask(put("eve-token", 700'000), 2s);
  EXPECT_EQ(StatusOf(second), 503) << second.substr(0, 300);
  EXPECT_NE(second.find("\r\nRetry-After: 1\r\n"), std::string::npos);
  first.reset();
  std::this_thread::sleep_for(200ms);
  // Read whole, and answered as any PUT without If-Match.
  EXPECT_EQ(StatusOf(Ask(put("eve-token", 700'000) + std::string(700'000, ' '), 5s)), 428);
}

// A body framed more than one way may be read another way by a proxy in front: it is refused and
// its connection closed, so that nothing smuggled after it is answered.
TEST_F(ServerDaemon, ABodyFramedTwoWaysIsRefusedAndItsConnectionClosed) {
  Start();
  const std::string smuggled = "GET /api/site" + kVic + "\r\n";
  // Each framing, and whether it is answered by the server (with its headers), not by
  // libmicrohttpd.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", true},
      {"Transfer-Encoding: chunked\r\nContent-Length: 0\r\n", true},
      {"Content-Length: 5\r\ncontent-length: 5\r\n", true},
      {"Content-Length: 5\r\nContent-Length: 0\r\n", true},
      {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", true},
      {"Content-Length: 5, 5\r\n", false},
      {"Content-Length: -1\r\n", false},
      {"Content-Length: 0x5\r\n", false},
  };
  for (const auto& [framing, ours] : cases) {
    SCOPED_TRACE(framing);
    Client client(daemon_->Port());
    client.Send(
        "POST /api/session HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
        "application/json\r\n" +
        framing + "\r\n0\r\n\r\n" + smuggled);
    const std::string answer = client.Read(3s);
    EXPECT_EQ(StatusOf(answer), 400) << answer;
    EXPECT_EQ(answer.find("\r\nContent-Security-Policy: ") != std::string::npos, ours) << answer;
    EXPECT_EQ(answer.find("\"Controllers\""), std::string::npos) << answer;
    bool closed = false;
    EXPECT_EQ(client.Read(3s, &closed), "");
    EXPECT_TRUE(closed);
  }
}

TEST_F(ServerDaemon, SlowClientsAreCutOffAndDoNotHoldUpOthers) {
  DaemonOptions options;
  options.requestTimeout = 1500ms;
  Start(options);
  std::vector<std::unique_ptr<Client>> slow;
  for (int i = 0; i < 100; ++i) {
    // From several addresses: one address holds at most 32 connections.
    slow.push_back(
        std::make_unique<Client>(daemon_->Port(), static_cast<unsigned char>(10 + i / 25)));
    slow.back()->Send("G");
  }
  const Clock::time_point start = Clock::now();
  while (Clock::now() - start < 2s) {
    // Each slow client sends a byte, well within the idle timeout.
    for (auto& client : slow)
      client->Send("E");
    const Clock::time_point asked = Clock::now();
    EXPECT_EQ(StatusOf(Get("/api/controllers/1/1")), 200);
    EXPECT_LT(Clock::now() - asked, 1s);
    std::this_thread::sleep_for(400ms);
  }
  // By now every slow request is overdue: the server has closed them all.
  std::size_t closed = 0;
  for (auto& client : slow) {
    bool ended = false;
    client->Read(300ms, &ended);
    closed += ended ? 1 : 0;
  }
  EXPECT_EQ(closed, slow.size());
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(ServerDaemon, ConnectionsBeyondTheCapWaitForOneToClose) {
  DaemonOptions options;
  options.maxConnections = 4;
  options.threads = 2;
  Start(options);
  std::vector<std::unique_ptr<Client>> held;
  for (int i = 0; i < 4; ++i)
    held.push_back(std::make_unique<Client>(daemon_->Port()));
  std::this_thread::sleep_for(100ms);
  Client extra(daemon_->Port());
  extra.Send("GET /api/site" + kVic + "\r\n");
  EXPECT_EQ(extra.Read(500ms), "");
  held.pop_back();
  EXPECT_EQ(StatusOf(extra.Read(2s)), 200);
}

// One address cannot take every connection, and idle connections give way once the server is
// near its cap.
TEST_F(ServerDaemon, IdleConnectionsFromOneAddressDoNotKeepOthersOut) {
  DaemonOptions options;
  options.maxConnections = 8;
  options.maxConnectionsPerAddress = 3;
  options.threads = 2;
  Start(options);
  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < 3; ++i)
    idle.push_back(std::make_unique<Client>(daemon_->Port(), 1));
  std::this_thread::sleep_for(100ms);
  bool closed = false;
  Client fourth(daemon_->Port(), 1);
  fourth.Send("GET /api/site" + kVic + "\r\n");
  EXPECT_EQ(fourth.Read(1s, &closed), "");
  EXPECT_TRUE(closed);
  // Three more a second later, so that a busy machine's delay in letting the first three go does
  // not keep the server at three quarters of its cap once these have been idle for kBusyIdle too.
  std::this_thread::sleep_for(1s);
  for (int i = 0; i < 3; ++i)
    idle.push_back(std::make_unique<Client>(daemon_->Port(), 3));
  // Six of eight are open and a seventh is answered: while the server is at three quarters of its
  // cap, those that have sent nothing for kBusyIdle are closed, long before the idle timeout.
  Client other(daemon_->Port(), 2);
  other.Send("GET /api/site" + kVic + "\r\n");
  EXPECT_EQ(StatusOf(other.Read(1s)), 200);
  // The first three are closed about kBusyIdle after they came, the watcher's tick and a busy
  // machine's delay later: seconds, where the idle timeout is half a minute.
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < idle.size(); ++i) {
    closed = false;
    idle[i]->Read(i < 3 ? kBusyIdle + 2s : 200ms, &closed);
    EXPECT_EQ(closed, i < 3) << i;
  }
  EXPECT_LT(Clock::now() - start, kBusyIdle + 3s);
}

TEST_F(ServerDaemon, StoppingLetsTheRequestBeingAnsweredFinish) {
  const auto slow = [](const Call&) {
    std::this_thread::sleep_for(300ms);
    return JsonResponse(200, "{}");
  };
  service_.Routes().Add({"GET", "/api/slow", Access::Public, RouteKind::Api, slow, {}, false});
  Start();
  Client client(daemon_->Port());
  client.Send("GET /api/slow HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  std::this_thread::sleep_for(100ms);
  std::thread stop([this] { daemon_->Stop(); });
  const std::string answer = client.Read(5s);
  stop.join();
  EXPECT_EQ(StatusOf(answer), 200) << answer;
  Client late(daemon_->Port());
  EXPECT_FALSE(late.Send("GET / HTTP/1.1\r\n\r\n") && StatusOf(late.Read(500ms)) != 0);
}

TEST(ServerAddresses, OnlyLoopbackIsServedWithoutTls) {
  for (const char* loopback : {"127.0.0.1", "127.1.2.3", "::1"})
    EXPECT_TRUE(IsLoopbackAddress(loopback)) << loopback;
  for (const char* other :
       {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "localhost", "::ffff:10.0.0.1", ""})
    EXPECT_FALSE(IsLoopbackAddress(other)) << other;
}

}  // namespace
}  // namespace ssmsg::server
