// MariaDB and MySQL servers through the client library (MariaDB Connector/C). Rows are read as
// the server sends them (mysql_use_result): a large result is never held whole in the client.
#include <mysql.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/db_error.h"
#include "db/engines.h"
#include "db/result/date_text.h"
#include "util/error.h"
#include "util/text.h"

namespace panorello {

namespace {

constexpr unsigned int kBinaryCharset = 63;

enum class MariaKind { Integer, Decimal, Double, Single, Text, Binary, DateTime, Bit };

MariaKind KindOf(const MYSQL_FIELD& f) {
  switch (f.type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_YEAR:
      return MariaKind::Integer;
    case MYSQL_TYPE_LONGLONG:
      return (f.flags & UNSIGNED_FLAG) != 0 ? MariaKind::Decimal : MariaKind::Integer;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return MariaKind::Decimal;
    case MYSQL_TYPE_DOUBLE:
      return MariaKind::Double;
    case MYSQL_TYPE_FLOAT:
      return MariaKind::Single;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
      return MariaKind::DateTime;
    case MYSQL_TYPE_BIT:
      return f.length == 1 ? MariaKind::Bit : MariaKind::Binary;
    case MYSQL_TYPE_GEOMETRY:
      return MariaKind::Binary;
    default:
      return f.charsetnr == kBinaryCharset ? MariaKind::Binary : MariaKind::Text;
  }
}

// The cell of one value in the text protocol; a number the server wrote oddly stays a text.
CellView CellOf(MariaKind kind, const char* data, unsigned long length) {
  const std::string_view text(data, length);
  CellView cell;
  cell.type = CellType::Text;
  cell.text = text;
  switch (kind) {
    case MariaKind::Integer: {
      int64_t v = 0;
      if (std::from_chars(data, data + length, v).ec == std::errc{}) {
        cell.type = CellType::Integer;
        cell.integer = v;
      }
      return cell;
    }
    case MariaKind::Double:
    case MariaKind::Single: {
      double v = 0;
      if (kind == MariaKind::Single) {
        float f = 0;
        if (std::from_chars(data, data + length, f).ec != std::errc{}) return cell;
        v = f;
      } else if (std::from_chars(data, data + length, v).ec != std::errc{}) {
        return cell;
      }
      cell.type = kind == MariaKind::Single ? CellType::Single : CellType::Double;
      cell.real = v;
      return cell;
    }
    case MariaKind::Decimal:
      cell.type = CellType::Decimal;
      return cell;
    case MariaKind::Binary:
      cell.type = CellType::Binary;
      return cell;
    case MariaKind::DateTime:
      return DateTimeTextView(text);
    case MariaKind::Bit:
      cell.type = CellType::Boolean;
      cell.integer = length > 0 && data[length - 1] != 0 ? 1 : 0;
      return cell;
    case MariaKind::Text:
      return cell;
  }
  return cell;
}

struct ResultCloser {
  void operator()(MYSQL_RES* r) const { mysql_free_result(r); }
};
using Result = std::unique_ptr<MYSQL_RES, ResultCloser>;

struct ClientCloser {
  void operator()(MYSQL* m) const { mysql_close(m); }
};

class MariaDbConnection final : public Connection {
 public:
  MariaDbConnection(const MariaDbTarget& target, const ConnectionLimits& limits)
      : db_(Connect(target, limits)), target_(target), limits_(limits) {
    if (mysql_errno(db_.get()) != 0) Fail();
    thread_id_ = mysql_thread_id(db_.get());
    LimitStatementsOnTheServer();
  }

  bool QueryRows(const std::string& sql, RowSink& sink) override {
    Run(sql);
    Result result(mysql_use_result(db_.get()));
    if (!result) {
      if (mysql_errno(db_.get()) != 0) Fail();
      throw Error("L'istruzione SQL non restituisce un risultato (nessuna colonna)");
    }
    const unsigned int cols = mysql_num_fields(result.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    std::vector<std::string> names;
    std::vector<MariaKind> kinds;
    for (unsigned int c = 0; c < cols; ++c) {
      names.emplace_back(fields[c].name, fields[c].name_length);
      kinds.push_back(KindOf(fields[c]));
    }
    sink.Columns(names);
    std::vector<CellView> row(cols);
    bool any = false;
    while (MYSQL_ROW values = mysql_fetch_row(result.get())) {
      const unsigned long* lengths = mysql_fetch_lengths(result.get());
      for (unsigned int c = 0; c < cols; ++c) {
        row[c] = values[c] == nullptr ? CellView{} : CellOf(kinds[c], values[c], lengths[c]);
      }
      sink.Row(row.data(), row.size());
      any = true;
    }
    if (mysql_errno(db_.get()) != 0) Fail();
    return any;
  }

  void Execute(const std::string& sql) override {
    Run(sql);
    Result result(mysql_store_result(db_.get()));
    if (!result && mysql_errno(db_.get()) != 0) Fail();
  }

  // The client library has no cancel of its own: KILL QUERY on a second connection of the same
  // login ends the statement on the server, and the waiting call then fails.
  void Cancel() noexcept override {
    ConnectionLimits short_limits = limits_;
    short_limits.connect_seconds = std::min(limits_.connect_seconds, kKillConnectSeconds);
    short_limits.query_seconds = kKillConnectSeconds - 1;
    const std::unique_ptr<MYSQL, ClientCloser> killer = Connect(target_, short_limits);
    if (mysql_errno(killer.get()) != 0) return;
    const std::string kill = "KILL QUERY " + std::to_string(thread_id_);
    mysql_real_query(killer.get(), kill.data(), kill.size());
  }

 private:
  static constexpr int kKillConnectSeconds = 2;

  // A connected client, or one whose mysql_errno says why it is not.
  static std::unique_ptr<MYSQL, ClientCloser> Connect(const MariaDbTarget& target,
                                                      const ConnectionLimits& limits) {
    std::unique_ptr<MYSQL, ClientCloser> db(mysql_init(nullptr));
    if (!db) throw Error("Memoria insufficiente per la connessione MariaDB");
    const unsigned int connect = static_cast<unsigned int>(limits.connect_seconds);
    // A moment past the query limit: a caller that keeps the limit itself ends first.
    const unsigned int query = static_cast<unsigned int>(limits.query_seconds + 1);
    mysql_optionsv(db.get(), MYSQL_OPT_CONNECT_TIMEOUT, &connect);
    mysql_optionsv(db.get(), MYSQL_OPT_READ_TIMEOUT, &query);
    mysql_optionsv(db.get(), MYSQL_OPT_WRITE_TIMEOUT, &query);
    mysql_optionsv(db.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_real_connect(db.get(), target.host.c_str(), target.user.c_str(), target.password.c_str(),
                       target.database.c_str(), target.port, nullptr, 0);
    return db;
  }

  // The server ends a statement a moment after the query limit, so that a client that is gone
  // (killed, network lost) leaves nothing running: MariaDB's max_statement_time (seconds), MySQL's
  // max_execution_time (milliseconds, SELECT only). A server that refuses it keeps no limit.
  void LimitStatementsOnTheServer() {
    const int seconds = limits_.query_seconds + 1;
    const char* info = mysql_get_server_info(db_.get());
    const bool mariadb = info != nullptr && Contains(info, "MariaDB");
    const std::string set =
        mariadb ? "SET SESSION max_statement_time=" + std::to_string(seconds)
                : "SET SESSION max_execution_time=" + std::to_string(seconds * 1000);
    if (mysql_real_query(db_.get(), set.data(), set.size()) != 0) return;
    Result ignored(mysql_store_result(db_.get()));
  }

  void Run(const std::string& sql) {
    RefuseBlankStatement(sql);
    if (mysql_real_query(db_.get(), sql.data(), sql.size()) != 0) Fail();
  }

  [[noreturn]] void Fail() {
    DbDiagnostic diagnostic{mysql_sqlstate(db_.get()), static_cast<long>(mysql_errno(db_.get())),
                            ServerFamily::kMariaDb};
    throw DbError(std::string("[MariaDB]") + mysql_error(db_.get()), std::move(diagnostic));
  }

  std::unique_ptr<MYSQL, ClientCloser> db_;
  MariaDbTarget target_;  // for the second connection of Cancel()
  ConnectionLimits limits_;
  unsigned long thread_id_ = 0;
};

}  // namespace

std::unique_ptr<Connection> OpenMariaDb(const MariaDbTarget& target,
                                        const ConnectionLimits& limits) {
  return std::make_unique<MariaDbConnection>(target, limits);
}

}  // namespace panorello
