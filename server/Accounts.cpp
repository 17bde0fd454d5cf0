#include "server/Accounts.h"

#include <sodium.h>

#include <array>
#include <iterator>

#include <ssmsg/Json.h>

namespace ssmsg::server {

bool InitCrypto() {
  return sodium_init() >= 0;
}

PasswordCost PasswordCost::Default() {
  // Two passes over 19 MiB: a few hundredths of a second on one core, and little enough memory
  // that the two logins checked at once stay well within the server's bounds.
  return {2, std::size_t{19} << 20};
}

PasswordCost PasswordCost::Cheapest() {
  return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

std::string HashPassword(std::string_view password, PasswordCost cost) {
  std::array<char, crypto_pwhash_STRBYTES> out{};
  if (crypto_pwhash_str_alg(out.data(), password.data(), password.size(), cost.operations,
                            cost.memory, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    return {};
  }
  return std::string(out.data());
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string NewSecret() {
  std::array<unsigned char, 32> bytes{};
  randombytes_buf(bytes.data(), bytes.size());
  constexpr int kVariant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  std::array<char, sodium_base64_ENCODED_LEN(32, kVariant)> text{};
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), kVariant);
  return std::string(text.data());
}

std::string SecretHash(std::string_view secret) {
  std::array<unsigned char, 32> digest{};
  crypto_generichash(digest.data(), digest.size(),
                     reinterpret_cast<const unsigned char*>(secret.data()), secret.size(), nullptr,
                     0);
  std::array<char, 65> hex{};
  sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
  return std::string(hex.data());
}

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return false;
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<std::string> CheckUserName(std::string_view name) {
  if (name.empty() || name.size() > 64) return "a user name has 1 to 64 characters";
  for (const char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '@' || c == '-';
    if (!allowed) return "a user name has only the letters A-Z and a-z, digits and . _ @ -";
  }
  return std::nullopt;
}

std::optional<std::string> CheckPassword(std::string_view password) {
  if (password.size() < 8) return "a password has at least 8 characters";
  if (password.size() > 1024) return "a password has at most 1024 bytes";
  if (!IsUtf8(password)) return "a password must be UTF-8";
  for (const char c : password) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return "a password has no control characters";
  }
  return std::nullopt;
}

void LoginGuard::Forget(std::deque<std::int64_t>& failures, std::int64_t now) const {
  while (!failures.empty() && now - failures.front() >= kWindow)
    failures.pop_front();
}

bool LoginGuard::Blocked(const std::string& user, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  const auto found = failures_.find(user);
  if (found == failures_.end()) return false;
  Forget(found->second, now);
  if (found->second.empty()) {
    failures_.erase(found);
    return false;
  }
  return found->second.size() >= kMaxFailures;
}

void LoginGuard::Failed(const std::string& user, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  if (failures_.size() >= kMaxNames && !failures_.contains(user)) {
    for (auto entry = failures_.begin(); entry != failures_.end();) {
      Forget(entry->second, now);
      entry = entry->second.empty() ? failures_.erase(entry) : std::next(entry);
    }
    if (failures_.size() >= kMaxNames) return;
  }
  std::deque<std::int64_t>& failures = failures_[user];
  Forget(failures, now);
  failures.push_back(now);
  // Failures beyond the limit only keep the user out longer; the list stays bounded.
  while (failures.size() > kMaxFailures)
    failures.pop_front();
}

void LoginGuard::Succeeded(const std::string& user) {
  const std::lock_guard lock(mutex_);
  failures_.erase(user);
}

}  // namespace ssmsg::server
