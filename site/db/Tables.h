#pragma once

// The tables of a site database, made from the field tables of host/CSDevice_Fields.h and the
// lists of site/SiteLists.h: one column per field, named by the field's key in the site file,
// with the field's range as a CHECK. The schema, the reader and the writer all go through
// Tables(), so they cannot disagree about a field.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include <ssmsg/CSDevice_Records.h>

#include "core/Result.h"
#include "site/db/Sqlite.h"

namespace ssmsg::db {

constexpr std::int32_t kApplicationId = 0x73736D67;  // "ssmg"
constexpr std::int64_t kMaxPosition = 32767;         // positions beyond a count are never sent
constexpr std::int64_t kInt16Min = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kInt16Max = std::numeric_limits<std::int16_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// How the rows of a table are keyed: by controller (Interface, Node), by position in a list
// (and "Number", from 1), or by time group and position in it ("TimeGroup", "Number").
enum class Keys : std::uint8_t { Controller, Position, Zone };

// A column after the keys.
struct Column {
  std::string_view name;
  bool text = false;
  std::int64_t min = 0;
  std::int64_t max = 0;
  bool nullable = false;  // NULL: not given
};

enum TableId : std::size_t {
  kControllers,
  kResources,
  kHolidays,
  kTimeZones,
  kTimeGroups,
  kZones,
  kPorts,
  kFLan,
  kInputs,
  kInputTimes,
  kInputLinks,
  kOutputs,
  kOutputTimes,
  kReaders,
  kCardControls,
  kCardLocations,
  kCardStructures,
  kAccessAlarms,
  kTableCount
};

struct Table {
  std::string_view name;
  std::string_view comment;
  Keys keys = Keys::Position;
  TableId parent = kControllers;  // the table a row belongs to (none for controllers)
  std::vector<Column> columns;
};

// The lists of a controller in the site file, in the order of the controllers table's length
// columns.
constexpr std::string_view kListKeys[] = {"Holidays", "TimeZones", "TimeGroups", "Ports",
                                          "FLAN",     "Inputs",    "Outputs",    "Readers"};
enum ListId : std::size_t {
  kLHolidays,
  kLTimeZones,
  kLTimeGroups,
  kLPorts,
  kLFLan,
  kLInputs,
  kLOutputs,
  kLReaders,
  kListCount
};

constexpr std::string_view kLevelColumns[CSDevice_InputTimeItem::kLevels] = {
    "LevelTG1", "LevelTG2", "LevelTG3", "LevelTG4", "LevelTG5"};

// Every table of a site, by TableId.
const std::array<Table, kTableCount>& Tables();

// `name` in double quotes, as SQL names a column.
std::string Quote(std::string_view name);
// The key columns of `table`, e.g. "Interface", "Node", "Number".
std::vector<std::string_view> KeyNames(const Table& table);
// The columns of `table`, quoted and separated by commas, with its keys first when asked.
std::string ColumnList(const Table& table, bool withKeys);
// The rows of one controller in `table`, in order: its position keys, then its columns.
std::string SelectSql(const Table& table, TableId id);

// CREATE TABLE for every table of the site, in order.
std::string SchemaTables();
// The same tables for a PostgreSQL database of many sites: in its types, with the same CHECKs,
// and each row keyed by its site ("Site", of the table sites) too.
std::string PostgresSiteTables();
// Everything that makes the tables of sites in a PostgreSQL database, its version among them.
std::string PostgresSchema();
// The site editor's tables in a PostgreSQL database (added in its schema version 2): its users,
// their roles in each site, sessions, API tokens and failed logins, the audit log and what each
// controller was last marked sent as, each of a site's rows keyed by the site.
std::string PostgresEditorTables();
// What schema version 3 adds: each site's "Version", which every statement that changes its
// controllers' rows or enumeration texts counts up, so that a server may keep what it read until
// the site changes, whoever changed it.
std::string PostgresSiteVersions();
// What schema version 4 adds: each controller's image (site/StoreImage.h) as the program that
// wrote the site checked it, and each site's "Images", the form they are in; a statement that
// changes the site's rows and is not made by a writer of images of that form (the setting
// ssmsg.images) sets it to NULL, and the site is read from its rows then. A TRUNCATE counts every
// site's version up and forgets their images, as a change of the images by another writer does.
std::string PostgresKeptImages();
// CREATE TABLE for the site editor's tables as they are now (added in schema version 2, the API
// tokens' ids, names and ends in 3, the audit log's compressed texts in 4, the failed logins in
// 5): its users, their sessions and API tokens, the audit log of changes, what each controller was
// last marked sent as, and the failed logins. A site file carries none of them.
std::string EditorTables();
// The pragmas that mark a database as a site database of `version`.
std::string VersionPragmas(int version);
// The SQL that brings a database from schema version `from` to this ssmsg's (nothing from it).
std::string Migration(int from);
// The tables of the schema as it is now.
std::string CurrentTables();
// Brings the database `db`, in the write transaction it is in, up to this ssmsg's schema version
// (an empty database becomes a site database) and returns the version it had. A database of
// another program or of a newer version is a DbError, and left as it was.
int BringUpToDate(sqlite3* db);

// What a program opens a site database for. Each use takes schema versions of its own, and says
// in its own words why it refuses a database.
enum class Use : std::uint8_t {
  Read,    // a site read from it: kOldestSiteDatabaseVersion up to this ssmsg's version
  Serve,   // the site editor's: this ssmsg's version alone, read and written
  Update,  // brought up to this ssmsg's version (migrate, convert into it): any older version, or
           // an empty database, which becomes a site database
};

struct SchemaCheck {
  std::int64_t version = 0;  // its PRAGMA user_version
  std::string refusal;       // why it is not a site database for the use; empty: it is one
};

// The one check of a site database's application id and schema version, of the database open in
// `db`, for `use`; `fileName` names it in the command that migrates it. Readers and writers check
// inside the transaction they read or write in, so that what they checked is what they use.
SchemaCheck CheckSchema(sqlite3* db, Use use, std::string_view fileName);

// A site database opened, or why not (naming the file).
using OpenedSite = Result<DbHandle, std::string>;
// Opens the site database file `file` for `use` (OpenDatabase: read-only for Read) and checks it:
// refused, a file that cannot be read, one that is not an SQLite database, or one that
// CheckSchema refuses.
OpenedSite OpenSiteDatabase(const std::string& file, Use use);

}  // namespace ssmsg::db
