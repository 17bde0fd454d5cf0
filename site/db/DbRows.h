#pragma once

// One row of a site database's table as the reader sees it: each cell fetched once and checked
// against its column's type and range, and every error naming the file, the table, the row and the
// column. The cells come from SQLite, or from a PostgreSQL server's result.

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <ssmsg/Json.h>
#include <ssmsg/Site.h>

#include "core/ErrorCap.h"
#include "host/CSS_FieldTable.h"
#include "json/Utf8.h"
#include "site/db/Tables.h"

namespace ssmsg::db {

// What reading a database finds: every row is checked as it is read.
struct Check {
  std::string fileName;
  std::vector<std::string> errors;
  std::size_t beyond = 0;                        // errors found beyond those listed
  std::array<std::int64_t, kTableCount> rows{};  // rows read, table by table

  bool Full() const { return beyond > 0; }
  void Error(const std::string& where, const std::string& what) {
    if (errors.size() >= kMaxErrors) {
      ++beyond;  // not even made: a database of mistakes costs no more than kMaxErrors of them
      return;
    }
    errors.push_back(fileName + ": " + where + (where.empty() ? "" : ": ") + what);
  }
};

inline std::string ValueText(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      return "NULL";
    case SQLITE_FLOAT:
      return std::to_string(sqlite3_column_double(statement, column));
    case SQLITE_BLOB:
      return "a blob";
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_column_int64(statement, column));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      std::string quoted;
      AppendJsonString(
          quoted,
          std::string_view(text != nullptr ? text : "",
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
      return quoted;
    }
  }
}

// One row being read, and how to name it in an error.
// "inputs[interface 1, node 2, number 3]", with ".Debounce" for a column: a row of `table` in
// an error.
inline std::string RowName(TableId table, const CSS_ControllerAddress& address, std::int64_t group,
                           std::int64_t number, std::string_view column = {}) {
  std::string where = std::string(Tables()[table].name) + "[interface " +
                      std::to_string(address.interfaceId) + ", node " +
                      std::to_string(address.node);
  if (group != 0) where += ", time group " + std::to_string(group);
  if (number != 0) where += ", number " + std::to_string(number);
  where += "]";
  if (!column.empty()) where.append(".").append(column);
  return where;
}

// The cells of the row that an SQLite statement is on.
struct SqliteCells {
  sqlite3_stmt* statement;

  // Most of a site is integers: each cell is fetched once, as a value whose type and number are
  // read without the column calls' checks (the connection is used by one thread at a time).
  [[gnu::always_inline]] bool Integer(int column, std::int64_t& value) const {
    sqlite3_value* cell = sqlite3_column_value(statement, column);
    if (sqlite3_value_type(cell) != SQLITE_INTEGER) [[unlikely]]
      return false;
    value = sqlite3_value_int64(cell);
    return true;
  }
  bool IsNull(int column) const {
    return sqlite3_value_type(sqlite3_column_value(statement, column)) == SQLITE_NULL;
  }
  // The text in the column; false when it holds something else.
  bool Text(int column, std::string_view& text) const {
    sqlite3_value* cell = sqlite3_column_value(statement, column);
    if (sqlite3_value_type(cell) != SQLITE_TEXT) return false;
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(cell));
    text = {bytes != nullptr ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(cell))};
    return true;
  }
  // The value in the column, for an error: "NULL", "12", "\"text\"", "a blob".
  std::string Describe(int column) const { return ValueText(statement, column); }
};

// One row being read from cells of `Cells` (SqliteCells, or those of a server's result), and
// how to name it in an error.
template <class Cells>
struct BasicRow {
  Cells cells;
  Check& check;
  TableId table;
  CSS_ControllerAddress address;
  std::int64_t group = 0;   // Keys::Zone
  std::int64_t number = 0;  // Keys::Position and Keys::Zone; 0 while unknown

  std::string Where(std::string_view column = {}) const {
    return RowName(table, address, group, number, column);
  }

  // The check is small enough to be inlined into the loops over columns; the error is not.
  [[gnu::always_inline]] bool Integer(int column, std::string_view name, std::int64_t min,
                                      std::int64_t max, std::int64_t& value) const {
    if (cells.Integer(column, value)) [[likely]] {
      if (value >= min && value <= max) [[likely]]
        return true;
    }
    BadInteger(column, name, min, max);
    return false;
  }

  [[gnu::cold, gnu::noinline]] void BadInteger(int column, std::string_view name, std::int64_t min,
                                               std::int64_t max) const {
    std::int64_t value = 0;
    if (!cells.Integer(column, value)) {
      check.Error(Where(name), cells.Describe(column) + " is not an integer");
      return;
    }
    check.Error(Where(name), std::to_string(value) + " is outside " + std::to_string(min) + ".." +
                                 std::to_string(max));
  }

  // A column that may be NULL (not given): false for NULL or a bad value.
  bool Nullable(int column, std::string_view name, std::int64_t min, std::int64_t max,
                std::int64_t& value) const {
    if (cells.IsNull(column)) return false;
    return Integer(column, name, min, max, value);
  }

  bool Text(int column, std::string_view name, std::string& value) const {
    std::string_view view;
    if (!cells.Text(column, view)) {
      check.Error(Where(name), cells.Describe(column) + " is not a text");
      return false;
    }
    if (!IsUtf8(view)) {
      check.Error(Where(name), "the text is not valid UTF-8");
      return false;
    }
    if (const std::optional<char32_t> control = utf8::FirstControl(view)) {
      check.Error(Where(name), utf8::ControlProblem(*control));
      return false;
    }
    value.assign(view);
    return true;
  }
};

using Row = BasicRow<SqliteCells>;

// Reads the columns of the fields of `table` from `column` on into `record`; the next column.
// Each field is read with its own type and range, known when this is compiled.
template <class RowOf, class FieldTable, class Record>
int ReadFields(const RowOf& row, int column, const FieldTable& table, Record& record) {
  table.ForEach([&](const auto& field) {
    using Field = std::remove_cvref_t<decltype(field)>;
    if constexpr (Field::kKind == CSS_FieldKind::Text) {
      row.Text(column++, field.name, Field::Of(record));
    } else {
      std::int64_t value = 0;
      if (row.Integer(column++, field.name, Field::Min(), Field::Max(), value)) {
        Field::Of(record) = static_cast<typename Field::Type>(value);
      }
    }
  });
  return column;
}

}  // namespace ssmsg::db
