#include "server/OpenStore.h"

#include "server/DatabaseStore.h"
#include "server/PgStore.h"
#include "site/pg/Location.h"

namespace ssmsg::server {

Result<std::unique_ptr<Store>, std::string> OpenStore(const std::string& location) {
  if (pg::IsLocation(location)) {
    // Without a site: the database's accounts, whose own users are its admins.
    const auto parsed = pg::ParseLocation(location);
    return parsed && parsed->site.empty() ? OpenPgAccounts(location) : OpenPgStore(location);
  }
  DatabaseStore::Opened opened = DatabaseStore::Open(location);
  if (!opened) return Failure{std::move(opened.error())};
  return std::unique_ptr<Store>(std::move(*opened));
}

}  // namespace ssmsg::server
