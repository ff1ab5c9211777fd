// Server databases and data sources through the unixODBC driver manager.
#include <sql.h>
#include <sqlext.h>

#include <strings.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "db/engines.h"
#include "db/odbc/odbc_fetch.h"
#include "db/odbc/psqlodbc_log.h"
#include "db/road_table.h"
#include "util/error.h"
#include "util/text.h"

namespace panorello {

namespace {

// work(), with the family of the driver named on a DbError that leaves it.
template <typename Work>
auto FamilyNamed(ServerFamily family, const Work& work) {
  try {
    return work();
  } catch (DbError& e) {
    e.SetFamily(family);
    throw;
  }
}

class OdbcConnection final : public Connection {
 public:
  OdbcConnection(const std::string& connection_string, const ConnectionLimits& limits,
                 ServerFamily family)
      : limits_(limits), family_(family), env_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    RequireOdbcSuccess(
        SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0),
        env_, "SQLSetEnvAttr");
    dbc_ = OdbcHandle(SQL_HANDLE_DBC, env_.get());
    SetAttribute(SQL_ATTR_LOGIN_TIMEOUT, limits_.connect_seconds);
    SetAttribute(SQL_ATTR_CONNECTION_TIMEOUT, limits_.connect_seconds);
    std::string text = connection_string;
    RequireOdbcSuccess(
        SQLDriverConnect(dbc_.get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                         static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT),
        dbc_, "SQLDriverConnect");
    connected_ = true;
    log_cleaner_.psqlodbc = IsPsqlOdbc(dbc_);
    rules_ = ReadRulesOf(dbc_);
  }

  ~OdbcConnection() override {
    if (connected_) SQLDisconnect(dbc_.get());
  }

  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  bool QueryRows(const std::string& sql, RowSink& sink) override {
    return FamilyNamed(family_, [&] { return ReadRows(sql, sink); });
  }

  void Execute(const std::string& sql) override {
    FamilyNamed(family_, [&] {
      OdbcHandle stmt = Run(sql);
      const NotRunning not_running(*this);
    });
  }

  void Cancel() noexcept override {
    const std::lock_guard lock(running_mutex_);
    if (running_ != SQL_NULL_HANDLE) SQLCancel(running_);
  }

 private:
  bool ReadRows(const std::string& sql, RowSink& sink) {
    OdbcHandle stmt = Run(sql);
    const NotRunning not_running(*this);  // before stmt is freed
    SQLSMALLINT cols = 0;
    RequireOdbcSuccess(SQLNumResultCols(stmt.get(), &cols), stmt, "SQLNumResultCols");
    if (cols <= 0) throw Error("L'istruzione SQL non restituisce un risultato (nessuna colonna)");
    const std::vector<OdbcColumn> columns = DescribeColumns(stmt, cols);
    sink.Columns(ColumnNames(columns));
    bool any = false;
    FetchRows(stmt, columns, rules_, [&sink, &any](const CellView* cells, size_t count) {
      sink.Row(cells, count);
      any = true;
    });
    return any;
  }

  // Removes psqlODBC's log of this process once the driver has closed the connection (after the
  // handles, which are destroyed before it).
  struct LogCleaner {
    bool psqlodbc = false;
    ~LogCleaner() {
      if (psqlodbc) RemoveOwnPsqlOdbcLogs();
    }
  };

  static bool IsPsqlOdbc(const OdbcHandle& dbc) {
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc.get(), SQL_DRIVER_NAME, name, sizeof name, &length))) {
      return false;
    }
    return strncasecmp(reinterpret_cast<const char*>(name), "psqlodbc", 8) == 0;
  }

  // Takes the running statement away from Cancel() before its handle is freed: a cancel never
  // reaches a freed handle, which some drivers do not survive.
  class NotRunning {
   public:
    explicit NotRunning(OdbcConnection& connection) : connection_(connection) {}
    ~NotRunning() {
      const std::lock_guard lock(connection_.running_mutex_);
      connection_.running_ = SQL_NULL_HANDLE;
    }
    NotRunning(const NotRunning&) = delete;
    NotRunning& operator=(const NotRunning&) = delete;

   private:
    OdbcConnection& connection_;
  };

  // Attributes that a driver may refuse or change; the driver's own options cover those.
  void SetAttribute(SQLINTEGER attribute, int seconds) {
    OdbcSucceeded(SQLSetConnectAttr(dbc_.get(), attribute,
                                    reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(seconds)),
                                    SQL_IS_UINTEGER));
  }

  OdbcHandle Run(const std::string& sql) {
    RefuseBlankStatement(sql);
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.get());
    // Forward only: drivers that can stream (MariaDB without its cache) keep no copy of the rows.
    OdbcSucceeded(SQLSetStmtAttr(stmt.get(), SQL_ATTR_CURSOR_TYPE,
                                 reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY),
                                 SQL_IS_UINTEGER));
    OdbcSucceeded(
        SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(limits_.query_seconds)),
                       SQL_IS_UINTEGER));
    {
      const std::lock_guard lock(running_mutex_);
      running_ = stmt.get();  // the caller's NotRunning takes it back before stmt is freed
    }
    std::string text = sql;
    try {
      RequireOdbcSuccess(SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                       static_cast<SQLINTEGER>(text.size())),
                         stmt, "SQLExecDirect", /*no_data_ok=*/true);
    } catch (...) {
      const std::lock_guard lock(running_mutex_);
      running_ = SQL_NULL_HANDLE;
      throw;
    }
    return stmt;
  }

  LogCleaner log_cleaner_;  // first: destroyed last
  ConnectionLimits limits_;
  ServerFamily family_;
  OdbcHandle env_;
  OdbcHandle dbc_;
  bool connected_ = false;
  OdbcReadRules rules_;
  std::mutex running_mutex_;
  SQLHANDLE running_ = SQL_NULL_HANDLE;  // the statement that Cancel() stops
};

}  // namespace

std::unique_ptr<Connection> OpenOdbc(const std::string& connection_string,
                                     const ConnectionLimits& limits, std::string_view driver) {
  const RoadRow* road = RoadOfDriver(driver);
  const ServerFamily family = road == nullptr ? ServerFamily::kUnknown : road->family;
  return FamilyNamed(family, [&]() -> std::unique_ptr<Connection> {
    return std::make_unique<OdbcConnection>(connection_string, limits, family);
  });
}

std::vector<std::string> RegisteredOdbcDrivers() {
  OdbcHandle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  RequireOdbcSuccess(
      SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                    reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0),
      env, "SQLSetEnvAttr");
  std::vector<std::string> drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[512];
    SQLCHAR attributes[2048];
    SQLSMALLINT name_length = 0;
    SQLSMALLINT attributes_length = 0;
    const SQLRETURN rc = SQLDrivers(env.get(), direction, name, sizeof name, &name_length,
                                    attributes, sizeof attributes, &attributes_length);
    if (rc == SQL_NO_DATA) break;
    RequireOdbcSuccess(rc, env, "SQLDrivers");
    drivers.emplace_back(reinterpret_cast<const char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

std::string DataSourceDriver(const std::string& dsn) {
  OdbcHandle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  RequireOdbcSuccess(
      SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                    reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0),
      env, "SQLSetEnvAttr");
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 256];
    SQLCHAR driver[512];  // unixODBC gives the data source's driver as its description
    SQLSMALLINT name_length = 0;
    SQLSMALLINT driver_length = 0;
    const SQLRETURN rc = SQLDataSources(env.get(), direction, name, sizeof name, &name_length,
                                        driver, sizeof driver, &driver_length);
    if (rc == SQL_NO_DATA) return "";
    RequireOdbcSuccess(rc, env, "SQLDataSources");
    if (strcasecmp(reinterpret_cast<const char*>(name), dsn.c_str()) == 0) {
      return reinterpret_cast<const char*>(driver);
    }
    direction = SQL_FETCH_NEXT;
  }
}

}  // namespace panorello
