#include "db_commands.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include <ssmsg/Site.h>
#include <ssmsg/SiteDatabase.h>

#include "command.h"
#include "platform/FileName.h"
#include "readback.h"
#include "site/SiteData.h"
#include "site/pg/Location.h"

namespace ssmsg::tool {
namespace {

void Report(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    std::fprintf(stderr, "%s\n", line.c_str());
}

// Loads the site `file`; with `keep`, it keeps the records that its check read, for a run that
// reads every controller once more.
std::optional<CSS_Site> Load(const std::string& file, unsigned jobs, bool keep = false) {
  CSS_SiteLoadResult result =
      keep ? LoadSiteKeepingRecords(PathOfName(file), jobs) : LoadSite(PathOfName(file), jobs);
  Report(result.errors);
  return std::move(result.site);
}

// Writes `site` as the database `file`: status 2 when the file cannot take a database at all,
// 3 when the writing failed.
int WriteDatabase(const CSS_Site& site, const std::string& file, unsigned jobs) {
  const CSS_DatabaseWriteResult result = WriteSiteDatabase(site, PathOfName(file), jobs);
  Report(result.errors);
  if (result.errors.empty()) return kDone;
  return result.refused ? kBadInput : kCannotWrite;
}

struct SchemaOptions {
  std::string output;
  std::string kind = "sqlite";
};

int RunSchema(const SchemaOptions& options, const CLI::App&, Output& output) {
  output.Write(SiteDatabaseSchema(options.kind == "postgresql" ? CSS_DatabaseKind::Postgresql
                                                               : CSS_DatabaseKind::Sqlite));
  return kDone;
}

struct ConvertOptions {
  std::string in, out, to;
  unsigned jobs = DefaultJobs();
};

int RunConvert(const ConvertOptions& options, const CLI::App&, Output& output) {
  const bool toDatabase = options.to.empty() ? IsDatabaseName(options.out) : options.to != "json";
  if (options.to == "postgresql" && !pg::IsLocation(options.out)) {
    std::fprintf(stderr, "convert: --to postgresql: %s is not a postgresql:// URI\n",
                 options.out.c_str());
    return kBadInput;
  }
  // Each controller is read once: its records, as the check read them, are written out.
  const std::optional<CSS_Site> site = Load(options.in, options.jobs, true);
  if (!site) return kBadInput;
  if (toDatabase) return WriteDatabase(*site, options.out, options.jobs);
  if (!output.OpenFile(options.out)) return kBadInput;
  site->WriteJson([&output](std::string_view text) { return output.Write(text); }, options.jobs);
  return kDone;
}

struct MigrateOptions {
  std::string database;
};

int RunMigrate(const MigrateOptions& options, const CLI::App&, Output&) {
  const CSS_MigrateResult result = MigrateSiteDatabase(PathOfName(options.database));
  if (!result.errors.empty()) {
    Report(result.errors);
    return kBadInput;
  }
  Complain("migrate: " + options.database + ": " +
           (result.from == result.to ? "already at schema version " + std::to_string(result.to)
                                     : "schema version " + std::to_string(result.from) + " to " +
                                           std::to_string(result.to)));
  return kDone;
}

}  // namespace

bool IsDatabaseName(const std::string& name) {
  if (pg::IsLocation(name)) return true;
  const std::string extension = NameOfPath(PathOfName(name).extension());
  return extension == ".db" || extension == ".sqlite" || extension == ".sqlite3";
}

void AddSchemaCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [schema, options] = AddCommand<SchemaOptions>(app, "schema", chosen, RunSchema);
  AddOutput(*schema, options->output);
  schema
      ->add_option("--for", options->kind,
                   "the database: sqlite (a site database file) or postgresql (a PostgreSQL "
                   "database of many sites); default: sqlite")
      ->check(CLI::IsMember({"sqlite", "postgresql"}));
}

void AddConvertCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [convert, options] = AddCommand<ConvertOptions>(app, "convert", chosen, RunConvert);
  convert->add_option("IN", options->in, "the site file or database to read")->required();
  convert->add_option("OUT", options->out, "the file or PostgreSQL site to write")->required();
  convert
      ->add_option("--to", options->to,
                   "what OUT is to be: json (a site file), sqlite (a database) or postgresql (a "
                   "site on a PostgreSQL server); default: postgresql for a postgresql:// URI, "
                   "sqlite for OUT ending in .db, .sqlite or .sqlite3, otherwise json")
      ->check(CLI::IsMember({"json", "sqlite", "postgresql"}));
  AddJobs(*convert, options->jobs);
}

void AddMigrateCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [migrate, options] = AddCommand<MigrateOptions>(app, "migrate", chosen, RunMigrate);
  migrate->add_option("DB", options->database, "the database")->required();
}

int ImportToDatabase(const std::vector<std::string>& files, const std::string& enumsFrom,
                     unsigned jobs, const std::string& file) {
  std::optional<CSS_Site> names;
  if (!enumsFrom.empty()) {
    names = Load(enumsFrom, 1);
    if (!names) return kBadInput;
  }
  const std::optional<CSS_Site> site =
      ImportMessages(files, names ? &*names : nullptr, true, jobs, file);
  if (!site) return kBadInput;
  return WriteDatabase(*site, file, jobs);
}

}  // namespace ssmsg::tool
