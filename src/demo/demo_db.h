#pragma once
#include <string>
#include <vector>

#include "storage/app_context.h"
#include "util/clock.h"

namespace panorello {

// demo_panorello.mdb beside the executable (a SQLite file).
std::string DemoDbPath(const AppContext& ctx);

// Creates and fills the sample file when it is missing. False with errorText (already logged).
bool CreateDemoDatabase(AppContext& ctx, std::string& errorText);
bool CreateDemoTables(AppContext& ctx, const std::string& path, std::string& errorText);
bool InsertDemoRows(AppContext& ctx, const std::string& path, std::string& errorText);

// The 58 INSERT statements of the sample rows, in their order, for the given creation day.
std::vector<std::string> DemoInsertStatements(const DateTime& today);

}  // namespace panorello
