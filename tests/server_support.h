#pragma once

// What the server's tests share: a folder of a test's own, site databases made in it, and a
// store over one.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <ssmsg/SiteDatabase.h>

#include "server/DatabaseStore.h"
#include "server/OpenStore.h"
#include "support.h"

namespace ssmsg::test {

using server::DatabaseStore;
using server::Store;

// A new folder under the test's temporary folder, removed with all in it when this goes.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::path(testing::TempDir()) / "ssmsg-server.XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make " << pattern;
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes the site file `siteText` as the site database `file`.
inline void MakeDatabase(std::string_view siteText, const std::filesystem::path& file) {
  const CSS_SiteLoadResult loaded = LoadSiteText(siteText, "site.json");
  ASSERT_TRUE(loaded.site) << loaded.errors[0];
  const CSS_DatabaseWriteResult written = WriteSiteDatabase(*loaded.site, file);
  ASSERT_TRUE(written.errors.empty()) << written.errors[0];
}

inline std::unique_ptr<DatabaseStore> OpenDatabase(
    const std::filesystem::path& file, std::size_t cacheBytes = DatabaseStore::kCacheBytes) {
  DatabaseStore::Opened opened = DatabaseStore::Open(file.string(), cacheBytes);
  if (!opened) {
    ADD_FAILURE() << opened.error();
    return nullptr;
  }
  return std::move(*opened);
}

// A site of the controllers 1/1 to 1/`count`, each named "n0" for changes to count up: n1, n2...
inline std::string CounterSite(int count) {
  std::string text = "{\"Controllers\":[";
  for (int node = 1; node <= count; ++node)
    text += std::string(node > 1 ? "," : "") + "{\"Interface\":1,\"Node\":" + std::to_string(node) +
            ",\"Name\":\"n0\"}";
  return text + "]}";
}

// A database; a database that keeps the JSON of one controller only, so that every other is read
// again from its rows; a site of a PostgreSQL database.
enum class StoreKind { Database, DatabaseUncached, Postgres };

inline std::string KindName(const testing::TestParamInfo<StoreKind>& kind) {
  constexpr const char* kNames[] = {"Database", "DatabaseUncached", "Postgres"};
  return kNames[static_cast<int>(kind.param)];
}

// Whether the tests run beside a PostgreSQL server (under pg_virtualenv); a new database of
// their own on it, dropped when they end (pg_databases.cpp).
bool HavePostgres();
std::string NewPostgresDatabase();
// Runs `sql` in the database of the site at `location`.
void RunPostgresSql(const std::string& location, const std::string& sql);
// Ends every connection to the databases made so far, as a server's restart would.
void EndPostgresConnections();

// Every kind of store that can be tested here: PostgreSQL's only beside a server.
inline std::vector<StoreKind> StoreKinds() {
  std::vector<StoreKind> kinds = {StoreKind::Database, StoreKind::DatabaseUncached};
  if (HavePostgres()) kinds.push_back(StoreKind::Postgres);
  return kinds;
}

// A store of `kind` over a site made from the site file `siteText`: a site database in `folder`,
// or the site "test" of a new PostgreSQL database.
inline std::unique_ptr<Store> MakeStore(StoreKind kind, std::string_view siteText,
                                        const TempFolder& folder) {
  if (kind == StoreKind::Postgres) {
    const std::string location = "postgresql:///" + NewPostgresDatabase() + "?site=test";
    const CSS_SiteLoadResult loaded = LoadSiteText(siteText, "site.json");
    EXPECT_TRUE(loaded.site) << loaded.errors[0];
    if (!loaded.site) return nullptr;
    const CSS_DatabaseWriteResult written = WriteSiteDatabase(*loaded.site, location);
    EXPECT_TRUE(written.errors.empty()) << written.errors[0];
    auto opened = server::OpenStore(location);
    EXPECT_TRUE(opened) << opened.error();
    return opened ? std::move(*opened) : nullptr;
  }
  MakeDatabase(siteText, folder / "site.db");
  return OpenDatabase(folder / "site.db",
                      kind == StoreKind::DatabaseUncached ? 0 : DatabaseStore::kCacheBytes);
}

}  // namespace ssmsg::test
