#pragma once
#include <string>
#include <string_view>

#include "storage/settings.h"

namespace panorello {

// CONNECTIONSTRING when it is not blank, otherwise the provider form of the DBTYPE row.
std::string BuildConnectionString(const Settings& settings);

// The provider forms of the database types, fields inserted with their driver's quoting.
std::string JetProviderText(const Settings& s);
std::string SqlServerProviderText(const Settings& s);  // login by INTEGRATED
std::string SqlServerIntegratedProviderText(const Settings& s);
std::string OracleProviderText(const Settings& s);
std::string MySqlProviderText(const Settings& s);
std::string PostgresProviderText(const Settings& s);
std::string DataSourceProviderText(const Settings& s);

// The text with the value of every PWD= and Password= key (any letter case) replaced by "***":
// a value in braces or quotes up to its closing mark, any other up to the next ";", and an
// unclosed one up to the end of the text. For error texts that may repeat a connection string
// or a value taken from one.
std::string MaskPasswords(std::string_view text);

}  // namespace panorello
