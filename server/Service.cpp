#include "server/Service.h"

#include <arpa/inet.h>

#include <algorithm>
#include <exception>
#include <utility>

#include <ssmsg/Json.h>

#include "server/Form.h"
#include "server/Html.h"
#include "site/db/Sqlite.h"

namespace ssmsg::server {
namespace {

std::vector<std::string> Split(std::string_view pattern) {
  std::vector<std::string> segments;
  for (std::size_t at = 1; at <= pattern.size();) {
    std::size_t end = pattern.find('/', at);
    if (end == std::string_view::npos) end = pattern.size();
    segments.emplace_back(pattern.substr(at, end - at));
    at = end + 1;
  }
  return segments;
}

bool IsParameter(std::string_view segment) {
  return segment.size() > 2 && segment.front() == '{' && segment.back() == '}';
}

bool Allowed(Access access, Role role) {
  switch (access) {
    case Access::Public:
    case Access::Viewer:
      return true;
    case Access::Editor:
      return role == Role::Editor || role == Role::Admin;
    case Access::Admin:
      return role == Role::Admin;
  }
  return false;
}

}  // namespace

void AddCommonHeaders(Response& response, const Request& request) {
  response.Set("Content-Security-Policy",
               "default-src 'none'; style-src 'self'; form-action 'self'; "
               "frame-ancestors 'none'; base-uri 'none'");
  response.Set("X-Content-Type-Options", "nosniff");
  response.Set("X-Frame-Options", "DENY");
  response.Set("Referrer-Policy", "same-origin");
  if (!response.Find("Cache-Control")) response.Set("Cache-Control", "no-store");
  // Over TLS, browsers are to come back over TLS only, for a year.
  if (request.tls) response.Set("Strict-Transport-Security", "max-age=31536000");
}

namespace {

// Whether a request for `request`'s target is one of the API's or a page, before it is routed.
RouteKind Guess(const Request& request) {
  return std::string_view(request.target).substr(0, 5) == "/api/" ? RouteKind::Api
                                                                  : RouteKind::Page;
}

// Whether `error` is the store's not answering now, which a later request may find answering.
bool Unavailable(const std::exception& error) {
  return dynamic_cast<const db::DbBusy*>(&error) != nullptr ||
         dynamic_cast<const StoreUnavailable*>(&error) != nullptr;
}

// What the answer to `error` says. A store's finding that its data is not valid is told (the row
// and value that are wrong, for an admin to mend), without the store's file (`file`); any other
// error's own text is not: SQLite's can name files or quote the SQL that failed.
std::string Reason(const std::exception& error, const std::string& file) {
  if (dynamic_cast<const StoreUnavailable*>(&error) != nullptr) {
    return "the site's database server cannot be reached now; the server tries again at the next "
           "request, and its log says why";
  }
  if (Unavailable(error)) {
    return "the site's database cannot answer now: the database is locked by another program "
           "(waited " +
           std::to_string(db::kBusyTimeoutMs / 1000) + " s)";
  }
  if (dynamic_cast<const StoreError*>(&error) == nullptr)
    return "the server failed; its log says why";
  std::string finding = error.what();
  const auto replace = [&finding](const std::string& name, std::string_view by) {
    for (std::size_t at = finding.find(name); at != std::string::npos;
         at = finding.find(name, at + by.size()))
      finding.replace(at, name.size(), by);
  };
  if (!file.empty()) {
    replace(file + ": ", "");
    replace(file, "the site's database");
  }
  return "the server failed: " + finding;
}

}  // namespace

const std::string_view kOtherHost =
    "this server does not answer to that host name (let it with --allow-host NAME)";
const std::string_view kHeadersTooLarge = "the request's headers are larger than 16 KiB";
std::string BodyTooLarge(std::size_t bytes) {
  std::string size = std::to_string(bytes) + " bytes";
  if (bytes % (std::size_t{1} << 20) == 0) {
    size = std::to_string(bytes >> 20) + " MiB";
  } else if (bytes % (std::size_t{1} << 10) == 0) {
    size = std::to_string(bytes >> 10) + " KiB";
  }
  return "the request's body is larger than " + size;
}

bool IsUnsafe(std::string_view method) {
  return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

void Router::Add(std::string method, std::string pattern, Access access, RouteKind kind,
                 Handler handler, bool bulk) {
  Add({std::move(method), std::move(pattern), access, kind, std::move(handler), {}, bulk});
}

void Router::Add(Route route) {
  route.segments = Split(route.pattern);
  routes_.push_back(std::move(route));
}

Router::Match Router::Find(std::string_view method,
                           const std::vector<std::string>& segments) const {
  const std::string_view wanted = method == "HEAD" ? "GET" : method;
  Match match;
  std::size_t bestLiterals = 0;
  for (const Route& route : routes_) {
    if (route.segments.size() != segments.size()) continue;
    std::size_t literals = 0;
    bool fits = true;
    for (std::size_t i = 0; i < segments.size() && fits; ++i) {
      if (IsParameter(route.segments[i])) continue;
      fits = route.segments[i] == segments[i];
      ++literals;
    }
    if (!fits) continue;
    if (route.method != wanted) {
      if (match.allow.find(route.method) == std::string::npos) {
        if (!match.allow.empty()) match.allow += ", ";
        match.allow += route.method;
        if (route.method == "GET") match.allow += ", HEAD";
      }
      continue;
    }
    if (match.route && literals <= bestLiterals) continue;
    match.route = &route;
    bestLiterals = literals;
  }
  if (match.route) {
    match.allow.clear();
    for (std::size_t i = 0; i < segments.size(); ++i) {
      if (IsParameter(match.route->segments[i])) match.params.push_back(segments[i]);
    }
  }
  return match;
}

Response JsonResponse(int status, std::string body) {
  Response response;
  response.status = status;
  response.Set("Content-Type", "application/json");
  response.body = std::move(body);
  return response;
}

Response JsonError(int status, std::string_view message) {
  std::string body = "{\"error\":";
  AppendJsonString(body, message);
  body += '}';
  return JsonResponse(status, std::move(body));
}

Service::Service(Store& store, ServiceOptions options)
    : store_(store), options_(std::move(options)), auth_(store, options_.auth), feed_(store) {}

Response Service::Failure(RouteKind kind, int status, std::string_view message,
                          const Request& request) {
  Response response;
  if (kind == RouteKind::Page && failurePage_) {
    response = failurePage_(status, message, request);
  } else if (kind == RouteKind::Page) {
    response = HtmlMessagePage(status, message);
  } else {
    response = JsonError(status, message);
    if (status == 401) response.Set("WWW-Authenticate", "Bearer realm=\"ssmsg\"");
  }
  return response;
}

Response Service::Failed(RouteKind kind, const std::exception& error, const Request& request) {
  const bool unavailable = Unavailable(error);
  const int status = unavailable ? 503 : 500;
  if (options_.log) {
    std::string line = "failed to answer \"";
    AppendLogText(line, request.method);
    line += ' ';
    AppendLogText(line, request.target);
    line += "\" (" + std::to_string(status) + "): ";
    AppendLogText(line, error.what());
    options_.log(line);
  }
  return Failure(kind, status, Reason(error, store_.FileName()), request);
}

Response Service::Refusal(int status, std::string_view message, const Request& request) {
  Response response = Failure(Guess(request), status, message, request);
  AddCommonHeaders(response, request);
  return response;
}

bool Service::HostAllowed(std::string_view host) const {
  return HostAnswered(host, options_.hosts);
}

bool HostAnswered(std::string_view host, const std::vector<std::string>& names) {
  std::string name;
  if (!host.empty() && host.front() == '[') {
    const std::size_t end = host.find(']');
    if (end == std::string_view::npos) return false;
    name = host.substr(1, end - 1);
    in6_addr v6{};
    return inet_pton(AF_INET6, name.c_str(), &v6) == 1;
  }
  name = host.substr(0, host.find(':'));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!name.empty() && name.back() == '.') name.pop_back();
  in_addr v4{};
  if (name == "localhost" || inet_pton(AF_INET, name.c_str(), &v4) == 1) return true;
  return std::any_of(names.begin(), names.end(),
                     [&name](const std::string& allowed) { return SameName(allowed, name); });
}

std::size_t Service::BodyLimit(const Route& route) const {
  if (route.access == Access::Public) return options_.limits.publicBody;
  return route.bulk ? options_.limits.bulkBody : options_.limits.maxBody;
}

Service::Admitted Service::Admit(const Request& request, bool withBody) {
  Admitted admitted;
  const auto refuse = [&](RouteKind kind, int status, std::string_view message) {
    admitted.refusal = Failure(kind, status, message, request);
    return std::move(admitted);
  };
  const RouteKind guess = Guess(request);
  if (request.HeadSize() > options_.limits.maxHeaders) return refuse(guess, 431, kHeadersTooLarge);
  if (const std::string* host = request.Find("Host"); host && !HostAllowed(*host)) {
    return refuse(guess, 421, kOtherHost);
  }
  if (const std::size_t most = std::max(options_.limits.maxBody, options_.limits.bulkBody);
      request.body.size() > most) {
    return refuse(guess, 413, BodyTooLarge(most));
  }
  Result<Target, std::string> target = ParseTarget(request.target);
  if (!target) return refuse(guess, 400, target.error());
  admitted.target = std::move(*target);
  Router::Match match = router_.Find(request.method, admitted.target->segments);
  if (!match.route) {
    if (match.allow.empty()) return refuse(guess, 404, "there is nothing here");
    refuse(guess, 405, "the method is not allowed here");
    admitted.refusal->Set("Allow", match.allow);
    return admitted;
  }
  const Route& route = *match.route;
  admitted.route = &route;
  admitted.params = std::move(match.params);
  if (request.body.size() > BodyLimit(route)) {
    return refuse(route.kind, 413, BodyTooLarge(BodyLimit(route)));
  }
  const bool unsafe = IsUnsafe(request.method);
  if (unsafe && !Auth::SameOrigin(request)) {
    return refuse(route.kind, 403, "a request from another site is refused");
  }
  admitted.identified = auth_.Identify(request);
  const Caller* caller = admitted.identified ? &*admitted.identified : nullptr;
  if (route.access != Access::Public) {
    if (!caller) return refuse(route.kind, 401, "log in or give an API token");
    if (!Allowed(route.access, caller->user.role)) {
      return refuse(route.kind, 403, "your role may not do this");
    }
  }
  if (unsafe && route.access != Access::Public) {
    // A form carries its CSRF token in its body: that is checked once the body is here.
    std::optional<std::string> formToken;
    const std::string* type = request.Find("Content-Type");
    if (type && MediaType(*type) == "application/x-www-form-urlencoded") {
      if (!withBody) return admitted;
      if (const std::optional<Form> form = Form::Parse(request.body); form && form->Get("csrf"))
        formToken = *form->Get("csrf");
    }
    if (!Auth::CsrfValid(*caller, request, formToken)) {
      return refuse(route.kind, 403, "the request lacks this session's CSRF token");
    }
  }
  return admitted;
}

Response Service::Dispatch(const Request& request) {
  Admitted admitted = Admit(request, true);
  if (admitted.refusal) return std::move(*admitted.refusal);
  const Route& route = *admitted.route;
  const Caller* caller = admitted.identified ? &*admitted.identified : nullptr;
  const Call call{request, *admitted.target, admitted.params, caller};
  Response response;
  try {
    response = route.handler(call);
  } catch (const std::exception& error) {
    response = Failed(route.kind, error, request);
  }
  if (caller) response.user = caller->user.name;
  return response;
}

Service::HeadCheck Service::CheckHead(const Request& head) {
  HeadCheck check;
  try {
    Admitted admitted = Admit(head, false);
    if (admitted.refusal) {
      check.refusal = std::move(admitted.refusal);
    } else {
      check.maxBody = BodyLimit(*admitted.route);
    }
  } catch (const std::exception& error) {
    check.refusal = Failed(Guess(head), error, head);
  }
  if (check.refusal) AddCommonHeaders(*check.refusal, head);
  return check;
}

Response Service::Handle(const Request& request) {
  Response response;
  // Whatever the store fails at (knowing the caller included) is answered, and the server stays.
  try {
    response = Dispatch(request);
  } catch (const std::exception& error) {
    response = Failed(Guess(request), error, request);
  }
  AddCommonHeaders(response, request);
  if (IsUnsafe(request.method)) feed_.Refresh();
  return response;
}

std::shared_ptr<void> Service::WakeOnChanges(std::function<void()> wake) {
  return std::make_shared<ChangeFeed::Subscription>(feed_.Listen(std::move(wake)));
}

Response Service::Resume(const Request& request, const Deferred& deferred, bool last) {
  Response response;
  try {
    response = deferred.answer(last);
  } catch (const std::exception& error) {
    response = Failed(Guess(request), error, request);
  }
  AddCommonHeaders(response, request);
  return response;
}

AuditNote ChangeNote(const Call& call, std::int64_t now, std::string_view method,
                     std::string_view path) {
  std::string actor;
  if (call.caller) {
    actor = call.caller->user.name;
    if (const std::optional<Token>& token = call.caller->token) {
      actor += " (token " + std::to_string(token->id) + " ";
      AppendJsonString(actor, token->name);
      actor += ')';
    }
  }
  return {std::move(actor), std::string(method), std::string(path), now};
}

}  // namespace ssmsg::server
