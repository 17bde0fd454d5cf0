#pragma once

// The subcommands of site databases: schema (the SQL of an empty one), convert (a site file to a
// database and back) and migrate (an older database brought up to date); and import's writing of
// a database.

#include <string>
#include <vector>

namespace ssmsg::tool {

// Whether an --output file `name` is to be a site database rather than a site file: its
// extension is .db, .sqlite or .sqlite3.
bool IsDatabaseName(const std::string& name);

// import --output DB: the site file that import writes, written as the database `file`. 0, or
// 2 after reporting why on standard error.
int ImportToDatabase(const std::vector<std::string>& files, const std::string& enumsFrom,
                     unsigned jobs, const std::string& file);

}  // namespace ssmsg::tool
