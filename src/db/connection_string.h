#pragma once
#include <string>

#include "storage/settings.h"

namespace panorello {

std::string BuildConnectionString(const Settings& settings);

}  // namespace panorello
