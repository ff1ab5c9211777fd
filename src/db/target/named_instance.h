#pragma once
// A named SQL Server instance (SERVER=HOST\INSTANCE) is found through the SQL Server Browser once
// per run: its blocks then connect to HOST,PORT side by side, as with the port written.
#include "db/target/provider_translation.h"
#include "storage/settings.h"

namespace panorello {

// settings with a named instance of the SQLSERVER type turned into HOST,PORT, the port asked of
// lookup; any other settings as they are. Throws what lookup throws.
Settings WithInstancePortResolved(const Settings& settings, const InstancePortLookup& lookup);

}  // namespace panorello
