#include "db/error_hints.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/road_table.h"
#include "db/target/connection_string.h"
#include "db/target/provider_translation.h"
#include "util/text.h"

namespace panorello {

namespace {

bool HasAny(const std::string& lowered, std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) {
    if (lowered.find(part) != std::string::npos) return true;
  }
  return false;
}

FailureClass BySqlState(const std::string& state) {
  if (state == "28000" || state == "28P01") return FailureClass::kLoginFailed;
  if (state == "3D000") return FailureClass::kDatabaseMissing;
  if (state == "HYT00" || state == "HYT01" || state == "57014") return FailureClass::kTimeout;
  if (state == "42601") return FailureClass::kSyntax;
  if (state == "42P01" || state == "42S02") return FailureClass::kTableMissing;
  if (state == "IM002") return FailureClass::kDsnMissing;
  if (state == "IM003") return FailureClass::kDriverMissing;
  return FailureClass::kOther;
}

// Native codes mean something only for the server family that gave them.
FailureClass ByNativeCode(const DbDiagnostic& diagnostic) {
  const long code = diagnostic.native_code;
  if (diagnostic.family == ServerFamily::kMariaDb) {
    switch (code) {
      case 1045:
      case 1698:
        return FailureClass::kLoginFailed;
      case 1044:
      case 1049:
        return FailureClass::kDatabaseMissing;  // 1044: none the user may see
      case 1064:
        return FailureClass::kSyntax;
      case 1146:
        return FailureClass::kTableMissing;
      case 2002:
      case 2003:
      case 2005:
        return FailureClass::kHostUnreachable;
      case 1969:  // max_statement_time exceeded
      case 2013:
        return FailureClass::kTimeout;
      default:
        return FailureClass::kOther;
    }
  }
  if (diagnostic.family == ServerFamily::kSqlServer) {
    switch (code) {
      case 18456:
        return FailureClass::kLoginFailed;
      case 4060:
        return FailureClass::kDatabaseMissing;
      case 102:
      case 156:
        return FailureClass::kSyntax;
      case 208:
        return FailureClass::kTableMissing;
      case 20009:
        return FailureClass::kHostUnreachable;
      case 20003:
        return FailureClass::kTimeout;
      default:
        return FailureClass::kOther;
    }
  }
  return FailureClass::kOther;
}

FailureClass ByText(const std::string& t) {
  if (HasAny(t, {"password authentication failed", "access denied for user", "login failed",
                 "authentication failed"})) {
    return FailureClass::kLoginFailed;
  }
  if (HasAny(t, {"unknown database", "cannot open database"}) ||
      (t.find("database \"") != std::string::npos &&
       t.find("does not exist") != std::string::npos)) {
    return FailureClass::kDatabaseMissing;
  }
  if (HasAny(t, {"timeout expired", "timed out", "statement timeout",
                 "lost connection to server during query"})) {
    return FailureClass::kTimeout;
  }
  if (HasAny(t, {"connection refused", "could not translate host name", "name or service not known",
                 "unknown server host", "can't connect to", "could not connect to server",
                 "no route to host", "adaptive server is unavailable", "unable to connect",
                 "temporary failure in name resolution", "network is unreachable"})) {
    return FailureClass::kHostUnreachable;
  }
  if (HasAny(t, {"can't open lib"})) return FailureClass::kDriverMissing;
  if (HasAny(t, {"data source name not found"})) return FailureClass::kDsnMissing;
  if (HasAny(t, {"syntax error", "incorrect syntax", "in your sql syntax"})) {
    return FailureClass::kSyntax;
  }
  if (HasAny(t, {"no such table", "doesn't exist", "invalid object name"}) ||
      (t.find("relation \"") != std::string::npos &&
       t.find("does not exist") != std::string::npos)) {
    return FailureClass::kTableMissing;
  }
  return FailureClass::kOther;
}

// The text between the first pair of apostrophes after "lib" ("Can't open lib 'NAME' : ...").
std::string LibraryNamed(std::string_view text) {
  const size_t lib = AsciiLowerCase(text).find("open lib");
  if (lib == std::string_view::npos) return "";
  const size_t open = text.find('\'', lib);
  if (open == std::string_view::npos) return "";
  const size_t close = text.find('\'', open + 1);
  if (close == std::string_view::npos) return "";
  return std::string(text.substr(open + 1, close - open - 1));
}

std::string DriverHint(std::string_view text, const Settings& settings) {
  std::string name = LibraryNamed(text);
  if (name.empty()) {
    const std::vector<ConnectionPair> pairs =
        ParseConnectionString(BuildConnectionString(settings));
    if (const ConnectionPair* driver = FindPair(pairs, "Driver")) name = driver->value;
  }
  const std::string package = DriverPackage(name);
  if (!package.empty()) {
    return "il driver ODBC non è installato: installare il pacchetto Debian " + package +
           " (apt install " + package + ")";
  }
  return "il driver ODBC indicato non è installato o ha un altro nome: verificare il nome del "
         "driver (odbcinst -q -d elenca quelli installati)";
}

std::string ClassHint(FailureClass c, std::string_view text, const Settings& settings) {
  // A database file has no server, port or network to check.
  if ((c == FailureClass::kHostUnreachable || c == FailureClass::kTimeout) &&
      OpensDatabaseFile(settings)) {
    return "il file di database non è stato letto entro il tempo limite: verificare che nessun "
           "altro programma lo tenga bloccato e che il disco risponda, o alleggerire la query del "
           "blocco";
  }
  switch (c) {
    case FailureClass::kHostUnreachable:
      return "il server del database non è raggiungibile (nome sconosciuto o connessione "
             "rifiutata): verificare il nome o l'indirizzo del server e la porta, che il servizio "
             "del database sia avviato e che la rete o il firewall lo lascino passare";
    case FailureClass::kLoginFailed:
      return "il server ha rifiutato l'accesso: verificare utente e password e che l'utente possa "
             "accedere a quel database";
    case FailureClass::kDatabaseMissing:
      return "il database indicato non esiste sul server o l'utente non può accedervi: verificare "
             "il nome del database e i permessi dell'utente";
    case FailureClass::kTimeout:
      return "il server non ha risposto entro il tempo limite: verificare che sia raggiungibile e "
             "non sovraccarico, o alleggerire la query del blocco";
    case FailureClass::kDriverMissing:
      return DriverHint(text, settings);
    case FailureClass::kDsnMissing:
      return "l'origine dati ODBC (DSN) indicata non esiste: verificare il nome nel campo "
             "Database e che sia definita in /etc/odbc.ini o ~/.odbc.ini (odbcinst -q -s elenca "
             "quelle definite)";
    case FailureClass::kSyntax:
      return "errore di sintassi nella query: verificare il testo SQL del blocco nel linguaggio "
             "del database usato";
    case FailureClass::kTableMissing:
      return "la query usa una tabella o una vista che non esiste: verificare i nomi nel testo "
             "SQL del blocco e il database a cui ci si collega";
    case FailureClass::kOther:
      break;
  }
  return "";
}

}  // namespace

FailureClass ClassifyFailure(const DbDiagnostic& diagnostic, std::string_view text,
                             ErrorKind kind) {
  if (kind == ErrorKind::kTimeout) return FailureClass::kTimeout;
  const std::string lowered = AsciiLowerCase(text);
  FailureClass c = BySqlState(diagnostic.sqlstate);
  if (c == FailureClass::kOther) c = ByNativeCode(diagnostic);
  if (c == FailureClass::kOther) c = ByText(lowered);
  if (c == FailureClass::kOther && diagnostic.sqlstate.rfind("08", 0) == 0) {
    c = FailureClass::kHostUnreachable;  // any other failure to make or keep the connection
  }
  return c;
}

std::string DriverPackage(std::string_view name) {
  const RoadRow* row = RoadOfDriver(name);
  return row == nullptr ? std::string() : std::string(row->driver_package);
}

std::string FailureHint(const std::exception& failure, const Settings& settings) {
  const std::string type = UpperCase(Trim(settings.DbType));
  if (Trim(settings.ConnectionString).empty() && !IsKnownDbType(type)) {
    const std::string named =
        type.empty() ? "DBTYPE è vuoto" : "DBTYPE " + type + " non è un tipo noto";
    return named + " e la connessione è stata tentata come SQL Server: verificare DBTYPE (" +
           KnownCodesText() + ").";
  }
  DbDiagnostic diagnostic;
  ErrorKind kind = ErrorKind::kGeneral;
  if (const auto* db = dynamic_cast<const DbError*>(&failure)) diagnostic = db->diagnostic();
  if (const auto* e = dynamic_cast<const Error*>(&failure)) kind = e->kind();
  const std::string_view text = failure.what();
  const std::string hint = ClassHint(ClassifyFailure(diagnostic, text, kind), text, settings);
  if (hint.empty()) return "";
  std::string out = hint;
  out[0] = static_cast<char>(out[0] - 'a' + 'A');  // every hint starts with a lower-case letter
  return out + ".";
}

std::string DescribeFailure(const std::exception& failure, const Settings& settings) {
  const std::string hint = FailureHint(failure, settings);
  if (hint.empty()) return failure.what();
  return std::string(failure.what()) + " — " + hint;
}

}  // namespace panorello
