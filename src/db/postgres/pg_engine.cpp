// PostgreSQL through libpq, asynchronous: every wait is a poll() on the connection's socket with
// the time left, beside an eventfd that Cancel() signals from another thread.
#include "db/postgres/pg_engine.h"

#include <dlfcn.h>
#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "db/db_error.h"
#include "db/deadline.h"
#include "db/engines.h"
#include "db/postgres/pg_values.h"
#include "util/text.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

// libpq is opened when the first POSTGRESQL connection is made, so that every other run is
// spared its libraries (OpenSSL, Kerberos, LDAP) at start: a few megabytes and milliseconds.
class LibpqApi {
 public:
  LibpqApi() {
    handle_ = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* why = dlerror();
      throw Error("Libreria PostgreSQL non disponibile: installare il pacchetto libpq5 (" +
                      std::string(why != nullptr ? why : "libpq.so.5") + ")",
                  ErrorKind::kDatabase);
    }
    Load(PQcancel, "PQcancel");
    Load(PQclear, "PQclear");
    Load(PQconnectPoll, "PQconnectPoll");
    Load(PQconnectStartParams, "PQconnectStartParams");
    Load(PQconsumeInput, "PQconsumeInput");
    Load(PQerrorMessage, "PQerrorMessage");
    Load(PQfinish, "PQfinish");
    Load(PQflush, "PQflush");
    Load(PQfreeCancel, "PQfreeCancel");
    Load(PQfname, "PQfname");
    Load(PQftype, "PQftype");
    Load(PQgetCancel, "PQgetCancel");
    Load(PQgetResult, "PQgetResult");
    Load(PQgetisnull, "PQgetisnull");
    Load(PQgetlength, "PQgetlength");
    Load(PQgetvalue, "PQgetvalue");
    Load(PQisBusy, "PQisBusy");
    Load(PQnfields, "PQnfields");
    Load(PQntuples, "PQntuples");
    Load(PQresultErrorField, "PQresultErrorField");
    Load(PQresultErrorMessage, "PQresultErrorMessage");
    Load(PQresultStatus, "PQresultStatus");
    Load(PQsendQuery, "PQsendQuery");
    Load(PQsendQueryParams, "PQsendQueryParams");
    Load(PQsetSingleRowMode, "PQsetSingleRowMode");
    Load(PQsetnonblocking, "PQsetnonblocking");
    Load(PQsocket, "PQsocket");
    Load(PQstatus, "PQstatus");
    Load(PQtransactionStatus, "PQtransactionStatus");
    // Pipeline mode (libpq 14 and later) saves a round trip per reused connection; without it the
    // session is reset by a statement of its own.
    LoadIfPresent(PQenterPipelineMode, "PQenterPipelineMode");
    LoadIfPresent(PQexitPipelineMode, "PQexitPipelineMode");
    LoadIfPresent(PQpipelineStatus, "PQpipelineStatus");
    LoadIfPresent(PQpipelineSync, "PQpipelineSync");
    if (!PQenterPipelineMode || !PQexitPipelineMode || !PQpipelineStatus || !PQpipelineSync) {
      PQenterPipelineMode = nullptr;
    }
  }
  ~LibpqApi() = default;  // never closed: connections left behind by a deadline may still use it
  LibpqApi(const LibpqApi&) = delete;
  LibpqApi& operator=(const LibpqApi&) = delete;

  decltype(&::PQcancel) PQcancel = nullptr;
  decltype(&::PQclear) PQclear = nullptr;
  decltype(&::PQconnectPoll) PQconnectPoll = nullptr;
  decltype(&::PQconnectStartParams) PQconnectStartParams = nullptr;
  decltype(&::PQconsumeInput) PQconsumeInput = nullptr;
  decltype(&::PQerrorMessage) PQerrorMessage = nullptr;
  decltype(&::PQfinish) PQfinish = nullptr;
  decltype(&::PQflush) PQflush = nullptr;
  decltype(&::PQfreeCancel) PQfreeCancel = nullptr;
  decltype(&::PQfname) PQfname = nullptr;
  decltype(&::PQftype) PQftype = nullptr;
  decltype(&::PQgetCancel) PQgetCancel = nullptr;
  decltype(&::PQgetResult) PQgetResult = nullptr;
  decltype(&::PQgetisnull) PQgetisnull = nullptr;
  decltype(&::PQgetlength) PQgetlength = nullptr;
  decltype(&::PQgetvalue) PQgetvalue = nullptr;
  decltype(&::PQisBusy) PQisBusy = nullptr;
  decltype(&::PQnfields) PQnfields = nullptr;
  decltype(&::PQntuples) PQntuples = nullptr;
  decltype(&::PQresultErrorField) PQresultErrorField = nullptr;
  decltype(&::PQresultErrorMessage) PQresultErrorMessage = nullptr;
  decltype(&::PQresultStatus) PQresultStatus = nullptr;
  decltype(&::PQsendQuery) PQsendQuery = nullptr;
  decltype(&::PQsendQueryParams) PQsendQueryParams = nullptr;
  decltype(&::PQsetSingleRowMode) PQsetSingleRowMode = nullptr;
  decltype(&::PQsetnonblocking) PQsetnonblocking = nullptr;
  decltype(&::PQsocket) PQsocket = nullptr;
  decltype(&::PQstatus) PQstatus = nullptr;
  decltype(&::PQtransactionStatus) PQtransactionStatus = nullptr;
  decltype(&::PQenterPipelineMode) PQenterPipelineMode = nullptr;  // nullptr: no pipeline mode
  decltype(&::PQexitPipelineMode) PQexitPipelineMode = nullptr;
  decltype(&::PQpipelineStatus) PQpipelineStatus = nullptr;
  decltype(&::PQpipelineSync) PQpipelineSync = nullptr;

 private:
  template <typename F>
  void Load(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle_, name));
    if (function == nullptr) {
      throw Error(std::string("Libreria PostgreSQL incompleta: manca ") + name +
                      " (aggiornare il pacchetto libpq5)",
                  ErrorKind::kDatabase);
    }
  }
  template <typename F>
  void LoadIfPresent(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_ = nullptr;
};

// The functions of libpq, loaded once; throws Error while libpq cannot be loaded.
const LibpqApi& Pq() {
  static const LibpqApi api;
  return api;
}

std::string Trimmed(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// libpq gives no SQLSTATE for a connection that fails: the common causes get theirs from the text.
std::string ConnectState(const std::string& message) {
  if (message.find("password authentication failed") != std::string::npos ||
      message.find("no password supplied") != std::string::npos) {
    return "28P01";
  }
  if (message.find("database \"") != std::string::npos &&
      message.find("does not exist") != std::string::npos) {
    return "3D000";
  }
  return "08001";
}

DbError ResultError(const PGresult* result) {
  const char* state = Pq().PQresultErrorField(result, PG_DIAG_SQLSTATE);
  return DbError(Trimmed(Pq().PQresultErrorMessage(result)),
                 DbDiagnostic{state != nullptr ? state : "", 0, ServerFamily::kPostgres});
}

struct ResultFree {
  void operator()(PGresult* r) const { Pq().PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// The session's settings: texts that read back the same whatever the server's or the user's
// settings say, and the local time zone. The server ends a statement a second past the limit by
// itself, so one whose client is gone does not stay behind; within the limit, the program's own
// deadline cancels it first. zone: a TimeZone value, "" for the server's.
std::vector<std::pair<std::string, std::string>> SessionSettings(const ConnectionLimits& limits,
                                                                 const std::string& zone) {
  std::vector<std::pair<std::string, std::string>> settings = {
      {"DateStyle", "ISO"},
      {"bytea_output", "hex"},
      {"extra_float_digits", "1"},
      {"statement_timeout", std::to_string(limits.query_seconds * 1000 + 1000)}};
  if (!zone.empty()) settings.emplace_back("TimeZone", zone);
  return settings;
}

// The settings as the startup packet's options ("-c name=value ..."; spaces escaped).
std::string StartupOptions(const std::vector<std::pair<std::string, std::string>>& settings) {
  std::string options;
  for (const auto& [name, value] : settings) {
    if (!options.empty()) options += ' ';
    options += "-c " + name + '=';
    for (const char ch : value) {
      if (ch == ' ' || ch == '\\') options += '\\';
      options += ch;
    }
  }
  return options;
}

// The zone as PostgreSQL's TimeZone takes it: its name, or else hours east of UTC ("5.5").
std::string TimeZoneValue(const LocalZone& zone, bool by_name) {
  if (!zone.known) return {};
  if (by_name && !zone.name.empty()) return zone.name;
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, zone.offset_seconds / 3600.0).ptr;
  return std::string(text, end);
}

class PgConnection final : public Connection {
 public:
  PgConnection(const PostgresTarget& target, const ConnectionLimits& limits, const LocalZone& zone)
      : limits_(limits) {
    wake_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_.Valid()) throw Error("Impossibile preparare la connessione PostgreSQL (eventfd)");
    try {
      ConnectWithSettings(target, zone);
    } catch (...) {
      Release();  // no destructor runs for a connection that never finished its constructor
      throw;
    }
  }
  ~PgConnection() override { Release(); }
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  void Close() noexcept {
    if (cancel_ != nullptr) Pq().PQfreeCancel(cancel_);
    cancel_ = nullptr;
    if (conn_ != nullptr) Pq().PQfinish(conn_);  // non-blocking: a full socket does not hold it up
    conn_ = nullptr;
  }
  void Release() noexcept {
    Close();
    wake_.Reset();
  }

  bool QueryRows(const std::string& sql, RowSink& sink) override;
  bool Reusable() noexcept override;
  void StartNewSession() noexcept override { reset_pending_ = true; }

  void Execute(const std::string& sql) override {
    RefuseBlankStatement(sql);
    const auto deadline = QueryDeadline();
    if (Pq().PQsendQuery(conn_, sql.c_str()) == 0) throw ConnectionError();
    Flush(deadline);
    std::optional<DbError> failure;
    while (Result result = Next(deadline)) {
      if (Pq().PQresultStatus(result.get()) == PGRES_FATAL_ERROR && !failure)
        failure = ResultError(result.get());
    }
    if (failure) throw *failure;
  }

  // The server is asked to end the statement (PQcancel, thread-safe, on a connection of its own);
  // the worker stops waiting at once.
  void Cancel() noexcept override {
    cancelled_ = true;
    if (cancel_ != nullptr) {
      char error[256];
      Pq().PQcancel(cancel_, error, sizeof error);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_.Get(), &one, sizeof one);
  }

 private:
  // Connects with the settings in the startup packet: with the zone's name, else its offset
  // (a server without that name), else after login (a pooler that refuses options).
  void ConnectWithSettings(const PostgresTarget& target, const LocalZone& zone);
  void Connect(const PostgresTarget& target, const std::string& options);
  // Sends sql; after StartNewSession, the session is reset first, in the same round trip where
  // libpq has pipeline mode. Returns whether the pipeline mode is on.
  bool Send(const std::string& sql, SteadyClock::time_point deadline);
  // ROLLBACK (in a transaction) and DISCARD ALL, each synced on its own: nothing of the block
  // before is left, and the settings of the startup packet come back.
  std::vector<const char*> ResetSteps() const;
  // The results of one pipelined statement and its sync point; its first error.
  std::optional<DbError> DrainStep(SteadyClock::time_point deadline);
  void ReadSync(SteadyClock::time_point deadline);
  // Waits until the socket is ready for events; throws on the deadline and on Cancel().
  void Wait(short events, SteadyClock::time_point deadline, bool connecting);
  // The next result of the running statement, nullptr after the last.
  Result Next(SteadyClock::time_point deadline);
  void Flush(SteadyClock::time_point deadline);
  SteadyClock::time_point QueryDeadline() const {
    return SteadyClock::now() + std::chrono::seconds(limits_.query_seconds);
  }
  DbError ConnectionError() const {
    const std::string message = Trimmed(Pq().PQerrorMessage(conn_));
    return DbError(
        message,
        DbDiagnostic{Pq().PQstatus(conn_) == CONNECTION_OK ? "08006" : ConnectState(message), 0,
                     ServerFamily::kPostgres});
  }

  ConnectionLimits limits_;
  PGconn* conn_ = nullptr;
  PGcancel* cancel_ = nullptr;  // made once connected, for Cancel() from another thread
  UniqueFd wake_;
  bool reset_pending_ = false;  // the next statement resets the session first
  bool broken_ = false;         // the session could not be reset
  std::atomic<bool> cancelled_ = false;
};

void PgConnection::ConnectWithSettings(const PostgresTarget& target, const LocalZone& zone) {
  // The server's refusal of a login, as text; "" when the login worked.
  const auto attempt = [&](const std::string& options) {
    try {
      Connect(target, options);
      return std::string();
    } catch (const DbError& e) {
      if (!Contains(e.what(), "\"TimeZone\"") && !Contains(e.what(), "startup parameter")) throw;
      Close();
      return std::string(e.what());
    }
  };
  std::string zone_value = TimeZoneValue(zone, true);
  std::string refused = attempt(StartupOptions(SessionSettings(limits_, zone_value)));
  if (Contains(refused, "\"TimeZone\"")) {
    zone_value = TimeZoneValue(zone, false);
    refused = attempt(StartupOptions(SessionSettings(limits_, zone_value)));
  }
  if (refused.empty()) return;
  Connect(target, "");
  std::string set;
  for (const auto& [name, value] : SessionSettings(limits_, zone_value)) {
    set += "SET " + name + " TO '" + value + "'; ";
  }
  Execute(set);
}

void PgConnection::Connect(const PostgresTarget& target, const std::string& own_options) {
  // libpq reads PGOPTIONS only when no options are given: the user's come first, ours win.
  const char* user_options = std::getenv("PGOPTIONS");
  const std::string options =
      user_options != nullptr && *user_options != '\0' && !own_options.empty()
          ? std::string(user_options) + ' ' + own_options
          : own_options;
  const std::string connect_timeout = std::to_string(std::max(limits_.connect_seconds, 2));
  const std::string user_timeout =
      std::to_string((limits_.connect_seconds + limits_.query_seconds) * 1000);
  std::vector<std::pair<const char*, const char*>> params = {
      {"host", target.host.c_str()},
      {"port", target.port.c_str()},
      {"dbname", target.database.c_str()},
      {"user", target.user.c_str()},
      {"password", target.password.c_str()},
      {"client_encoding", "UTF8"},
      {"fallback_application_name", "Panorello"},
      {"connect_timeout", connect_timeout.c_str()},
      {"keepalives", "1"},
      {"keepalives_idle", "10"},
      {"keepalives_interval", "5"},
      {"keepalives_count", "3"},
      {"tcp_user_timeout", user_timeout.c_str()},
      {"options", options.c_str()}};
  std::vector<const char*> keys;
  std::vector<const char*> values;
  for (const auto& [key, value] : params) {
    if (*value == '\0') continue;  // libpq's default: environment, service file, ~/.pgpass
    keys.push_back(key);
    values.push_back(value);
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = Pq().PQconnectStartParams(keys.data(), values.data(), 0);
  if (conn_ == nullptr) throw Error("Memoria insufficiente per la connessione PostgreSQL");
  if (Pq().PQstatus(conn_) == CONNECTION_BAD) throw ConnectionError();
  const auto deadline = SteadyClock::now() + std::chrono::seconds(limits_.connect_seconds);
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  for (;;) {
    if (status == PGRES_POLLING_OK) break;
    if (status == PGRES_POLLING_FAILED) throw ConnectionError();
    Wait(status == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline, /*connecting=*/true);
    status = Pq().PQconnectPoll(conn_);
  }
  if (Pq().PQsetnonblocking(conn_, 1) != 0) throw ConnectionError();
  cancel_ = Pq().PQgetCancel(conn_);
}

void PgConnection::Wait(short events, SteadyClock::time_point deadline, bool connecting) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) {
      throw connecting ? ConnectTimeoutError(limits_.connect_seconds)
                       : QueryTimeoutError(limits_.query_seconds);
    }
    pollfd fds[2] = {{Pq().PQsocket(conn_), events, 0}, {wake_.Get(), POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (ready < 0 && errno != EINTR)
      throw Error("Attesa sulla connessione PostgreSQL non riuscita");
    if (ready <= 0) continue;
    if (fds[1].revents != 0) throw Error("Operazione annullata", ErrorKind::kCancelled);
    if (fds[0].revents != 0) return;
  }
}

Result PgConnection::Next(SteadyClock::time_point deadline) {
  while (Pq().PQisBusy(conn_) != 0) {
    Wait(POLLIN, deadline, /*connecting=*/false);
    if (Pq().PQconsumeInput(conn_) == 0) throw ConnectionError();
  }
  Result result(Pq().PQgetResult(conn_));
  const ExecStatusType status = result ? Pq().PQresultStatus(result.get()) : PGRES_EMPTY_QUERY;
  if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
    // libpq would hand the same COPY state back for ever; the connection is not used again.
    throw Error("Le istruzioni COPY non sono eseguibili qui: usare una SELECT");
  }
  return result;
}

void PgConnection::Flush(SteadyClock::time_point deadline) {
  for (;;) {
    const int rc = Pq().PQflush(conn_);
    if (rc == 0) return;
    if (rc < 0) throw ConnectionError();
    Wait(POLLOUT | POLLIN, deadline, /*connecting=*/false);
    if (Pq().PQconsumeInput(conn_) == 0) throw ConnectionError();
  }
}

// The columns of a result as the sink and the conversions need them.
struct PgColumns {
  explicit PgColumns(const PGresult* result) {
    const int count = Pq().PQnfields(result);
    for (int c = 0; c < count; ++c) {
      names.emplace_back(Pq().PQfname(result, c));
      kinds.push_back(PgKindOf(Pq().PQftype(result, c)));
    }
    cells.resize(names.size());
    bytes.resize(names.size());
  }
  std::vector<std::string> names;
  std::vector<PgKind> kinds;
  std::vector<CellView> cells;
  std::vector<std::string> bytes;  // decoded binary values
};

std::vector<const char*> PgConnection::ResetSteps() const {
  std::vector<const char*> steps;
  if (Pq().PQtransactionStatus(conn_) != PQTRANS_IDLE) steps.push_back("ROLLBACK");
  steps.push_back("DISCARD ALL");
  return steps;
}

std::optional<DbError> PgConnection::DrainStep(SteadyClock::time_point deadline) {
  std::optional<DbError> failure;
  while (Result result = Next(deadline)) {
    if (Pq().PQresultStatus(result.get()) == PGRES_FATAL_ERROR && !failure)
      failure = ResultError(result.get());
  }
  ReadSync(deadline);
  return failure;
}

void PgConnection::ReadSync(SteadyClock::time_point deadline) {
  const Result sync = Next(deadline);
  if (!sync || Pq().PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC) {
    broken_ = true;
    throw DbError("Risposta inattesa del server PostgreSQL alla fine di una pipeline",
                  DbDiagnostic{"08P01", 0, ServerFamily::kPostgres});
  }
}

bool PgConnection::Send(const std::string& sql, SteadyClock::time_point deadline) {
  const bool reset = std::exchange(reset_pending_, false);
  const bool pipeline = reset && Pq().PQenterPipelineMode != nullptr;
  const std::vector<const char*> steps = reset ? ResetSteps() : std::vector<const char*>();
  if (reset && !pipeline) {
    for (const char* step : steps) Execute(step);
  }
  if (pipeline) {
    if (Pq().PQenterPipelineMode(conn_) == 0) throw ConnectionError();
    for (const char* step : steps) {
      if (Pq().PQsendQueryParams(conn_, step, 0, nullptr, nullptr, nullptr, nullptr, 0) == 0 ||
          Pq().PQpipelineSync(conn_) == 0) {
        throw ConnectionError();
      }
    }
  }
  if (Pq().PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 0 ||
      (pipeline && Pq().PQpipelineSync(conn_) == 0)) {
    throw ConnectionError();
  }
  Flush(deadline);
  if (pipeline) {
    for (size_t i = 0; i < steps.size(); ++i) {
      if (std::optional<DbError> failure = DrainStep(deadline)) {
        broken_ = true;  // the statement below would run in a session that was not reset
        throw *failure;
      }
    }
  }
  Pq().PQsetSingleRowMode(conn_);
  return pipeline;
}

bool PgConnection::Reusable() noexcept {
  if (conn_ == nullptr || broken_ || cancelled_ || Pq().PQstatus(conn_) != CONNECTION_OK) {
    return false;
  }
  if (Pq().PQenterPipelineMode != nullptr && Pq().PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) {
    return false;  // left in the middle of a statement
  }
  const PGTransactionStatusType status = Pq().PQtransactionStatus(conn_);
  if (status == PQTRANS_ACTIVE || status == PQTRANS_UNKNOWN) return false;
  // Between statements the server has nothing to say, unless it is closing the connection.
  pollfd fd{Pq().PQsocket(conn_), POLLIN, 0};
  return poll(&fd, 1, 0) == 0;
}

bool PgConnection::QueryRows(const std::string& sql, RowSink& sink) {
  RefuseBlankStatement(sql);
  const auto deadline = QueryDeadline();
  const bool pipeline = Send(sql, deadline);
  std::optional<PgColumns> columns;
  std::optional<DbError> failure;
  bool without_columns = false;
  bool any = false;
  while (Result result = Next(deadline)) {
    const PGresult* r = result.get();
    const ExecStatusType status = Pq().PQresultStatus(r);
    if (status == PGRES_FATAL_ERROR) {
      if (!failure) failure = ResultError(r);
    } else if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
      if (!columns && !failure) {
        columns.emplace(r);
        sink.Columns(columns->names);
      }
      if (failure || Pq().PQntuples(r) == 0) continue;
      for (size_t c = 0; c < columns->cells.size(); ++c) {
        const int col = static_cast<int>(c);
        columns->cells[c] =
            Pq().PQgetisnull(r, 0, col) != 0
                ? CellView{}
                : PgCell(columns->kinds[c],
                         std::string_view(Pq().PQgetvalue(r, 0, col),
                                          static_cast<size_t>(Pq().PQgetlength(r, 0, col))),
                         columns->bytes[c]);
      }
      sink.Row(columns->cells.data(), columns->cells.size());
      any = true;
    } else {
      without_columns = true;
    }
  }
  if (pipeline) {
    ReadSync(deadline);
    if (Pq().PQexitPipelineMode(conn_) == 0) broken_ = true;
  }
  if (failure) throw *failure;
  if (without_columns || !columns) {
    throw Error("L'istruzione SQL non restituisce un risultato (nessuna colonna)");
  }
  return any;
}

}  // namespace

void LoadLibpq() { Pq(); }

PostgresTarget PostgresTargetOf(const Settings& settings) {
  PostgresTarget target;
  target.host = settings.Server;
  target.database = settings.Database;
  target.user = settings.User;
  target.password = settings.Password;
  const size_t colon = target.host.rfind(':');
  if (colon != std::string::npos && colon + 1 < target.host.size() &&
      target.host.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    const std::string host = target.host.substr(0, colon);
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (bracketed || host.find(':') == std::string::npos) {
      target.port = target.host.substr(colon + 1);
      target.host = bracketed ? host.substr(1, host.size() - 2) : host;
    }
  }
  return target;
}

std::unique_ptr<Connection> OpenPostgres(const PostgresTarget& target,
                                         const ConnectionLimits& limits, const LocalZone& zone) {
  return std::make_unique<PgConnection>(target, limits, zone);
}

}  // namespace panorello
