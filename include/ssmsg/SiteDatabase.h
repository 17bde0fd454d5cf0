#pragma once

/// \file
/// Site databases: a site kept in an SQLite database instead of a site file, one table per list of
/// the site file and per sub-record, with columns named as the site file's keys. LoadSite of
/// <ssmsg/Site.h> reads a database wherever it reads a site file (it knows one by its first
/// bytes); what is here makes and upgrades databases. The same tables on a PostgreSQL server hold
/// many sites: wherever a file is named, a libpq connection URI with the site's name,
/// "postgresql://[user@]host[:port]/dbname?site=NAME", names one of them.

#include <filesystem>
#include <string>
#include <vector>

#include <ssmsg/Site.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// The version of the database schema that this library writes (PRAGMA user_version). Version 2
/// added the site editor's tables (users, sessions, API tokens, the audit log and what each
/// controller was last marked sent as), version 3 an id, name and end to each API token, version
/// 4 the audit log's long texts compressed, version 5 the failed logins; a database of version 1
/// to 4 is still read as a site.
inline constexpr int kSiteDatabaseVersion = 5;
/// The oldest version that is still read as a site.
inline constexpr int kOldestSiteDatabaseVersion = 1;

/// The version of the tables of sites in a PostgreSQL database (the table ssmsg_schema). Version
/// 2 added the site editor's tables: users with a role per site, sessions, API tokens, failed
/// logins, the audit log and what each controller was last marked sent as; version 3 each site's
/// version; version 4 the images of each controller that a site is read from while they are kept.
inline constexpr int kPostgresSchemaVersion = 4;

/// The kinds of database that hold sites.
enum class CSS_DatabaseKind {
  Sqlite,     ///< an SQLite file of one site
  Postgresql  ///< a PostgreSQL database of many sites, each by name
};

/// The SQL that makes an empty site database: its tables, application id and version. For
/// programs that write rows themselves.
/// \return the SQL text
SSMSG_API std::string SiteDatabaseSchema();
/// The same for a kind of database. PostgreSQL's tables hold many sites: each row is keyed by
/// its site's "Id" in the table sites, and the table ssmsg_schema holds the version.
/// \param kind the kind of database
/// \return the SQL text
SSMSG_API std::string SiteDatabaseSchema(CSS_DatabaseKind kind);

/// What WriteSiteDatabase did.
struct CSS_DatabaseWriteResult {
  /// Why it was not written, each line naming the file; none when it was.
  std::vector<std::string> errors;
  /// The file cannot take a database at all, and nothing was begun: it is a folder, a device, a
  /// FIFO or a socket (a database is not a stream), or its folder cannot be written.
  bool refused = false;
};

/// Writes `site` as the database `file`. A `file` that is a site database already, which other
/// programs may have open, gets its site replaced in place, in one transaction: its other tables
/// (the site editor's accounts, audit log and what was marked sent) stay, an older schema is
/// brought up to date, and an SQLite database of another program is an error. Any other `file`
/// is made in one transaction in a temporary file beside it ("FILE.ssmsg-tmp.XXXXXX") that then
/// replaces `file`. Either way whoever opens `file` finds the old database or all of the new one;
/// a symbolic link stays, and its target is written. The file is left as it was when the
/// database could not be written.
/// \param site the site to write
/// \param file the database to make or replace
/// \return the errors; none when it was written
SSMSG_API CSS_DatabaseWriteResult WriteSiteDatabase(const CSS_Site& site,
                                                    const std::filesystem::path& file);

/// The same, reading the controllers' records from `site` on `jobs` threads (0: one per core)
/// while the calling thread writes them, in the site's order.
/// \param site the site to write
/// \param file the database to make or replace
/// \param jobs the threads that read the site, the calling one among them
/// \return the errors; none when it was written
SSMSG_API CSS_DatabaseWriteResult WriteSiteDatabase(const CSS_Site& site,
                                                    const std::filesystem::path& file,
                                                    unsigned jobs);

/// What MigrateSiteDatabase did.
struct CSS_MigrateResult {
  int from = 0;                     ///< the version the database had
  int to = 0;                       ///< the version it has now
  std::vector<std::string> errors;  ///< why it could not be migrated, each naming the file
};

/// Brings the database `file` from an older schema version to kSiteDatabaseVersion, in one
/// transaction. A database that is already at that version is left as it is; one of a newer
/// version, or not a site database, is an error.
/// \param file the database
/// \return the versions before and after, or the errors
SSMSG_API CSS_MigrateResult MigrateSiteDatabase(const std::filesystem::path& file);

}  // namespace ssmsg
