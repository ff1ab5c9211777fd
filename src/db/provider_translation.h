#pragma once
// What a connection string means on this platform: the provider forms of the settings (Jet,
// SQL Server, Oracle OLE DB providers, the MySQL driver name) become a SQLite file or an ODBC
// connection string for the drivers that are registered here. Pure functions, no I/O.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/app_context.h"

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

// Whether ParseConnectionString reads the value back only when it is quoted: it holds ; { } or
// ", starts with an apostrophe, or has a blank (space, tab) at either end.
bool ConnectionValueNeedsQuotes(std::string_view value);

// {value} with } doubled when ConnectionValueNeedsQuotes; otherwise the value itself.
std::string QuoteOdbcValue(std::string_view value);

enum class FileFormat { Missing, Access, Other };

struct OpenTarget {
  bool sqlite_file = false;
  std::string path;  // the SQLite database file when sqlite_file
  std::string odbc;  // the ODBC connection string otherwise
};

// The TCP port of a named SQL Server instance on a host; throws Error when it cannot be learnt.
using InstancePortLookup = std::function<int(const std::string& host, const std::string& instance)>;

// Translates a connection string for the registered ODBC drivers (names as SQLDrivers lists them).
// probe tells what the file of a Jet/ACE "Data Source" is; instance_port is asked for the port of
// a named SQL Server instance (HOST\INSTANCE) when the driver needs it. Throws Error (Italian) when
// nothing on this machine can open the string: no SQL Server or Oracle driver, an Access file
// without the MDBTools driver, a Jet form without a data source.
OpenTarget TranslateConnectionString(std::string_view text, const std::vector<std::string>& drivers,
                                     const std::function<FileFormat(const std::string&)>& probe,
                                     const InstancePortLookup& instance_port = {});

// The same, asking source for the registered drivers only when the string needs them (the
// SQL Server and Oracle providers, a Jet/ACE file that is an Access database, a MySQL driver
// name); source is called at most once.
using DriverListSource = std::function<std::vector<std::string>()>;
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

}  // namespace panorello
