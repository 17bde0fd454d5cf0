#pragma once

// Reading one controller of a site database at a time, on a connection of the caller's, with the
// checks that loading a whole database makes: for a program that keeps the database open and
// reads controllers as they are asked for (the site editor's server).

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>

#include "site/SiteData.h"

namespace ssmsg::db {

class ControllerReader {
 public:
  // Prepares the reading of `db`, which stays the caller's and must outlive the reader; errors
  // name the database `fileName`. Throws DbError when `db` lacks a table of the site.
  ControllerReader(sqlite3* db, std::string fileName);
  ~ControllerReader();
  ControllerReader(const ControllerReader&) = delete;
  ControllerReader& operator=(const ControllerReader&) = delete;

  // Replaces what `store` holds with the records of the controller at `position` (its row of
  // controllers) and `address`, every value checked. The errors found, each naming the table and
  // row ("site.db: inputs[interface 1, node 2, number 3].Name: ..."); none when it was read.
  std::vector<std::string> Read(std::int64_t position, const CSS_ControllerAddress& address,
                                CSApplicationManagerStd& store);
  // The site's enumeration texts, or the errors in them.
  std::vector<std::string> EnumTexts(std::vector<CSS_SiteEnumText>& texts);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace ssmsg::db
