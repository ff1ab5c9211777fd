#include "db/target/provider_translation.h"

#include <initializer_list>
#include <string>

#include "util/error.h"
#include "util/text.h"

namespace panorello {

namespace {

// The first registered driver whose name starts with prefix, or "".
std::string FirstDriverStarting(const std::vector<std::string>& drivers, std::string_view prefix) {
  for (const std::string& d : drivers) {
    if (StartsWithAsciiNoCase(d, prefix)) return d;
  }
  return "";
}

bool IsRegistered(const std::vector<std::string>& drivers, std::string_view name) {
  for (const std::string& d : drivers) {
    if (EqualsAsciiNoCase(d, name)) return true;
  }
  return false;
}

// The first of several synonymous keys that the providers accept.
const ConnectionPair* FindAny(const std::vector<ConnectionPair>& pairs,
                              std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    if (const ConnectionPair* p = FindPair(pairs, key)) return p;
  }
  return nullptr;
}

const ConnectionPair* DataSourceKey(const std::vector<ConnectionPair>& pairs) {
  return FindAny(pairs, {"Data Source", "Server", "Address", "Addr", "Network Address"});
}

const ConnectionPair* UserKey(const std::vector<ConnectionPair>& pairs) {
  return FindAny(pairs, {"User ID", "UID", "User"});
}

const ConnectionPair* PasswordKey(const std::vector<ConnectionPair>& pairs) {
  return FindAny(pairs, {"Password", "PWD"});
}

std::string ValueOf(const std::vector<ConnectionPair>& pairs, std::string_view key) {
  const ConnectionPair* p = FindPair(pairs, key);
  return p == nullptr ? std::string() : p->value;
}

bool IsTrue(std::string_view v) {
  const std::string l = LowerCase(TrimSpacesAndTabs(v));
  return l == "sspi" || l == "true" || l == "yes";
}

// The registered drivers, asked for only when a translation needs them (reading them makes the
// driver manager parse its configuration files, which costs more than opening a SQLite file).
class LazyDrivers {
 public:
  explicit LazyDrivers(const DriverListSource& source) : source_(source) {}
  const std::vector<std::string>& Get() {
    if (!loaded_) {
      list_ = source_();
      loaded_ = true;
    }
    return list_;
  }

 private:
  const DriverListSource& source_;
  std::vector<std::string> list_;
  bool loaded_ = false;
};

// UID and PWD from the login's user and password, when given.
void AppendLogin(std::string& out, const ProviderLogin& login) {
  if (login.user) out += "UID=" + QuoteConnectionValue(*login.user) + ";";
  if (login.password) out += "PWD=" + QuoteConnectionValue(*login.password) + ";";
}

std::optional<std::string_view> ValueIfPresent(const ConnectionPair* pair) {
  if (pair == nullptr) return std::nullopt;
  return pair->value;
}

// The login of a SQL Server or Oracle provider form.
ProviderLogin LoginOf(const std::vector<ConnectionPair>& pairs) {
  ProviderLogin login;
  if (const ConnectionPair* ds = DataSourceKey(pairs)) login.data_source = ds->value;
  login.database = ValueIfPresent(FindAny(pairs, {"Initial Catalog", "Database"}));
  login.integrated = IsTrue(ValueOf(pairs, "Integrated Security"));
  login.user = ValueIfPresent(UserKey(pairs));
  login.password = ValueIfPresent(PasswordKey(pairs));
  return login;
}

// Where a SQL Server is, as its users write it: HOST (port 1433), HOST,PORT, HOST\INSTANCE (a
// named instance, its port from the SQL Server Browser); "tcp:" before it, "." and "(local)" for
// this machine.
struct SqlServerAddress {
  std::string host;
  std::string port;
  std::string instance;
};

SqlServerAddress ParseSqlServerAddress(std::string_view text) {
  SqlServerAddress a;
  std::string_view rest = TrimSpacesAndTabs(text);
  if (StartsWithAsciiNoCase(rest, "tcp:")) rest = TrimSpacesAndTabs(rest.substr(4));
  if (const size_t comma = rest.rfind(','); comma != std::string_view::npos) {
    a.port = std::string(TrimSpacesAndTabs(rest.substr(comma + 1)));
    rest = TrimSpacesAndTabs(rest.substr(0, comma));
  }
  if (const size_t slash = rest.find('\\'); slash != std::string_view::npos) {
    a.instance = std::string(TrimSpacesAndTabs(rest.substr(slash + 1)));
    rest = TrimSpacesAndTabs(rest.substr(0, slash));
  }
  a.host = std::string(rest);
  if (a.host == "." || EqualsAsciiNoCase(a.host, "(local)") || a.host.empty()) a.host = "localhost";
  return a;
}

// FreeTDS is given host and port apart (with Debian's "tds version = auto" a host without a port
// reaches nothing); the Microsoft drivers read HOST,PORT and find instances themselves.
std::string SqlServerLocation(const SqlServerAddress& a, bool freetds,
                              const InstancePortLookup& instance_port) {
  if (!freetds) {
    std::string server = a.host;
    if (!a.port.empty()) {
      server += "," + a.port;
    } else if (!a.instance.empty()) {
      server += "\\" + a.instance;
    }
    return "Server=" + QuoteConnectionValue(server) + ";";
  }
  std::string port = a.port;
  if (port.empty() && !a.instance.empty()) {
    if (!instance_port) throw Error("Porta dell'istanza SQL Server " + a.instance + " sconosciuta");
    port = std::to_string(instance_port(a.host, a.instance));
  }
  if (port.empty()) port = "1433";
  return "Server=" + QuoteConnectionValue(a.host) + ";Port=" + QuoteConnectionValue(port) + ";";
}

OpenTarget OdbcOnly(OdbcTarget target) {
  OpenTarget t;
  t.odbc = std::move(target.odbc);
  return t;
}

void AppendOption(std::string& out, const std::vector<ConnectionPair>& pairs, std::string_view key,
                  std::string_view value) {
  if (FindPair(pairs, key) != nullptr) return;
  if (!out.empty() && out.back() != ';') out.push_back(';');
  out.append(key);
  out.push_back('=');
  out.append(value);
  out.push_back(';');
}

// Reads a quoted value starting at text[i] == open; the closing quote doubled stands for itself.
size_t ReadQuoted(std::string_view text, size_t i, char close, std::string& value) {
  ++i;
  while (i < text.size()) {
    if (text[i] == close) {
      if (i + 1 < text.size() && text[i + 1] == close) {
        value.push_back(close);
        i += 2;
        continue;
      }
      return i + 1;
    }
    value.push_back(text[i++]);
  }
  return i;  // unterminated: the rest of the text
}

}  // namespace

std::vector<ConnectionPair> ParseConnectionString(std::string_view text) {
  std::vector<ConnectionPair> pairs;
  size_t i = 0;
  while (i < text.size()) {
    const size_t stop = text.find_first_of("=;", i);
    if (stop == std::string_view::npos || text[stop] == ';') {
      const size_t end = stop == std::string_view::npos ? text.size() : stop;
      const std::string_view key = TrimSpacesAndTabs(text.substr(i, end - i));
      if (!key.empty()) pairs.push_back({std::string(key), "", end, end});
      i = end + 1;
      continue;
    }
    ConnectionPair pair;
    pair.key = std::string(TrimSpacesAndTabs(text.substr(i, stop - i)));
    i = stop + 1;
    while (i < text.size() && IsSpaceOrTab(text[i])) ++i;
    pair.value_begin = i;
    if (i < text.size() && (text[i] == '{' || text[i] == '"' || text[i] == '\'')) {
      const char close = text[i] == '{' ? '}' : text[i];
      i = ReadQuoted(text, i, close, pair.value);
      pair.value_end = i;
      const size_t semicolon = text.find(';', i);
      i = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
    } else {
      const size_t semicolon = text.find(';', i);
      const size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
      const std::string_view raw = TrimSpacesAndTabs(text.substr(i, end - i));
      pair.value = std::string(raw);
      pair.value_end = i + raw.size();
      i = end + 1;
    }
    if (!pair.key.empty()) pairs.push_back(std::move(pair));
  }
  return pairs;
}

const ConnectionPair* FindPair(const std::vector<ConnectionPair>& pairs, std::string_view key) {
  for (const ConnectionPair& p : pairs) {
    if (EqualsAsciiNoCase(p.key, key)) return &p;
  }
  return nullptr;
}

bool ConnectionValueNeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  return value.find_first_of(";{}\"=") != std::string_view::npos || value.front() == '\'' ||
         IsSpaceOrTab(value.front()) || IsSpaceOrTab(value.back());
}

std::string QuoteConnectionValue(std::string_view value, char open) {
  if (!ConnectionValueNeedsQuotes(value)) return std::string(value);
  const char close = open == '{' ? '}' : open;
  std::string out(1, open);
  for (char ch : value) {
    out.push_back(ch);
    if (ch == close) out.push_back(close);
  }
  out.push_back(close);
  return out;
}

void RefuseWhatFreeTdsCannotRead(std::string_view driver, std::optional<std::string_view> value,
                                 const char* field) {
  const bool freetds = StartsWithAsciiNoCase(TrimSpacesAndTabs(driver), "FreeTDS") ||
                       AsciiLowerCase(driver).find("tdsodbc") != std::string::npos;
  if (!freetds || !value || value->find('}') == std::string_view::npos) return;
  throw Error(std::string("Il valore di ") + field +
                  " contiene il carattere \"}\", che il driver FreeTDS non riceve intatto: "
                  "sceglierne uno senza \"}\" sul server, oppure installare il driver Microsoft "
                  "(ODBC Driver 18 for SQL Server)",
              ErrorKind::kConfig);
}

OpenTarget DatabaseFileTarget(const std::string& path, const DriverListSource& source,
                              const std::function<FileFormat(const std::string&)>& probe) {
  if (path.empty()) {
    throw Error("Stringa di connessione senza Data Source: manca il percorso del database");
  }
  OpenTarget t;
  if (probe(path) == FileFormat::Access) {
    const std::string driver = FirstDriverStarting(source(), "MDBTools");
    if (driver.empty()) {
      throw Error("Il file " + path +
                  " è un database Access: per leggerlo installare il pacchetto Debian "
                  "odbc-mdbtools (driver ODBC MDBTools)");
    }
    t.odbc = "Driver={" + driver + "};DBQ=" + QuoteConnectionValue(path) + ";";
    return t;
  }
  t.sqlite_file = true;
  t.path = path;
  return t;
}

OdbcTarget SqlServerOdbc(const ProviderLogin& login, const std::vector<std::string>& drivers,
                         const InstancePortLookup& instance_port) {
  std::string driver;
  for (const char* candidate :
       {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS"}) {
    if (IsRegistered(drivers, candidate)) {
      driver = candidate;
      break;
    }
  }
  if (driver.empty()) {
    throw Error("Nessun driver ODBC per SQL Server installato (pacchetto Debian tdsodbc)");
  }
  std::string out = "Driver={" + driver + "};";
  const SqlServerAddress address = ParseSqlServerAddress(login.data_source);
  RefuseWhatFreeTdsCannotRead(driver, login.data_source, "SERVER");
  RefuseWhatFreeTdsCannotRead(driver, login.database, "DATABASE");
  if (!login.integrated) {
    RefuseWhatFreeTdsCannotRead(driver, login.user, "USER");
    RefuseWhatFreeTdsCannotRead(driver, login.password, "PASSWORD");
  }
  out += SqlServerLocation(address, driver == "FreeTDS", instance_port);
  if (login.database) out += "Database=" + QuoteConnectionValue(*login.database) + ";";
  if (login.integrated) {
    out += "Trusted_Connection=Yes;";
  } else {
    AppendLogin(out, login);
  }
  return {driver, out};
}

OdbcTarget OracleOdbc(const ProviderLogin& login, const std::vector<std::string>& drivers) {
  const std::string driver = FirstDriverStarting(drivers, "Oracle");
  if (driver.empty()) {
    throw Error("Nessun driver ODBC Oracle installato: impossibile aprire la connessione Oracle");
  }
  std::string out = "Driver={" + driver + "};DBQ=" + QuoteConnectionValue(login.data_source) + ";";
  AppendLogin(out, login);
  return {driver, out};
}

OpenTarget TranslateConnectionStringLazily(
    std::string_view text, const DriverListSource& source,
    const std::function<FileFormat(const std::string&)>& probe,
    const InstancePortLookup& instance_port) {
  LazyDrivers drivers(source);
  const std::vector<ConnectionPair> pairs = ParseConnectionString(text);
  if (const ConnectionPair* provider = FindPair(pairs, "Provider")) {
    const std::string name = LowerCase(provider->value);
    if (StartsWithAsciiNoCase(name, "microsoft.jet.oledb") ||
        StartsWithAsciiNoCase(name, "microsoft.ace.oledb")) {
      return DatabaseFileTarget(ValueOf(pairs, "Data Source"), source, probe);
    }
    if (name == "sqloledb" || StartsWithAsciiNoCase(name, "sqlncli") ||
        StartsWithAsciiNoCase(name, "msoledbsql")) {
      return OdbcOnly(SqlServerOdbc(LoginOf(pairs), drivers.Get(), instance_port));
    }
    if (StartsWithAsciiNoCase(name, "oraoledb") || name == "msdaora") {
      return OdbcOnly(OracleOdbc(LoginOf(pairs), drivers.Get()));
    }
  }
  OpenTarget target;
  target.odbc = std::string(text);
  if (const ConnectionPair* driver = FindPair(pairs, "Driver")) {
    if (StartsWithAsciiNoCase(TrimSpacesAndTabs(driver->value), "MySQL") &&
        !IsRegistered(drivers.Get(), driver->value)) {
      const std::string mariadb = FirstDriverStarting(drivers.Get(), "MariaDB");
      if (!mariadb.empty()) {
        target.odbc.replace(driver->value_begin, driver->value_end - driver->value_begin,
                            "{" + mariadb + "}");
      }
    }
  }
  return target;
}

std::string WithDriverOptions(const std::string& odbc, const ConnectionLimits& limits,
                              std::string_view dsn_driver) {
  const std::vector<ConnectionPair> pairs = ParseConnectionString(odbc);
  std::string driver = ValueOf(pairs, "Driver");
  if (driver.empty()) driver = std::string(dsn_driver);
  return AppendDriverOptions(odbc, driver, limits, pairs);
}

std::string AppendDriverOptions(std::string out, std::string_view driver,
                                const ConnectionLimits& limits,
                                const std::vector<ConnectionPair>& written) {
  const std::string connect = std::to_string(limits.connect_seconds);
  const std::string query = std::to_string(limits.query_seconds);
  if (StartsWithAsciiNoCase(driver, "MariaDB") || StartsWithAsciiNoCase(driver, "MySQL")) {
    // The driver ignores the login and query time-out attributes; these options work.
    AppendOption(out, written, "CONN_TIMEOUT", connect);
    AppendOption(out, written, "READ_TIMEOUT", query);
    AppendOption(out, written, "WRITE_TIMEOUT", query);
    // Rows streamed from the server as they are read (with a forward-only cursor) instead of the
    // whole result cached in the driver first.
    AppendOption(out, written, "NO_CACHE", "1");
  } else if (StartsWithAsciiNoCase(driver, "PostgreSQL")) {
    // A cursor fetched in pieces instead of the whole result buffered in the driver; booleans
    // reported as bits instead of "1"/"0" texts; text columns reported with a bounded size so
    // that they are fetched in row arrays (a longer value makes the layer read the result again
    // value by value).
    AppendOption(out, written, "UseDeclareFetch", "1");
    AppendOption(out, written, "Fetch", "10000");
    AppendOption(out, written, "BoolsAsChar", "0");
    AppendOption(out, written, "TextAsLongVarchar", "0");
    AppendOption(out, written, "MaxVarcharSize", "1024");
    AppendOption(out, written, "CommLog", "0");  // no /tmp/psqlodbc_*.log per process
    AppendOption(out, written, "Debug", "0");
  } else if (StartsWithAsciiNoCase(driver, "FreeTDS")) {
    AppendOption(out, written, "LoginTimeout", connect);
    AppendOption(out, written, "Timeout", query);
    AppendOption(out, written, "TDS_Version",
                 "7.4");  // "auto" falls back to a login without time-out
  }
  return out;
}

}  // namespace panorello
