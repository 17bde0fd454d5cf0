// The server's store on PostgreSQL, in a build without libpq: it says so.

#include "server/PgStore.h"
#include "site/pg/Location.h"

namespace ssmsg::server {

Result<std::unique_ptr<Store>, std::string> OpenPgStore(std::string_view location) {
  const auto parsed = pg::ParseLocation(location);
  return Failure{(parsed ? parsed->name : std::string("the PostgreSQL location")) +
                 ": this ssmsg was built without PostgreSQL"};
}

Result<std::unique_ptr<Store>, std::string> OpenPgAccounts(std::string_view location) {
  return Failure{OpenPgStore(location).error()};
}

Result<std::vector<std::string>, std::string> PgSiteNames(std::string_view location) {
  return Failure{OpenPgStore(location).error()};
}

std::unique_ptr<Store> OpenPgSite(std::string_view location, const std::string&) {
  throw StoreUnavailable(OpenPgStore(location).error());
}

}  // namespace ssmsg::server
