// Sites on a PostgreSQL server, in a build without libpq: each says so.

#include "site/pg/PgSite.h"

#include <string>

#include "site/pg/Location.h"

namespace ssmsg::pg {
namespace {

std::string Missing(std::string_view location) {
  const auto parsed = ParseLocation(location);
  return (parsed ? parsed->name : std::string("the PostgreSQL location")) +
         ": this ssmsg was built without PostgreSQL";
}

}  // namespace

CSS_SiteLoadResult LoadSite(std::string_view location, unsigned) {
  CSS_SiteLoadResult result;
  result.errors.push_back(Missing(location));
  result.unreadable = true;
  return result;
}

CSS_DatabaseWriteResult WriteSite(const CSS_Site&, std::string_view location, unsigned) {
  return {{Missing(location)}, true};
}

CSS_MigrateResult Migrate(std::string_view location) {
  CSS_MigrateResult result;
  result.errors.push_back(Missing(location));
  return result;
}

}  // namespace ssmsg::pg
