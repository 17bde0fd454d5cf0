#include "server/Store.h"

#include <sodium.h>

#include <array>

#include "server/Http.h"

namespace ssmsg::server {

std::string ControllerEtag(std::string_view json) {
  std::array<unsigned char, 16> digest{};
  crypto_generichash(digest.data(), digest.size(),
                     reinterpret_cast<const unsigned char*>(json.data()), json.size(), nullptr, 0);
  std::array<char, 33> hex{};
  sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
  return '"' + std::string(hex.data()) + '"';
}

std::string_view RoleName(Role role) {
  switch (role) {
    case Role::Viewer:
      return "viewer";
    case Role::Editor:
      return "editor";
    case Role::Admin:
      return "admin";
  }
  return "viewer";
}

std::optional<Role> RoleFromName(std::string_view name) {
  if (name == "viewer") return Role::Viewer;
  if (name == "editor") return Role::Editor;
  if (name == "admin") return Role::Admin;
  return std::nullopt;
}

WriteStatus Expect::Check(const std::string* etag) const {
  if (kind == Kind::Absent) return etag ? WriteStatus::Exists : WriteStatus::Done;
  if (!etag) return WriteStatus::NotFound;
  return EtagMatches(ifMatch, *etag, false) ? WriteStatus::Done : WriteStatus::Stale;
}

}  // namespace ssmsg::server
