#include "db/target/connection_string.h"

#include <string>
#include <string_view>

#include "db/road_table.h"
#include "db/target/provider_translation.h"
#include "util/text.h"

namespace panorello {

namespace {

// A value of the provider forms: "..." with every " doubled when it needs quotes.
std::string ProviderValue(std::string_view value) { return QuoteConnectionValue(value, '"'); }

bool IsKeyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Length of "pwd" or "password" (any case) at position i when it starts a key there, else 0.
size_t PasswordKeyAt(std::string_view text, size_t i) {
  if (i > 0 && IsKeyCharacter(text[i - 1])) return 0;
  for (std::string_view key : {std::string_view("password"), std::string_view("pwd")}) {
    if (text.size() - i < key.size()) continue;
    const bool same = EqualsAsciiNoCase(text.substr(i, key.size()), key);
    if (same && (i + key.size() == text.size() || !IsKeyCharacter(text[i + key.size()]))) {
      return key.size();
    }
  }
  return 0;
}

// End of the value that starts at i: after its closing brace or quote (a doubled one is part
// of the value), at the next ";" for a bare value, the end of the text when unclosed.
size_t ValueEnd(std::string_view text, size_t i) {
  if (i < text.size() && (text[i] == '{' || text[i] == '"' || text[i] == '\'')) {
    const char close = text[i] == '{' ? '}' : text[i];
    for (size_t j = i + 1; j < text.size(); ++j) {
      if (text[j] != close) continue;
      if (j + 1 < text.size() && text[j + 1] == close) {
        ++j;
        continue;
      }
      return j + 1;
    }
    return text.size();
  }
  const size_t semicolon = text.find(';', i);
  return semicolon == std::string_view::npos ? text.size() : semicolon;
}

}  // namespace

std::string MaskPasswords(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t key = PasswordKeyAt(text, i);
    size_t equals = i + key;
    while (key > 0 && equals < text.size() && IsSpaceOrTab(text[equals])) ++equals;
    if (key == 0 || equals >= text.size() || text[equals] != '=') {
      out += text[i++];
      continue;
    }
    size_t value = equals + 1;
    while (value < text.size() && IsSpaceOrTab(text[value])) ++value;
    out.append(text.substr(i, value - i));
    out += "***";
    i = ValueEnd(text, value);
  }
  return out;
}

std::string JetProviderText(const Settings& s) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + ProviderValue(s.Database) + ";";
}

std::string SqlServerIntegratedProviderText(const Settings& s) {
  return "Provider=SQLOLEDB;Data Source=" + ProviderValue(s.Server) +
         ";Initial Catalog=" + ProviderValue(s.Database) + ";Integrated Security=SSPI;";
}

std::string SqlServerProviderText(const Settings& s) {
  if (s.Integrated) return SqlServerIntegratedProviderText(s);
  return "Provider=SQLOLEDB;Data Source=" + ProviderValue(s.Server) +
         ";Initial Catalog=" + ProviderValue(s.Database) + ";User ID=" + ProviderValue(s.User) +
         ";Password=" + ProviderValue(s.Password) + ";";
}

std::string OracleProviderText(const Settings& s) {
  return "Provider=OraOLEDB.Oracle;Data Source=" + ProviderValue(s.Server) +
         ";User ID=" + ProviderValue(s.User) + ";Password=" + ProviderValue(s.Password) + ";";
}

std::string MySqlProviderText(const Settings& s) {
  return "Driver={MySQL ODBC 8.0 Unicode Driver};Server=" + QuoteConnectionValue(s.Server) +
         ";Database=" + QuoteConnectionValue(s.Database) + ";User=" + QuoteConnectionValue(s.User) +
         ";Password=" + QuoteConnectionValue(s.Password) + ";";
}

std::string PostgresProviderText(const Settings& s) {
  return "Driver={PostgreSQL Unicode};Server=" + QuoteConnectionValue(s.Server) +
         ";Port=5432;Database=" + QuoteConnectionValue(s.Database) +
         ";Uid=" + QuoteConnectionValue(s.User) + ";Pwd=" + QuoteConnectionValue(s.Password) + ";";
}

std::string DataSourceProviderText(const Settings& s) {
  return "DSN=" + QuoteConnectionValue(s.Database) + ";Uid=" + QuoteConnectionValue(s.User) +
         ";Pwd=" + QuoteConnectionValue(s.Password) + ";";
}

std::string BuildConnectionString(const Settings& s) {
  if (!Trim(s.ConnectionString).empty()) return s.ConnectionString;
  return RoadRowOf(s.DbType).provider_text(s);
}

}  // namespace panorello
