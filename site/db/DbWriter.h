#pragma once

// Writing the rows of a site database: one controller's records at a time, through statements
// prepared once for every table.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Site.h>

#include "host/CSS_FieldTable.h"
#include "site/SiteData.h"
#include "site/StoreImage.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"

namespace ssmsg::db {

// Tables by TableId.
using TableSet = std::bitset<kTableCount>;

// The tables that hold the parts `parts` of a store (by StorePart), and the controller's own row
// and its counts, which every write of a controller writes again.
TableSet TablesOfParts(const std::bitset<kStorePartCount>& parts);

// One value of a row to be inserted. A text is the caller's and must live until the row is in.
struct Cell {
  enum class Kind : std::uint8_t { Integer, Null, Text };
  Kind kind = Kind::Null;
  std::int64_t integer = 0;
  std::string_view text;
};

// The row of table enum_texts for `text`: "Enumeration", "Value", "Text".
inline std::array<Cell, 3> EnumTextCells(const CSS_SiteEnumText& text) {
  return {{{Cell::Kind::Text, 0, CSToolEnum::Name(text.id)},
           {Cell::Kind::Integer, text.value, {}},
           {Cell::Kind::Text, 0, text.text}}};
}

// Binds `cells` to the parameters of `statement` in order, steps it and resets it.
void InsertCells(sqlite3* db, sqlite3_stmt* statement, std::span<const Cell> cells);

// Adds the values of one row in column order.
class RowCells {
 public:
  explicit RowCells(std::vector<Cell>& cells) : cells_(cells) {}
  RowCells& Integer(std::int64_t value) {
    cells_.push_back({Cell::Kind::Integer, value, {}});
    return *this;
  }
  RowCells& Null() {
    cells_.push_back({Cell::Kind::Null, 0, {}});
    return *this;
  }
  RowCells& Text(std::string_view text) {
    cells_.push_back({Cell::Kind::Text, 0, text});
    return *this;
  }
  template <std::size_t N>
  RowCells& Fields(const std::array<CSS_FieldInfo, N>& infos, const void* record) {
    for (const CSS_FieldInfo& info : infos) {
      if (info.kind == CSS_FieldKind::Text) {
        Text(info.text(record));
      } else {
        Integer(info.get(record));
      }
    }
    return *this;
  }

 private:
  std::vector<Cell>& cells_;
};

// Where the rows that DatabaseWriter makes go.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // `rows` consecutive rows of table `id`, their cells row after row in column order, the keys
  // first (a controller's "Position" before them). The texts are the caller's, for the call.
  virtual void Rows(TableId id, std::span<const Cell> cells, std::size_t rows) = 0;
  // The enumeration texts that replace the built-in ones.
  virtual void EnumTexts(const std::vector<CSS_SiteEnumText>& texts) = 0;
};

// Inserts rows into the tables of an SQLite database `db`, which the caller has made and holds a
// transaction on. A statement per row cost more than the rows, so each inserts as many as it is
// given, up to kBatchRows; since the order is kept, the file is the same as with one statement
// per row.
class SqliteRows final : public RowSink {
 public:
  static constexpr std::size_t kBatchRows = 32;

  explicit SqliteRows(sqlite3* db) : db_(db) {}
  void Rows(TableId id, std::span<const Cell> cells, std::size_t rows) override;
  void EnumTexts(const std::vector<CSS_SiteEnumText>& texts) override;

 private:
  sqlite3* db_;
  // insert_[id][n - 1] inserts n rows into table id; prepared when first needed.
  std::array<std::array<Statement, kBatchRows>, kTableCount> insert_;
};

// Makes the rows of controllers and of enumeration texts, and hands them to a sink in the order
// they are made, consecutive rows of one table together, up to SqliteRows::kBatchRows at a time.
class DatabaseWriter {
 public:
  static constexpr std::size_t kBatchRows = SqliteRows::kBatchRows;

  // Rows for the SQLite database `db` (see SqliteRows).
  explicit DatabaseWriter(sqlite3* db);
  // Rows for `sink`, which must outlive the writer.
  explicit DatabaseWriter(RowSink& sink);

  // The enumeration texts that replace the built-in ones.
  void EnumTexts(const std::vector<CSS_SiteEnumText>& texts);
  // The rows of the controller at `address`, the `position`-th of the site, with the records
  // of `store`: its rows of `tables` (a controller being replaced keeps those of the others),
  // and always its rows of controllers and resources. Every row is in when it returns.
  void Controller(std::int64_t position, const CSS_ControllerAddress& address,
                  const CSApplicationManagerStd& store, const TableSet& tables = TableSet().set());

 private:
  // A new row of table `id`, for its values in column order.
  RowCells Row(TableId id);
  // A new row of table `id` at list position `number` of the controller being written.
  RowCells NewRow(TableId id, std::int64_t number);
  // Inserts the rows that wait.
  void Flush();
  template <class Records>
  void WriteRecords(TableId id, const Records& records);
  void TimeGroups(const CSDevice_TimeGroupZone& groups);

  std::unique_ptr<SqliteRows> own_;  // the sink made for a database
  RowSink& sink_;
  std::vector<Cell> cells_;  // of the rows that wait, row after row
  TableId waiting_ = kControllers;
  std::size_t rows_ = 0;  // that wait
  CSS_ControllerAddress address_;
  TableSet writing_;
};

// Hands `writer` the enumeration texts and every controller of `site`, in the site's order, the
// controllers' records read on `jobs` threads while the calling thread writes. Given `image`, each
// controller's image (EncodeStore) is made on those threads too and handed to it, with the
// controller's address, after its rows.
using ImageTaker = std::function<void(const CSS_ControllerAddress& address, std::string& image)>;
void WriteSiteRows(DatabaseWriter& writer, const CSS_Site& site, unsigned jobs,
                   const ImageTaker& image = {});

}  // namespace ssmsg::db
