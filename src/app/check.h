#pragma once
// `panorello --check`: reads the setup as a run would and reports what a run would meet, without
// writing a page, the settings or the log.
#include <ostream>
#include <string>
#include <vector>

#include "storage/app_context.h"

namespace panorello {

// True for --check given as an argument of its own.
bool WantsCheck(const std::vector<std::string>& args);

// The lines of a config.ini text's unknown keys ("config.ini, riga 3: chiave sconosciuta
// PASWORD: forse PASSWORD?"), in file order.
std::vector<std::string> UnknownKeyLines(const std::string& ini_text);

// Why a batch run of dashboard_name would write a page without blocks ("" when it would not):
// no blocks.ini, no active block, or a dashboard name that no active block matches.
std::string NoBlockWarning(const AppContext& ctx, const std::string& dashboard_name);

// Prints the data folder, the files read, the blocks per dashboard and the connection test to
// out, and one line per problem to err. Returns 0 when there is none, 1 otherwise.
int RunCheck(AppContext& ctx, std::ostream& out, std::ostream& err);

}  // namespace panorello
