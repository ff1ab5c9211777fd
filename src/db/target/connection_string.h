#pragma once
#include <string>
#include <string_view>

#include "storage/settings.h"

namespace panorello {

std::string BuildConnectionString(const Settings& settings);

// The text with the value of every PWD= and Password= key (any letter case) replaced by "***":
// a value in braces or quotes up to its closing mark, any other up to the next ";", and an
// unclosed one up to the end of the text. For error texts that may repeat a connection string
// or a value taken from one.
std::string MaskPasswords(std::string_view text);

}  // namespace panorello
