#pragma once

// One site of a PostgreSQL database, a controller at a time, for a program that keeps a
// connection open and reads and writes controllers as they are asked for (the site editor's
// server). Everything runs in the transaction that the connection is in; rows are checked as
// LoadSite checks them, and failures are PgErrors.

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>

#include "site/db/DbWriter.h"

namespace ssmsg::pg {

// The version of the tables of sites in the database, 0 for none. A PgError for a database with
// tables of the same names but none of ours (another program's), or of a version this ssmsg does
// not know.
int SchemaVersion(PGconn* connection);

// The id of the site named `name` (as text, as it is bound), none when the database has none.
std::optional<std::string> SiteId(PGconn* connection, const std::string& name);

class SiteRows {
 public:
  // The site whose id is `site`; errors name it `fileName` (its location without a password).
  SiteRows(PGconn* connection, std::string site, std::string fileName);

  struct Placed {
    std::int64_t position = 0;
    CSS_ControllerAddress address;
  };
  // The site's controllers, in its order.
  std::vector<Placed> Controllers() const;
  // The "Position" of the controller at `address`, none when there is none.
  std::optional<std::int64_t> PositionOf(CSS_ControllerAddress address) const;
  // The position after the site's last.
  std::int64_t NextPosition() const;
  // Replaces what `store` holds with the records of the controller at `position` and `address`:
  // the errors found, each naming its table and row; none when it was read.
  std::vector<std::string> Read(std::int64_t position, CSS_ControllerAddress address,
                                CSApplicationManagerStd& store) const;
  // Reads every controller of the site into `store`, in the site's order and a window of them at
  // a time, handing each to `each`: the errors of the first that has any (and none is handed on
  // from it), none when all were read.
  std::vector<std::string> ReadEach(
      CSApplicationManagerStd& store,
      const std::function<void(const Placed& placed, CSApplicationManagerStd& store)>& each) const;
  // The site's enumeration texts, or the errors in them.
  std::vector<std::string> EnumTexts(std::vector<CSS_SiteEnumText>& texts) const;
  // Removes the rows of `tables` (all: every row) of the controller at `address`.
  void Remove(CSS_ControllerAddress address,
              const db::TableSet& tables = db::TableSet().set()) const;
  // Writes the rows of `tables` of the controller at `address` with the records `records`, at
  // `position`; it has none there before (DatabaseWriter::Controller).
  void Write(std::int64_t position, CSS_ControllerAddress address,
             const CSApplicationManagerStd& records,
             const db::TableSet& tables = db::TableSet().set()) const;

 private:
  PGconn* connection_;
  std::string site_;
  std::string fileName_;
};

}  // namespace ssmsg::pg
