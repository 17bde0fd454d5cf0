#include "db_commands.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <thread>

#include <ssmsg/CSS_Site.h>
#include <ssmsg/CSS_SiteDb.h>

#include "readback.h"

namespace ssmsg::tool {
namespace {

constexpr int kDone = 0;
constexpr int kBadInput = 2;
constexpr int kCannotWrite = 3;

void Report(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::optional<CSS_Site> Load(const std::string& file, unsigned jobs) {
  CSS_SiteLoadResult result = LoadSite(file, jobs);
  Report(result.errors);
  return std::move(result.site);
}

}  // namespace

bool IsDatabaseName(const std::string& name) {
  const std::string extension = std::filesystem::path(name).extension().string();
  return extension == ".db" || extension == ".sqlite" || extension == ".sqlite3";
}

DbCommands::DbCommands(CLI::App& app) {
  jobs_ = std::max(1u, std::thread::hardware_concurrency());
  schema_ = app.add_subcommand(
      "schema",
      "Writes the SQL that makes an empty site database (its tables, one column per key of the "
      "site file with its range), for programs that write the rows themselves.");
  schema_->add_option("--output", out_, "write to FILE instead of standard output")
      ->type_name("FILE");

  convert_ = app.add_subcommand(
      "convert",
      "Converts a site file to a site database or a database to a site file. IN is read as "
      "either (a database is known by its content); OUT is written through a temporary file "
      "beside it that replaces it only when all of it is written.");
  convert_->add_option("IN", in_, "the site file or database to read")->required();
  convert_->add_option("OUT", out_, "the file to write")->required();
  convert_
      ->add_option("--to", to_,
                   "what OUT is to be: json (a site file) or sqlite (a database); default: "
                   "sqlite for OUT ending in .db, .sqlite or .sqlite3, otherwise json")
      ->check(CLI::IsMember({"json", "sqlite"}));
  convert_->add_option("--jobs", jobs_, "threads that check a site file at once")
      ->check(CLI::Range(1u, 1024u))
      ->default_str("the number of cores");

  migrate_ = app.add_subcommand(
      "migrate",
      "Brings a site database of an older schema version up to this ssmsg's version, in one "
      "transaction; a database already there is left as it is.");
  migrate_->add_option("DB", in_, "the database")->required();
}

bool DbCommands::Chosen() const {
  return *schema_ || *convert_ || *migrate_;
}

int DbCommands::Run(Output& output) {
  if (*schema_) {
    if (!out_.empty() && !output.OpenFile(out_)) return kCannotWrite;
    output.Write(SiteDatabaseSchema());
    return kDone;
  }
  if (*migrate_) {
    const CSS_MigrateResult result = MigrateSiteDatabase(in_);
    if (!result.errors.empty()) {
      Report(result.errors);
      return kBadInput;
    }
    std::fprintf(
        stderr, "ssmsg: migrate: %s: %s\n", in_.c_str(),
        result.from == result.to
            ? ("already at schema version " + std::to_string(result.to)).c_str()
            : ("schema version " + std::to_string(result.from) + " to " + std::to_string(result.to))
                  .c_str());
    return kDone;
  }
  const bool toDatabase = to_.empty() ? IsDatabaseName(out_) : to_ == "sqlite";
  const std::optional<CSS_Site> site = Load(in_, jobs_);
  if (!site) return kBadInput;
  if (toDatabase) {
    const std::vector<std::string> errors = WriteSiteDatabase(*site, out_);
    Report(errors);
    return errors.empty() ? kDone : kCannotWrite;
  }
  if (!output.OpenFile(out_)) return kCannotWrite;
  output.Write(site->ToJson());
  return kDone;
}

int ImportToDatabase(const std::vector<std::string>& files, const std::string& enumsFrom,
                     unsigned jobs, const std::string& file) {
  std::optional<CSS_Site> names;
  if (!enumsFrom.empty()) {
    names = Load(enumsFrom, 1);
    if (!names) return kBadInput;
  }
  std::string text;
  if (!ImportMessages(files, names ? &*names : nullptr, true, jobs,
                      [&text](std::string_view piece) {
                        text.append(piece);
                        return true;
                      })) {
    return kBadInput;
  }
  CSS_SiteLoadResult site = LoadSiteText(text, file, jobs);
  Report(site.errors);
  if (!site.site) return kBadInput;
  const std::vector<std::string> errors = WriteSiteDatabase(*site.site, file);
  Report(errors);
  return errors.empty() ? kDone : kCannotWrite;
}

}  // namespace ssmsg::tool
