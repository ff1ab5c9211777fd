// SQLite database files through libsqlite3: the stand-in for the Access file.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "db/db_error.h"
#include "db/engines.h"
#include "db/sqlite/sqlite_values.h"
#include "util/error.h"
#include "util/interrupt.h"
#include "util/text.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct StatementCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

// SQLite gives no SQLSTATE: its extended result code is the native code.
DbError SqliteError(const std::string& message, int result_code) {
  return DbError(message, DbDiagnostic{"", result_code, ServerFamily::kSqlite},
                 ErrorKind::kGeneral);
}

class SqliteConnection final : public Connection {
 public:
  SqliteConnection(Database db, const ConnectionLimits& limits)
      : db_(std::move(db)), limits_(limits) {
    sqlite3_busy_timeout(db_.get(), limits_.query_seconds * 1000);
    sqlite3_progress_handler(db_.get(), 1000, &SqliteConnection::Progress, this);
    sqlite3_set_authorizer(db_.get(), &SqliteConnection::Authorize, this);
  }

  bool QueryRows(const std::string& sql, RowSink& sink) override {
    Statement stmt = Prepare(sql);
    std::vector<std::string> names;
    std::vector<SqliteColumnKind> kinds;
    const int cols = DescribeColumns(stmt.get(), names, kinds);
    sink.Columns(names);
    std::vector<CellView> row(static_cast<size_t>(cols));
    std::vector<std::string> decoded(static_cast<size_t>(cols));
    bool any = false;
    StartDeadline();
    for (;;) {
      const int rc = sqlite3_step(stmt.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail(rc);
      for (int c = 0; c < cols; ++c) {
        const auto k = static_cast<size_t>(c);
        row[k] = SqliteCellView(stmt.get(), c, kinds[k], decoded[k]);
      }
      sink.Row(row.data(), row.size());
      any = true;
    }
    return any;
  }

  void Execute(const std::string& sql) override {
    Statement stmt = Prepare(sql);
    StartDeadline();
    for (;;) {
      const int rc = sqlite3_step(stmt.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail(rc);
    }
  }

  // sqlite3_interrupt may come from any thread while the connection is open.
  void Cancel() noexcept override {
    cancelled_ = true;
    sqlite3_interrupt(db_.get());
  }

  // SQLite has no session reset: a connection whose statements only read is taken again, one
  // that changed anything of its own (a PRAGMA, a temporary table, a transaction) is not.
  bool Reusable() noexcept override {
    return !changed_ && !cancelled_ && sqlite3_get_autocommit(db_.get()) != 0;
  }

  // Reads the schema so that a file that is not a database fails now, not at the first query.
  void ReadSchema() {
    Statement stmt = Prepare("SELECT count(*) FROM sqlite_master");
    StartDeadline();
    const int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(rc);
  }

 private:
  // Every statement is allowed; any action but reading marks the connection as changed.
  static int Authorize(void* self, int action, const char*, const char*, const char*, const char*) {
    if (action != SQLITE_SELECT && action != SQLITE_READ && action != SQLITE_FUNCTION &&
        action != SQLITE_RECURSIVE) {
      static_cast<SqliteConnection*>(self)->changed_ = true;
    }
    return SQLITE_OK;
  }

  static int Progress(void* self) {
    if (InterruptRequested()) return 1;  // SIGINT/SIGTERM/SIGHUP: stop the statement too
    return SteadyClock::now() > static_cast<SqliteConnection*>(self)->deadline_ ? 1 : 0;
  }

  // Names and value kinds of the result columns; a statement without any fails.
  static int DescribeColumns(sqlite3_stmt* stmt, std::vector<std::string>& names,
                             std::vector<SqliteColumnKind>& kinds) {
    const int cols = sqlite3_column_count(stmt);
    if (cols == 0) {
      throw Error("L'istruzione SQL non restituisce un risultato (nessuna colonna)");
    }
    for (int c = 0; c < cols; ++c) {
      const char* name = sqlite3_column_name(stmt, c);
      std::string decoded;
      names.emplace_back(Utf8OrWindows1252(name != nullptr ? name : "", decoded));
      kinds.push_back(SqliteKindOfDeclaredType(sqlite3_column_decltype(stmt, c)));
    }
    return cols;
  }

  void StartDeadline() {
    deadline_ = SteadyClock::now() + std::chrono::seconds(limits_.query_seconds);
  }

  // Only the first statement of the text runs; the rest is ignored.
  Statement Prepare(const std::string& sql) {
    RefuseBlankStatement(sql);
    sqlite3_stmt* raw = nullptr;
    StartDeadline();
    const int rc =
        sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, nullptr);
    Statement stmt(raw);
    if (rc != SQLITE_OK) Fail(rc);
    if (!stmt) throw Error(kEmptyStatementText);
    return stmt;
  }

  [[noreturn]] void Fail(int rc) {
    ThrowIfInterrupted();
    if (rc == SQLITE_INTERRUPT) {
      throw Error("Tempo scaduto: la query ha superato il limite di " +
                      std::to_string(limits_.query_seconds) + " secondi",
                  ErrorKind::kTimeout);
    }
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
      throw Error(
          "Il file di database è in uso: database bloccato da un altro programma (attesa di " +
              std::to_string(limits_.query_seconds) +
              " secondi senza che lo rilasciasse). Chiudere il programma che lo sta "
              "modificando, o attendere che finisca, e riprovare.",
          ErrorKind::kFile);
    }
    std::string decoded;
    throw SqliteError(std::string(Utf8OrWindows1252(sqlite3_errmsg(db_.get()), decoded)),
                      sqlite3_extended_errcode(db_.get()));
  }

  Database db_;
  ConnectionLimits limits_;
  SteadyClock::time_point deadline_{};
  bool changed_ = false;
  std::atomic<bool> cancelled_ = false;
};

}  // namespace

std::unique_ptr<Connection> OpenSqliteCopy(const std::string& path, const ConnectionLimits& limits,
                                           const std::function<void(sqlite3*)>& setup) {
  // immutable: no locks and no journal look-up, the file never changes once it has its name.
  std::string uri = "file:";
  for (const char ch : path) {
    if (ch == '%' || ch == '?' || ch == '#') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(ch) >> 4];
      uri += kHex[static_cast<unsigned char>(ch) & 15];
    } else {
      uri += ch;
    }
  }
  uri += "?immutable=1";
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(
      uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
    throw SqliteError(message + ": " + path, db ? sqlite3_extended_errcode(db.get()) : rc);
  }
  setup(db.get());
  auto connection = std::make_unique<SqliteConnection>(std::move(db), limits);
  connection->ReadSchema();
  return connection;
}

std::unique_ptr<Connection> OpenSqliteFile(const std::string& path, const ConnectionLimits& limits,
                                           SqliteAccess access) {
  const bool create_new = access == SqliteAccess::CreateNew;
  if (create_new) {
    // O_EXCL: an existing file is never taken over, even one created a moment ago.
    const UniqueFd created(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!created.Valid()) {
      const int err = errno;
      if (err == EEXIST) throw Error("Il file di database esiste già: " + path);
      throw Error("Impossibile creare il file di database " + path + ": " +
                  std::generic_category().message(err));
    }
  } else {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
      throw Error("File di database non trovato: " + path);
    }
    if (std::filesystem::is_directory(status)) {
      throw Error("Il percorso del database è una cartella, non un file: " + path);
    }
    if (!std::filesystem::is_regular_file(status)) {  // a FIFO would make the open wait
      throw Error(
          "Il percorso del database non è un file ordinario (FIFO, dispositivo o "
          "socket): " +
              path,
          ErrorKind::kFile);
    }
  }
  try {
    sqlite3* raw = nullptr;
    // A connection belongs to one block on one thread at a time: no per-call locking inside
    // libsqlite3 (it costs a tenth of the time of a large result).
    const bool read_only = access == SqliteAccess::ReadOnly;
    const int flags =
        (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) {
      const std::string message = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
      throw SqliteError(message + ": " + path, db ? sqlite3_extended_errcode(db.get()) : rc);
    }
    if (read_only) {
      // A second lock besides the open flags; and no other file: VACUUM INTO would create one.
      sqlite3_exec(db.get(), "PRAGMA query_only = 1", nullptr, nullptr, nullptr);
      sqlite3_limit(db.get(), SQLITE_LIMIT_ATTACHED, 0);
    }
    auto connection = std::make_unique<SqliteConnection>(std::move(db), limits);
    connection->ReadSchema();
    return connection;
  } catch (...) {
    if (create_new) ::unlink(path.c_str());  // the file this call created
    throw;
  }
}

}  // namespace panorello
