// DBTYPE MYSQL through the MariaDB client library: the same cells as the ODBC driver gives,
// streamed rows, and failures with the server's codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/error_hints.h"
#include "db_test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::RecordingSink;
using Texts = std::vector<std::string>;

class MariaDbEngine : public testing::ServerTest {
 protected:
  Settings Native(const std::string& server, const std::string& password) {
    Settings s = Typed("MYSQL", env_["USER"], password);
    s.Server = server;
    return s;
  }
  Settings Native() { return Native("127.0.0.1:" + env_["MARIADB_PORT"], env_["PASSWORD"]); }
};

std::vector<Texts> Rows(Connection& c, const std::string& sql) {
  RecordingSink sink;
  c.QueryRows(sql, sink);
  std::vector<Texts> rows = sink.rows;
  rows.insert(rows.begin(), sink.names);
  return rows;
}

TEST_F(MariaDbEngine, CellsAsTheOdbcDriverGivesThem) {
  auto odbc = Maria();
  odbc->Execute("DROP TABLE IF EXISTS tipi_nativi");
  odbc->Execute(
      "CREATE TABLE tipi_nativi (i INT, big BIGINT, ubig BIGINT UNSIGNED, small SMALLINT, "
      "flag TINYINT(1), dec_col DECIMAL(10,4), dbl DOUBLE, sgl FLOAT, txt VARCHAR(100), "
      "lng LONGTEXT, d DATE, ts DATETIME, stamp TIMESTAMP NULL, t TIME, bin VARBINARY(8), "
      "bit1 BIT(1), y YEAR, nothing INT) CHARACTER SET utf8mb4");
  odbc->Execute(
      "INSERT INTO tipi_nativi VALUES (42, -9007199254740993, 18446744073709551615, -7, 1, "
      "1234.5, 0.1, 1.5, 'Perù – “più” € ✓', REPEAT('è', 20000), '2024-03-05', "
      "'2024-03-05 14:30:00', '2024-03-05 00:00:00', '07:08:09', x'00FF10', b'1', 2024, NULL), "
      "(-1, 0, 0, 0, 0, -0.0001, -1e-300, 3.25, '', '', '1999-12-31', '2000-02-29 23:59:59', "
      "NULL, '-01:00:00', x'', b'0', 1999, 7)");
  auto native = OpenConnection(Native(), {});
  for (const char* sql : {"SELECT * FROM tipi_nativi ORDER BY i DESC",
                          "SELECT i + 1 AS calc, CONCAT(txt, '!') AS joined, i / 2 AS half, "
                          "NOW() > '2000-01-01' AS later, UNHEX('41') AS raw FROM tipi_nativi"}) {
    EXPECT_EQ(Rows(*native, sql), Rows(*odbc, sql)) << sql;
  }
  EXPECT_FALSE(native->Query("SELECT * FROM tipi_nativi WHERE i > 100").has_value());
  odbc->Execute("DROP TABLE tipi_nativi");
}

TEST_F(MariaDbEngine, ServerFormsAndFailures) {
  const std::string port = env_["MARIADB_PORT"];
  for (const std::string& server : {"127.0.0.1:" + port, " 127.0.0.1 , " + port}) {
    auto grid = OpenConnection(Native(server, env_["PASSWORD"]), {})->Query("SELECT database()");
    ASSERT_TRUE(grid.has_value()) << server;
    EXPECT_EQ(testing::RowTexts(*grid, 0), Texts{env_["DATABASE"]});
  }
  std::string error;
  EXPECT_FALSE(TestConnection(Native("127.0.0.1:porta", "x"), {}, error));
  EXPECT_EQ(error,
            "Porta non valida nel server 127.0.0.1:porta: indicare il server come NOME oppure "
            "NOME:PORTA");

  ConnectionLimits limits;
  limits.query_seconds = 1;
  const std::tuple<Settings, std::string, FailureClass, std::string> cases[] = {
      {Native("127.0.0.1:" + env_["REFUSED_PORT"], "x"), "", FailureClass::kHostUnreachable, ""},
      {Native("127.0.0.1:" + port, "sbagliata"), "", FailureClass::kLoginFailed, "28000"},
      {Native(), "SELEC 1", FailureClass::kSyntax, "42000"},
      {Native(), "SELECT * FROM manca", FailureClass::kTableMissing, "42S02"},
      {Native(), "SELECT SLEEP(4)", FailureClass::kTimeout, ""},
      {Native(), "DO 1", FailureClass::kOther, ""},  // no result columns
  };
  for (const auto& [settings, sql, cls, state] : cases) {
    try {
      auto c = OpenConnection(settings, limits);
      c->Query(sql);
      ADD_FAILURE() << settings.Server << " " << sql;
    } catch (const DbError& e) {
      EXPECT_EQ(ClassifyFailure(e.diagnostic(), e.what(), e.kind()), cls) << e.what();
      if (!state.empty()) {
        EXPECT_EQ(e.diagnostic().sqlstate, state) << e.what();
      }
      EXPECT_EQ(std::string(e.what()).rfind("[MariaDB]", 0), 0u) << e.what();
    } catch (const Error& e) {
      EXPECT_EQ(cls, FailureClass::kOther) << e.what();
    }
  }
}

TEST_F(MariaDbEngine, RowsComeBeforeAFailureLateInTheResult) {
  auto native = OpenConnection(Native(), {});
  RecordingSink sink;
  EXPECT_THROW(native->QueryRows("SELECT seq, (SELECT 1 UNION SELECT 2 FROM DUAL WHERE seq > 2000) "
                                 "AS uno FROM seq_1_to_3000",
                                 sink),
               DbError);
  EXPECT_GE(sink.rows.size(), 1000u);
  EXPECT_LT(sink.rows.size(), 3000u);
  // The connection goes on with the next statement.
  EXPECT_EQ(testing::RowTexts(*native->Query("SELECT 2 + 2"), 0), Texts{"4"});
}

}  // namespace
}  // namespace panorello
