#include "site/pg/Postgres.h"

#include <charconv>
#include <cstdlib>
#include <vector>

namespace ssmsg::pg {
namespace {

// libpq's messages end with a line break, and may span lines, the later ones indented: one line
// for an error, its lines joined with "; ".
std::string OneLine(const char* message) {
  const std::string_view text = message != nullptr ? message : "";
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') {
      line += text[i];
      continue;
    }
    while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t'))
      ++i;
    if (i + 1 < text.size()) line += "; ";
  }
  return line.empty() ? "the server gave no reason" : line;
}

[[noreturn]] void Fail(PGconn* connection) {
  throw PgError(OneLine(PQerrorMessage(connection)));
}

constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

}  // namespace

Connection Connect(const std::string& conninfo) {
  const std::string timeout = std::to_string(kConnectSeconds);
  // Keywords before "dbname" give way to what the URI says, those after it do not.
  std::vector<const char*> keywords;
  std::vector<const char*> values;
  if (std::getenv("PGCONNECT_TIMEOUT") == nullptr) {
    keywords.push_back("connect_timeout");
    values.push_back(timeout.c_str());
  }
  keywords.insert(keywords.end(), {"application_name", "dbname", "client_encoding", nullptr});
  values.insert(values.end(), {"ssmsg", conninfo.c_str(), "UTF8", nullptr});
  Connection connection(PQconnectdbParams(keywords.data(), values.data(), 1));
  if (!connection) throw CannotConnect("cannot connect: out of memory");
  if (PQstatus(connection.get()) != CONNECTION_OK) {
    throw CannotConnect("cannot connect: " + OneLine(PQerrorMessage(connection.get())));
  }
  return connection;
}

namespace {

PgResult Execute(PGconn* connection, const std::string& sql,
                 std::initializer_list<std::optional<std::string_view>> params, int format) {
  std::vector<std::string> texts;  // each NUL-terminated, as libpq wants
  texts.reserve(params.size());
  std::vector<const char*> values;
  for (const std::optional<std::string_view>& param : params) {
    if (!param) {
      values.push_back(nullptr);
      continue;
    }
    texts.emplace_back(*param);
    values.push_back(texts.back().c_str());
  }
  PgResult result(PQexecParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, format));
  if (!result) Fail(connection);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    throw PgError(OneLine(PQresultErrorMessage(result.get())));
  }
  return result;
}

}  // namespace

PgResult Run(PGconn* connection, const std::string& sql,
             std::initializer_list<std::optional<std::string_view>> params) {
  return Execute(connection, sql, params, 0);
}

PgResult RunBinary(PGconn* connection, const std::string& sql,
                   std::initializer_list<std::optional<std::string_view>> params) {
  return Execute(connection, sql, params, 1);
}

std::optional<std::int64_t> FirstInteger(const PGresult* result) {
  if (PQntuples(result) == 0 || PQgetisnull(result, 0, 0)) return std::nullopt;
  const char* text = PQgetvalue(result, 0, 0);
  const std::string_view view(text, static_cast<std::size_t>(PQgetlength(result, 0, 0)));
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (error != std::errc() || end != view.data() + view.size()) {
    throw PgError("the server gave \"" + std::string(view) + "\" for an integer");
  }
  return value;
}

void CopyIn(PGconn* connection, const std::string& sql, std::string_view rows) {
  {
    const PgResult start(PQexec(connection, sql.c_str()));
    if (!start) Fail(connection);
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
      throw PgError(OneLine(PQresultErrorMessage(start.get())));
    }
  }
  bool sent = true;
  while (!rows.empty() && sent) {
    const std::string_view chunk = rows.substr(0, kCopyChunk);
    sent = PQputCopyData(connection, chunk.data(), static_cast<int>(chunk.size())) == 1;
    rows.remove_prefix(chunk.size());
  }
  // Ending it with an error message makes the server refuse the whole COPY.
  if (PQputCopyEnd(connection, sent ? nullptr : "the rows could not be sent") != 1) {
    Fail(connection);
  }
  std::string failure;
  while (PGresult* raw = PQgetResult(connection)) {
    const PgResult result(raw);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK && failure.empty()) {
      failure = OneLine(PQresultErrorMessage(result.get()));
    }
  }
  if (!failure.empty()) throw PgError(failure);
  if (!sent) Fail(connection);
}

void AppendCopyText(std::string& rows, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\':
        rows += "\\\\";
        break;
      case '\t':
        rows += "\\t";
        break;
      case '\n':
        rows += "\\n";
        break;
      case '\r':
        rows += "\\r";
        break;
      default:
        rows += c;
    }
  }
}

}  // namespace ssmsg::pg
