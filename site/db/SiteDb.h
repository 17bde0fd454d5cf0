#pragma once

// Site databases, for the library's own code: LoadSite hands a file that starts with the SQLite
// header here, and the fuzz target reads databases from bytes.

#include <string_view>

#include <filesystem>

#include <ssmsg/Site.h>
#include <ssmsg/SiteDatabase.h>

#include "site/db/Sqlite.h"

namespace ssmsg {

// The first 16 bytes of every SQLite database file.
inline constexpr std::string_view kSqliteHeader{"SQLite format 3\0", 16};

// Whether `bytes` start as an SQLite database does.
inline bool IsSqliteDatabase(std::string_view bytes) {
  return bytes.substr(0, kSqliteHeader.size()) == kSqliteHeader;
}

// Reads and checks the site database `file` on `jobs` connections at once (0: one per core);
// errors name it `fileName`. The site keeps the database open in one read transaction per
// connection, all on one snapshot, so that every controller is read from it however long the
// site is used.
CSS_SiteLoadResult LoadSiteDatabase(const char* file, std::string_view fileName, unsigned jobs);

// The same for a database whose whole file is `bytes` (standard input, the fuzz target); the
// site keeps a copy.
CSS_SiteLoadResult LoadSiteDatabaseBytes(std::string_view bytes, std::string_view fileName);

// The same for the database open in `db`, which nothing else writes (a copy in memory).
CSS_SiteLoadResult LoadSiteDatabaseHandle(db::DbHandle db, std::string_view fileName);

namespace db {

// What WriteSiteDatabase and MigrateSiteDatabase do for a file.
CSS_DatabaseWriteResult WriteDatabaseFile(const CSS_Site& site, const std::filesystem::path& file,
                                          unsigned jobs);
CSS_MigrateResult MigrateDatabaseFile(const std::filesystem::path& file);

}  // namespace db

}  // namespace ssmsg
