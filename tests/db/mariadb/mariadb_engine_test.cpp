// DBTYPE MYSQL through the MariaDB client library: the same cells as the ODBC driver gives,
// streamed rows, and failures with the server's codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/db_test_support.h"
#include "db/error_hints.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::RecordingSink;
using testing::StreamedRows;
using testing::Texts;

class MariaDbEngine : public testing::ServerTest {
 protected:
  Settings At(const std::string& server, const std::string& password) {
    Settings s = Native("MYSQL");
    s.Server = server;
    s.Password = password;
    return s;
  }
};

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
  // The ODBC driver's cells, the reference for the client library's.
  const char* const all = "SELECT * FROM tipi_nativi ORDER BY i DESC";
  Texts first = StreamedRows(*odbc, all).second.at(0);
  EXPECT_TRUE(first.at(9) == "5:" + testing::Repeat("è", 20000));
  first.erase(first.begin() + 9);
  EXPECT_EQ(first, (Texts{"1:42", "1:-9007199254740993", "4:18446744073709551615", "1:-7", "1:1",
                          "4:1234,5", "2:0,1", "3:1,5", "5:Perù – “più” € ✓", "7:05.03.2024",
                          "6:05.03.2024 14:30:00", "6:05.03.2024", "8:07:08:09", "10:00FF10",
                          "9:True", "1:2024", "0:"}));
  auto native = OpenConnection(Native("MYSQL"), {});
  EXPECT_EQ(StreamedRows(*native, all), StreamedRows(*odbc, all));
  EXPECT_FALSE(native->Query("SELECT * FROM tipi_nativi WHERE i > 100").has_value());
  odbc->Execute("DROP TABLE tipi_nativi");
}

TEST_F(MariaDbEngine, ServerFormsAndFailures) {
  const std::string port = env_["MARIADB_PORT"];
  auto grid =
      OpenConnection(At(" 127.0.0.1 , " + port, env_["PASSWORD"]), {})->Query("SELECT database()");
  ASSERT_TRUE(grid.has_value());
  EXPECT_EQ(testing::RowTexts(*grid, 0), Texts{env_["DATABASE"]});
  std::string error;
  EXPECT_FALSE(TestConnection(At("127.0.0.1:porta", "x"), {}, error));
  EXPECT_EQ(error,
            "Porta non valida nel server 127.0.0.1:porta: indicare il server come NOME oppure "
            "NOME:PORTA");

  struct Case {
    Settings settings;
    std::string sql;
    FailureClass failure;
    std::string sqlstate;  // "" = not checked
  };
  const Case cases[] = {
      {.settings = At("127.0.0.1:" + port, "sbagliata"),
       .failure = FailureClass::kLoginFailed,
       .sqlstate = "28000"},
      {.settings = Native("MYSQL"),
       .sql = "SELECT * FROM manca",
       .failure = FailureClass::kTableMissing,
       .sqlstate = "42S02"},
      {.settings = Native("MYSQL"), .sql = "SELECT SLEEP(4)", .failure = FailureClass::kTimeout},
      {.settings = Native("MYSQL"), .sql = "DO 1", .failure = FailureClass::kOther},  // no columns
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings.Server + " " + c.sql);
    try {
      OpenConnection(c.settings, ConnectionLimits{.query_seconds = 1})->Query(c.sql);
      ADD_FAILURE() << "nessun errore";
    } catch (const DbError& e) {
      EXPECT_EQ(ClassifyFailure(e.diagnostic(), e.what(), e.kind()), c.failure) << e.what();
      if (!c.sqlstate.empty()) {
        EXPECT_EQ(e.diagnostic().sqlstate, c.sqlstate) << e.what();
      }
      EXPECT_TRUE(std::string(e.what()).starts_with("[MariaDB]")) << e.what();
      EXPECT_EQ(e.diagnostic().family, ServerFamily::kMariaDb);
    } catch (const Error& e) {
      EXPECT_EQ(c.failure, FailureClass::kOther) << e.what();
    }
  }
}

TEST_F(MariaDbEngine, RowsComeBeforeAFailureLateInTheResult) {
  auto native = OpenConnection(Native("MYSQL"), {});
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
