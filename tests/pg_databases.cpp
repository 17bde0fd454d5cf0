// Databases of the tests' own on the PostgreSQL server that pg_virtualenv started: each made
// new, and all dropped when the tests end.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "server_support.h"
#include "site/pg/Location.h"
#include "site/pg/Postgres.h"

namespace ssmsg::test {
namespace {

class Databases : public testing::Environment {
 public:
  std::string Make() {
    const std::lock_guard lock(mutex_);
    const std::string name =
        "ssmsg_server_" + std::to_string(getpid()) + "_" + std::to_string(made_.size() + 1);
    const pg::Connection admin = pg::Connect("postgresql:///postgres");
    pg::Run(admin.get(), "DROP DATABASE IF EXISTS \"" + name + "\"");
    pg::Run(admin.get(), "CREATE DATABASE \"" + name + "\"");
    made_.push_back(name);
    return name;
  }
  void EndConnections() {
    const std::lock_guard lock(mutex_);
    const pg::Connection admin = pg::Connect("postgresql:///postgres");
    for (const std::string& name : made_) {
      pg::Run(admin.get(),
              "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = $1", {name});
    }
  }
  void TearDown() override {
    const pg::Connection admin = pg::Connect("postgresql:///postgres");
    for (const std::string& name : made_)
      pg::Run(admin.get(), "DROP DATABASE IF EXISTS \"" + name + "\" WITH (FORCE)");
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> made_;
};

Databases* TheDatabases() {
  // gtest owns it once added.
  static Databases* const databases =
      static_cast<Databases*>(testing::AddGlobalTestEnvironment(new Databases));
  return databases;
}

}  // namespace

bool HavePostgres() {
  return std::getenv("PGHOST") != nullptr;
}

std::string NewPostgresDatabase() {
  return TheDatabases()->Make();
}

void RunPostgresSql(const std::string& location, const std::string& sql) {
  const auto parsed = pg::ParseLocation(location);
  ASSERT_TRUE(parsed) << parsed.error();
  const pg::Connection connection = pg::Connect(parsed->conninfo);
  pg::Run(connection.get(), sql);
}

void EndPostgresConnections() {
  TheDatabases()->EndConnections();
}

}  // namespace ssmsg::test
