#include "db/connection_string.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace panorello {
namespace {

TEST(BuildConnectionString, EveryTypeAndTheExplicitString) {
  struct Case {
    std::string type, server, database, user, password;
    bool integrated;
    std::string explicit_string, expected;
  };
  const std::string integrated =
      "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI;";
  const Case cases[] = {
      // Blanks alone are no explicit string, tabs are one; the explicit string is returned untrimmed.
      {"ODBC", "s", "dsn", "u", "p", false, "     ", "DSN=dsn;Uid=u;Pwd=p;"},
      {"ACCESS", "", "a.mdb", "", "", false, "\t\t", "\t\t"},
      {"ACCESS", "srv", "a.mdb", "u", "p", false, "  DSN=x;Uid=a;  ", "  DSN=x;Uid=a;  "},
      {"  access ", "", "C:\\data\\a.mdb", "", "", false, "", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\data\\a.mdb;"},
      {"ACCESS", "", "/tmp/a;b.db", "", "", false, "", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/tmp/a;b.db\";"},
      {"SQLSERVER", "srv", "db", "", "", false, "", "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=;Password=;"},
      {"SqlServer", "srv", "db", "u", "p", true, "", integrated},
      {"SQLSERVER", "srv", "db", "sa", "a\"b;c", false, "",
       "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=sa;Password=\"a\"\"b;c\";"},
      // Blank, unknown and tab-led types are SQL Server with integrated security.
      {"", "srv", "db", "u", "p", false, "", integrated},
      {"SQLITE", "srv", "db", "u", "p", false, "", integrated},
      {"\tACCESS", "srv", "db", "", "", false, "", integrated},
      {"ORACLE", "orcl", "ignored", "scott", "tiger", false, "", "Provider=OraOLEDB.Oracle;Data Source=orcl;User ID=scott;Password=tiger;"},
      {"mysql", "db.local", "shop", "u", "p", false, "",
       "Driver={MySQL ODBC 8.0 Unicode Driver};Server=db.local;Database=shop;User=u;Password=p;"},
      {"MYSQL", "h", "d", "u", "p;w}x", false, "",
       "Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;User=u;Password={p;w}}x};"},
      {"POSTGRESQL", "h:6000", "d", "u", "p", false, "",
       "Driver={PostgreSQL Unicode};Server=h:6000;Port=5432;Database=d;Uid=u;Pwd=p;"},
      {"POSTGRESQL", "h", "d", "u", "a\"b", false, "",
       "Driver={PostgreSQL Unicode};Server=h;Port=5432;Database=d;Uid=u;Pwd={a\"b};"},
      {"ODBC", "", " My Dsn ", " u", "p ", false, "", "DSN= My Dsn ;Uid= u;Pwd=p ;"},
      {"ODBC", "", "d", "u", "{x", false, "", "DSN=d;Uid=u;Pwd={{x};"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type + " -> " + c.expected);
    Settings s;
    std::tie(s.DbType, s.Server, s.Database, s.User, s.Password) = std::tie(c.type, c.server, c.database, c.user, c.password);
    s.Integrated = c.integrated;
    s.ConnectionString = c.explicit_string;
    EXPECT_EQ(BuildConnectionString(s), c.expected);
  }
}

}  // namespace
}  // namespace panorello
