#include "util/regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

#include "util/text.h"

namespace panorello {

namespace {

// The locale name that the environment gives one category, by the C library's precedence.
std::string EnvironmentLocaleName(const char* category_variable) {
  for (const char* variable : {"LC_ALL", category_variable, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return std::string();
}

// A locale object of one category from the environment, freed on scope exit; never installed
// in the process.
class ScopedLocale {
 public:
  explicit ScopedLocale(int category_mask) : locale_(newlocale(category_mask, "", nullptr)) {}
  ~ScopedLocale() {
    if (locale_ != nullptr) freelocale(locale_);
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  locale_t Get() const { return locale_; }

 private:
  locale_t locale_;
};

}  // namespace

bool IsCLocaleName(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

std::string ShortDatePatternFromDateFormat(std::string_view d_fmt) {
  std::string out;
  for (size_t i = 0; i < d_fmt.size(); ++i) {
    char c = d_fmt[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (++i >= d_fmt.size()) break;
    c = d_fmt[i];
    if ((c == 'E' || c == 'O') && i + 1 < d_fmt.size()) c = d_fmt[++i];  // alternative forms
    while ((c == '-' || c == '_' || c == '0' || c == '^' || c == '#') && i + 1 < d_fmt.size()) {
      c = d_fmt[++i];  // GNU flags
    }
    switch (c) {
      case 'd':
      case 'e':
        out += "dd";
        break;
      case 'm':
        out += "mm";
        break;
      case 'Y':
      case 'y':
      case 'G':
      case 'g':
        out += "yyyy";
        break;
      case 'F':
        out += "yyyy-mm-dd";
        break;
      case 'D':
        out += "mm/dd/yyyy";
        break;
      case '%':
        out += '%';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      default:
        break;  // weekday or month names have no token: left out
    }
  }
  auto count = [&out](std::string_view token) {
    size_t n = 0;
    for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at + 1)) ++n;
    return n;
  };
  if (count("dd") != 1 || count("mm") != 1 || count("yyyy") != 1) return "dd/mm/yyyy";
  // The format of a locale with another character set: its bytes reach every date of the page.
  std::string storage;
  return std::string(Utf8OrWindows1252(out, storage));
}

RegionalSettings RegionalSettings::FromEnvironment() {
  RegionalSettings settings;
  if (!IsCLocaleName(EnvironmentLocaleName("LC_NUMERIC"))) {
    ScopedLocale numeric(LC_NUMERIC_MASK);
    if (numeric.Get() != nullptr) {
      const char* radix = nl_langinfo_l(RADIXCHAR, numeric.Get());
      // Only a one-byte separator fits the cell texts; anything else keeps ".".
      if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0' &&
          static_cast<unsigned char>(radix[0]) < 0x80) {
        settings.decimal_separator = radix[0];
      }
    }
  }
  if (!IsCLocaleName(EnvironmentLocaleName("LC_TIME"))) {
    ScopedLocale time(LC_TIME_MASK);
    if (time.Get() != nullptr) {
      const char* d_fmt = nl_langinfo_l(D_FMT, time.Get());
      if (d_fmt != nullptr && *d_fmt != '\0')
        settings.short_date = ShortDatePatternFromDateFormat(d_fmt);
    }
  }
  return settings;
}

}  // namespace panorello
