#include "db/connection_string.h"

#include <string>
#include <string_view>

#include "db/provider_translation.h"
#include "util/text.h"

namespace panorello {

namespace {

// A value of the provider forms: "..." with every " doubled when ConnectionValueNeedsQuotes.
std::string ProviderValue(std::string_view value) {
  if (!ConnectionValueNeedsQuotes(value)) return std::string(value);
  std::string out = "\"";
  for (char ch : value) {
    out.push_back(ch);
    if (ch == '"') out.push_back('"');
  }
  out.push_back('"');
  return out;
}

std::string SqlServerIntegrated(const Settings& s) {
  return "Provider=SQLOLEDB;Data Source=" + ProviderValue(s.Server) +
         ";Initial Catalog=" + ProviderValue(s.Database) + ";Integrated Security=SSPI;";
}

}  // namespace

std::string BuildConnectionString(const Settings& s) {
  if (!Trim(s.ConnectionString).empty()) return s.ConnectionString;
  const std::string type = UpperCase(Trim(s.DbType));
  if (type == "ACCESS") {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + ProviderValue(s.Database) + ";";
  }
  if (type == "SQLSERVER") {
    if (s.Integrated) return SqlServerIntegrated(s);
    return "Provider=SQLOLEDB;Data Source=" + ProviderValue(s.Server) +
           ";Initial Catalog=" + ProviderValue(s.Database) + ";User ID=" + ProviderValue(s.User) +
           ";Password=" + ProviderValue(s.Password) + ";";
  }
  if (type == "ORACLE") {
    return "Provider=OraOLEDB.Oracle;Data Source=" + ProviderValue(s.Server) +
           ";User ID=" + ProviderValue(s.User) + ";Password=" + ProviderValue(s.Password) + ";";
  }
  if (type == "MYSQL") {
    return "Driver={MySQL ODBC 8.0 Unicode Driver};Server=" + QuoteOdbcValue(s.Server) +
           ";Database=" + QuoteOdbcValue(s.Database) + ";User=" + QuoteOdbcValue(s.User) +
           ";Password=" + QuoteOdbcValue(s.Password) + ";";
  }
  if (type == "POSTGRESQL") {
    return "Driver={PostgreSQL Unicode};Server=" + QuoteOdbcValue(s.Server) +
           ";Port=5432;Database=" + QuoteOdbcValue(s.Database) + ";Uid=" + QuoteOdbcValue(s.User) +
           ";Pwd=" + QuoteOdbcValue(s.Password) + ";";
  }
  if (type == "ODBC") {
    return "DSN=" + QuoteOdbcValue(s.Database) + ";Uid=" + QuoteOdbcValue(s.User) +
           ";Pwd=" + QuoteOdbcValue(s.Password) + ";";
  }
  return SqlServerIntegrated(s);
}

}  // namespace panorello
