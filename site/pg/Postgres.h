#pragma once

// PostgreSQL through libpq, as site stores use it: connections and results that free themselves,
// values that reach SQL only as bound parameters, bulk rows through COPY, and every failure of
// libpq or of the server as a PgError that carries libpq's own words.

#include <libpq-fe.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg::pg {

struct PgError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// No connection was made: "cannot connect: " and libpq's reason.
struct CannotConnect : PgError {
  using PgError::PgError;
};

// Closes `connection`, and forgets the statements prepared on it.
void Close(PGconn* connection);

struct ConnectionClose {
  void operator()(PGconn* connection) const { Close(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionClose>;

struct ResultClear {
  void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultClear>;

// How long a connection may take to be made when neither the URI nor PGCONNECT_TIMEOUT says.
constexpr int kConnectSeconds = 10;

// Connects by `conninfo` (a URI or key=value pairs, with the PG* variables for what it leaves
// out), speaking UTF-8; a refusal is CannotConnect.
Connection Connect(const std::string& conninfo);

// Runs `sql` with `params` bound to $1, $2, ... (NULL for none): its rows, or its command's
// result. A failure is a PgError. The statement is prepared on the connection the first time it
// runs there, so that the server parses and plans it once, not at every run.
PgResult Run(PGconn* connection, const std::string& sql,
             std::initializer_list<std::optional<std::string_view>> params = {});

// The same with the rows in binary format: integers in network byte order, texts as they are.
PgResult RunBinary(PGconn* connection, const std::string& sql,
                   std::initializer_list<std::optional<std::string_view>> params = {});

// The first column of the first row of `result` as an integer; none for no row or NULL.
std::optional<std::int64_t> FirstInteger(const PGresult* result);

// The text of a one-dimensional array, to be bound as one parameter (or read by a query with
// current_setting) and cast to the array type the statement wants: each item quoted, so that any
// text is one element.
class ArrayText {
 public:
  ArrayText& Add(std::string_view item);
  std::string Text() const { return text_.empty() ? "{}" : text_ + '}'; }

 private:
  std::string text_;
};

// Rows as texts, as the server gives them in text format (a result, or COPY's rows), with the
// server's type of each column. The texts of every cell sit in one buffer: a window of a site's
// rows costs two allocations, not one or more a row.
class TextRows {
 public:
  // The rows of `result`, which is in text format.
  explicit TextRows(const PGresult* result);
  // No rows yet, of columns of the types `types`.
  explicit TextRows(std::vector<Oid> types);

  // Adds one row of COPY's text format, `line` (without its line break); a PgError when it does
  // not have a cell for each column.
  void AddCopyRow(std::string_view line);

  int Count() const { return count_; }
  Oid Type(int column) const { return types_[static_cast<std::size_t>(column)]; }
  bool IsNull(int row, int column) const { return At(row, column).size < 0; }
  std::string_view Value(int row, int column) const {
    const Cell cell = At(row, column);
    return cell.size < 0
               ? std::string_view()
               : std::string_view(bytes_).substr(cell.offset, static_cast<std::size_t>(cell.size));
  }

 private:
  struct Cell {
    std::uint32_t offset;
    std::int32_t size;  // -1: NULL
  };
  Cell At(int row, int column) const {
    return cells_[static_cast<std::size_t>(row) * types_.size() + static_cast<std::size_t>(column)];
  }
  void Add(std::string_view text);

  std::vector<Oid> types_;
  std::string bytes_;
  std::vector<Cell> cells_;
  int count_ = 0;
};

// Runs "COPY (query) TO STDOUT" (`sql`, which binds no parameters: a query reads them with
// current_setting), adding its rows to `rows`.
void CopyOut(PGconn* connection, const std::string& sql, TextRows& rows);

// Sends `rows`, in COPY's text format, to "COPY table (columns) FROM STDIN" (`sql`).
void CopyIn(PGconn* connection, const std::string& sql, std::string_view rows);

// Appends `text` to `rows` escaped as COPY's text format wants a value.
void AppendCopyText(std::string& rows, std::string_view text);

}  // namespace ssmsg::pg
