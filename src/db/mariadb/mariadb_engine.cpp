// MariaDB and MySQL servers through the client library (MariaDB Connector/C). Rows are read as
// the server sends them (mysql_use_result): a large result is never held whole in the client.
#include <mysql.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
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

// Whether a statement that returned rows may have changed its session: an assignment to a user
// variable, a named lock, the last insert id, a sequence.
bool MayChangeSession(std::string_view sql) {
  const std::string upper = UpperCase(std::string(sql));
  for (const char* part : {":=", "GET_LOCK", "LAST_INSERT_ID", "NEXTVAL", "NEXT VALUE", "SETVAL"}) {
    if (Contains(upper, part)) return true;
  }
  return false;
}

// Whether a statement names a user variable ("@name", not a system variable's "@@name").
bool ReadsUserVariables(std::string_view sql) {
  for (size_t at = sql.find('@'); at != std::string_view::npos; at = sql.find('@', at + 2)) {
    if (at + 1 < sql.size() && sql[at + 1] == '@') continue;
    return true;
  }
  return false;
}

// The session's time zone: the zone's name where the server knows it (its time zone tables are
// loaded), else the offset of now.
std::string TimeZoneExpression(const LocalZone& zone) {
  const std::string offset = "'" + OffsetText(zone.offset_seconds) + "'";
  if (zone.name.empty()) return offset;
  const std::string name = "'" + zone.name + "'";  // letters, digits and "/_-+" only
  return "IF(CONVERT_TZ('2000-01-01 00:00:00','+00:00'," + name + ") IS NULL," + offset + "," +
         name + ")";
}

class MariaDbConnection final : public Connection {
 public:
  MariaDbConnection(const MariaDbTarget& target, const ConnectionLimits& limits,
                    const LocalZone& zone)
      : db_(Connect(target, limits)), target_(target), limits_(limits), zone_(zone) {
    if (mysql_errno(db_.get()) != 0) Fail();
    thread_id_ = mysql_thread_id(db_.get());
    const char* info = mysql_get_server_info(db_.get());
    mariadb_ = info != nullptr && Contains(info, "MariaDB");
    // The session reset: MariaDB 10.2.4 and MySQL 5.7.3 on.
    resettable_ = mysql_get_server_version(db_.get()) >= (mariadb_ ? 100204UL : 50703UL);
    ApplySessionSettings();
  }

  bool QueryRows(const std::string& sql, RowSink& sink) override {
    RefuseBlankStatement(sql);
    // A statement that reads user variables gets a new session even when no change was seen: a
    // stored function may have set one inside the rows of a block before.
    if (std::exchange(reset_pending_, false) && (changed_ || ReadsUserVariables(sql))) {
      ResetSession();
    }
    const bool changed_before = std::exchange(changed_, true);  // until known to be unchanged
    in_statement_ = true;
    Run(sql);
    Result result(mysql_use_result(db_.get()));
    if (!result) {
      if (mysql_errno(db_.get()) != 0) Fail();
      EndStatement();
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
    result.reset();
    // What a statement with rows changed is seen in the server's status flags and in its text.
    const bool more = EndStatement();
    changed_ = changed_before || more || SessionChanged() || MayChangeSession(sql);
    return any;
  }

  void StartNewSession() noexcept override { reset_pending_ = true; }

  bool Reusable() noexcept override {
    if (broken_ || cancelled_ || in_statement_ || (changed_ && !resettable_)) return false;
    // Between statements the server has nothing to say, unless it is closing the connection.
    pollfd fd{static_cast<int>(mysql_get_socket(db_.get())), POLLIN, 0};
    return poll(&fd, 1, 0) == 0;
  }

  void Execute(const std::string& sql) override {
    RefuseBlankStatement(sql);
    changed_ = true;
    Run(sql);
    Result result(mysql_store_result(db_.get()));
    if (!result && mysql_errno(db_.get()) != 0) Fail();
  }

  // The client library has no cancel of its own: KILL QUERY on a second connection of the same
  // login ends the statement on the server, and the waiting call then fails.
  void Cancel() noexcept override {
    cancelled_ = true;
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

  // One statement after login (the protocol carries no settings in its handshake):
  // - the server ends a statement a moment after the query limit, so that a client that is gone
  //   (killed, network lost) leaves nothing running: MariaDB's max_statement_time (seconds),
  //   MySQL's max_execution_time (milliseconds, SELECT only);
  // - the local time zone, for TIMESTAMP values.
  // A server that refuses them together gets them one by one and keeps those it takes.
  void ApplySessionSettings() {
    const int seconds = limits_.query_seconds + 1;
    std::vector<std::string> settings = {mariadb_ ? "max_statement_time=" + std::to_string(seconds)
                                                  : "max_execution_time=" +
                                                        std::to_string(seconds * 1000)};
    if (zone_.known) settings.push_back("time_zone=" + TimeZoneExpression(zone_));
    std::string all;
    for (const std::string& setting : settings) all += (all.empty() ? "" : ",") + setting;
    if (Set(all)) return;
    for (const std::string& setting : settings) Set(setting);
  }

  bool Set(const std::string& settings) {
    const std::string set = "SET SESSION " + settings;
    if (mysql_real_query(db_.get(), set.data(), set.size()) != 0) return false;
    Result ignored(mysql_store_result(db_.get()));
    return true;
  }

  // Whether a statement that returned rows left anything the server tells of behind: an open
  // transaction, autocommit turned off, a change it marked. (It marks the changes of statements
  // without rows only, and those count as changes anyway.)
  bool SessionChanged() {
    unsigned int status = 0;
    if (mariadb_get_infov(db_.get(), MARIADB_CONNECTION_SERVER_STATUS, &status) != 0) return true;
    return (status & SERVER_SESSION_STATE_CHANGED) != 0 || (status & SERVER_STATUS_IN_TRANS) != 0 ||
           (status & SERVER_STATUS_AUTOCOMMIT) == 0;
  }

  // Back to a new session: transaction rolled back, variables, temporary tables, prepared
  // statements and locks gone; then the program's own settings again, and the database of the
  // login when a block chose another (the reset keeps the current one).
  void ResetSession() {
    if (mysql_reset_connection(db_.get()) != 0) {
      broken_ = true;
      Fail();
    }
    ApplySessionSettings();
    if (std::exchange(schema_changed_, false) && !target_.database.empty() &&
        mysql_select_db(db_.get(), target_.database.c_str()) != 0) {
      broken_ = true;
      Fail();
    }
    changed_ = false;
  }

  // The rest of a statement's results (a stored procedure's) is read and dropped; true when
  // there was any. Whether it chose another database is noted for the reset.
  bool EndStatement() {
    bool more = false;
    while (mysql_more_results(db_.get()) != 0) {
      more = true;
      if (mysql_next_result(db_.get()) > 0) Fail();
      Result ignored(mysql_store_result(db_.get()));
    }
    const char* data = nullptr;
    size_t length = 0;
    if (mysql_session_track_get_first(db_.get(), SESSION_TRACK_SCHEMA, &data, &length) == 0) {
      schema_changed_ = true;
    }
    in_statement_ = false;
    return more;
  }

  void Run(const std::string& sql) {
    if (mysql_real_query(db_.get(), sql.data(), sql.size()) != 0) Fail();
  }

  [[noreturn]] void Fail() {
    const unsigned int code = mysql_errno(db_.get());
    if (code >= 2000 && code < 3000) {
      broken_ = true;  // the client's own: the connection is lost or out of step
    } else {
      in_statement_ = false;  // the server's answer ended the statement
    }
    DbDiagnostic diagnostic{mysql_sqlstate(db_.get()), static_cast<long>(mysql_errno(db_.get())),
                            ServerFamily::kMariaDb};
    throw DbError(std::string("[MariaDB]") + mysql_error(db_.get()), std::move(diagnostic));
  }

  std::unique_ptr<MYSQL, ClientCloser> db_;
  MariaDbTarget target_;  // for the second connection of Cancel()
  ConnectionLimits limits_;
  LocalZone zone_;
  unsigned long thread_id_ = 0;
  bool mariadb_ = false;
  bool resettable_ = false;
  bool changed_ = false;         // a statement changed the session, or failed
  bool schema_changed_ = false;  // a statement chose another database
  bool in_statement_ = false;    // a statement's results are not all read
  bool reset_pending_ = false;   // the next statement starts a new session
  bool broken_ = false;
  std::atomic<bool> cancelled_ = false;
};

}  // namespace

std::unique_ptr<Connection> OpenMariaDb(const MariaDbTarget& target, const ConnectionLimits& limits,
                                        const LocalZone& zone) {
  return std::make_unique<MariaDbConnection>(target, limits, zone);
}

}  // namespace panorello
