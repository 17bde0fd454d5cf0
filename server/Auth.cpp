#include "server/Auth.h"

#include <chrono>
#include <utility>

namespace ssmsg::server {
namespace {

// Takes one of the hashing slots for as long as it lives.
class Slot {
 public:
  explicit Slot(std::counting_semaphore<2>& slots) : slots_(slots) { slots_.acquire(); }
  ~Slot() { slots_.release(); }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

 private:
  std::counting_semaphore<2>& slots_;
};

}  // namespace

Auth::Auth(Store& store, AuthOptions options)
    : store_(store), options_(std::move(options)), guard_(store) {
  decoyHash_ = HashPassword(NewSecret(), options_.cost);
}

std::int64_t Auth::Now() const {
  if (options_.clock) return options_.clock();
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::optional<Caller> Auth::Identify(const Request& request) {
  if (const std::string* authorization = request.Find("Authorization")) {
    const std::string_view value = *authorization;
    constexpr std::string_view kBearer = "Bearer ";
    if (value.size() <= kBearer.size() || !SameName(value.substr(0, kBearer.size()), kBearer)) {
      return std::nullopt;
    }
    std::optional<TokenUser> found =
        store_.FindToken(SecretHash(value.substr(kBearer.size())), Now());
    if (!found) return std::nullopt;
    return Caller{std::move(found->user), false, {}, {}, std::move(found->token)};
  }
  const std::string* cookies = request.Find("Cookie");
  if (!cookies) return std::nullopt;
  const std::optional<std::string_view> id = CookieValue(*cookies, CookieName(request.tls));
  if (!id || id->empty()) return std::nullopt;
  const std::string idHash = SecretHash(*id);
  std::optional<Session> session = store_.FindSession(idHash);
  if (!session) return std::nullopt;
  const std::int64_t now = Now();
  if (now - session->lastSeen >= options_.idleSeconds ||
      now - session->created >= options_.maxAgeSeconds) {
    store_.RemoveSession(idHash);
    return std::nullopt;
  }
  std::optional<User> user = store_.FindUserById(session->userId);
  if (!user) return std::nullopt;
  // A session used again within the minute is not written again: reads stay reads.
  if (now - session->lastSeen >= 60) store_.TouchSession(idHash, now);
  return Caller{std::move(*user), true, idHash, std::move(session->csrf), {}};
}

Login Auth::LogIn(std::string_view name, std::string_view password, std::string_view address) {
  Login login;
  const bool plausible = !CheckUserName(name);
  std::optional<User> user;
  if (plausible) user = store_.FindUser(name);
  // A name no user may have is counted as one, so that a flood of them counts only once.
  const std::string_view key = plausible ? name : std::string_view();
  const std::int64_t now = Now();
  if (const std::int64_t wait = guard_.Wait(key, address, now); wait > 0) {
    login.status = Login::Status::Throttled;
    login.retryAfter = wait;
    return login;
  }
  bool right = false;
  {
    const Slot slot(hashing_);
    right = VerifyPassword(user ? user->passwordHash : decoyHash_, password) && user;
  }
  if (!right) {
    guard_.Failed(key, address, now);
    return login;
  }
  guard_.Succeeded(key);
  login.status = Login::Status::Ok;
  login.sessionId = NewSecret();
  login.csrf = NewSecret();
  // Sessions that ended unseen go as new ones come, so that they do not pile up.
  store_.EndStaleSessions(now - options_.idleSeconds, now - options_.maxAgeSeconds);
  if (options_.passwordChecked) options_.passwordChecked();
  // The user may have been removed meanwhile (and the id given to another), or given a new
  // password: then this login has failed.
  if (!store_.AddSession({SecretHash(login.sessionId), user->id, login.csrf, now, now},
                         user->passwordHash)) {
    return Login{};
  }
  login.user = std::move(*user);
  return login;
}

void Auth::LogOut(const Caller& caller) {
  if (caller.cookie) store_.RemoveSession(caller.sessionHash);
}

std::string Auth::Hash(std::string_view password) {
  const Slot slot(hashing_);
  return HashPassword(password, options_.cost);
}

std::string_view Auth::CookieName(bool tls) {
  return tls ? "__Host-ssmsg_session" : "ssmsg_session";
}

std::string Auth::SessionCookie(std::string_view value, bool tls) {
  std::string cookie(CookieName(tls));
  cookie += '=';
  cookie += value;
  cookie += "; Path=/; HttpOnly; SameSite=Strict";
  if (tls) cookie += "; Secure";
  if (value.empty()) cookie += "; Max-Age=0";
  return cookie;
}

bool Auth::CsrfValid(const Caller& caller, const Request& request,
                     std::optional<std::string_view> formToken) {
  if (!caller.cookie) return true;  // a token in a header is not sent by browsers on their own
  if (formToken) return SameSecret(*formToken, caller.csrf);
  const std::string* header = request.Find("X-CSRF-Token");
  return header && SameSecret(*header, caller.csrf);
}

bool Auth::SameOrigin(const Request& request) {
  if (const std::string* site = request.Find("Sec-Fetch-Site")) {
    if (*site != "same-origin" && *site != "none") return false;
  }
  if (const std::string* origin = request.Find("Origin")) {
    const std::string* host = request.Find("Host");
    if (!host) return false;
    const std::string expected = (request.tls ? "https://" : "http://") + *host;
    if (*origin != expected) return false;
  }
  return true;
}

}  // namespace ssmsg::server
