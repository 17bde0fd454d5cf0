#pragma once

// The secrets of accounts: passwords hashed with Argon2id, random tokens of which only a hash is
// kept, comparisons that take the same time whatever the bytes, and the names and passwords
// that accounts may have.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace ssmsg::server {

// Starts the crypto library; false when it cannot (then nothing here may be used).
bool InitCrypto();

// The work of one password hash. Hashes keep their own cost, so a password hashed cheaply (in
// tests) is still checked against its own.
struct PasswordCost {
  unsigned long long operations = 0;
  std::size_t memory = 0;  // bytes

  static PasswordCost Default();   // a login takes a noticeable fraction of a second
  static PasswordCost Cheapest();  // the least the algorithm allows: for tests only
};

// The hash of `password` as crypto_pwhash_str writes it; empty when memory ran out.
std::string HashPassword(std::string_view password, PasswordCost cost);
// Whether `password` is the one `hash` was made from.
bool VerifyPassword(const std::string& hash, std::string_view password);

// 256 random bits as 43 characters of base64url: session ids, CSRF tokens and API tokens.
std::string NewSecret();
// The hash of a secret as it is kept (64 hex digits).
std::string SecretHash(std::string_view secret);
// Whether two secrets are equal, in a time that depends on their length only.
bool SameSecret(std::string_view a, std::string_view b);

// Why `name` cannot be a user's name (1 to 64 of A-Z a-z 0-9 . _ @ -), or nothing.
std::optional<std::string> CheckUserName(std::string_view name);
// Why `password` cannot be a password (8 to 1024 bytes of UTF-8 without control characters),
// or nothing.
std::optional<std::string> CheckPassword(std::string_view password);

// Failed logins of each name: after kMaxFailures within kWindow seconds, the name's next logins
// are refused, right or wrong, until the oldest failure is kWindow old. Names that no user has
// are kept out alike, so that being kept out tells nothing. At most kMaxNames names are followed
// at once; beyond them, names whose failures are all old are forgotten first.
class LoginGuard {
 public:
  static constexpr std::size_t kMaxFailures = 5;
  static constexpr std::int64_t kWindow = 300;
  static constexpr std::size_t kMaxNames = 10000;

  bool Blocked(const std::string& user, std::int64_t now);
  void Failed(const std::string& user, std::int64_t now);
  void Succeeded(const std::string& user);

 private:
  void Forget(std::deque<std::int64_t>& failures, std::int64_t now) const;

  std::mutex mutex_;
  std::map<std::string, std::deque<std::int64_t>, std::less<>> failures_;
};

}  // namespace ssmsg::server
