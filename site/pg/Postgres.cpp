#include "site/pg/Postgres.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
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

// The statements prepared on each open connection, by their texts. The texts are the program's
// own and few (values are bound, never written into them); past kMostPrepared on a connection,
// statements run unprepared.
class PreparedStatements {
 public:
  static constexpr std::size_t kMostPrepared = 512;

  // The name under which `sql` is prepared on `connection`, which it prepares the first time;
  // empty when no more are kept. A statement the server refuses is a PgError.
  std::string NameOf(PGconn* connection, const std::string& sql, int params) {
    Statements* statements = nullptr;
    {
      const std::lock_guard lock(mutex_);
      std::unique_ptr<Statements>& made = connections_[connection];
      if (!made) made = std::make_unique<Statements>();
      statements = made.get();
    }
    // Only the thread that uses the connection reaches its statements.
    if (const auto found = statements->find(sql); found != statements->end()) return found->second;
    if (statements->size() >= kMostPrepared) return {};
    std::string name = "ssmsg_" + std::to_string(statements->size() + 1);
    const PgResult made(PQprepare(connection, name.c_str(), sql.c_str(), params, nullptr));
    if (!made) Fail(connection);
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
      throw PgError(OneLine(PQresultErrorMessage(made.get())));
    }
    statements->emplace(sql, name);
    return name;
  }
  void Forget(PGconn* connection) {
    const std::lock_guard lock(mutex_);
    connections_.erase(connection);
  }

 private:
  using Statements = std::unordered_map<std::string, std::string>;
  std::mutex mutex_;
  std::unordered_map<PGconn*, std::unique_ptr<Statements>> connections_;
};

PreparedStatements& Prepared() {
  static PreparedStatements prepared;
  return prepared;
}

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
  const int count = static_cast<int>(values.size());
  const std::string name = Prepared().NameOf(connection, sql, count);
  PgResult result(name.empty() ? PQexecParams(connection, sql.c_str(), count, nullptr,
                                              values.data(), nullptr, nullptr, format)
                               : PQexecPrepared(connection, name.c_str(), count, values.data(),
                                                nullptr, nullptr, format));
  if (!result) Fail(connection);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    throw PgError(OneLine(PQresultErrorMessage(result.get())));
  }
  return result;
}

}  // namespace

void Close(PGconn* connection) {
  Prepared().Forget(connection);
  PQfinish(connection);
}

PgResult Run(PGconn* connection, const std::string& sql,
             std::initializer_list<std::optional<std::string_view>> params) {
  return Execute(connection, sql, params, 0);
}

PgResult RunBinary(PGconn* connection, const std::string& sql,
                   std::initializer_list<std::optional<std::string_view>> params) {
  return Execute(connection, sql, params, 1);
}

ArrayText& ArrayText::Add(std::string_view item) {
  text_ += text_.empty() ? "{\"" : ",\"";
  for (const char c : item) {
    if (c == '"' || c == '\\') text_ += '\\';
    text_ += c;
  }
  text_ += '"';
  return *this;
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

TextRows::TextRows(const PGresult* result) : count_(PQntuples(result)) {
  for (int column = 0; column < PQnfields(result); ++column)
    types_.push_back(PQftype(result, column));
  cells_.reserve(static_cast<std::size_t>(count_) * types_.size());
  for (int row = 0; row < count_; ++row) {
    for (int column = 0; column < static_cast<int>(types_.size()); ++column) {
      if (PQgetisnull(result, row, column)) {
        cells_.push_back({0, -1});
      } else {
        Add({PQgetvalue(result, row, column),
             static_cast<std::size_t>(PQgetlength(result, row, column))});
      }
    }
  }
}

TextRows::TextRows(std::vector<Oid> types) : types_(std::move(types)) {}

void TextRows::Add(std::string_view text) {
  if (bytes_.size() + text.size() >
      static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw PgError("the rows are too many to hold at once");
  }
  cells_.push_back(
      {static_cast<std::uint32_t>(bytes_.size()), static_cast<std::int32_t>(text.size())});
  bytes_ += text;
}

namespace {

// The byte that COPY's text format writes as a backslash and `c`, for a letter that stands for
// a control character; none for others.
std::optional<char> EscapedControl(char c) {
  switch (c) {
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    case 'v':
      return '\v';
    default:
      return std::nullopt;
  }
}

int Digit(char c, int base) {
  const int value = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : base;
  return value < base ? value : -1;
}

}  // namespace

void TextRows::AddCopyRow(std::string_view line) {
  std::size_t cells = 0;
  std::string text;
  for (std::size_t at = 0;; ++at) {
    const std::size_t end = std::min(line.find('\t', at), line.size());
    std::string_view field = line.substr(at, end - at);
    ++cells;
    if (field == "\\N") {
      cells_.push_back({0, -1});
    } else if (field.find('\\') == std::string_view::npos) {
      Add(field);
    } else {
      // A backslash begins an escape: a letter for a control character, up to three octal
      // digits, x and up to two hex digits, or the character itself.
      text.clear();
      for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
          text += field[i];
          continue;
        }
        const char c = field[++i];
        if (const std::optional<char> control = EscapedControl(c)) {
          text += *control;
        } else if (Digit(c, 8) >= 0 ||
                   (c == 'x' && i + 1 < field.size() && Digit(field[i + 1], 16) >= 0)) {
          const int base = c == 'x' ? 16 : 8;
          const std::size_t most = c == 'x' ? 2 : 3;
          if (c == 'x') ++i;
          int value = 0;
          for (std::size_t n = 0; n < most && i < field.size() && Digit(field[i], base) >= 0;
               ++n, ++i)
            value = value * base + Digit(field[i], base);
          --i;
          text += static_cast<char>(value);
        } else {
          text += c;
        }
      }
      Add(text);
    }
    if (end == line.size()) break;
    at = end;
  }
  if (cells != types_.size()) {
    cells_.resize(static_cast<std::size_t>(count_) * types_.size());
    throw PgError("COPY gave a row of " + std::to_string(cells) + " values, not " +
                  std::to_string(types_.size()));
  }
  ++count_;
}

void CopyOut(PGconn* connection, const std::string& sql, TextRows& rows) {
  {
    const PgResult start(PQexec(connection, sql.c_str()));
    if (!start) Fail(connection);
    if (PQresultStatus(start.get()) != PGRES_COPY_OUT) {
      throw PgError(OneLine(PQresultErrorMessage(start.get())));
    }
  }
  // Every row is taken, even after one that is refused, so that the connection is ready for the
  // next statement.
  std::string failure;
  int size = 0;
  char* raw = nullptr;
  while ((size = PQgetCopyData(connection, &raw, 0)) > 0) {
    const std::unique_ptr<char, decltype(&PQfreemem)> line(raw, &PQfreemem);
    if (!failure.empty()) continue;
    std::string_view text(raw, static_cast<std::size_t>(size));
    if (text.ends_with('\n')) text.remove_suffix(1);
    try {
      rows.AddCopyRow(text);
    } catch (const PgError& error) {
      failure = error.what();
    }
  }
  if (size == -2) Fail(connection);
  while (PGresult* next = PQgetResult(connection)) {
    const PgResult result(next);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK && failure.empty()) {
      failure = OneLine(PQresultErrorMessage(result.get()));
    }
  }
  if (!failure.empty()) throw PgError(failure);
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
