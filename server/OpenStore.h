#pragma once

// The server's store of a site, wherever it is: a site database file, or a site of a PostgreSQL
// database ("postgresql://...?site=NAME"); or the accounts of a PostgreSQL database given without a
// site (PgStore::OpenAccounts).

#include <memory>
#include <string>

#include "core/Result.h"
#include "server/Store.h"

namespace ssmsg::server {

// The store of the site at `location`, opened for reading and writing, or why not (naming the
// location, without a password).
Result<std::unique_ptr<Store>, std::string> OpenStore(const std::string& location);

}  // namespace ssmsg::server
