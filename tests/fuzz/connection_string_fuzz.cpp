// The connection-string builder: the values of the settings, built into a string and parsed back
// with the connection-string rules, come back as they were (quotes, braces, apostrophes, blanks
// and empty values included), also through the translation for the ODBC drivers. Any text also
// parses and translates without harm.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/target/connection_string.h"
#include "db/target/provider_translation.h"
#include "fuzz_support.h"
#include "util/error.h"

using panorello::fuzz::Require;

namespace panorello {
namespace {

const std::vector<std::string> kDrivers = {"FreeTDS",         "PostgreSQL Unicode",
                                           "MariaDB Unicode", "SQLite3",
                                           "MDBTools",        "Oracle 21 ODBC driver"};

std::vector<std::string> Drivers() { return kDrivers; }

void ExpectValue(const std::vector<ConnectionPair>& pairs, const char* key,
                 const std::string& value, const std::string& text) {
  const ConnectionPair* pair = FindPair(pairs, key);
  Require(pair != nullptr, key, text);
  Require(pair->value == value, "a built value reads back unchanged",
          text + "\n" + key + "=" + value);
}

struct Expected {
  const char* key;
  std::string Settings::*field;
};

void CheckBuilt(const Settings& s) {
  const std::string text = BuildConnectionString(s);
  const std::vector<ConnectionPair> pairs = ParseConnectionString(text);
  std::vector<Expected> expected;
  if (s.DbType == "ACCESS") {
    expected = {{"Data Source", &Settings::Database}};
  } else if (s.DbType == "ORACLE") {
    expected = {{"Data Source", &Settings::Server},
                {"User ID", &Settings::User},
                {"Password", &Settings::Password}};
  } else if (s.DbType == "MYSQL") {
    expected = {{"Server", &Settings::Server},
                {"Database", &Settings::Database},
                {"User", &Settings::User},
                {"Password", &Settings::Password}};
  } else if (s.DbType == "POSTGRESQL") {
    expected = {{"Server", &Settings::Server},
                {"Database", &Settings::Database},
                {"Uid", &Settings::User},
                {"Pwd", &Settings::Password}};
  } else if (s.DbType == "ODBC") {
    expected = {
        {"DSN", &Settings::Database}, {"Uid", &Settings::User}, {"Pwd", &Settings::Password}};
  } else {
    expected = {{"Data Source", &Settings::Server}, {"Initial Catalog", &Settings::Database}};
    if (s.DbType == "SQLSERVER" && !s.Integrated) {
      expected.push_back({"User ID", &Settings::User});
      expected.push_back({"Password", &Settings::Password});
    }
  }
  for (const Expected& e : expected) ExpectValue(pairs, e.key, s.*(e.field), text);

  // The translated ODBC string keeps the file path, the database and the login.
  for (const FileFormat format : {FileFormat::Access, FileFormat::Other}) {
    try {
      const auto probe = [format](const std::string&) { return format; };
      const OpenTarget target = TranslateConnectionStringLazily(text, Drivers, probe);
      const std::vector<ConnectionPair> odbc = ParseConnectionString(target.odbc);
      if (s.DbType == "ACCESS" && target.sqlite_file) {
        Require(target.path == s.Database, "the database file path is kept", text);
      } else if (s.DbType == "ACCESS") {
        ExpectValue(odbc, "DBQ", s.Database, target.odbc);
      } else if (s.DbType == "SQLSERVER" && !s.Integrated) {
        ExpectValue(odbc, "Database", s.Database, target.odbc);
        ExpectValue(odbc, "UID", s.User, target.odbc);
        ExpectValue(odbc, "PWD", s.Password, target.odbc);
      }
    } catch (const Error&) {
      // Nothing to open (an empty path): refused with a message.
    }
  }
}

void CheckAnyText(std::string_view text) {
  for (const ConnectionPair& p : ParseConnectionString(text)) {
    Require(p.value_begin <= p.value_end && p.value_end <= text.size(), "value bounds in the text");
  }
  try {
    TranslateConnectionStringLazily(text, Drivers, [](const std::string& path) {
      return path.size() % 3 == 0 ? FileFormat::Access : FileFormat::Other;
    });
  } catch (const Error&) {
  }
}

}  // namespace
}  // namespace panorello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace panorello;
  if (size == 0) return 0;
  static const char* const kTypes[] = {"ACCESS",     "SQLSERVER", "ORACLE", "MYSQL",
                                       "POSTGRESQL", "ODBC",      ""};
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<std::string> parts = fuzz::SplitAtNul(rest);
  Settings s;
  s.DbType = kTypes[data[0] % 7];
  s.Integrated = (data[0] & 0x80) != 0;
  std::string* fields[] = {&s.Server, &s.Database, &s.User, &s.Password};
  for (size_t i = 0; i < 4 && i < parts.size(); ++i) *fields[i] = parts[i];
  CheckBuilt(s);
  CheckAnyText(rest);
  return 0;
}
