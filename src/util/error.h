#pragma once
// One exception type for every failure that "raises": what() is the description shown to the user.
#include <stdexcept>
#include <string>

namespace panorello {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description) : std::runtime_error(description) {}
};

}  // namespace panorello
