#include "db/provider_translation.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "db/connection.h"
#include "db/connection_string.h"
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

TEST(BuildConnectionString, EveryTypeAndTheExplicitString) {
  struct Case {
    std::string type, server, database, user, password;
    bool integrated;
    std::string explicit_string, expected;
  };
  const std::string integrated =
      "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;";
  const Case cases[] = {
      // Blanks alone are no explicit string, tabs are one; the explicit string is returned
      // untrimmed.
      {"ODBC", "s", "dsn", "u", "p", false, "     ", "DSN=dsn;Uid=u;Pwd=p;"},
      {"ACCESS", "", "a.mdb", "", "", false, "\t\t", "\t\t"},
      {"ACCESS", "srv", "a.mdb", "u", "p", false, "  DSN=x;Uid=a;  ", "  DSN=x;Uid=a;  "},
      {"  access ", "", "C:\\data\\a.mdb", "", "", false, "",
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\data\\a.mdb;"},
      {"ACCESS", "", "/tmp/a;b.db", "", "", false, "",
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/tmp/a;b.db\";"},
      {"SQLSERVER", "srv", "db", "", "", false, "",
       "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=;Password=;"},
      {"SqlServer", "srv", "db", "u", "p", true, "", integrated},
      {"SQLSERVER", "srv", "db", "sa", "a\"b;c", false, "",
       "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;Password=\"a\"\"b;c\";"},
      // Blank, unknown and tab-led types are SQL Server with integrated security.
      {"", "srv", "db", "u", "p", false, "", integrated},
      {"SQLITE", "srv", "db", "u", "p", false, "", integrated},
      {"\tACCESS", "srv", "db", "", "", false, "", integrated},
      {"ORACLE", "orcl", "ignored", "scott", "tiger", false, "",
       "Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=tiger;"},
      {"mysql", "db.local", "shop", "u", "p", false, "",
       "Driver={MySQL ODBC 8.0 Unicode Driver};Server=db.local;Database=shop;User=u;Password=p;"},
      {"MYSQL", "h", "d", "u", "p;w}x", false, "",
       "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;User=u;Password={p;w}}x};"},
      {"POSTGRESQL", "h:6000", "d", "u", "p", false, "",
       "Driver={PostgreSQL Unicode};Server=h:6000;Port=5432;Database=d;Uid=u;Pwd=p;"},
      {"POSTGRESQL", "h", "d", "u", "a\"b", false, "",
       "Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd={a\"b};"},
      // Blanks at either end and a leading apostrophe are kept by quoting.
      {"ODBC", "", " My Dsn ", " u", "p ", false, "", "DSN={ My Dsn };Uid={ u};Pwd={p };"},
      {"POSTGRESQL", "'srv", "d", "u", "'pa55", false, "",
       "Driver={PostgreSQL Unicode};Server={'srv};Port=5432;Database=d;Uid=u;Pwd={'pa55};"},
      {"SQLSERVER", "srv", "db", "u", "\tp'a ", false, "",
       "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=u;Password=\"\tp'a \";"},
      {"ACCESS", "", "'a.mdb", "", "", false, "",
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"'a.mdb\";"},
      {"ODBC", "", "d", "u", "{x", false, "", "DSN=d;Uid=u;Pwd={{x};"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type + " -> " + c.expected);
    Settings s;
    std::tie(s.DbType, s.Server, s.Database, s.User, s.Password) =
        std::tie(c.type, c.server, c.database, c.user, c.password);
    s.Integrated = c.integrated;
    s.ConnectionString = c.explicit_string;
    EXPECT_EQ(BuildConnectionString(s), c.expected);
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
      {"Data Source={C:\\x.mdb;Password=segreto", "Data Source={C:\\x.mdb;Password=***"},
      {"File non trovato: /d/x.db;Pwd={se;greto", "File non trovato: /d/x.db;Pwd=***"},
      {"OldPwd=keep;MyPassword=keep;Pwd", "OldPwd=keep;MyPassword=keep;Pwd"},
      {"nessuna password qui", "nessuna password qui"},
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

// Every built value reads back as it was written, with quotes, braces, apostrophes and blanks.
TEST(BuildConnectionString, ValuesReadBackUnchanged) {
  const std::string values[] = {"'srv",  "'pa55", " p", "p\t", "  ", "a'b", "{x}", "}",
                                "\"q\"", "a;b",   "''", "x=y", "",   "'",   "\"",  "{"};
  const std::pair<const char*, const char*> keys[] = {{"MYSQL", "Password"},
                                                      {"POSTGRESQL", "Pwd"},
                                                      {"ODBC", "Pwd"},
                                                      {"SQLSERVER", "Password"},
                                                      {"ORACLE", "Password"}};
  for (const auto& [type, password_key] : keys) {
    for (const std::string& v : values) {
      SCOPED_TRACE(std::string(type) + " [" + v + "]");
      Settings s;
      s.DbType = type;
      s.Server = s.Database = s.User = s.Password = v;
      const std::vector<ConnectionPair> pairs = ParseConnectionString(BuildConnectionString(s));
      const ConnectionPair* password = FindPair(pairs, password_key);
      ASSERT_NE(password, nullptr);
      EXPECT_EQ(password->value, v);
      for (const ConnectionPair& p : pairs) {
        if (p.key != "Driver" && p.key != "Provider" && p.key != "Port") {
          EXPECT_EQ(p.value, v) << p.key;
        }
      }
    }
  }
}

TEST(ParseConnectionString, SplitsAndUnquotes) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const std::pair<std::string, Pairs> cases[] = {
      {"", {}},
      {";;", {}},
      {"A=b=c", {{"A", "b=c"}}},
      {"Trusted;A=", {{"Trusted", ""}, {"A", ""}}},
      {"DSN=x;Uid=a;", {{"DSN", "x"}, {"Uid", "a"}}},
      {" Data Source = C:\\a b.mdb ;x=1", {{"Data Source", "C:\\a b.mdb"}, {"x", "1"}}},
      {"Pwd={p;w}}x};Uid=u", {{"Pwd", "p;w}x"}, {"Uid", "u"}}},
      {"Password=\"a\"\"b;c\";User ID=sa;", {{"Password", "a\"b;c"}, {"User ID", "sa"}}},
      {"Password='it''s;';", {{"Password", "it's;"}}},
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h",
       {{"Driver", "MySQL ODBC 8.0 Unicode Driver"}, {"Server", "h"}}},
      {"Pwd={unterminated;x=1", {{"Pwd", "unterminated;x=1"}}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    Pairs parsed;
    for (const ConnectionPair& p : ParseConnectionString(text)) parsed.emplace_back(p.key, p.value);
    EXPECT_EQ(parsed, expected);
  }
}

TEST(TranslateConnectionString, ProviderFormsForTheRegisteredDrivers) {
  struct Case {
    std::string text;
    std::vector<std::string> drivers;
    bool sqlite;
    std::string expected;  // path when sqlite, ODBC string otherwise
  };
  const Case cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/demo.mdb;", kDebian, true,
       "/srv/demo.mdb"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/srv/a;b \"\"c\"\".db\";", kDebian, true,
       "/srv/a;b \"c\".db"},
      {"provider=microsoft.ace.oledb.12.0;data source=/x/missing.accdb", kBare, true,
       "/x/missing.accdb"},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/real.accdb;", kDebian, false,
       "Driver={MDBTools};DBQ=/x/real.accdb;"},
      {"Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;Password=\"a;b\";", kDebian,
       false, "Driver={FreeTDS};Server=srv;Port=1433;Database=db;UID=sa;PWD={a;b};"},
      {"Provider=SQLNCLI11;Data Source=db.local, 1433;Initial Catalog=x;Integrated Security=SSPI;",
       kMicrosoft, false,
       "Driver={ODBC Driver 18 for SQL Server};Server=db.local,1433;Database=x;"
       "Trusted_Connection=Yes;"},
      {"Provider=MSOLEDBSQL;Server=tcp:db,1500;Database=vendite;UID=u;PWD={x;y};", kDebian, false,
       "Driver={FreeTDS};Server=db;Port=1500;Database=vendite;UID=u;PWD={x;y};"},
      {"Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=t;", kMicrosoft, false,
       "Driver={Oracle 21 ODBC driver};DBQ=orcl;UID=scott;PWD=t;"},
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;User=u;Password={p;}}};",
       kDebian, false, "Driver={MariaDB Unicode};Server=h;Database=d;User=u;Password={p;}}};"},
      {"Server=h;DRIVER=MySQL ODBC 5.3 ANSI Driver ;Database=d;", kDebian, false,
       "Server=h;DRIVER={MariaDB Unicode} ;Database=d;"},
      // Left as written: no MariaDB driver, forms the drivers read themselves, unknown providers.
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;", kBare, false,
       "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;"},
      {"Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd=p;", kDebian, false,
       "Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd=p;"},
      {"  DSN=x;Uid=a;  ", kDebian, false, "  DSN=x;Uid=a;  "},
      {"Driver=SQLite3;Database=/tmp/a.db;", kDebian, false, "Driver=SQLite3;Database=/tmp/a.db;"},
      {"Provider=MSDASQL;DSN=x;", kDebian, false, "Provider=MSDASQL;DSN=x;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const OpenTarget t = TranslateConnectionString(c.text, c.drivers, NoAccess);
    EXPECT_EQ(t.sqlite_file, c.sqlite);
    EXPECT_EQ(c.sqlite ? t.path : t.odbc, c.expected);
  }
}

TEST(TranslateConnectionString, NothingToOpenItExplainsInItalian) {
  const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
      {"Provider=SQLOLEDB;Data Source=s;", kBare, "Nessun driver ODBC per SQL Server"},
      {"Provider=OraOLEDB.Oracle;Data Source=o;", kDebian, "Nessun driver ODBC Oracle"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/real.accdb;", kBare, "odbc-mdbtools"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=;", kDebian, "manca il percorso"},
  };
  for (const auto& [text, drivers, message_part] : cases) {
    try {
      TranslateConnectionString(text, drivers, NoAccess);
      ADD_FAILURE() << text;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(message_part), std::string::npos) << e.what();
    }
  }
}

// SQL Server as its users name it. FreeTDS gets host and port apart, the port of a named instance
// from the browser; the Microsoft drivers read the name themselves.
TEST(TranslateConnectionString, SqlServerNames) {
  std::vector<std::string> asked;
  const InstancePortLookup browser = [&asked](const std::string& host,
                                              const std::string& instance) {
    asked.push_back(host + "|" + instance);
    return 49172;
  };
  const std::tuple<std::string, std::vector<std::string>, std::string, std::string> cases[] = {
      {"srv", kDebian, "Server=srv;Port=1433;", ""},
      {" srv , 1500 ", kDebian, "Server=srv;Port=1500;", ""},
      {"tcp:10.0.0.5,1501", kDebian, "Server=10.0.0.5;Port=1501;", ""},
      {"srv\\SQLEXPRESS", kDebian, "Server=srv;Port=49172;", "srv|SQLEXPRESS"},
      {"srv\\SQLEXPRESS,1600", kDebian, "Server=srv;Port=1600;", ""},
      {".\\SQLEXPRESS", kDebian, "Server=localhost;Port=49172;", "localhost|SQLEXPRESS"},
      {"(local)", kDebian, "Server=localhost;Port=1433;", ""},
      {"srv\\SQLEXPRESS", kMicrosoft, "Server=srv\\SQLEXPRESS;", ""},
      {"srv,1500", kMicrosoft, "Server=srv,1500;", ""},
      {"srv", kMicrosoft, "Server=srv;", ""},
  };
  for (const auto& [source, drivers, location, lookup] : cases) {
    asked.clear();
    const OpenTarget t = TranslateConnectionString(
        "Provider=SQLOLEDB;Data Source=" + source + ";Integrated Security=SSPI;", drivers, NoAccess,
        browser);
    const std::string driver = drivers == kDebian ? "FreeTDS" : "ODBC Driver 18 for SQL Server";
    EXPECT_EQ(t.odbc, "Driver={" + driver + "};" + location + "Trusted_Connection=Yes;") << source;
    EXPECT_EQ(asked, lookup.empty() ? std::vector<std::string>{} : std::vector<std::string>{lookup})
        << source;
  }
  const auto refusing = [](const std::string&, const std::string&) -> int {
    throw Error("nessuna risposta");
  };
  EXPECT_THROW(TranslateConnectionString("Provider=SQLOLEDB;Data Source=srv\\X;", kDebian, NoAccess,
                                         refusing),
               Error);
}

TEST(WithDriverOptions, TimeOutsAndResultSettingsPerDriver) {
  ConnectionLimits limits;
  limits.connect_seconds = 7;
  limits.query_seconds = 9;
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"Driver={MariaDB Unicode};Server=h;", "",
       "Driver={MariaDB Unicode};Server=h;CONN_TIMEOUT=7;READ_TIMEOUT=9;WRITE_TIMEOUT=9;"
       "NO_CACHE=1;"},
      {"Driver={MariaDB Unicode};read_timeout=100", "",
       "Driver={MariaDB Unicode};read_timeout=100;CONN_TIMEOUT=7;WRITE_TIMEOUT=9;NO_CACHE=1;"},
      {"Driver={PostgreSQL Unicode};Server=h;BoolsAsChar=1;", "",
       "Driver={PostgreSQL Unicode};Server=h;BoolsAsChar=1;UseDeclareFetch=1;Fetch=10000;"
       "TextAsLongVarchar=0;MaxVarcharSize=1024;CommLog=0;Debug=0;"},
      {"Driver={FreeTDS};Server=s;", "",
       "Driver={FreeTDS};Server=s;LoginTimeout=7;Timeout=9;TDS_Version=7.4;"},
      {"Driver={FreeTDS};TDS_Version=7.2", "",
       "Driver={FreeTDS};TDS_Version=7.2;LoginTimeout=7;Timeout=9;"},
      {"DSN=x;Uid=u;", "", "DSN=x;Uid=u;"},
      {"Driver=SQLite3;Database=a", "", "Driver=SQLite3;Database=a"},
      // A data source's own driver decides, unless the string names a driver itself.
      {"DSN=Vendite;Uid=u;", "MariaDB Unicode",
       "DSN=Vendite;Uid=u;CONN_TIMEOUT=7;READ_TIMEOUT=9;WRITE_TIMEOUT=9;NO_CACHE=1;"},
      {"DSN=Vendite", "FreeTDS", "DSN=Vendite;LoginTimeout=7;Timeout=9;TDS_Version=7.4;"},
      {"DSN=V;Driver=SQLite3;", "MariaDB Unicode", "DSN=V;Driver=SQLite3;"},
  };
  for (const auto& [odbc, dsn_driver, expected] : cases) {
    EXPECT_EQ(WithDriverOptions(odbc, limits, dsn_driver), expected) << dsn_driver;
  }
}

// The registered-driver list is read only for the translations that need it, and once.
TEST(TranslateConnectionStringLazily, AsksForTheDriversOnlyWhenNeeded) {
  const std::vector<std::string> drivers = {"PostgreSQL Unicode", "MariaDB Unicode", "FreeTDS",
                                            "MDBTools"};
  const std::tuple<const char*, FileFormat, int> cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dati/vendite.db;", FileFormat::Other, 0},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/dati/nuovo.db;", FileFormat::Missing, 0},
      {"Driver={PostgreSQL Unicode};Server=h;", FileFormat::Other, 0},
      {"DSN=Vendite;", FileFormat::Other, 0},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dati/vero.mdb;", FileFormat::Access, 1},
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;", FileFormat::Other, 1},
      {"Provider=SQLOLEDB;Data Source=srv;", FileFormat::Other, 1},
  };
  for (const auto& [text, file, expected_calls] : cases) {
    int calls = 0;
    const auto format = [&](const std::string&) { return file; };
    const OpenTarget lazy = TranslateConnectionStringLazily(
        text,
        [&] {
          ++calls;
          return drivers;
        },
        format);
    const OpenTarget eager = TranslateConnectionString(text, drivers, format);
    EXPECT_EQ(calls, expected_calls) << text;
    EXPECT_TRUE(lazy.sqlite_file == eager.sqlite_file && lazy.path == eager.path &&
                lazy.odbc == eager.odbc)
        << text;
  }
  int calls = 0;  // an empty list: asked once per translation, reported as by the eager form
  const DriverListSource none = [&calls] {
    ++calls;
    return std::vector<std::string>{};
  };
  const auto other = [](const std::string&) { return FileFormat::Other; };
  EXPECT_THROW(TranslateConnectionStringLazily("Provider=SQLOLEDB;Data Source=srv;", none, other),
               Error);
  EXPECT_EQ(TranslateConnectionStringLazily("Driver={MySQL};Server=h;", none, other).odbc,
            "Driver={MySQL};Server=h;");
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace panorello
