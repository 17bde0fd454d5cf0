#include "site/db/Tables.h"
#include "site/db/SiteDb.h"

#include <ssmsg/SiteDatabase.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include <ssmsg/CSToolEnum.h>

#include "host/CSDevice_Fields.h"
#include "platform/FileName.h"
#include "site/SiteLists.h"
#include "site/db/Sqlite.h"

namespace ssmsg {
namespace db {
namespace {

template <std::size_t N>
void AddFields(std::vector<Column>& columns, const std::array<CSS_FieldInfo, N>& infos) {
  for (const CSS_FieldInfo& info : infos) {
    columns.push_back({info.name, info.kind == CSS_FieldKind::Text, info.min, info.max, false});
  }
}

template <class Record>
Table RecordTable(std::string_view name, std::string_view comment, TableId parent = kControllers) {
  Table table{name, comment, Keys::Position, parent, {}};
  AddFields(table.columns, kRecordFieldInfos<Record>);
  return table;
}

std::string Range(std::string_view name, std::int64_t min, std::int64_t max) {
  return "CHECK (" + Quote(name) + " BETWEEN " + std::to_string(min) + " AND " +
         std::to_string(max) + ")";
}

}  // namespace

const std::array<Table, kTableCount>& Tables() {
  static const std::array<Table, kTableCount> tables = [] {
    std::array<Table, kTableCount> t;
    Table& controllers = t[kControllers];
    controllers = {"controllers",
                   "One row per controller, in the order of the site file (\"Position\"). A list's "
                   "length column is given only when the list ends in positions without a row.",
                   Keys::Controller,
                   kControllers,
                   {}};
    AddFields(controllers.columns, kXtraNameField.Infos());
    AddFields(controllers.columns, kRecordFieldInfos<CSDevice_Config>);
    AddFields(controllers.columns, kRecordFieldInfos<CSDevice_XTRA>);
    for (std::string_view list : kListKeys)
      controllers.columns.push_back({list, false, 0, kMaxPosition, true});
    t[kResources] = {"resources",
                     "The capability counts (\"Resource\"); a count not given (NULL, or no row) "
                     "is the length of its list.",
                     Keys::Controller,
                     kControllers,
                     {}};
    for (const CSS_CountedList& list : kCountedLists)
      t[kResources].columns.push_back({list.count, false, kInt16Min, kInt16Max, true});
    t[kHolidays] = RecordTable<CSDevice_HolidayItem>("holidays", "\"Holidays\"");
    t[kTimeZones] = RecordTable<CSDevice_TimeZoneItem>("time_zones", "\"TimeZones\"");
    t[kTimeGroups] = {"time_groups",
                      "\"TimeGroups\": a row per time group, its zones below",
                      Keys::Position,
                      kControllers,
                      {}};
    t[kZones] = RecordTable<CSDevice_TimeGroupZoneItem>(
        "time_group_zones", "The \"Zones\" of a time group, in order", kTimeGroups);
    t[kZones].keys = Keys::Zone;
    t[kPorts] = RecordTable<CSDevice_PortItem>("ports", "\"Ports\"");
    t[kFLan] = RecordTable<CSDevice_FLanSetupItem>("flan_nodes", "\"FLAN\"");
    t[kInputs] = RecordTable<CSDevice_InputTypeItem>("inputs", "\"Inputs\"");
    t[kInputTimes] =
        RecordTable<CSDevice_InputTimeItem>("input_times", "An input's \"Time\"", kInputs);
    for (std::string_view level : kLevelColumns)
      t[kInputTimes].columns.push_back({level, false, kInt16Min, kInt16Max, false});
    t[kInputLinks] =
        RecordTable<CSDevice_InputLinkItem>("input_links", "An input's \"Link\"", kInputs);
    t[kOutputs] = RecordTable<CSDevice_OutputTypeItem>("outputs", "\"Outputs\"");
    t[kOutputTimes] =
        RecordTable<CSDevice_OutputTimeItem>("output_times", "An output's \"Time\"", kOutputs);
    t[kReaders] = RecordTable<CSDevice_RdConfigurationItem>("readers", "\"Readers\"");
    t[kCardControls] = RecordTable<CSDevice_RdCardControlItem>(
        "reader_card_controls", "A reader's \"CardControl\"", kReaders);
    t[kCardLocations] = RecordTable<CSDevice_RdCardLocationItem>(
        "reader_card_locations", "A reader's \"CardLocation\"", kReaders);
    t[kCardStructures] = RecordTable<CSDevice_RdCardStructureItem>(
        "reader_card_structures", "A reader's \"CardStructure\"", kReaders);
    t[kAccessAlarms] = RecordTable<CSDevice_RdAccessAlarmItem>(
        "reader_access_alarms", "A reader's \"AccessAlarm\"", kReaders);
    return t;
  }();
  return tables;
}

std::string Quote(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

std::vector<std::string_view> KeyNames(const Table& table) {
  std::vector<std::string_view> keys{"Interface", "Node"};
  if (table.keys == Keys::Zone) keys.push_back("TimeGroup");
  if (table.keys != Keys::Controller) keys.push_back("Number");
  return keys;
}

namespace {

// How one kind of database spells the tables of a site.
struct Dialect {
  // The type of an integer column of range min..max.
  std::string (*integer)(std::int64_t min, std::int64_t max);
  std::string_view text;         // of a text column
  std::string_view site;         // the column that keys each row by its site, or empty
  std::string_view controllers;  // what ends the controllers table
  std::string_view rows;         // what ends every other table
  // Whether a row's link to its parent row is a foreign key. Checked row by row on a server, they
  // made writing a site there four times as slow; the reader checks every link as it reads.
  bool foreignKeys;
};

std::string SqliteInteger(std::int64_t, std::int64_t) {
  return "INTEGER";
}

// The smallest type that holds the range: the CHECK then narrows it.
std::string PostgresInteger(std::int64_t min, std::int64_t max) {
  if (min >= kInt16Min && max <= kInt16Max) return "smallint";
  if (min >= kInt32Min && max <= kInt32Max) return "integer";
  return "bigint";
}

constexpr Dialect kSqlite{SqliteInteger, "TEXT", {}, ") STRICT;\n", ") STRICT, WITHOUT ROWID;\n",
                          true};
constexpr Dialect kPostgres{PostgresInteger, "text", "Site", ");\n", ");\n", false};

std::string NameList(const Dialect& dialect, const std::vector<std::string_view>& names) {
  std::string text = dialect.site.empty() ? "" : Quote(dialect.site);
  for (std::string_view name : names)
    text += (text.empty() ? "" : ", ") + Quote(name);
  return text;
}

// The column of a site's key, first in every table of a database of many sites.
std::string SiteColumn(const Dialect& dialect, bool references) {
  if (dialect.site.empty()) return {};
  return "  " + Quote(dialect.site) + " integer NOT NULL" +
         (references ? " REFERENCES sites (\"Id\") ON DELETE CASCADE" : "") + ",\n";
}

std::string KeyColumn(const Dialect& dialect, std::string_view name, std::int64_t min,
                      std::int64_t max, bool checked) {
  return "  " + Quote(name) + " " + dialect.integer(min, max) + " NOT NULL" +
         (checked ? " " + Range(name, min, max) : "") + ",\n";
}

std::string CreateTable(const Table& table, const Dialect& dialect) {
  std::string sql =
      "-- " + std::string(table.comment) + "\nCREATE TABLE " + std::string(table.name) + " (\n";
  const bool controllers = &table == &Tables()[kControllers];
  sql += SiteColumn(dialect, controllers);
  if (controllers) {
    sql += dialect.site.empty() ? "  \"Position\" INTEGER PRIMARY KEY,\n"
                                : KeyColumn(dialect, "Position", 1, kInt32Max, true);
    sql += KeyColumn(dialect, "Interface", 1, kInt32Max, true);
    sql += KeyColumn(dialect, "Node", 0, kInt32Max, true);
  } else {
    sql += KeyColumn(dialect, "Interface", 1, kInt32Max, false);
    sql += KeyColumn(dialect, "Node", 0, kInt32Max, false);
    if (table.keys == Keys::Zone) sql += KeyColumn(dialect, "TimeGroup", 1, kMaxPosition, true);
    if (table.keys != Keys::Controller) sql += KeyColumn(dialect, "Number", 1, kMaxPosition, true);
  }
  for (const Column& column : table.columns) {
    sql += "  " + Quote(column.name) + " ";
    if (column.text) {
      sql += std::string(dialect.text) + " NOT NULL DEFAULT ''";
    } else {
      sql += dialect.integer(column.min, column.max);
      if (!column.nullable) sql += " NOT NULL DEFAULT 0";
      sql += " " + Range(column.name, column.min, column.max);
    }
    sql += ",\n";
  }
  if (controllers) {
    if (!dialect.site.empty()) sql += "  PRIMARY KEY (" + NameList(dialect, {"Position"}) + "),\n";
    sql += "  UNIQUE (" + NameList(dialect, {"Interface", "Node"}) + ")\n";
    return sql + std::string(dialect.controllers);
  }
  sql += "  PRIMARY KEY (" + NameList(dialect, KeyNames(table)) + ")";
  if (!dialect.foreignKeys) return sql + "\n" + std::string(dialect.rows);
  sql += ",\n";
  const Table& parent = Tables()[table.parent];
  std::vector<std::string_view> own = {"Interface", "Node"};
  std::vector<std::string_view> theirs = own;
  if (table.parent != kControllers) {
    own.push_back(table.keys == Keys::Zone ? "TimeGroup" : "Number");
    theirs.push_back("Number");
  }
  sql += "  FOREIGN KEY (" + NameList(dialect, own) + ") REFERENCES " + std::string(parent.name) +
         " (" + NameList(dialect, theirs) + ") ON DELETE CASCADE ON UPDATE CASCADE\n";
  return sql + std::string(dialect.rows);
}

std::string CreateEnumTexts(const Dialect& dialect) {
  std::string names;
  for (std::size_t i = 0; i < kToolEnumCount; ++i) {
    names +=
        (i == 0 ? "'" : ", '") + std::string(CSToolEnum::Name(static_cast<CSToolEnumId>(i))) + "'";
  }
  return "-- \"Enums\": texts that replace the built-in text of an enumeration's value\n"
         "CREATE TABLE enum_texts (\n" +
         SiteColumn(dialect, true) + "  \"Enumeration\" " + std::string(dialect.text) +
         " NOT NULL CHECK (\"Enumeration\" IN (" + names + ")),\n  \"Value\" " +
         dialect.integer(kInt32Min, kInt32Max) + " NOT NULL " +
         Range("Value", kInt32Min, kInt32Max) + ",\n  \"Text\" " + std::string(dialect.text) +
         " NOT NULL,\n  PRIMARY KEY (" + NameList(dialect, {"Enumeration", "Value"}) + ")\n" +
         std::string(dialect.rows);
}

std::string SiteTables(const Dialect& dialect) {
  std::string sql;
  for (const Table& table : Tables())
    sql += CreateTable(table, dialect);
  return sql + CreateEnumTexts(dialect);
}

}  // namespace

std::string SchemaTables() {
  return SiteTables(kSqlite);
}

std::string PostgresSiteTables() {
  return SiteTables(kPostgres);
}

namespace {

// API tokens, as of schema version 3.
constexpr std::string_view kTokensTable =
    R"(-- API tokens, by a hash of the token (the token itself is not kept). "Id" is never given
-- again, so that an audit row's token is no other; "Name" tells the token apart, and a token
-- ends at "Expires" (NULL: only when revoked or its user's password changes).
CREATE TABLE api_tokens (
  "Id" INTEGER PRIMARY KEY AUTOINCREMENT,
  "Hash" TEXT NOT NULL UNIQUE,
  "User" INTEGER NOT NULL REFERENCES users ("Id") ON DELETE CASCADE,
  "Name" TEXT NOT NULL,
  "Created" INTEGER NOT NULL,
  "Expires" INTEGER
) STRICT;
CREATE INDEX api_tokens_user ON api_tokens ("User");
)";

// The audit log, as of schema version 4.
constexpr std::string_view kAuditLogTable =
    R"(-- Every change made through the site editor: who made it, when and how, and the controller (a
-- JSON object of the site file's "Controllers", or null) before and after it. "Interface" and
-- "Node" are NULL for a change of accounts. "Before" is NULL where it is the "After" of the
-- controller's entry before, as it is unless someone changed the controller elsewhere between.
-- A short JSON text is kept as it is; a longer one as a blob, compressed with zstd.
CREATE TABLE audit_log (
  "Id" INTEGER PRIMARY KEY AUTOINCREMENT,
  "Time" INTEGER NOT NULL,
  "User" TEXT NOT NULL,
  "Method" TEXT NOT NULL,
  "Path" TEXT NOT NULL,
  "Interface" INTEGER,
  "Node" INTEGER,
  "Before" ANY CHECK (typeof("Before") IN ('null', 'text', 'blob')),
  "After" ANY NOT NULL CHECK (typeof("After") IN ('text', 'blob'))
) STRICT;
CREATE INDEX audit_log_controller ON audit_log ("Interface", "Node", "Id");
)";

// Failed logins, as of schema version 5.
constexpr std::string_view kLoginFailuresTable =
    R"(-- Failed logins to the site editor, counted per user name and per client address ("Kind"), so
-- that every server on the database counts them alike: how many since the count began, the last
-- one's time, and its number among all failures ("Seq"), by which those of old failures are
-- forgotten.
CREATE TABLE login_failures (
  "Kind" TEXT NOT NULL CHECK ("Kind" IN ('name', 'address')),
  "Key" TEXT NOT NULL,
  "Count" INTEGER NOT NULL,
  "Last" INTEGER NOT NULL,
  "Seq" INTEGER NOT NULL,
  PRIMARY KEY ("Kind", "Key")
) STRICT, WITHOUT ROWID;
CREATE INDEX login_failures_seq ON login_failures ("Seq");
)";

// From version 3, whose audit log kept every text as it is: its rows stay, with their ids, and
// the next id is the one it would have given.
std::string AuditLogPacked() {
  return "ALTER TABLE audit_log RENAME TO audit_log_3;\nDROP INDEX audit_log_controller;\n" +
         std::string(kAuditLogTable) +
         "INSERT INTO audit_log SELECT * FROM audit_log_3 ORDER BY \"Id\";\n"
         "DELETE FROM sqlite_sequence WHERE name = 'audit_log';\n"
         "UPDATE sqlite_sequence SET name = 'audit_log' WHERE name = 'audit_log_3';\n"
         "DROP TABLE audit_log_3;\n";
}

// From version 2, whose tokens had no id, name or end: they keep their hash and user, and are
// named "token".
std::string TokensWithIds() {
  return "ALTER TABLE api_tokens RENAME TO api_tokens_2;\n" + std::string(kTokensTable) +
         "INSERT INTO api_tokens (\"Hash\", \"User\", \"Name\", \"Created\") SELECT \"Hash\", "
         "\"User\", 'token', \"Created\" FROM api_tokens_2 ORDER BY \"Created\", \"Hash\";\n"
         "DROP TABLE api_tokens_2;\n";
}

}  // namespace

std::string EditorTables() {
  return R"(-- The site editor's users. "PasswordHash" is an Argon2id hash in the form of libsodium's
-- crypto_pwhash_str; the password itself is not kept.
CREATE TABLE users (
  "Id" INTEGER PRIMARY KEY,
  "Name" TEXT NOT NULL UNIQUE,
  "Role" TEXT NOT NULL CHECK ("Role" IN ('viewer', 'editor', 'admin')),
  "PasswordHash" TEXT NOT NULL
) STRICT;
-- Logins to the site editor, by a hash of the session cookie's value.
CREATE TABLE sessions (
  "IdHash" TEXT PRIMARY KEY,
  "User" INTEGER NOT NULL REFERENCES users ("Id") ON DELETE CASCADE,
  "Csrf" TEXT NOT NULL,
  "Created" INTEGER NOT NULL,
  "LastSeen" INTEGER NOT NULL
) STRICT, WITHOUT ROWID;
)" + std::string(kTokensTable) +
         std::string(kAuditLogTable) +
         R"(-- What each controller was last marked sent as: a site file of that controller alone, with the
-- site's enumeration texts of the time.
CREATE TABLE sent_controllers (
  "Interface" INTEGER NOT NULL,
  "Node" INTEGER NOT NULL,
  "Site" TEXT NOT NULL,
  "Time" INTEGER NOT NULL,
  PRIMARY KEY ("Interface", "Node")
) STRICT, WITHOUT ROWID;
)" + std::string(kLoginFailuresTable);
}

std::string VersionPragmas(int version) {
  return "PRAGMA application_id = " + std::to_string(kApplicationId) +
         ";\nPRAGMA user_version = " + std::to_string(version) + ";\n";
}

std::string Migration(int from) {
  switch (from) {
    case 0:  // an empty database
      return CurrentTables();
    case 1:
      return EditorTables();
    case 2:
      return TokensWithIds() + AuditLogPacked() + std::string(kLoginFailuresTable);
    case 3:
      return AuditLogPacked() + std::string(kLoginFailuresTable);
    case 4:
      return std::string(kLoginFailuresTable);
    default:
      return {};
  }
}

std::string CurrentTables() {
  return SchemaTables() + EditorTables();
}

std::string ColumnList(const Table& table, bool withKeys) {
  std::string text;
  if (withKeys) {
    for (std::string_view key : KeyNames(table))
      text += (text.empty() ? "" : ", ") + Quote(key);
  }
  for (const Column& column : table.columns)
    text += (text.empty() ? "" : ", ") + Quote(column.name);
  return text;
}

std::string SelectSql(const Table& table, TableId id) {
  if (id == kControllers) {
    return "SELECT " + ColumnList(table, false) + " FROM controllers WHERE \"Position\" = ?1";
  }
  std::string order = table.keys == Keys::Zone ? "\"TimeGroup\", \"Number\"" : "\"Number\"";
  std::string select = table.keys == Keys::Controller ? "" : order;
  if (!table.columns.empty()) select += (select.empty() ? "" : ", ") + ColumnList(table, false);
  if (table.keys == Keys::Controller) order = "rowid";
  return "SELECT " + select + " FROM " + std::string(table.name) +
         " WHERE \"Interface\" = ?1 AND \"Node\" = ?2" +
         (table.keys == Keys::Controller ? "" : " ORDER BY " + order);
}

}  // namespace db

using namespace db;

std::string SiteDatabaseSchema() {
  return "-- The schema of an ssmsg site database, version " +
         std::to_string(kSiteDatabaseVersion) +
         ". Each row is keyed by its controller's Interface and Node, and by its 1-based\n"
         "-- position (\"Number\") in a list of the site file; a position without a row is the "
         "site file's null.\n"
         "-- Columns are named as the keys of the site file. Turn on foreign keys "
         "(PRAGMA foreign_keys = ON)\n-- for deletes to cascade.\n"
         "PRAGMA journal_mode = WAL;\n" +
         VersionPragmas(kSiteDatabaseVersion) + CurrentTables();
}

std::string SiteDatabaseSchema(CSS_DatabaseKind kind) {
  return kind == CSS_DatabaseKind::Postgresql ? PostgresSchema() : SiteDatabaseSchema();
}

namespace db {
namespace {

// A trigger for each statement that inserts, updates or deletes rows of the table `name`, which
// calls `function` with the rows it changed as the table "changed".
std::string StatementTriggers(std::string_view name, std::string_view function) {
  std::string sql;
  for (const auto& [event, rows] :
       {std::pair{"INSERT", "NEW"}, {"UPDATE", "NEW"}, {"DELETE", "OLD"}}) {
    sql += "CREATE TRIGGER " + std::string(name) + "_" + event + " AFTER " + event + " ON " +
           std::string(name) + " REFERENCING " + rows +
           " TABLE AS changed FOR EACH STATEMENT EXECUTE FUNCTION " + std::string(function) +
           "();\n";
  }
  return sql;
}

}  // namespace

std::string PostgresSchema() {
  const std::string version = std::to_string(kPostgresSchemaVersion);
  return "-- The schema of the ssmsg sites of a PostgreSQL database, version " + version +
         ". The tables are those of a site\n"
         "-- database, each row keyed by its site too (\"Site\", the \"Id\" of the table sites). "
         "A site's controllers and\n-- enumeration texts go with it; the rows below a controller "
         "are not foreign keys, which would be\n-- checked row by row: ssmsg writes and deletes "
         "them with their controller, and checks each as it reads it.\n"
         "CREATE TABLE ssmsg_schema (\n  \"Version\" integer NOT NULL\n);\n"
         "INSERT INTO ssmsg_schema VALUES (" +
         version +
         ");\n-- The sites, by name.\nCREATE TABLE sites (\n"
         "  \"Id\" integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n"
         "  \"Name\" text NOT NULL UNIQUE\n);\n" +
         PostgresSiteTables() + PostgresEditorTables() + PostgresSiteVersions() +
         PostgresKeptImages();
}

std::string PostgresKeptImages() {
  std::string sql =
      R"(-- Each controller's image, kept while "Images" of its site is not NULL.
ALTER TABLE sites ADD COLUMN "Images" text;
CREATE TABLE controller_images (
  "Site" integer NOT NULL,
  "Interface" integer NOT NULL,
  "Node" integer NOT NULL,
  "Image" bytea NOT NULL,
  PRIMARY KEY ("Site", "Interface", "Node")
);
-- Compressed with lz4, where the server has it: a fifth of the bytes to write, and as quick to
-- read.
DO $$
BEGIN
  ALTER TABLE controller_images ALTER COLUMN "Image" SET COMPRESSION lz4;
EXCEPTION WHEN feature_not_supported THEN NULL;
END
$$;
CREATE OR REPLACE FUNCTION ssmsg_site_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  UPDATE sites SET "Version" = "Version" + 1,
    "Images" = CASE WHEN "Images" = current_setting('ssmsg.images', true) THEN "Images" END
    WHERE "Id" IN (SELECT DISTINCT "Site" FROM changed);
  RETURN NULL;
END
$$;
CREATE FUNCTION ssmsg_sites_truncated() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  UPDATE sites SET "Version" = "Version" + 1, "Images" = NULL;
  RETURN NULL;
END
$$;
-- ssmsg writes an image only after rows of its controller, in the same transaction. A change of
-- the images by any other writer forgets those of every site.
CREATE FUNCTION ssmsg_images_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF coalesce(current_setting('ssmsg.images', true), '') = '' THEN
    UPDATE sites SET "Images" = NULL WHERE "Images" IS NOT NULL;
  END IF;
  RETURN NULL;
END
$$;
CREATE TRIGGER controller_images_changed AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON
  controller_images FOR EACH STATEMENT EXECUTE FUNCTION ssmsg_images_changed();
)";
  std::vector<std::string_view> names{"enum_texts"};
  for (const Table& table : Tables())
    names.push_back(table.name);
  for (const std::string_view name : names) {
    sql += "CREATE TRIGGER " + std::string(name) + "_TRUNCATE AFTER TRUNCATE ON " +
           std::string(name) + " FOR EACH STATEMENT EXECUTE FUNCTION ssmsg_sites_truncated();\n";
  }
  return sql;
}

std::string PostgresSiteVersions() {
  std::string sql =
      R"(-- Database admins: admins of every site, and of the database's accounts.
ALTER TABLE users ADD COLUMN "DatabaseAdmin" boolean NOT NULL DEFAULT false;
-- Each site's version, counted up by every statement that changes its rows (the triggers
-- below), in the transaction that changes them.
ALTER TABLE sites ADD COLUMN "Version" bigint NOT NULL DEFAULT 0;
CREATE FUNCTION ssmsg_site_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  UPDATE sites SET "Version" = "Version" + 1 WHERE "Id" IN (SELECT DISTINCT "Site" FROM changed);
  RETURN NULL;
END
$$;
-- The audit log's controllers compressed with lz4, which is quicker than the default, where the
-- server has it.
DO $$
BEGIN
  ALTER TABLE audit_log ALTER COLUMN "Before" SET COMPRESSION lz4,
    ALTER COLUMN "After" SET COMPRESSION lz4;
EXCEPTION WHEN feature_not_supported THEN NULL;
END
$$;
)";
  std::vector<std::string_view> names{"enum_texts"};
  for (const Table& table : Tables())
    names.push_back(table.name);
  for (const std::string_view name : names)
    sql += StatementTriggers(name, "ssmsg_site_changed");
  return sql;
}

std::string PostgresEditorTables() {
  return R"(-- The site editor's users, of every site of the database. "PasswordHash" is an Argon2id hash in
-- the form of libsodium's crypto_pwhash_str; the password itself is not kept.
CREATE TABLE users (
  "Id" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  "Name" text NOT NULL UNIQUE,
  "PasswordHash" text NOT NULL
);
-- What each user may do in each site: a user without a row for a site cannot use it.
CREATE TABLE site_roles (
  "Site" integer NOT NULL REFERENCES sites ("Id") ON DELETE CASCADE,
  "User" bigint NOT NULL REFERENCES users ("Id") ON DELETE CASCADE,
  "Role" text NOT NULL CHECK ("Role" IN ('viewer', 'editor', 'admin')),
  PRIMARY KEY ("Site", "User")
);
CREATE INDEX site_roles_user ON site_roles ("User");
-- Logins to the site editor, by a hash of the session cookie's value: one login serves every site
-- its user has a role in.
CREATE TABLE sessions (
  "IdHash" text PRIMARY KEY,
  "User" bigint NOT NULL REFERENCES users ("Id") ON DELETE CASCADE,
  "Csrf" text NOT NULL,
  "Created" bigint NOT NULL,
  "LastSeen" bigint NOT NULL
);
CREATE INDEX sessions_user ON sessions ("User");
-- API tokens, by a hash of the token (the token itself is not kept). "Id" is never given again;
-- a token ends at "Expires" (NULL: only when revoked or its user's password changes).
CREATE TABLE api_tokens (
  "Id" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  "Hash" text NOT NULL UNIQUE,
  "User" bigint NOT NULL REFERENCES users ("Id") ON DELETE CASCADE,
  "Name" text NOT NULL,
  "Created" bigint NOT NULL,
  "Expires" bigint
);
CREATE INDEX api_tokens_user ON api_tokens ("User");
-- Every change made through the site editor, by site: who made it, when and how, and the
-- controller (a JSON object of the site file's "Controllers", or null) before and after it.
-- "Interface" and "Node" are NULL for a change of accounts. The writers of a site wait for each
-- other at its row of sites before they take an "Id", so a site's ids commit in their order.
CREATE TABLE audit_log (
  "Id" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  "Site" integer NOT NULL REFERENCES sites ("Id") ON DELETE CASCADE,
  "Time" bigint NOT NULL,
  "User" text NOT NULL,
  "Method" text NOT NULL,
  "Path" text NOT NULL,
  "Interface" integer,
  "Node" integer,
  "Before" text NOT NULL,
  "After" text NOT NULL
);
CREATE INDEX audit_log_site ON audit_log ("Site", "Id");
CREATE INDEX audit_log_controller ON audit_log ("Site", "Interface", "Node", "Id");
-- What each controller was last marked sent as: a site file of that controller alone, with the
-- site's enumeration texts of the time.
CREATE TABLE sent_controllers (
  "Site" integer NOT NULL REFERENCES sites ("Id") ON DELETE CASCADE,
  "Interface" integer NOT NULL,
  "Node" integer NOT NULL,
  "SiteFile" text NOT NULL,
  "Time" bigint NOT NULL,
  PRIMARY KEY ("Site", "Interface", "Node")
);
-- Failed logins to the site editor, counted per user name and per client address ("Kind"), so
-- that every server on the database counts them alike: how many since the count began, the last
-- one's time, and its number among all failures ("Seq"), by which old ones are forgotten.
CREATE TABLE login_failures (
  "Kind" text NOT NULL CHECK ("Kind" IN ('name', 'address')),
  "Key" text NOT NULL,
  "Count" bigint NOT NULL,
  "Last" bigint NOT NULL,
  "Seq" bigint NOT NULL,
  PRIMARY KEY ("Kind", "Key")
);
CREATE INDEX login_failures_seq ON login_failures ("Seq");
)";
}

int BringUpToDate(sqlite3* db) {
  const SchemaCheck check = CheckSchema(db, Use::Update, {});
  if (!check.refusal.empty()) throw DbError(check.refusal);
  Exec(db, Migration(static_cast<int>(check.version)));
  Exec(db, VersionPragmas(kSiteDatabaseVersion));
  return static_cast<int>(check.version);
}

namespace {

bool IsEmpty(sqlite3* db) {
  const Statement tables = Prepare(db, "SELECT count(*) FROM sqlite_schema");
  Query count(db, tables);
  return count.Next() && count.Int(0) == 0;
}

// "the database has schema version 2, older than this ssmsg serves (3)"
std::string VersionText(std::int64_t version, std::string_view relation, std::string_view does,
                        int bound) {
  return "the database has schema version " + std::to_string(version) + ", " +
         std::string(relation) + " than this ssmsg " + std::string(does) + " (" +
         std::to_string(bound) + ")";
}

}  // namespace

SchemaCheck CheckSchema(sqlite3* db, Use use, std::string_view fileName) {
  SchemaCheck check;
  check.version = PragmaValue(db, "user_version");
  const std::int64_t application = PragmaValue(db, "application_id");
  const std::string migrate = "bring it up to date with: ssmsg migrate " + std::string(fileName);
  const std::string id = std::to_string(application);
  switch (use) {
    case Use::Read:
      if (application != kApplicationId) {
        check.refusal =
            "not a site database (an SQLite database of another program: its application id is " +
            id + ", not " + std::to_string(kApplicationId) + ")";
      } else if (check.version > kSiteDatabaseVersion) {
        check.refusal = VersionText(check.version, "newer", "reads", kSiteDatabaseVersion) +
                        "; use a newer ssmsg";
      } else if (check.version < kOldestSiteDatabaseVersion) {
        check.refusal = VersionText(check.version, "older", "reads", kOldestSiteDatabaseVersion) +
                        "; " + migrate;
      }
      break;
    case Use::Serve:
      if (application != kApplicationId) {
        check.refusal = "not a site database (its application id is " + id + ")";
      } else if (check.version < kSiteDatabaseVersion) {
        check.refusal =
            VersionText(check.version, "older", "serves", kSiteDatabaseVersion) + ": " + migrate;
      } else if (check.version > kSiteDatabaseVersion) {
        check.refusal = VersionText(check.version, "newer", "knows", kSiteDatabaseVersion) +
                        "; use a newer ssmsg";
      }
      break;
    case Use::Update:
      if (application != kApplicationId && !IsEmpty(db)) {
        check.refusal =
            "not a site database (an SQLite database of another program: its application id is " +
            id + ")";
      } else if (check.version > kSiteDatabaseVersion || check.version < 0) {
        check.refusal = VersionText(check.version, "newer", "knows", kSiteDatabaseVersion);
      }
      break;
  }
  return check;
}

OpenedSite OpenSiteDatabase(const std::string& file, Use use) {
  int error = 0;
  std::error_code missing;  // then opening it tells why
  const bool regular = std::filesystem::is_regular_file(file, missing);
  const std::optional<bool> database = regular || missing ? StartsAsDatabase(file, error) : false;
  if (!database) {
    return Failure{file + ": cannot read the file: " + std::strerror(error)};
  }
  if (!*database) {
    return Failure{file + ": not a site database" +
                   (use == Use::Serve
                        ? " (a site file? the site editor serves a database: make one with "
                          "\"ssmsg convert " +
                              file + " site.db\" and serve that)"
                        : " (not an SQLite database)")};
  }
  try {
    DbHandle db = OpenDatabase(file, use == Use::Read ? Access::Read : Access::Write);
    if (const SchemaCheck check = CheckSchema(db.get(), use, file); !check.refusal.empty()) {
      return Failure{file + ": " + check.refusal};
    }
    return db;
  } catch (const DbError& failure) {
    return Failure{file + ": " + failure.what()};
  }
}

}  // namespace db

namespace db {

CSS_MigrateResult MigrateDatabaseFile(const std::filesystem::path& file) {
  const std::string name = NameOfPath(file);
  CSS_MigrateResult result;
  try {
    std::error_code missing;
    if (!std::filesystem::exists(file, missing)) {
      throw DbError(std::string("cannot read the file: ") + std::strerror(ENOENT));
    }
    const DbHandle db = OpenDatabase(name, Access::Write);
    Exec(db.get(), "BEGIN IMMEDIATE");
    result.from = BringUpToDate(db.get());
    Exec(db.get(), "COMMIT");
    Exec(db.get(), "PRAGMA journal_mode = WAL");
    result.to = kSiteDatabaseVersion;
  } catch (const DbError& error) {
    result.errors.push_back(name + ": " + error.what());
  }
  return result;
}

}  // namespace db

}  // namespace ssmsg
