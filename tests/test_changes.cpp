// The change feed: every change of a controller once and in order, by long poll and as an event
// stream, through the request handler and over real sockets.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <ssmsg/SiteDatabase.h>

#include "http_client.h"
#include "server/Api.h"
#include "server/ChangeFeed.h"
#include "server/Daemon.h"
#include "server/JsonValue.h"
#include "server/PgStore.h"
#include "server/Service.h"
#include "server_support.h"
#include "support.h"

namespace ssmsg::server {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Reads from `client` onto `text` until it holds `wanted`, for at most five seconds: whether it
// came.
bool ReadUntil(test::Client& client, std::string& text, std::string_view wanted) {
  for (const Clock::time_point until = Clock::now() + 5s;
       text.find(wanted) == std::string::npos && Clock::now() < until;)
    text += client.Read(200ms);
  return text.find(wanted) != std::string::npos;
}

// Two servers on one PostgreSQL database: a change through one wakes the other's feed as it
// commits, long before the feed would ask again (every ten seconds here).
TEST(ChangeFeedPostgres, AChangeThroughAnotherServerIsHeardAsItCommits) {
  if (!test::HavePostgres()) GTEST_SKIP() << "no PostgreSQL server: run under pg_virtualenv";
  const test::TempFolder folder;
  const std::unique_ptr<Store> writer = test::MakeStore(
      test::StoreKind::Postgres, test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json"), folder);
  ASSERT_TRUE(writer);
  auto opened = OpenStore(writer->FileName());
  ASSERT_TRUE(opened) << opened.error();
  const std::unique_ptr<Store> reader = std::move(*opened);
  ChangeFeed feed(*reader);
  feed.Refresh();
  feed.Watch(10s);
  std::this_thread::sleep_for(300ms);  // the watcher listens
  const std::int64_t before = feed.Latest();
  writer->AddUser({0, "ada", Role::Admin, ""}, {});
  const Clock::time_point until = Clock::now() + 3s;
  while (feed.Latest() == before && Clock::now() < until)
    std::this_thread::sleep_for(10ms);
  EXPECT_GT(feed.Latest(), before) << "the other server's change was not heard";
}

// The sites of one database in one process listen on one connection: each listener hears its
// own site's changes alone, and one that hears none waits its time out.
TEST(ChangeFeedPostgres, TheSitesOfALinkHearTheirOwnChangesAlone) {
  if (!test::HavePostgres()) GTEST_SKIP() << "no PostgreSQL server: run under pg_virtualenv";
  const std::string database = "postgresql:///" + test::NewPostgresDatabase();
  const CSS_SiteLoadResult loaded = LoadSiteText(test::CounterSite(1), "site.json");
  ASSERT_TRUE(loaded.site);
  for (const char* site : {"a", "b"})
    ASSERT_TRUE(WriteSiteDatabase(*loaded.site, database + "?site=" + site).errors.empty());
  const std::unique_ptr<Store> accounts = std::move(*OpenPgAccounts(database));
  const std::unique_ptr<Store> a = accounts->SiteOf("a");
  const std::unique_ptr<Store> b = accounts->SiteOf("b");
  ASSERT_TRUE(a && b);
  const std::unique_ptr<ChangeListener> hearA = a->ListenForChanges();
  const std::unique_ptr<ChangeListener> hearB = b->ListenForChanges();
  ASSERT_TRUE(hearA && hearB);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(hearA->Wait(200ms));
  EXPECT_GE(Clock::now() - start, 190ms);

  auto waitB = std::async(std::launch::async, [&] { return hearB->Wait(1500ms); });
  auto waitA = std::async(std::launch::async, [&] { return hearA->Wait(5s); });
  std::this_thread::sleep_for(300ms);  // both wait, one of them on the socket
  const Clock::time_point changed = Clock::now();
  OpenPgSite(database, "a")->AddUser({0, "ada", Role::Admin, ""}, {});
  EXPECT_TRUE(waitA.get());
  EXPECT_LT(Clock::now() - changed, 2s);
  EXPECT_FALSE(waitB.get()) << "b heard a's change";
}

class ChangeFeedTest : public ::testing::TestWithParam<test::StoreKind> {
 protected:
  ChangeFeedTest()
      : store_(test::MakeStore(GetParam(), test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json"),
                               folder_)),
        service_(*store_, Options()) {
    AddApiRoutes(service_);
    for (const auto& [name, role] : {std::pair{"vic", Role::Viewer}, {"eve", Role::Editor}}) {
      store_->AddUser({0, name, role, ""}, {});
      store_->AddToken(*store_->FindUser(name), SecretHash(std::string(name) + "-token"),
                       {0, "t", 0, {}}, {});
    }
  }
  ~ChangeFeedTest() override {
    if (daemon_) daemon_->Stop();
  }

  static ServiceOptions Options() {
    ServiceOptions options;
    options.auth.cost = PasswordCost::Cheapest();
    return options;
  }

  static Request Make(const std::string& who, const std::string& method, const std::string& target,
                      std::vector<Header> headers = {}, std::string body = {}) {
    headers.push_back({"Authorization", "Bearer " + who + "-token"});
    return {method, target, std::move(headers), std::move(body), "127.0.0.1", false, {}};
  }
  Response Send(const std::string& who, const std::string& method, const std::string& target,
                std::vector<Header> headers = {}, std::string body = {}) {
    return service_.Handle(Make(who, method, target, std::move(headers), std::move(body)));
  }
  std::string Etag(const std::string& controller) {
    return *Send("eve", "GET", controller).Find("ETag");
  }
  void Rename(const std::string& controller, const std::string& name) {
    const std::vector<Header> headers = {{"If-Match", Etag(controller)},
                                         {"Content-Type", "application/merge-patch+json"}};
    ASSERT_EQ(Send("eve", "PATCH", controller, headers, "{\"Name\":\"" + name + "\"}").status, 200);
  }
  int MarkSent(const std::string& controller) {
    return Send("eve", "POST", controller + "/sent", {{"If-Match", Etag(controller)}}).status;
  }
  JsonValue Changes(const std::string& query) {
    const Response response = Send("vic", "GET", "/api/changes" + query);
    EXPECT_EQ(response.status, 200) << response.body;
    return *ReadJson(response.body);
  }
  static std::int64_t Last(const JsonValue& page) { return std::stoll(page.Find("last")->text); }

  // Asks the daemon on `client` for the event stream, as vic, with `more` (header lines).
  static bool AskStream(test::Client& client, const std::string& query,
                        const std::string& more = {}) {
    return client.Send("GET /api/changes/stream" + query +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer vic-token\r\n" +
                       more + "\r\n");
  }
  void Start() {
    DaemonOptions options;
    options.port = 0;
    options.threads = 1;  // one thread: a wait that held it would hold every other request
    std::string error;
    daemon_ = Daemon::Start(service_, options, error);
    ASSERT_TRUE(daemon_) << error;
  }
  test::Answer Get(const std::string& target, std::vector<std::string> headers = {},
                   std::chrono::milliseconds wait = 10s) {
    headers.push_back("Authorization: Bearer vic-token");
    return test::Request(daemon_->Port(), "GET", target, headers, {}, wait);
  }

  test::TempFolder folder_;
  std::unique_ptr<Store> store_;
  Service service_;
  std::unique_ptr<Daemon> daemon_;
};

TEST_P(ChangeFeedTest, EveryChangeOfAControllerInOrderWithItsKindAndWhatItWaitsFor) {
  const std::int64_t start = Last(Changes(""));
  EXPECT_GT(start, 0);  // past the accounts' rows, which are no changes of controllers
  Rename("/api/controllers/1/1", "first");
  ASSERT_EQ(MarkSent("/api/controllers/1/1"), 204);
  std::string copy = Send("vic", "GET", "/api/controllers/1/2").body;
  copy.replace(copy.find("\"Node\":2"), 8, "\"Node\":3");
  const std::vector<Header> create = {{"If-None-Match", "*"}, {"Content-Type", "application/json"}};
  ASSERT_EQ(Send("eve", "PUT", "/api/controllers/1/3", create, copy).status, 201);
  const std::string deleted = "/api/controllers/1/2";
  ASSERT_EQ(Send("eve", "DELETE", deleted, {{"If-Match", Etag(deleted)}}).status, 204);
  store_->AddUser({0, "kim", Role::Viewer, ""}, {});  // an account's row between
  Rename("/api/controllers/1/1", "second");

  const auto waiting = [this](const std::string& controller) {
    return std::to_string(
        ReadJson(Send("vic", "GET", controller + "/pending").body)->Find("messages")->items.size());
  };
  const JsonValue page = Changes("?after=" + std::to_string(start));
  const struct {
    const char* kind;
    const char* node;
    std::string pending;
  } expected[] = {{"changed", "1", waiting("/api/controllers/1/1")},
                  {"sent", "1", waiting("/api/controllers/1/1")},
                  {"created", "3", waiting("/api/controllers/1/3")},
                  {"deleted", "2", "null"},
                  {"changed", "1", waiting("/api/controllers/1/1")}};
  ASSERT_EQ(page.Find("changes")->items.size(), std::size(expected)) << ToJson(page);
  EXPECT_NE(expected[0].pending, "0");
  std::int64_t previous = start;
  for (std::size_t k = 0; k < std::size(expected); ++k) {
    const JsonValue& change = page.Find("changes")->items[k];
    SCOPED_TRACE(ToJson(change));
    EXPECT_EQ(change.Find("kind")->text, expected[k].kind);
    EXPECT_EQ(change.Find("interface")->text, "1");
    EXPECT_EQ(change.Find("node")->text, expected[k].node);
    EXPECT_EQ(ToJson(*change.Find("pending")), expected[k].pending);
    const std::int64_t id = std::stoll(change.Find("id")->text);
    EXPECT_GT(id, previous);
    previous = id;
  }
  EXPECT_EQ(Last(page), previous);
  // Asked again after the last, nothing; and page by page, the same changes.
  EXPECT_TRUE(Changes("?after=" + std::to_string(previous)).Find("changes")->items.empty());
  std::string paged;
  for (std::int64_t after = start; after < previous;) {
    const JsonValue part = Changes("?limit=2&after=" + std::to_string(after));
    ASSERT_LE(part.Find("changes")->items.size(), 2U);
    for (const JsonValue& change : part.Find("changes")->items)
      paged += ToJson(change);
    ASSERT_GT(Last(part), after);
    after = Last(part);
  }
  std::string whole;
  for (const JsonValue& change : page.Find("changes")->items)
    whole += ToJson(change);
  EXPECT_EQ(paged, whole);
  // Marked sent, it waits for nothing, and its changes say so at once; renamed again, it waits.
  ASSERT_EQ(MarkSent("/api/controllers/1/1"), 204);
  const auto first = [&] {
    return ToJson(
        *Changes("?after=" + std::to_string(start)).Find("changes")->items[0].Find("pending"));
  };
  EXPECT_EQ(first(), "0");
  Rename("/api/controllers/1/1", "third");
  EXPECT_EQ(first(), waiting("/api/controllers/1/1"));
}

// A listener hears of each change the feed sees, moved into place or not, until its
// subscription ends.
TEST_P(ChangeFeedTest, AListenerHearsOfChangesUntilItsSubscriptionEnds) {
  ChangeFeed feed(*store_);
  feed.Refresh();
  int heard = 0;
  ChangeFeed::Subscription subscription;
  subscription = feed.Listen([&heard] { ++heard; });
  feed.Refresh();  // nothing new
  EXPECT_EQ(heard, 0);
  Rename("/api/controllers/1/1", "heard");
  feed.Refresh();
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(feed.Latest(), store_->LatestAudit());
  subscription = {};
  Rename("/api/controllers/1/1", "unheard");
  feed.Refresh();
  EXPECT_EQ(heard, 1);
}

// A feed that asks the store once a minute still ends at once: the server's stop does not wait
// for the watcher's next look.
TEST_P(ChangeFeedTest, AWatchingFeedEndsAtOnceWhateverItsInterval) {
  const Clock::time_point start = Clock::now();
  {
    ChangeFeed feed(*store_);
    feed.Watch(60s);
    std::this_thread::sleep_for(200ms);  // the watcher waits for its interval
  }
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_P(ChangeFeedTest, ParametersAreCheckedAtTheirBounds) {
  for (const std::string query : {"?after=0", "?limit=1", "?limit=1000", "?wait=0"})
    EXPECT_EQ(Send("vic", "GET", "/api/changes" + query).status, 200) << query;
  for (const std::string query :
       {"?after=-1", "?after=x", "?wait=61", "?wait=1.5", "?limit=0", "?limit=1001"}) {
    EXPECT_EQ(Send("vic", "GET", "/api/changes" + query).status, 400) << query;
  }
  EXPECT_EQ(Send("vic", "GET", "/api/changes/stream", {{"Last-Event-ID", "seven"}}).status, 400);
  EXPECT_EQ(service_.Handle({"GET", "/api/changes", {}, {}, "127.0.0.1", false, {}}).status, 401);
}

TEST_P(ChangeFeedTest, AWaitIsAnsweredByTheNextChangeOrEmptyWhenItsTimeIsUp) {
  const Request request =
      Make("vic", "GET", "/api/changes?wait=30&after=" + std::to_string(Last(Changes(""))));
  const Response waiting = service_.Handle(request);
  ASSERT_TRUE(waiting.deferred);
  const Response empty = service_.Resume(request, *waiting.deferred, true);
  EXPECT_EQ(empty.status, 200);
  EXPECT_TRUE(ReadJson(empty.body)->Find("changes")->items.empty());
  Rename("/api/controllers/1/2", "moved");
  const Response changed = service_.Resume(request, *waiting.deferred, false);
  ASSERT_FALSE(changed.deferred);
  EXPECT_EQ(ReadJson(changed.body)->Find("changes")->items.at(0).Find("node")->text, "2");
  // An answer that waited has every answer's headers.
  for (const Response* answer : {&empty, &changed}) {
    ASSERT_TRUE(answer->Find("X-Content-Type-Options"));
    EXPECT_EQ(*answer->Find("Cache-Control"), "no-store");
  }
  // The caller is known again when the wait is over: a token revoked meanwhile gets nothing.
  store_->RemoveToken("vic", store_->Tokens("vic")->at(0).id, {});
  EXPECT_EQ(service_.Resume(request, *waiting.deferred, false).status, 401);
}

TEST_P(ChangeFeedTest, ALongPollHoldsNoThreadAndIsWokenByAChange) {
  Start();
  const std::string after = std::to_string(Last(Changes("")));
  test::Answer polled;
  Clock::time_point answered;
  std::thread poll([&] {
    polled = Get("/api/changes?wait=20&after=" + after, {}, 25s);
    answered = Clock::now();
  });
  std::this_thread::sleep_for(300ms);
  // The daemon's one thread serves others while the poll waits.
  const Clock::time_point asked = Clock::now();
  EXPECT_EQ(Get("/api/site", {}, 5s).status, 200);
  EXPECT_LT(Clock::now() - asked, 2s);
  const Clock::time_point changed = Clock::now();
  Rename("/api/controllers/1/1", "woken");
  poll.join();
  EXPECT_EQ(polled.status, 200);
  EXPECT_TRUE(test::Contains(polled.body, "\"kind\":\"changed\""));
  EXPECT_LT(answered - changed, 2s);
}

TEST_P(ChangeFeedTest, AStreamSendsEachChangeOnceAndResumesAfterItsLastEvent) {
  Start();
  const std::string begin = std::to_string(Last(Changes("")));
  test::Client client(daemon_->Port());
  ASSERT_TRUE(AskStream(client, "?after=" + begin));
  std::string text;
  ASSERT_TRUE(ReadUntil(client, text, "retry: 2000")) << text;
  EXPECT_TRUE(test::Contains(text, "Content-Type: text/event-stream"));
  Rename("/api/controllers/1/1", "one");
  Rename("/api/controllers/1/2", "two");
  ASSERT_TRUE(ReadUntil(client, text, "\"node\":2")) << text;
  const std::size_t first = text.find("id: ");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(text.find("\"node\":1", text.find("\"node\":1") + 1), std::string::npos);
  const std::string firstId = text.substr(first + 4, text.find('\n', first) - first - 4);
  // A client that connects again gets what came after the last event it saw, and only that.
  test::Client again(daemon_->Port());
  ASSERT_TRUE(AskStream(again, "", "Last-Event-ID: " + firstId + "\r\n"));
  std::string resumed;
  EXPECT_TRUE(ReadUntil(again, resumed, "\"node\":2")) << resumed;
  EXPECT_FALSE(test::Contains(resumed, "\"node\":1"));
  // Once its login has ended, a stream ends at its next event, without it.
  store_->RemoveToken("vic", store_->Tokens("vic")->at(0).id, {});
  Rename("/api/controllers/1/2", "three");
  std::string rest;
  EXPECT_TRUE(ReadUntil(again, rest, "0\r\n\r\n")) << rest;
  EXPECT_FALSE(test::Contains(rest, "event: change"));
}

TEST_P(ChangeFeedTest, StoppingAnswersThoseWaitingAndEndsTheStreams) {
  Start();
  test::Answer polled;
  std::thread poll([&] { polled = Get("/api/changes?wait=30&after=999999", {}, 30s); });
  test::Client stream(daemon_->Port());
  ASSERT_TRUE(AskStream(stream, ""));
  std::this_thread::sleep_for(300ms);
  const Clock::time_point stopping = Clock::now();
  daemon_->Stop();
  poll.join();
  EXPECT_LT(Clock::now() - stopping, 3s);
  EXPECT_EQ(polled.status, 200);
  bool closed = false;
  stream.Read(2s, &closed);
  EXPECT_TRUE(closed);
  daemon_.reset();
}

INSTANTIATE_TEST_SUITE_P(Stores, ChangeFeedTest, testing::ValuesIn(test::StoreKinds()),
                         test::KindName);

}  // namespace
}  // namespace ssmsg::server
