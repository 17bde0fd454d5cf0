#pragma once

// The server's one request handler: Request in, Response out, with the store behind it and no
// sockets. Every request goes the same way: the limits, the target taken apart, the route found,
// the caller identified, the role and (for unsafe requests) the origin and CSRF token checked,
// then the route's handler. The API's routes and the pages' routes sit in the same router.

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/Auth.h"
#include "server/ChangeFeed.h"
#include "server/Handler.h"
#include "server/Http.h"
#include "server/PendingCache.h"
#include "server/Store.h"

namespace ssmsg::server {

// Who may take a route.
enum class Access : unsigned char { Public, Viewer, Editor, Admin };

// How a route answers failures that happen before its handler (401, 403, ...): the API with
// JSON, pages with HTML.
enum class RouteKind : unsigned char { Api, Page };

// What a handler gets.
struct Call {
  const Request& request;
  const Target& target;
  const std::vector<std::string>& params;  // the pattern's {...} segments, in order, decoded
  const Caller* caller;                    // null on a public route without valid credentials
};

using Handler = std::function<Response(const Call& call)>;

struct Route {
  std::string method;   // "GET" also answers HEAD
  std::string pattern;  // "/api/controllers/{interface}/{node}"
  Access access = Access::Viewer;
  RouteKind kind = RouteKind::Api;
  Handler handler;
  std::vector<std::string> segments;  // the pattern's, filled by Router::Add
  bool bulk = false;  // it takes the values of many controllers at once: Limits::bulkBody
};

class Router {
 public:
  void Add(Route route);
  // The same for the route `method` `pattern` of `kind` for `access`, that `handler` answers.
  void Add(std::string method, std::string pattern, Access access, RouteKind kind, Handler handler,
           bool bulk = false);

  struct Match {
    const Route* route = nullptr;
    std::vector<std::string> params;
    std::string allow;  // when the path has routes but none for the method: their methods
  };
  // The route for `method` and `segments`: a literal segment wins over a {parameter} one.
  Match Find(std::string_view method, const std::vector<std::string>& segments) const;

  const std::vector<Route>& Routes() const { return routes_; }

 private:
  std::vector<Route> routes_;
};

struct ServiceOptions {
  Limits limits;
  AuthOptions auth;
  // The names that a request's Host may give besides "localhost" and numeric addresses (which no
  // other site's page can make a browser send here: a name that another site's DNS points at this
  // server can).
  std::vector<std::string> hosts;
  // Receives a line for each failure answered with 500 or 503: what went wrong, which the answer
  // says no more than a store's finding of (the error can name the database's file, or quote its
  // SQL). None: not logged.
  std::function<void(std::string_view line)> log;
};

// Who made the change that `call` asks for, and how, for its audit row: the caller's name, with a
// token which one ("ed (token 3 \"deploy\")"), so that a change made with a token an admin made
// for someone is told apart from that someone's own login; `method` and `path` name the change
// as the API takes it.
AuditNote ChangeNote(const Call& call, std::int64_t now, std::string_view method,
                     std::string_view path);

// The response for a failure: for the API {"error": message}; pages use the service's failure
// page.
Response JsonError(int status, std::string_view message);
Response JsonResponse(int status, std::string body);
// Adds the headers that every answer carries (its content's policy, no caching, HSTS over TLS).
void AddCommonHeaders(Response& response, const Request& request);

class Service final : public RequestHandler {
 public:
  Service(Store& store, ServiceOptions options);
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Answers `request`. Never throws: a handler's exception becomes a 500. HEAD is answered as GET
  // is: the socket layer sends the body's length and not the body.
  Response Handle(const Request& request) override;
  // The answer to `request` once its wait (`deferred`) is over, as Handle answers: `last` when
  // it may not wait again.
  Response Resume(const Request& request, const Deferred& deferred, bool last) override;

  // What the head of a request decides before its body is read: the answer it gets whatever its
  // body (431, 400, 404, 405, 403, 401, or 503 and 500 when the store fails), or how many bytes
  // of body its route takes. A body is read only for a caller who may send it; Handle checks
  // everything again.
  using HeadCheck = server::HeadCheck;
  HeadCheck CheckHead(const Request& head) override;

  // The answer to a request that is refused before it is read whole (its body too large, say):
  // as the API or the pages answer failures, by its target.
  Response Refusal(int status, std::string_view message, const Request& request) override;
  // Wakes on the changes of this service's feed.
  std::shared_ptr<void> WakeOnChanges(std::function<void()> wake) override;

  // How pages answer failures before their handler (by default a short HTML page); the pages set
  // their own, for example a redirect to the login page for 401.
  using FailurePage =
      std::function<Response(int status, std::string_view message, const Request& request)>;
  void SetFailurePage(FailurePage page) { failurePage_ = std::move(page); }

  Router& Routes() { return router_; }
  const Router& Routes() const { return router_; }
  Auth& Authority() { return auth_; }
  // Who waits for changes: Handle tells it after every request that may change something.
  ChangeFeed& Feed() { return feed_; }
  Store& Data() { return store_; }
  // How many messages each controller waits for, counted once per change of it.
  PendingCache& Waiting() { return pending_; }
  const Limits& Limit() const override { return options_.limits; }

 private:
  Response Failure(RouteKind kind, int status, std::string_view message, const Request& request);
  // The answer to `error`, thrown while answering `request`: 503 when the store cannot answer
  // now, else 500. Only a store's finding that its data is not valid is told, without the
  // store's file; the error itself, whatever it is, goes to the log.
  Response Failed(RouteKind kind, const std::exception& error, const Request& request);

  // A request let in by its route's rules (as far as what has arrived of it tells), or its
  // refusal.
  struct Admitted {
    std::optional<Response> refusal;
    const Route* route = nullptr;
    std::vector<std::string> params;
    std::optional<Target> target;
    std::optional<Caller> identified;  // from the request's credentials
  };
  // The checks before a route's handler, for `request`'s head and, when `withBody`, its body.
  Admitted Admit(const Request& request, bool withBody);
  std::size_t BodyLimit(const Route& route) const;
  // Whether the Host header `host` names this server.
  bool HostAllowed(std::string_view host) const;
  Response Dispatch(const Request& request);

  Store& store_;
  ServiceOptions options_;
  Auth auth_;
  ChangeFeed feed_;
  PendingCache pending_;
  Router router_;
  FailurePage failurePage_;
};

// Whether the Host header `host` names this server: "localhost", a numeric address, or one of
// `names` (ServiceOptions::hosts).
bool HostAnswered(std::string_view host, const std::vector<std::string>& names);
// Why a request for another host name is refused (421).
extern const std::string_view kOtherHost;
// Why requests are refused for their size.
extern const std::string_view kHeadersTooLarge;
// "the request's body is larger than 16 MiB", for a limit of `bytes`.
std::string BodyTooLarge(std::size_t bytes);

// Whether a method changes something (anything but GET, HEAD and OPTIONS).
bool IsUnsafe(std::string_view method);

}  // namespace ssmsg::server
