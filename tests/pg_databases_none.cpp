// A build without PostgreSQL: its stores are never tested.

#include <string>

#include "server_support.h"

namespace ssmsg::test {

bool HavePostgres() {
  return false;
}

std::string NewPostgresDatabase() {
  return {};
}

void RunPostgresSql(const std::string&, const std::string&) {}

void EndPostgresConnections() {}

}  // namespace ssmsg::test
