#include "server/Accounts.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <unordered_set>

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

// The passwords most often tried, one per line in lower case (common_passwords.txt).
extern const std::string_view kCommonPasswords;

namespace {

// Whether `password`, in any case, is one of the list of the passwords most often tried.
bool IsCommonPassword(std::string_view password) {
  static const std::unordered_set<std::string_view> common = [] {
    std::unordered_set<std::string_view> words;
    for (std::string_view rest = kCommonPasswords; !rest.empty();) {
      const std::size_t end = std::min(rest.find('\n'), rest.size());
      if (end > 0) words.insert(rest.substr(0, end));
      rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return words;
  }();
  std::string lower(password);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return common.count(lower) != 0;
}

}  // namespace

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
  if (password.size() > 1024) return "a password has at most 1024 bytes";
  if (!IsUtf8(password)) return "a password must be UTF-8";
  std::size_t characters = 0;
  for (const char c : password)
    characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1U : 0U;
  if (characters < 8) return "a password has at least 8 characters";
  for (const char c : password) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return "a password has no control characters";
  }
  if (IsCommonPassword(password)) return "that password is one of the most common: choose another";
  return std::nullopt;
}

std::int64_t LoginGuard::Wait(std::string_view name, std::string_view address, std::int64_t now) {
  const auto [byName, byAddress] = store_.FindLoginFailures(name, address, now - kWindow);
  std::int64_t wait = 0;
  if (byAddress.count >= kAddressFailures) wait = byAddress.last + kWindow - now;
  if (byName.count >= kFreeFailures) {
    const std::int64_t doublings = std::min<std::int64_t>(byName.count - kFreeFailures, 6);
    const std::int64_t delay = std::min(std::int64_t{1} << doublings, kMaxDelay);
    wait = std::max(wait, byName.last + delay - now);
  }
  return std::max<std::int64_t>(wait, 0);
}

void LoginGuard::Failed(std::string_view name, std::string_view address, std::int64_t now) {
  store_.CountLoginFailure(name, address, now, now - kWindow, follow_);
}

void LoginGuard::Succeeded(std::string_view name) {
  store_.ForgetLoginFailures(name);
}

}  // namespace ssmsg::server
