#pragma once

// Who is asking: API tokens (Authorization: Bearer), session cookies with their CSRF tokens,
// logins with their limits, and the same-origin check of unsafe requests from browsers.

#include <cstdint>
#include <functional>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>

#include "server/Accounts.h"
#include "server/Http.h"
#include "server/Store.h"

namespace ssmsg::server {

struct AuthOptions {
  std::int64_t idleSeconds = 30 * 60;         // a session unused this long has ended
  std::int64_t maxAgeSeconds = 12 * 60 * 60;  // and one this old, used or not
  PasswordCost cost = PasswordCost::Default();
  std::function<std::int64_t()> clock;  // seconds since 1970; the system's when empty
  // Called by a login after its password checked right and before its session is added: a
  // test's way of changing the user in between.
  std::function<void()> passwordChecked;
};

// The user behind a request, and how they were recognised.
struct Caller {
  User user;
  bool cookie = false;         // by the session cookie (so unsafe requests need the CSRF token)
  std::string sessionHash;     // that session's
  std::string csrf;            // that session's CSRF token
  std::optional<Token> token;  // the API token it came with (not cookie)
};

// What a login gives.
struct Login {
  enum class Status : unsigned char { Ok, Wrong, Throttled };
  Status status = Status::Wrong;
  std::int64_t retryAfter = 0;  // when throttled: the seconds to wait
  User user;
  std::string sessionId;  // the cookie's value
  std::string csrf;
};

class Auth {
 public:
  Auth(Store& store, AuthOptions options);

  std::int64_t Now() const;

  // The caller of `request`: a valid Bearer token that has not ended, else a live session cookie.
  // Nothing when the request carries neither (or one that is not valid).
  std::optional<Caller> Identify(const Request& request);

  // Checks a name and password from the client `address`. Wrong and unknown names take as long
  // as a wrong password; while LoginGuard says to wait, the login is throttled, right password or
  // not.
  Login LogIn(std::string_view name, std::string_view password, std::string_view address);
  void LogOut(const Caller& caller);

  // A new password's hash (at most two are computed at once, which bounds their memory).
  std::string Hash(std::string_view password);

  // The session cookie's name: "__Host-ssmsg_session" over TLS (which needs Secure),
  // "ssmsg_session" otherwise.
  static std::string_view CookieName(bool tls);
  // The Set-Cookie value that sets the session cookie, or with an empty `value` clears it.
  static std::string SessionCookie(std::string_view value, bool tls);

  // Whether an unsafe request from a cookie session carries the session's CSRF token: in the
  // X-CSRF-Token header, or `formToken` (a form's field) when given.
  static bool CsrfValid(const Caller& caller, const Request& request,
                        std::optional<std::string_view> formToken);
  // Whether a browser sent `request` from this server's own pages: its Sec-Fetch-Site, when
  // given, is same-origin or none, and its Origin, when given, is this server's.
  static bool SameOrigin(const Request& request);

 private:
  Store& store_;
  AuthOptions options_;
  LoginGuard guard_;
  std::string decoyHash_;  // checked for unknown names, so that they take as long
  std::counting_semaphore<2> hashing_{2};
};

}  // namespace ssmsg::server
