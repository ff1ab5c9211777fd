#pragma once
#include <string>
#include <vector>

namespace panorello {

// The arguments after the program name joined with single spaces.
std::string JoinCommandLine(const std::vector<std::string>& args);

// The dashboard name given with /DASH= in a trimmed command line, or the empty text.
std::string ParseDashArgument(const std::string& s);

}  // namespace panorello
