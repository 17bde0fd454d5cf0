#pragma once

// The secrets of accounts: passwords hashed with Argon2id, random tokens of which only a hash is
// kept, comparisons that take the same time whatever the bytes, and the names and passwords
// that accounts may have.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/Store.h"

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

// Failed logins, counted per name and per client address in the store, so that every server on
// one database counts the same ones; each is kept for kWindow seconds after its last failure. A
// name is slowed down rather than locked out: after kFreeFailures failures its next login is
// checked only once a delay has passed since its last failure, a second that doubles with each
// further failure up to kMaxDelay, so that guessing a password takes years while its owner waits
// at most a minute. An address with kAddressFailures failures is kept out until kWindow after its
// last one: a flood of names from one address stops there. Names that no user has are counted
// alike, so that being slowed down tells nothing. The names and addresses of the last kMaxEntries
// failures are followed, and those of older ones forgotten, so a flood never stops the counting
// of others.
class LoginGuard {
 public:
  static constexpr std::int64_t kWindow = 300;
  static constexpr std::int64_t kFreeFailures = 5;
  static constexpr std::int64_t kMaxDelay = 60;
  static constexpr std::int64_t kAddressFailures = 30;
  static constexpr std::int64_t kMaxEntries = 10000;

  // Following the names and addresses of the last `follow` failures.
  explicit LoginGuard(Store& store, std::int64_t follow = kMaxEntries)
      : store_(store), follow_(follow) {}

  // The seconds a login of `name` from `address` must wait before it is checked; 0: none.
  std::int64_t Wait(std::string_view name, std::string_view address, std::int64_t now);
  void Failed(std::string_view name, std::string_view address, std::int64_t now);
  // A right password: the name's failures are forgotten (its address's stay counted).
  void Succeeded(std::string_view name);

 private:
  Store& store_;
  std::int64_t follow_;
};

}  // namespace ssmsg::server
