#pragma once

// Writing the rows of a site database: one controller's records at a time, through statements
// prepared once for every table.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sqlite3.h>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>

#include "host/CSS_FieldTable.h"
#include "site/SiteData.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"

namespace ssmsg::db {

// Binds the parameters of one row in order and inserts it.
class Insert {
 public:
  Insert(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
  Insert& Integer(std::int64_t value) {
    sqlite3_bind_int64(statement_, next_++, value);
    return *this;
  }
  Insert& Null() {
    sqlite3_bind_null(statement_, next_++);
    return *this;
  }
  Insert& Text(const std::string& text) {
    sqlite3_bind_text64(statement_, next_++, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    return *this;
  }
  template <std::size_t N>
  Insert& Fields(const std::array<CSS_FieldInfo, N>& infos, const void* record) {
    for (const CSS_FieldInfo& info : infos) {
      if (info.kind == CSS_FieldKind::Text) {
        Text(info.text(record));
      } else {
        Integer(info.get(record));
      }
    }
    return *this;
  }
  void Run() {
    Step(db_, statement_);
    sqlite3_reset(statement_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_;
  int next_ = 1;
};

// Inserts the rows of controllers and of enumeration texts into the tables of `db`, which the
// caller has made and holds a transaction on.
class DatabaseWriter {
 public:
  explicit DatabaseWriter(sqlite3* db);

  // The enumeration texts that replace the built-in ones.
  void EnumTexts(const std::vector<CSS_SiteEnumText>& texts);
  // The rows of the controller at `address`, the `position`-th of the site, with the records
  // of `store`.
  void Controller(std::int64_t position, const CSS_ControllerAddress& address,
                  const CSApplicationManagerStd& store);

 private:
  Insert NewRow(TableId id, std::int64_t number);
  template <class Records>
  void WriteRecords(TableId id, const Records& records);
  void TimeGroups(const CSDevice_TimeGroupZone& groups);

  sqlite3* db_;
  std::array<Statement, kTableCount> insert_;
  CSS_ControllerAddress address_;
};

}  // namespace ssmsg::db
