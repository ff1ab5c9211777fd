// Failures of real servers, drivers and data sources get their class and the Italian hint.
#include "db/error_hints.h"

#include <gtest/gtest.h>

#include <string>

#include "db/db_error.h"
#include "db_test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ServerTest;

struct Outcome {
  bool failed = false;
  FailureClass cls = FailureClass::kOther;
  DbDiagnostic codes;
  std::string description;  // text and hint, as the error box shows it
};

// Opens settings and, when sql is given, runs it; the failure as the page would describe it.
Outcome Attempt(const Settings& settings, const std::string& sql, const ConnectionLimits& limits) {
  Outcome out;
  try {
    auto connection = OpenConnection(settings, limits);
    if (!sql.empty()) connection->Query(sql);
  } catch (const Error& e) {
    out.failed = true;
    if (const auto* db = dynamic_cast<const DbError*>(&e)) out.codes = db->diagnostic();
    out.cls = ClassifyFailure(out.codes, e.what(), e.kind());
    out.description = DescribeFailure(e, settings);
  }
  return out;
}

Settings Odbc(const std::string& connection_string) {
  return Settings{.DbType = "ODBC", .ConnectionString = connection_string};
}

class FailureHints : public ServerTest {
 protected:
  std::string PgOdbc(const std::string& server, const std::string& port, const std::string& db,
                     const std::string& password) {
    return "Driver={PostgreSQL Unicode};Server=" + server + ";Port=" + port + ";Database=" + db +
           ";Uid=" + env_["USER"] + ";Pwd=" + password + ";";
  }
  std::string Maria(const std::string& server, const std::string& port, const std::string& db,
                    const std::string& password) {
    return "Driver={MariaDB Unicode};Server=" + server + ";Port=" + port + ";Database=" + db +
           ";Uid=" + env_["USER"] + ";Pwd=" + password + ";";
  }
};

TEST_F(FailureHints, EachClassFromRealServersAndDrivers) {
  const std::string pg = env_["PG_PORT"], maria = env_["MARIADB_PORT"],
                    refused = env_["REFUSED_PORT"];
  const std::string db = env_["DATABASE"], pw = env_["PASSWORD"];
  struct Case {
    Settings settings;
    std::string sql;
    FailureClass cls;
    std::string hint_part;
  };
  const Case cases[] = {
      {Odbc(PgOdbc("127.0.0.1", refused, db, pw)), "", FailureClass::kHostUnreachable,
       "non è raggiungibile"},
      {Odbc(PgOdbc("127.0.0.1", pg, db, "sbagliata")), "", FailureClass::kLoginFailed,
       "utente e password"},
      {Odbc(PgOdbc("127.0.0.1", pg, "manca", pw)), "", FailureClass::kDatabaseMissing,
       "nome del database"},
      {Odbc(Maria("127.0.0.1", maria, "manca", pw)), "", FailureClass::kDatabaseMissing,
       "nome del database"},
      {Odbc(Maria("127.0.0.1", maria, db, pw)), "SELECT SLEEP(4)", FailureClass::kTimeout,
       "tempo limite"},
      {Odbc(Maria("127.0.0.1", maria, db, pw)), "SELEC 1", FailureClass::kSyntax, "sintassi"},
      {Odbc(Maria("127.0.0.1", maria, db, pw)), "SELECT * FROM manca", FailureClass::kTableMissing,
       "tabella"},
      {Odbc("Driver={PostgreSQL ANSI Driver};Server=127.0.0.1;"), "", FailureClass::kDriverMissing,
       "pacchetto Debian odbc-postgresql (apt install odbc-postgresql)"},
      {Odbc("Driver={MariaDB ODBC 3.0 Driver};Server=127.0.0.1;"), "", FailureClass::kDriverMissing,
       "pacchetto Debian odbc-mariadb"},
      {Odbc("Driver={Pervasive};"), "", FailureClass::kDriverMissing, "odbcinst -q -d"},
      {Odbc("DSN=panorello_nessuna_origine;"), "", FailureClass::kDsnMissing, "odbc.ini"},
      {Settings{.DbType = "SQLITE", .Server = "127.0.0.1"}, "", FailureClass::kOther,
       "DBTYPE SQLITE non è un tipo noto e la connessione è "
       "stata tentata come SQL Server"},
  };
  ConnectionLimits limits;
  limits.connect_seconds = 3;
  limits.query_seconds = 1;
  for (const Case& c : cases) {
    const std::string shown = c.settings.ConnectionString + c.settings.DbType + " " + c.sql;
    const Outcome out = Attempt(c.settings, c.sql, limits);
    ASSERT_TRUE(out.failed) << shown;
    if (c.cls != FailureClass::kOther) {
      EXPECT_EQ(out.cls, c.cls) << shown << ": " << out.description;
    }
    EXPECT_NE(out.description.find(" — "), std::string::npos) << out.description;
    EXPECT_NE(out.description.find(c.hint_part), std::string::npos)
        << shown << ": " << out.description;
    std::string error;
    if (c.sql.empty()) {  // the connection test shows the same text
      EXPECT_FALSE(TestConnection(c.settings, limits, error));
      EXPECT_EQ(error, out.description);
    }
  }
  // The SQLSTATE of the first record travels with the error, the driver's family beside it.
  const Outcome syntax = Attempt(Odbc(PgOdbc("127.0.0.1", pg, db, pw)), "SELEC 1", limits);
  EXPECT_EQ(syntax.codes.sqlstate, "42601");
  EXPECT_EQ(syntax.codes.family, ServerFamily::kPostgres);
  EXPECT_EQ(Attempt(Odbc(Maria("127.0.0.1", maria, db, pw)), "SELEC 1", limits).codes.family,
            ServerFamily::kMariaDb);
}

// The SQLSTATEs that libpq reports, native codes of their server family, and failures that carry
// only a text.
TEST(ClassifyFailure, StatesFamiliesAndPlainTexts) {
  const std::tuple<std::string, long, std::string, FailureClass> cases[] = {
      {"08001", 0, "connection to server at \"10.0.0.9\", port 5432 failed",
       FailureClass::kHostUnreachable},
      {"28P01", 0, "FATAL: password authentication failed", FailureClass::kLoginFailed},
      {"3D000", 0, "database \"x\" does not exist", FailureClass::kDatabaseMissing},
      {"57014", 0, "canceling statement due to user request", FailureClass::kTimeout},
      {"42601", 0, "syntax error at or near \"SELEC\"", FailureClass::kSyntax},
      {"42P01", 0, "relation \"manca\" does not exist", FailureClass::kTableMissing},
      {"", 0, "near \"SELEC\": syntax error", FailureClass::kSyntax},
      {"", 0, "no such table: manca", FailureClass::kTableMissing},
      {"", 0, "integer overflow", FailureClass::kOther},
  };
  for (const auto& [state, native, text, expected] : cases) {
    EXPECT_EQ(ClassifyFailure(DbDiagnostic{state, native}, text, ErrorKind::kDatabase), expected)
        << text;
  }
  // A native number means something only with the family that gave it, never read from the text.
  const std::tuple<ServerFamily, long, std::string, FailureClass> natives[] = {
      {ServerFamily::kUnknown, 1045, "[MariaDB]errore qualunque", FailureClass::kOther},
      {ServerFamily::kMariaDb, 1045, "errore qualunque", FailureClass::kLoginFailed},
      {ServerFamily::kMariaDb, 1146, "errore qualunque", FailureClass::kTableMissing},
      {ServerFamily::kSqlServer, 208, "errore qualunque", FailureClass::kTableMissing},
      {ServerFamily::kSqlServer, 1146, "[ma-3.1.15]errore qualunque", FailureClass::kOther},
      {ServerFamily::kSqlite, 1045, "errore qualunque", FailureClass::kOther},
  };
  for (const auto& [family, native, text, expected] : natives) {
    EXPECT_EQ(ClassifyFailure(DbDiagnostic{"HY000", native, family}, text, ErrorKind::kDatabase),
              expected)
        << native << " " << text;
  }
  EXPECT_EQ(ClassifyFailure({}, "Tempo scaduto", ErrorKind::kTimeout), FailureClass::kTimeout);
  Settings access;
  access.DbType = "ACCESS";
  EXPECT_EQ(FailureHint(Error("integer overflow"), access), "");
  EXPECT_EQ(DescribeFailure(Error("integer overflow"), access), "integer overflow");
  // A driver that could not be loaded, its library left unnamed: the settings name the driver.
  const Settings odbc{.DbType = "ODBC", .ConnectionString = "Driver={PostgreSQL ANSI Driver};"};
  const DbError unnamed("Specified driver could not be loaded", DbDiagnostic{"IM003", 0});
  EXPECT_NE(FailureHint(unnamed, odbc).find("odbc-postgresql"), std::string::npos);
}

}  // namespace
}  // namespace panorello
