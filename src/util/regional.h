#pragma once
// The regional settings that cell texts follow, read from the environment (LC_NUMERIC, LC_TIME)
// without touching the process locale.
#include <string>

namespace panorello {

struct RegionalSettings {
  char decimal_separator = '.';
  // Short date pattern with the tokens dd, mm, yyyy (e.g. "dd/mm/yyyy", "mm/dd/yyyy",
  // "dd.mm.yyyy", "yyyy-mm-dd").
  std::string short_date = "dd/mm/yyyy";

  // From LC_ALL / LC_NUMERIC / LC_TIME / LANG; the C locales (C, C.UTF-8, POSIX) give "." and
  // "dd/mm/yyyy".
  static RegionalSettings FromEnvironment();
};

}  // namespace panorello
