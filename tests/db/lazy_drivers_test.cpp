// The registered-driver list is read only for the translations that need it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/provider_translation.h"
#include "util/error.h"

namespace panorello {
namespace {

TEST(TranslateConnectionStringLazily, AsksForTheDriversOnlyWhenNeeded) {
  struct Case {
    const char* text;
    FileFormat file;
    int expected_calls;
    std::string expected;  // the SQLite file or the ODBC string
  } cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dati/vendite.db;", FileFormat::Other, 0,
       "/dati/vendite.db"},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/dati/nuovo.db;", FileFormat::Missing, 0,
       "/dati/nuovo.db"},
      {"Driver={PostgreSQL Unicode};Server=h;Database=d;", FileFormat::Other, 0,
       "Driver={PostgreSQL Unicode};Server=h;Database=d;"},
      {"DSN=Vendite;", FileFormat::Other, 0, "DSN=Vendite;"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dati/vero.mdb;", FileFormat::Access, 1,
       "Driver={MDBTools};DBQ=/dati/vero.mdb;"},
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;", FileFormat::Other, 1,
       "Driver={MariaDB Unicode};Server=h;"},
      {"Provider=SQLOLEDB;Data Source=srv;", FileFormat::Other, 1, "Driver={FreeTDS};Server=srv;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int calls = 0;
    const DriverListSource source = [&calls] {
      ++calls;
      return std::vector<std::string>{"PostgreSQL Unicode", "MariaDB Unicode", "FreeTDS", "MDBTools"};
    };
    const FileFormat file = c.file;
    const OpenTarget t = TranslateConnectionStringLazily(
        c.text, source, [file](const std::string&) { return file; });
    EXPECT_EQ(calls, c.expected_calls);
    EXPECT_EQ(t.sqlite_file ? t.path : t.odbc, c.expected);
    // The eager form gives the same answer.
    const OpenTarget eager = TranslateConnectionString(c.text, source(), [file](const std::string&) { return file; });
    EXPECT_EQ(eager.sqlite_file, t.sqlite_file);
    EXPECT_EQ(eager.sqlite_file ? eager.path : eager.odbc, c.expected);
  }
}

TEST(TranslateConnectionStringLazily, AFailingListIsAskedOnceAndReportsAsBefore) {
  int calls = 0;
  const DriverListSource none = [&calls] {
    ++calls;
    return std::vector<std::string>{};
  };
  const auto other = [](const std::string&) { return FileFormat::Other; };
  EXPECT_THROW(TranslateConnectionStringLazily("Provider=SQLOLEDB;Data Source=srv;", none, other), Error);
  EXPECT_EQ(calls, 1);
  // MySQL without MariaDB: the string stays as written.
  EXPECT_EQ(TranslateConnectionStringLazily("Driver={MySQL};Server=h;", none, other).odbc,
            "Driver={MySQL};Server=h;");
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace panorello
