#include "site/pg/Location.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <ssmsg/Json.h>

#include "core/PercentDecode.h"
#include "json/Utf8.h"

namespace ssmsg::pg {
namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};

// The parts of a query "a=1&b=2", in order.
std::vector<std::string_view> Parameters(std::string_view query) {
  std::vector<std::string_view> parts;
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    parts.push_back(query.substr(0, end));
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return parts;
}

std::string_view Key(std::string_view parameter) {
  return parameter.substr(0, parameter.find('='));
}

// `head` (scheme, authority and path) without the password of its user information.
std::string WithoutPassword(std::string_view head, std::size_t schemeLength) {
  const std::size_t authorityEnd = head.find('/', schemeLength);
  const std::string_view authority = head.substr(schemeLength, authorityEnd - schemeLength);
  const std::size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(head);
  const std::size_t colon = authority.substr(0, at).find(':');
  if (colon == std::string_view::npos) return std::string(head);
  return std::string(head.substr(0, schemeLength + colon)) +
         std::string(head.substr(schemeLength + at));
}

}  // namespace

bool IsLocation(std::string_view text) {
  for (std::string_view scheme : kSchemes) {
    if (text.substr(0, scheme.size()) == scheme) return true;
  }
  return false;
}

Result<Location, std::string> ParseLocation(std::string_view text) {
  std::size_t schemeLength = 0;
  for (std::string_view scheme : kSchemes) {
    if (text.substr(0, scheme.size()) == scheme) schemeLength = scheme.size();
  }
  if (schemeLength == 0) return Failure{std::string("not a postgresql:// URI")};
  const std::size_t question = text.find('?');
  const std::string_view head = text.substr(0, question);
  const std::string_view query =
      question == std::string_view::npos ? std::string_view{} : text.substr(question + 1);
  Location location;
  location.conninfo = std::string(head);
  location.name = WithoutPassword(head, schemeLength);
  bool named = false;
  char conninfoJoin = '?';
  char nameJoin = '?';
  for (std::string_view parameter : Parameters(query)) {
    const std::string_view key = Key(parameter);
    if (key == "site") {
      if (named) return Failure{std::string("the site is named twice")};
      named = true;
      const std::optional<std::string> site =
          PercentDecode(parameter.substr(std::min(parameter.size(), key.size() + 1)), false);
      if (!site) return Failure{std::string("the site's name is not percent-encoded as in a URI")};
      if (site->empty()) return Failure{std::string("the site's name is empty")};
      if (site->size() > kMaxSiteName) {
        return Failure{"the site's name is longer than " + std::to_string(kMaxSiteName) + " bytes"};
      }
      if (!IsUtf8(*site)) return Failure{std::string("the site's name is not valid UTF-8")};
      if (const std::optional<char32_t> control = utf8::FirstControl(*site)) {
        return Failure{"the site's name: " + utf8::ControlProblem(*control)};
      }
      location.site = *site;
    } else {
      location.conninfo.append(1, conninfoJoin).append(parameter);
      conninfoJoin = '&';
      if (key == "password") continue;
    }
    location.name.append(1, nameJoin).append(parameter);
    nameJoin = '&';
  }
  return location;
}

}  // namespace ssmsg::pg
