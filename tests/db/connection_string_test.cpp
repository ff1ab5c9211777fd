#include "db/connection_string.h"

#include <gtest/gtest.h>

#include <string>

namespace panorello {
namespace {

struct BuildCase {
  const char* name;
  Settings settings;
  std::string expected;
};

Settings Make(std::string type, std::string server, std::string database, std::string user,
              std::string password, bool integrated = false, std::string explicit_string = "") {
  Settings s;
  s.DbType = std::move(type);
  s.Server = std::move(server);
  s.Database = std::move(database);
  s.User = std::move(user);
  s.Password = std::move(password);
  s.Integrated = integrated;
  s.ConnectionString = std::move(explicit_string);
  return s;
}

class BuildCases : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildCases, Builds) { EXPECT_EQ(BuildConnectionString(GetParam().settings), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    All, BuildCases,
    ::testing::Values(
        BuildCase{"blank_explicit_string_builds",
                  Make("ODBC", "s", "dsn", "u", "p", false, "     "), "DSN=dsn;Uid=u;Pwd=p;"},
        BuildCase{"tab_explicit_string_wins", Make("ACCESS", "", "a.mdb", "", "", false, "\t\t"),
                  "\t\t"},
        BuildCase{"explicit_string_untrimmed_and_unquoted",
                  Make("ACCESS", "srv", "a.mdb", "u", "p", false, "  DSN=x;Uid=a;  "),
                  "  DSN=x;Uid=a;  "},
        BuildCase{"access_trimmed_lower_case", Make("  access ", "", "C:\\data\\a.mdb", "", ""),
                  "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\data\\a.mdb;"},
        BuildCase{"access_path_with_semicolon", Make("ACCESS", "", "/tmp/a;b.db", "", ""),
                  "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/tmp/a;b.db\";"},
        BuildCase{"sqlserver_login_empty_values",
                  Make("SQLSERVER", "srv", "db", "", "", false),
                  "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=;Password=;"},
        BuildCase{"sqlserver_integrated", Make("SqlServer", "srv", "db", "u", "p", true),
                  "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;"},
        BuildCase{"sqlserver_password_quoted",
                  Make("SQLSERVER", "srv", "db", "sa", "a\"b;c", false),
                  "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;"
                  "Password=\"a\"\"b;c\";"},
        BuildCase{"blank_type_is_integrated_sqlserver", Make("", "srv", "db", "u", "p", false),
                  "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;"},
        BuildCase{"unknown_type_is_integrated_sqlserver",
                  Make("SQLITE", "srv", "db", "u", "p", false),
                  "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;"},
        BuildCase{"tab_around_type_is_not_trimmed", Make("\tACCESS", "srv", "db", "", ""),
                  "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;"},
        BuildCase{"oracle_ignores_database", Make("ORACLE", "orcl", "ignored", "scott", "tiger"),
                  "Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=tiger;"},
        BuildCase{"mysql", Make("mysql", "db.local", "shop", "u", "p"),
                  "Driver={MySQL ODBC 8.0 Unicode Driver};Server=db.local;Database=shop;User=u;"
                  "Password=p;"},
        BuildCase{"mysql_password_with_brace",
                  Make("MYSQL", "h", "d", "u", "p;w}x"),
                  "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;User=u;"
                  "Password={p;w}}x};"},
        BuildCase{"postgresql_port_fixed", Make("POSTGRESQL", "h:6000", "d", "u", "p"),
                  "Driver={PostgreSQL Unicode};Server=h:6000;Port=5432;Database=d;Uid=u;Pwd=p;"},
        BuildCase{"postgresql_quote_in_password", Make("POSTGRESQL", "h", "d", "u", "a\"b"),
                  "Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd={a\"b};"},
        BuildCase{"odbc_ignores_server", Make("ODBC", "ignored", "MyDsn", "", ""),
                  "DSN=MyDsn;Uid=;Pwd=;"},
        BuildCase{"odbc_values_with_spaces_verbatim", Make("ODBC", "", " My Dsn ", " u", "p "),
                  "DSN= My Dsn ;Uid= u;Pwd=p ;"},
        BuildCase{"odbc_open_brace_quoted", Make("ODBC", "", "d", "u", "{x"),
                  "DSN=d;Uid=u;Pwd={{x};"}),
    [](const ::testing::TestParamInfo<BuildCase>& tpi) { return std::string(tpi.param.name); });

}  // namespace
}  // namespace panorello
