#include "db/target/provider_translation.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "db/connection.h"
#include "db/target/connection_string.h"
#include "db/target/connection_target.h"
#include "util/error.h"

namespace panorello {
namespace {

const std::vector<std::string> kDebian = {
    "FreeTDS", "PostgreSQL ANSI", "PostgreSQL Unicode", "MariaDB Unicode", "SQLite",
    "SQLite3", "MDBTools"};
const std::vector<std::string> kBare = {"PostgreSQL Unicode", "SQLite3"};
const std::vector<std::string> kMicrosoft = {"FreeTDS", "ODBC Driver 17 for SQL Server",
                                             "ODBC Driver 18 for SQL Server",
                                             "Oracle 21 ODBC driver"};

FileFormat NoAccess(const std::string& path) {
  if (path.find("missing") != std::string::npos) return FileFormat::Missing;
  return path.find(".accdb") != std::string::npos ? FileFormat::Access : FileFormat::Other;
}

OpenTarget Translate(const std::string& text, const std::vector<std::string>& drivers,
                     const InstancePortLookup& instance_port = {}) {
  return TranslateConnectionStringLazily(
      text, [&drivers] { return drivers; }, NoAccess, instance_port);
}

TEST(BuildConnectionString, EveryTypeAndTheExplicitString) {
  const std::string integrated =
      "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;";
  const std::pair<Settings, std::string> cases[] = {
      // Blanks alone are no explicit string, tabs are one; it is returned untrimmed.
      {{.DbType = "ODBC",
        .Database = "dsn",
        .User = "u",
        .Password = "p",
        .ConnectionString = "     "},
       "DSN=dsn;Uid=u;Pwd=p;"},
      {{.DbType = "ACCESS", .Database = "a.mdb", .ConnectionString = "\t\t"}, "\t\t"},
      {{.DbType = "  access ", .Database = "C:\\data\\a.mdb"},
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\data\\a.mdb;"},
      {{.DbType = "ACCESS", .Database = "/d/a;\"b\".db"},
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/d/a;\"\"b\"\".db\";"},
      {{.DbType = "SQLSERVER", .Server = "srv", .Database = "db"},
       "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=;Password=;"},
      {{.DbType = "SqlServer", .Server = "srv", .Database = "db", .User = "u", .Integrated = true},
       integrated},
      // Blank, unknown and tab-led types are SQL Server with integrated security.
      {{.Server = "srv", .Database = "db", .User = "u", .Password = "p"}, integrated},
      {{.DbType = "\tACCESS", .Server = "srv", .Database = "db"}, integrated},
      {{.DbType = "ORACLE", .Server = "orcl", .Database = "x", .User = "scott", .Password = "t"},
       "Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=t;"},
      {{.DbType = "mysql", .Server = "h", .Database = "d", .User = "u", .Password = "p;w}x"},
       "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;User=u;Password={p;w}}x};"},
      {{.DbType = "POSTGRESQL", .Server = "h:6000", .Database = "d", .User = "u", .Password = "p"},
       "Driver={PostgreSQL Unicode};Server=h:6000;Port=5432;Database=d;Uid=u;Pwd=p;"},
  };
  for (const auto& [settings, expected] : cases) {
    EXPECT_EQ(BuildConnectionString(settings), expected) << settings.DbType;
  }
}

// Password values become *** in any letter case, quoted, braced (doubled marks inside), unclosed
// or with blanks around "="; other keys that merely end in "pwd" are left alone.
TEST(MaskPasswords, EveryFormOfThePasswordValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"Server=s;Uid=u;Pwd=segreto;Port=1", "Server=s;Uid=u;Pwd=***;Port=1"},
      {"PASSWORD=a b;x=1", "PASSWORD=***;x=1"},
      {"password = {a;}}b};User=u", "password = ***;User=u"},
      {"PWD=\"a\"\";b\";", "PWD=***;"},
      {"Pwd='pa55;x", "Pwd=***"},
      {"OldPwd=keep;MyPassword=keep;Pwd", "OldPwd=keep;MyPassword=keep;Pwd"},
  };
  for (const auto& [text, masked] : cases) EXPECT_EQ(MaskPasswords(text), masked) << text;
}

// A Jet string whose unclosed brace swallows the password: the error of opening it does not
// repeat the password.
TEST(MaskPasswords, OpeningErrorsDoNotRepeatThePassword) {
  const std::string jet =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source={/nessuna/cartella/x.mdb;Jet OLEDB:Database "
      "Password=Segreto99;";
  try {
    OpenConnectionString(jet, ConnectionLimits{});
    ADD_FAILURE() << "opened";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).find("Segreto99"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("/nessuna/cartella/x.mdb"), std::string::npos) << e.what();
  }
}

// One value per way of writing it: plain, empty, a separator, a doubled closing brace, a leading
// apostrophe, a blank at either end.
const std::string kTrickyValues[] = {"a'b", "", "a;b", "}", "'srv", " p", "p\t"};

// Every built value reads back as it was written, with quotes, braces, apostrophes and blanks.
TEST(BuildConnectionString, ValuesReadBackUnchanged) {
  for (const char* type : {"MYSQL", "POSTGRESQL", "ODBC", "SQLSERVER", "ORACLE"}) {
    for (const std::string& v : kTrickyValues) {
      SCOPED_TRACE(std::string(type) + " [" + v + "]");
      const Settings s{.DbType = type, .Server = v, .Database = v, .User = v, .Password = v};
      for (const ConnectionPair& p : ParseConnectionString(BuildConnectionString(s))) {
        if (p.key != "Driver" && p.key != "Provider" && p.key != "Port") {
          EXPECT_EQ(p.value, v) << p.key;
        }
      }
    }
  }
}

// Opening from the settings reaches the same ODBC string or file as translating their
// connection string did, for every type, value and set of drivers.
TEST(OdbcTargetOf, SameAsTranslatingTheBuiltString) {
  const auto dsn_driver = [](const std::string& dsn) {
    if (dsn.find('{') != std::string::npos) return std::string("PostgreSQL Unicode");
    return dsn[0] == '\'' ? std::string() : std::string("FreeTDS");
  };
  const InstancePortLookup browser = [](const std::string&, const std::string&) { return 1501; };
  const ConnectionLimits limits{.connect_seconds = 7, .query_seconds = 9};
  for (const char* type : {"ACCESS", "SQLSERVER", "ORACLE", "ODBC", ""}) {
    for (const auto& drivers : {kDebian, kMicrosoft}) {
      for (const std::string& v : kTrickyValues) {
        for (const bool integrated : {false, true}) {
          SCOPED_TRACE(std::string(type) + " [" + v + "] " + drivers[1]);
          const Settings s{.DbType = type,
                           .Server = v + "\\I",
                           .Database = v + ".accdb",
                           .User = v,
                           .Password = v,
                           .Integrated = integrated};
          const DriverListSource source = [&drivers] { return drivers; };
          std::string before, after;
          try {
            const OpenTarget t = TranslateConnectionStringLazily(BuildConnectionString(s), source,
                                                                 NoAccess, browser);
            const std::vector<ConnectionPair> pairs = ParseConnectionString(t.odbc);
            const ConnectionPair* dsn = FindPair(pairs, "DSN");
            before = t.sqlite_file
                         ? t.path
                         : WithDriverOptions(t.odbc, limits, dsn ? dsn_driver(dsn->value) : "");
          } catch (const Error& e) {
            before = e.what();
          }
          try {
            if (RoadOf(s) == ConnectionRoad::kDatabaseFile) {
              const OpenTarget t = DatabaseFileTarget(s.Database, source, NoAccess);
              after = t.sqlite_file ? t.path : AppendDriverOptions(t.odbc, "MDBTools", limits);
            } else {
              after = OdbcTargetOf(s, limits, {source, browser, dsn_driver}).odbc;
            }
          } catch (const Error& e) {
            after = e.what();
          }
          // A data source of FreeTDS refuses a "}" of the settings; a string written by hand goes
          // to the driver as written.
          if (std::string(type) == "ODBC" && after.starts_with("Il valore di ")) continue;
          EXPECT_EQ(after, before);
        }
      }
    }
  }
}

// FreeTDS cannot receive a "}" whole: a field holding one is refused, naming the field and not
// the value, where it used to add keys of its own. The Microsoft drivers and psqlODBC read "}}"
// back as "}": their strings keep every value whole.
TEST(OdbcTargetOf, FreeTdsRefusesABraceTheOtherDriversGetItWhole) {
  const std::string injected = "d};Port=15999;X={";
  const std::pair<std::string Settings::*, const char*> fields[] = {
      {&Settings::Server, "Server"},
      {&Settings::Database, "Database"},
      {&Settings::User, "UID"},
      {&Settings::Password, "PWD"}};
  const auto lookups = [](const std::vector<std::string>& drivers, const char* dsn_driver) {
    return OdbcLookups{[drivers] { return drivers; },
                       {},
                       [dsn_driver](const std::string&) { return std::string(dsn_driver); }};
  };
  for (const char* type : {"SQLSERVER", "ODBC"}) {
    for (const auto& [field, key] : fields) {
      Settings s{.DbType = type, .Server = "srv", .Database = "db", .User = "u", .Password = "p"};
      s.*field = injected;
      const bool used = std::string(type) == "SQLSERVER" || field != &Settings::Server;
      SCOPED_TRACE(std::string(type) + " " + key);
      try {
        OdbcTargetOf(s, {}, lookups(kDebian, "FreeTDS"));
        EXPECT_FALSE(used);
      } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).find("Il valore di "), 0u) << e.what();
        EXPECT_EQ(std::string(e.what()).find(injected), std::string::npos) << e.what();
      }
      const std::string odbc = OdbcTargetOf(s, {}, lookups(kMicrosoft, "PostgreSQL Unicode")).odbc;
      const std::vector<ConnectionPair> pairs = ParseConnectionString(odbc);
      EXPECT_EQ(FindPair(pairs, "Port"), nullptr) << odbc;
      const char* read_as = std::string(type) == "SQLSERVER" ? key
                            : field == &Settings::Database   ? "DSN"
                            : field == &Settings::User       ? "Uid"
                                                             : "Pwd";
      if (used) {
        EXPECT_EQ(FindPair(pairs, read_as)->value, injected) << odbc;
      }
    }
  }
}

TEST(ParseConnectionString, SplitsAndUnquotes) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const std::pair<std::string, Pairs> cases[] = {
      {";;", {}},
      {"A=b=c", {{"A", "b=c"}}},
      {"Trusted;A=", {{"Trusted", ""}, {"A", ""}}},
      {" Data Source = C:\\a b.mdb ;x=1", {{"Data Source", "C:\\a b.mdb"}, {"x", "1"}}},
      {"Password=\"a\"\"b;c\";User ID=sa;", {{"Password", "a\"b;c"}, {"User ID", "sa"}}},
      {"Password='it''s;';", {{"Password", "it's;"}}},
      {"Pwd={unterminated;x=1", {{"Pwd", "unterminated;x=1"}}},
  };
  for (const auto& [text, expected] : cases) {
    Pairs parsed;
    for (const ConnectionPair& p : ParseConnectionString(text)) parsed.emplace_back(p.key, p.value);
    EXPECT_EQ(parsed, expected) << text;
  }
}

TEST(TranslateConnectionStringLazily, ProviderFormsForTheRegisteredDrivers) {
  struct Case {
    std::string text;
    std::vector<std::string> drivers;
    std::string expected;  // the SQLite file's path, or the ODBC string
  };
  const Case cases[] = {
      {.text = "provider=microsoft.ace.oledb.12.0;data source=/x/missing.accdb",
       .drivers = kBare,
       .expected = "/x/missing.accdb"},
      {.text = "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/real.accdb;",
       .drivers = kDebian,
       .expected = "Driver={MDBTools};DBQ=/x/real.accdb;"},
      {.text = "Provider=SQLNCLI11;Data Source=db, 1433;Initial Catalog=x;Integrated Security=SSPI",
       .drivers = kMicrosoft,
       .expected = "Driver={ODBC Driver 18 for SQL Server};Server=db,1433;Database=x;"
                   "Trusted_Connection=Yes;"},
      {.text = "Provider=MSOLEDBSQL;Server=tcp:db,1500;Database=vendite;UID=u;PWD={x;y};",
       .drivers = kDebian,
       .expected = "Driver={FreeTDS};Server=db;Port=1500;Database=vendite;UID=u;PWD={x;y};"},
      {.text = "Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=t;",
       .drivers = kMicrosoft,
       .expected = "Driver={Oracle 21 ODBC driver};DBQ=orcl;UID=scott;PWD=t;"},
      {.text = "Server=h;DRIVER=MySQL ODBC 5.3 ANSI Driver ;Database=d;",
       .drivers = kDebian,
       .expected = "Server=h;DRIVER={MariaDB Unicode} ;Database=d;"},
      // Left as written: no MariaDB driver, forms the drivers read themselves, unknown providers.
      {.text = "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;",
       .drivers = kBare,
       .expected = "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;"},
      {.text = "  DSN=x;Uid=a;  ", .drivers = kDebian, .expected = "  DSN=x;Uid=a;  "},
  };
  for (const Case& c : cases) {
    const OpenTarget t = Translate(c.text, c.drivers);
    EXPECT_EQ(t.sqlite_file ? t.path : t.odbc, c.expected) << c.text;
  }
}

TEST(TranslateConnectionStringLazily, NothingToOpenItExplainsInItalian) {
  const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
      {"Provider=SQLOLEDB;Data Source=s;", kBare, "Nessun driver ODBC per SQL Server"},
      {"Provider=OraOLEDB.Oracle;Data Source=o;", kDebian, "Nessun driver ODBC Oracle"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/real.accdb;", kBare, "odbc-mdbtools"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=;", kDebian, "manca il percorso"},
  };
  for (const auto& [text, drivers, message_part] : cases) {
    try {
      Translate(text, drivers);
      ADD_FAILURE() << text;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(message_part), std::string::npos) << e.what();
    }
  }
}

// SQL Server as its users name it. FreeTDS gets host and port apart, the port of a named instance
// from the browser; the Microsoft drivers read the name themselves.
TEST(TranslateConnectionStringLazily, SqlServerNames) {
  std::vector<std::string> asked;
  const InstancePortLookup browser = [&asked](const std::string& host,
                                              const std::string& instance) {
    asked.push_back(host + "|" + instance);
    return 49172;
  };
  const std::tuple<std::string, std::vector<std::string>, std::string, std::string> cases[] = {
      {" srv , 1500 ", kDebian, "Server=srv;Port=1500;", ""},
      {"srv\\SQLEXPRESS", kDebian, "Server=srv;Port=49172;", "srv|SQLEXPRESS"},
      {".\\SQLEXPRESS", kDebian, "Server=localhost;Port=49172;", "localhost|SQLEXPRESS"},
      {"(local)", kDebian, "Server=localhost;Port=1433;", ""},
      {"srv\\SQLEXPRESS", kMicrosoft, "Server=srv\\SQLEXPRESS;", ""},
  };
  for (const auto& [source, drivers, location, lookup] : cases) {
    asked.clear();
    const OpenTarget t = Translate(
        "Provider=SQLOLEDB;Data Source=" + source + ";Integrated Security=SSPI;", drivers, browser);
    const std::string driver = drivers == kDebian ? "FreeTDS" : "ODBC Driver 18 for SQL Server";
    EXPECT_EQ(t.odbc, "Driver={" + driver + "};" + location + "Trusted_Connection=Yes;") << source;
    EXPECT_EQ(asked, lookup.empty() ? std::vector<std::string>{} : std::vector<std::string>{lookup})
        << source;
  }
  const auto refusing = [](const std::string&, const std::string&) -> int {
    throw Error("nessuna risposta");
  };
  EXPECT_THROW(Translate("Provider=SQLOLEDB;Data Source=srv\\X;", kDebian, refusing), Error);
}

TEST(WithDriverOptions, TimeOutsAndResultSettingsPerDriver) {
  const ConnectionLimits limits{.connect_seconds = 7, .query_seconds = 9};
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"Driver={MariaDB Unicode};read_timeout=100", "",
       "Driver={MariaDB Unicode};read_timeout=100;CONN_TIMEOUT=7;WRITE_TIMEOUT=9;NO_CACHE=1;"},
      {"Driver={PostgreSQL Unicode};Server=h;BoolsAsChar=1;", "",
       "Driver={PostgreSQL Unicode};Server=h;BoolsAsChar=1;UseDeclareFetch=1;Fetch=10000;"
       "TextAsLongVarchar=0;MaxVarcharSize=1024;CommLog=0;Debug=0;"},
      {"Driver={FreeTDS};", "", "Driver={FreeTDS};LoginTimeout=7;Timeout=9;TDS_Version=7.4;"},
      {"DSN=x;Uid=u;", "", "DSN=x;Uid=u;"},
      // A data source's own driver decides, unless the string names a driver itself.
      {"DSN=Vendite;Uid=u;", "MariaDB Unicode",
       "DSN=Vendite;Uid=u;CONN_TIMEOUT=7;READ_TIMEOUT=9;WRITE_TIMEOUT=9;NO_CACHE=1;"},
      {"DSN=V;Driver=SQLite3;", "MariaDB Unicode", "DSN=V;Driver=SQLite3;"},
  };
  for (const auto& [odbc, dsn_driver, expected] : cases) {
    EXPECT_EQ(WithDriverOptions(odbc, limits, dsn_driver), expected) << dsn_driver;
  }
}

// The registered-driver list is read only for the translations that need it, and once.
TEST(TranslateConnectionStringLazily, AsksForTheDriversOnlyWhenNeeded) {
  const std::tuple<const char*, FileFormat, int> cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dati/vendite.db;", FileFormat::Other, 0},
      {"Driver={PostgreSQL Unicode};Server=h;", FileFormat::Other, 0},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dati/vero.mdb;", FileFormat::Access, 1},
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;", FileFormat::Other, 1},
  };
  for (const auto& [text, file, expected_calls] : cases) {
    int calls = 0;
    const DriverListSource source = [&] {
      ++calls;
      return kDebian;
    };
    TranslateConnectionStringLazily(text, source, [&](const std::string&) { return file; });
    EXPECT_EQ(calls, expected_calls) << text;
  }
}

}  // namespace
}  // namespace panorello
