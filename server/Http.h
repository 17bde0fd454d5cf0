#pragma once

// Requests and responses as the server's handler sees them, without sockets: the socket layer
// fills a Request from the wire and writes the Response back, and tests and the fuzz target call
// the handler with Requests of their own.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/PercentDecode.h"
#include "core/Result.h"

namespace ssmsg::server {

struct Header {
  std::string name;
  std::string value;
};

// The sizes a request may reach. The socket layer enforces them while reading; the handler checks
// them again, so a request made without sockets meets the same limits.
struct Limits {
  std::size_t maxBody = std::size_t{16} << 20;     // more: 413
  std::size_t maxHeaders = std::size_t{16} << 10;  // request line and headers; more: 431
  // The body of a request to a route that anyone may call (logging in): more: 413.
  std::size_t publicBody = std::size_t{4} << 10;
  // The body of a route that takes the values of many controllers at once (CSV): more: 413.
  std::size_t bulkBody = std::size_t{32} << 20;
};

struct Request {
  std::string method;  // as sent: "GET", "PUT", ...
  std::string target;  // the path and query as sent, still percent-encoded: "/api/site?x=1"
  std::vector<Header> headers;
  std::string body;
  std::string peer;  // the client's address, for the log
  bool tls = false;  // it came over TLS
  // Where the client sees the service that answers: empty at the server's root; "/sites/north"
  // for a site of a server of many, whose pages are under it and its API under "/api/sites/north".
  std::string base;

  // The value of the first header called `name` (case-insensitive), or null.
  const std::string* Find(std::string_view name) const;
  // How many headers named `name` (in any case) it has.
  std::size_t Count(std::string_view name) const;
  // The request line and headers' size as they were sent, near enough for the limit.
  std::size_t HeadSize() const;
  // The path that the client uses for `path`, one of the service's ("/controllers/1/2",
  // "/api/users/ada").
  std::string Outward(std::string_view path) const;
};

struct Response;

// `text` fit for a path segment or a query value: every byte but A-Z a-z 0-9 - . _ ~ %-escaped.
std::string PercentEncode(std::string_view text);

class ChangeFeed;

// An answer that waits for a change (a long poll): the socket layer holds the connection, with no
// thread, until the change feed's latest audit id passes `after` or `until` comes, then sends
// what Service::Resume gives, which may wait again. `answer(last)` must not wait when `last`
// (the time is up, or the server stops).
struct Deferred {
  const ChangeFeed* feed = nullptr;  // whose latest id ends the wait
  std::int64_t after = 0;
  std::chrono::steady_clock::time_point until;
  std::function<Response(bool last)> answer;
};

// A body sent as changes come (Server-Sent Events). The socket layer sends the head, then asks
// `next` for more whenever it has sent what it had: text to send, "" for nothing now (the
// connection is then held until the feed passes `after()` or a keep-alive is due), or nothing to
// end the body. `idle`: nothing was sent for `keepAlive`, and something should be (a comment).
struct EventStream {
  const ChangeFeed* feed = nullptr;  // whose latest id ends a wait for more
  std::function<std::optional<std::string>(bool idle)> next;
  std::function<std::int64_t()> after;
  std::chrono::milliseconds keepAlive{10'000};
};

struct Response {
  int status = 200;
  std::vector<Header> headers;
  std::string body;
  std::string user;  // the name of the user it was answered for, for the log; not sent
  // Set instead of the body, by the change feed's routes.
  std::shared_ptr<Deferred> deferred;
  std::shared_ptr<EventStream> stream;

  // Sets header `name`, replacing one of that name (case-insensitive).
  void Set(std::string_view name, std::string value);
  // Adds header `name` beside any of that name (Set-Cookie).
  void Add(std::string_view name, std::string value);
  const std::string* Find(std::string_view name) const;
};

// The reason phrase of a status: "Not Found".
std::string_view StatusText(int status);

// Whether two header names are the same (ASCII, case-insensitive).
bool SameName(std::string_view a, std::string_view b);

// A request target taken apart: the path's segments and the query's pairs, each decoded.
struct Target {
  std::vector<std::string> segments;  // "/api/site" -> {"api", "site"}
  std::vector<std::pair<std::string, std::string>> query;

  // The value of the first query parameter `name`, or null.
  const std::string* Query(std::string_view name) const;
};

// Takes `target` apart. A path that does not start with '/', a segment that is "." or ".." or
// that decodes to a '/', a NUL or another control character, a bad %-escape and text that is not
// UTF-8 are refused with the reason.
Result<Target, std::string> ParseTarget(std::string_view target);

// The name-value pairs of "a=1&b=two+words" (a query, or a form's body), decoded, in order; empty
// pairs are left out. Nothing when a pair does not decode to UTF-8, or holds a control character
// with `refuseControls`.
std::optional<std::vector<std::pair<std::string, std::string>>> DecodePairs(std::string_view text,
                                                                            bool refuseControls);

// The value of cookie `name` in a Cookie header, or nothing.
std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name);

// The media type of a Content-Type value, lower case, without its parameters.
std::string MediaType(std::string_view contentType);

// Whether an If-Match or If-None-Match value matches the entity tag `etag` (quoted): "*" matches
// any, otherwise one of its comma-separated tags must be equal. `weak` allows W/ tags to match
// (If-None-Match compares weakly, If-Match strongly).
bool EtagMatches(std::string_view header, std::string_view etag, bool weak);

// A decimal number from `text` within min..max: digits only, no sign, no leading zeros.
std::optional<std::int64_t> ParseDecimal(std::string_view text, std::int64_t min, std::int64_t max);

// Appends `text` to a log line with its odd bytes (controls, non-ASCII, quote and backslash) as
// \xHH, so that a line of the log is one line whatever a request or an error holds.
void AppendLogText(std::string& out, std::string_view text);

}  // namespace ssmsg::server
