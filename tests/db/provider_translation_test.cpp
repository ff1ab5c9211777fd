#include "db/provider_translation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/error.h"

namespace panorello {
namespace {

const std::vector<std::string> kDebian = {"FreeTDS",  "PostgreSQL ANSI", "PostgreSQL Unicode",
                                          "MariaDB Unicode", "SQLite", "SQLite3", "MDBTools"};
const std::vector<std::string> kBare = {"PostgreSQL Unicode", "SQLite3"};
const std::vector<std::string> kMicrosoft = {"FreeTDS", "ODBC Driver 17 for SQL Server",
                                             "ODBC Driver 18 for SQL Server",
                                             "Oracle 21 ODBC driver"};

FileFormat NoAccess(const std::string& path) {
  if (path.find("missing") != std::string::npos) return FileFormat::Missing;
  return path.find(".accdb") != std::string::npos ? FileFormat::Access : FileFormat::Other;
}

struct ParseCase {
  std::string text;
  std::vector<std::pair<std::string, std::string>> pairs;
};

class ParseCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCases, Splits) {
  const auto parsed = ParseConnectionString(GetParam().text);
  ASSERT_EQ(parsed.size(), GetParam().pairs.size());
  for (size_t i = 0; i < parsed.size(); ++i) {
    EXPECT_EQ(parsed[i].key, GetParam().pairs[i].first) << i;
    EXPECT_EQ(parsed[i].value, GetParam().pairs[i].second) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, ParseCases,
    ::testing::Values(
        ParseCase{"", {}},
        ParseCase{";;", {}},
        ParseCase{"DSN=x;Uid=a;", {{"DSN", "x"}, {"Uid", "a"}}},
        ParseCase{" Data Source = C:\\a b.mdb ;x=1", {{"Data Source", "C:\\a b.mdb"}, {"x", "1"}}},
        ParseCase{"Pwd={p;w}}x};Uid=u", {{"Pwd", "p;w}x"}, {"Uid", "u"}}},
        ParseCase{"Password=\"a\"\"b;c\";User ID=sa;", {{"Password", "a\"b;c"}, {"User ID", "sa"}}},
        ParseCase{"Password='it''s;';", {{"Password", "it's;"}}},
        ParseCase{"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h",
                  {{"Driver", "MySQL ODBC 8.0 Unicode Driver"}, {"Server", "h"}}},
        ParseCase{"Pwd={unterminated;x=1", {{"Pwd", "unterminated;x=1"}}},
        ParseCase{"Trusted;A=", {{"Trusted", ""}, {"A", ""}}},
        ParseCase{"A=b=c", {{"A", "b=c"}}}));

struct TranslateCase {
  const char* name;
  std::string text;
  std::vector<std::string> drivers;
  bool sqlite;
  std::string expected;  // path when sqlite, ODBC string otherwise
};

class TranslateCases : public ::testing::TestWithParam<TranslateCase> {};

TEST_P(TranslateCases, Translates) {
  const TranslateCase& c = GetParam();
  const OpenTarget t = TranslateConnectionString(c.text, c.drivers, NoAccess);
  EXPECT_EQ(t.sqlite_file, c.sqlite);
  EXPECT_EQ(c.sqlite ? t.path : t.odbc, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, TranslateCases,
    ::testing::Values(
        TranslateCase{"jet_file", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/demo.mdb;",
                      kDebian, true, "/srv/demo.mdb"},
        TranslateCase{"jet_quoted_path",
                      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/srv/a;b \"\"c\"\".db\";",
                      kDebian, true, "/srv/a;b \"c\".db"},
        TranslateCase{"ace_lower_case_missing_file",
                      "provider=microsoft.ace.oledb.12.0;data source=/x/missing.accdb", kBare,
                      true, "/x/missing.accdb"},
        TranslateCase{"access_file_through_mdbtools",
                      "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/real.accdb;", kDebian,
                      false, "Driver={MDBTools};DBQ=/x/real.accdb;"},
        TranslateCase{"sqlserver_login_freetds",
                      "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;"
                      "Password=\"a;b\";",
                      kDebian, false,
                      "Driver={FreeTDS};Server=srv;Database=db;UID=sa;PWD={a;b};"},
        TranslateCase{"sqlserver_port_and_integrated",
                      "Provider=SQLNCLI11;Data Source=db.local, 1433;Initial Catalog=x;"
                      "Integrated Security=SSPI;",
                      kMicrosoft, false,
                      "Driver={ODBC Driver 18 for SQL Server};Server=db.local;Port=1433;"
                      "Database=x;Trusted_Connection=Yes;"},
        TranslateCase{"sqlserver_synonyms",
                      "Provider=MSOLEDBSQL;Server=tcp:db,1500;Database=vendite;UID=u;PWD={x;y};",
                      kDebian, false,
                      "Driver={FreeTDS};Server=tcp:db;Port=1500;Database=vendite;UID=u;PWD={x;y};"},
        TranslateCase{"oracle", "Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=t;",
                      kMicrosoft, false,
                      "Driver={Oracle 21 ODBC driver};DBQ=orcl;UID=scott;PWD=t;"},
        TranslateCase{"mysql_to_mariadb",
                      "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;User=u;"
                      "Password={p;}}};",
                      kDebian, false,
                      "Driver={MariaDB Unicode};Server=h;Database=d;User=u;Password={p;}}};"},
        TranslateCase{"mysql_unquoted_name",
                      "Server=h;DRIVER=MySQL ODBC 5.3 ANSI Driver ;Database=d;", kDebian, false,
                      "Server=h;DRIVER={MariaDB Unicode} ;Database=d;"},
        TranslateCase{"mysql_without_mariadb_unchanged",
                      "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;", kBare, false,
                      "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;"},
        TranslateCase{"postgresql_unchanged",
                      "Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd=p;",
                      kDebian, false,
                      "Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd=p;"},
        TranslateCase{"dsn_unchanged", "  DSN=x;Uid=a;  ", kDebian, false, "  DSN=x;Uid=a;  "},
        TranslateCase{"sqlite3_driver_unchanged", "Driver=SQLite3;Database=/tmp/a.db;", kDebian,
                      false, "Driver=SQLite3;Database=/tmp/a.db;"},
        TranslateCase{"unknown_provider_unchanged", "Provider=MSDASQL;DSN=x;", kDebian, false,
                      "Provider=MSDASQL;DSN=x;"}),
    [](const ::testing::TestParamInfo<TranslateCase>& tpi) { return std::string(tpi.param.name); });

struct FailureCase {
  const char* name;
  std::string text;
  std::vector<std::string> drivers;
  std::string message_part;
};

class FailureCases : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureCases, ExplainsInItalian) {
  try {
    TranslateConnectionString(GetParam().text, GetParam().drivers, NoAccess);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message_part), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, FailureCases,
    ::testing::Values(
        FailureCase{"no_sqlserver_driver", "Provider=SQLOLEDB;Data Source=s;", kBare,
                    "Nessun driver ODBC per SQL Server"},
        FailureCase{"no_oracle_driver", "Provider=OraOLEDB.Oracle;Data Source=o;", kDebian,
                    "Nessun driver ODBC Oracle"},
        FailureCase{"access_without_mdbtools",
                    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/real.accdb;", kBare,
                    "odbc-mdbtools"},
        FailureCase{"jet_without_data_source", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=;",
                    kDebian, "manca il percorso"}),
    [](const ::testing::TestParamInfo<FailureCase>& tpi) { return std::string(tpi.param.name); });

struct OptionCase {
  const char* name;
  std::string odbc;
  std::string expected;
};

class OptionCases : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionCases, Appends) {
  ConnectionLimits limits;
  limits.connect_seconds = 7;
  limits.query_seconds = 9;
  EXPECT_EQ(WithDriverOptions(GetParam().odbc, limits), GetParam().expected);
}

TEST(DriverOptions, DataSourceDriverDecidesWhenTheStringNamesNone) {
  ConnectionLimits limits;
  limits.connect_seconds = 3;
  limits.query_seconds = 4;
  EXPECT_EQ(WithDriverOptions("DSN=Vendite;Uid=u;", limits, "MariaDB Unicode"),
            "DSN=Vendite;Uid=u;CONN_TIMEOUT=3;READ_TIMEOUT=4;WRITE_TIMEOUT=4;");
  EXPECT_EQ(WithDriverOptions("DSN=Vendite", limits, "FreeTDS"),
            "DSN=Vendite;LoginTimeout=3;Timeout=4;");
  // A driver named in the string wins over the data source's.
  EXPECT_EQ(WithDriverOptions("DSN=V;Driver=SQLite3;", limits, "MariaDB Unicode"),
            "DSN=V;Driver=SQLite3;");
}

INSTANTIATE_TEST_SUITE_P(
    All, OptionCases,
    ::testing::Values(
        OptionCase{"mariadb", "Driver={MariaDB Unicode};Server=h;",
                   "Driver={MariaDB Unicode};Server=h;CONN_TIMEOUT=7;READ_TIMEOUT=9;"
                   "WRITE_TIMEOUT=9;"},
        OptionCase{"mariadb_user_value_kept", "Driver={MariaDB Unicode};read_timeout=100",
                   "Driver={MariaDB Unicode};read_timeout=100;CONN_TIMEOUT=7;WRITE_TIMEOUT=9;"},
        OptionCase{"postgresql", "Driver={PostgreSQL Unicode};Server=h;BoolsAsChar=1;",
                   "Driver={PostgreSQL Unicode};Server=h;BoolsAsChar=1;UseDeclareFetch=1;"
                   "Fetch=10000;TextAsLongVarchar=0;MaxVarcharSize=1024;"},
        OptionCase{"freetds", "Driver={FreeTDS};Server=s;",
                   "Driver={FreeTDS};Server=s;LoginTimeout=7;Timeout=9;"},
        OptionCase{"dsn_untouched", "DSN=x;Uid=u;", "DSN=x;Uid=u;"},
        OptionCase{"sqlite3_untouched", "Driver=SQLite3;Database=a", "Driver=SQLite3;Database=a"}),
    [](const ::testing::TestParamInfo<OptionCase>& tpi) { return std::string(tpi.param.name); });

}  // namespace
}  // namespace panorello
