#pragma once
#include <string>

#include "storage/app_context.h"

namespace panorello {

// demo_panorello.mdb beside the executable (a SQLite file).
std::string DemoDbPath(const AppContext& ctx);

// Creates and fills the sample file when it is missing. False with errorText (already logged).
bool CreateDemoDatabase(AppContext& ctx, std::string& errorText);
bool CreateDemoTables(AppContext& ctx, const std::string& path, std::string& errorText);
bool InsertDemoRows(AppContext& ctx, const std::string& path, std::string& errorText);

}  // namespace panorello
