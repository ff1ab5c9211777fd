#pragma once
// What a connection string means on this platform: the provider forms of the settings (Jet,
// SQL Server, Oracle OLE DB providers, the MySQL driver name) become a SQLite file or an ODBC
// connection string for the drivers that are registered here. Pure functions, no I/O.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/connection_limits.h"

namespace panorello {

struct ConnectionPair {
  std::string key;    // as written, blanks around it removed
  std::string value;  // unquoted: {a}}b} -> a}b, "a""b" -> a"b; unquoted values lose their blanks
  size_t value_begin = 0;  // where the raw value (quotes included) sits in the parsed text
  size_t value_end = 0;
};

// key=value pairs separated by ";", honouring {...} (with }} for }) and "..." or '...' (with the
// quote doubled) around values. Empty pieces are skipped; a piece without "=" gets an empty value.
std::vector<ConnectionPair> ParseConnectionString(std::string_view text);

// The value of the first pair whose key matches (ASCII case-insensitive), or nullptr.
const ConnectionPair* FindPair(const std::vector<ConnectionPair>& pairs, std::string_view key);

// Whether a value is quoted: it holds ; { } " or = (which some drivers split a pair at), starts
// with an apostrophe, or has a blank (space, tab) at either end.
bool ConnectionValueNeedsQuotes(std::string_view value);

// The value itself when it reads back unquoted; otherwise between open and its closing mark
// with every closing mark doubled: {a}}b} for ODBC strings, "a""b" for the provider forms.
std::string QuoteConnectionValue(std::string_view value, char open = '{');

// FreeTDS reads a value in braces up to the first "}" followed by ";" and keeps "}}" as two
// characters, while the driver manager that reads the string first takes "}}" for one: no writing
// of a "}" reaches FreeTDS whole with nothing added. Throws Error (kConfig, naming field) when
// driver is FreeTDS and value holds "}", rather than cut the value short or turn it into keys.
void RefuseWhatFreeTdsCannotRead(std::string_view driver, std::optional<std::string_view> value,
                                 const char* field);

enum class FileFormat { Missing, Access, Other };

struct OpenTarget {
  bool sqlite_file = false;
  std::string path;  // the SQLite database file when sqlite_file
  std::string odbc;  // the ODBC connection string otherwise
};

// An ODBC connection string and the driver it names.
struct OdbcTarget {
  std::string driver;
  std::string odbc;
};

// The TCP port of a named SQL Server instance on a host; throws Error when it cannot be learnt.
using InstancePortLookup = std::function<int(const std::string& host, const std::string& instance)>;

// The registered ODBC drivers (names as SQLDrivers lists them).
using DriverListSource = std::function<std::vector<std::string>()>;

// A database file: the SQLite file itself, or the MDBTools driver when probe finds an Access
// file (source is then asked for the drivers). Throws Error when path is empty or no MDBTools
// driver is registered.
OpenTarget DatabaseFileTarget(const std::string& path, const DriverListSource& source,
                              const std::function<FileFormat(const std::string&)>& probe);

// What the SQL Server and Oracle providers are given; a key that is not given stays unset.
struct ProviderLogin {
  std::string_view data_source;  // SQL Server: HOST, HOST,PORT, HOST\INSTANCE, tcp:..., ".", ""
  std::optional<std::string_view> database;  // SQL Server only
  bool integrated = false;                   // SQL Server only: the system's own login
  std::optional<std::string_view> user;
  std::optional<std::string_view> password;
};

// The first SQL Server driver registered (Microsoft's 18, 17, then FreeTDS) and its string;
// instance_port is asked for the port of a named instance when FreeTDS needs it. Throws Error when
// no driver is registered or the port cannot be learnt.
OdbcTarget SqlServerOdbc(const ProviderLogin& login, const std::vector<std::string>& drivers,
                         const InstancePortLookup& instance_port);

// The first Oracle driver registered and its string; throws Error when there is none.
OdbcTarget OracleOdbc(const ProviderLogin& login, const std::vector<std::string>& drivers);

// Translates a connection string for the registered ODBC drivers, asking source for them only when
// the string needs them (the SQL Server and Oracle providers, a Jet/ACE file that is an Access
// database, a MySQL driver name); source is called at most once. probe tells what the file of a
// Jet/ACE "Data Source" is; instance_port is asked for the port of a named SQL Server instance
// (HOST\INSTANCE) when the driver needs it. Throws Error (Italian) when nothing on this machine
// can open the string: no SQL Server or Oracle driver, an Access file without the MDBTools driver,
// a Jet form without a data source.
OpenTarget TranslateConnectionStringLazily(
    std::string_view text, const DriverListSource& source,
    const std::function<FileFormat(const std::string&)>& probe,
    const InstancePortLookup& instance_port = {});

// Options appended to an ODBC string where its driver ignores the ODBC time-out attributes or
// needs settings for whole results (memory, booleans as bits). Keys already present are kept as
// the user wrote them. dsn_driver: the driver of the string's data source (DSN=...) when the
// string names no driver itself. Returns the complete string to open.
std::string WithDriverOptions(const std::string& odbc, const ConnectionLimits& limits,
                              std::string_view dsn_driver = {});

// The options of driver appended to out, except those whose keys are in written.
std::string AppendDriverOptions(std::string out, std::string_view driver,
                                const ConnectionLimits& limits,
                                const std::vector<ConnectionPair>& written = {});

}  // namespace panorello
