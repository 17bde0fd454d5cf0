// The server's store on PostgreSQL, in a build without libpq: it says so.

#include "server/PgStore.h"
#include "site/pg/Location.h"

namespace ssmsg::server {

Result<std::unique_ptr<Store>, std::string> OpenPgStore(std::string_view location) {
  const auto parsed = pg::ParseLocation(location);
  return Failure{(parsed ? parsed->name : std::string("the PostgreSQL location")) +
                 ": this ssmsg was built without PostgreSQL"};
}

}  // namespace ssmsg::server
