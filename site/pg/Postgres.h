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

namespace ssmsg::pg {

struct PgError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// No connection was made: "cannot connect: " and libpq's reason.
struct CannotConnect : PgError {
  using PgError::PgError;
};

struct ConnectionClose {
  void operator()(PGconn* connection) const { PQfinish(connection); }
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
// result. A failure is a PgError.
PgResult Run(PGconn* connection, const std::string& sql,
             std::initializer_list<std::optional<std::string_view>> params = {});

// The same with the rows in binary format: integers in network byte order, texts as they are.
PgResult RunBinary(PGconn* connection, const std::string& sql,
                   std::initializer_list<std::optional<std::string_view>> params = {});

// The first column of the first row of `result` as an integer; none for no row or NULL.
std::optional<std::int64_t> FirstInteger(const PGresult* result);

// Sends `rows`, in COPY's text format, to "COPY table (columns) FROM STDIN" (`sql`).
void CopyIn(PGconn* connection, const std::string& sql, std::string_view rows);

// Appends `text` to `rows` escaped as COPY's text format wants a value.
void AppendCopyText(std::string& rows, std::string_view text);

}  // namespace ssmsg::pg
