#pragma once

// Sites on a PostgreSQL server, many to a database: what LoadSite, WriteSiteDatabase and
// MigrateSiteDatabase do for a location (site/pg/Location.h) rather than a file. Each names the
// location in its errors as Location::name does, without a password. A build without libpq has
// them all the same, each saying so.

#include <string_view>

#include <ssmsg/Site.h>
#include <ssmsg/SiteDatabase.h>

namespace ssmsg::pg {

// Reads and checks the site at `location`, in one snapshot of the database: every check of a site
// database's rows is made, with the same words.
CSS_SiteLoadResult LoadSite(std::string_view location, unsigned jobs);

// Replaces the site at `location` with `site` (making it, and the database's tables, when they
// are not there) in one transaction: whoever reads it finds the old site or all of the new one.
CSS_DatabaseWriteResult WriteSite(const CSS_Site& site, std::string_view location, unsigned jobs);

// Makes the tables of sites in the database of `location`, or brings them up to date; the site in
// the location, if any, is not needed.
CSS_MigrateResult Migrate(std::string_view location);

}  // namespace ssmsg::pg
