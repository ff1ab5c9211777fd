#pragma once
// The regional settings that cell texts follow, read from the environment (LC_NUMERIC, LC_TIME)
// without touching the process locale.
#include <string>
#include <string_view>

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

// The short date pattern for a C library date format (nl_langinfo D_FMT): %d and %e give dd,
// %m mm, %Y and %y yyyy (the year is always shown with four digits), %F yyyy-mm-dd, %D
// mm/dd/yyyy; other characters are kept. A format that does not give all three of dd, mm and
// yyyy gives "dd/mm/yyyy".
std::string ShortDatePatternFromDateFormat(std::string_view d_fmt);

// True for the names of the C locale: empty, "C", "POSIX", and "C.<codeset>".
bool IsCLocaleName(std::string_view name);

}  // namespace panorello
