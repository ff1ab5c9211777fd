#pragma once
// Functions of the Access SQL dialect that dashboard queries use, on a SQLite connection that
// holds the copy of an Access file: IIf, Nz, Year, Month, Day, Now, Date.
#include "util/clock.h"

struct sqlite3;

namespace panorello {

// Registers the functions on db. Now() and Date() read clock (local time from the system when
// nullptr); clock must outlive the connection. Dates are the ISO texts of the copy
// ("YYYY-MM-DD HH:MM:SS"); Year, Month and Day also take a Jet serial number.
void RegisterJetFunctions(sqlite3* db, const Clock* clock);

}  // namespace panorello
