#include "db/access/access_functions.h"

#include <sqlite3.h>

#include <cstdio>
#include <optional>
#include <string>

#include "db/access/access_values.h"
#include "db/sqlite/sqlite_values.h"
#include "util/error.h"

namespace panorello {

namespace {

// IIf(condition, if_true, if_false): a NULL or zero condition, or a text that is no number,
// takes if_false.
void IIf(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  bool condition = false;
  switch (sqlite3_value_numeric_type(argv[0])) {
    case SQLITE_INTEGER:
      condition = sqlite3_value_int64(argv[0]) != 0;
      break;
    case SQLITE_FLOAT:
      condition = sqlite3_value_double(argv[0]) != 0.0;
      break;
    default:
      condition = false;
      break;
  }
  sqlite3_result_value(ctx, argv[condition ? 1 : 2]);
}

// Nz(value[, if_null]): value, or if_null when value is NULL; without if_null a NULL becomes
// the empty text, as in Access queries.
void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
    sqlite3_result_value(ctx, argv[0]);
  } else if (argc > 1) {
    sqlite3_result_value(ctx, argv[1]);
  } else {
    sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
  }
}

// The date of a value: an ISO text (date, date and time, or time alone on 1899-12-30) or a Jet
// serial number. Anything else: nullopt.
std::optional<DateTime> DateOf(sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  std::optional<IsoValue> iso;
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    const std::optional<std::string> text = JetDateText(sqlite3_value_double(v));
    if (text) iso = ParseIsoDateTime(*text);
  } else if (type == SQLITE_TEXT) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
    iso = ParseIsoDateTime(std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(v))));
  }
  if (!iso) return std::nullopt;
  if (iso->type == CellType::Time) {
    iso->value.year = 1899;
    iso->value.month = 12;
    iso->value.day = 30;
  }
  return iso->value;
}

void DatePart(sqlite3_context* ctx, sqlite3_value** argv, int which) {
  const std::optional<DateTime> d = DateOf(argv[0]);
  if (!d) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_result_int(ctx, which == 0 ? d->year : which == 1 ? d->month : d->day);
}

void Year(sqlite3_context* ctx, int, sqlite3_value** argv) { DatePart(ctx, argv, 0); }
void Month(sqlite3_context* ctx, int, sqlite3_value** argv) { DatePart(ctx, argv, 1); }
void Day(sqlite3_context* ctx, int, sqlite3_value** argv) { DatePart(ctx, argv, 2); }

DateTime ClockNow(sqlite3_context* ctx) {
  const auto* clock = static_cast<const Clock*>(sqlite3_user_data(ctx));
  if (clock != nullptr) return clock->Now();
  return SystemClock().Now();
}

void ResultDateTime(sqlite3_context* ctx, const DateTime& t) {
  char out[40];
  const int n = std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                              t.day, t.hour, t.minute, t.second);
  sqlite3_result_text(ctx, out, n, SQLITE_TRANSIENT);
}

// Now(): the date and time; Date(): today at midnight, as the copy stores dates.
void Now(sqlite3_context* ctx, int, sqlite3_value**) { ResultDateTime(ctx, ClockNow(ctx)); }
void Today(sqlite3_context* ctx, int, sqlite3_value**) {
  DateTime t = ClockNow(ctx);
  t.hour = t.minute = t.second = 0;
  ResultDateTime(ctx, t);
}

struct JetFunction {
  const char* name;
  int args;
  bool deterministic;
  void (*function)(sqlite3_context*, int, sqlite3_value**);
};

}  // namespace

void RegisterJetFunctions(sqlite3* db, const Clock* clock) {
  static constexpr JetFunction kFunctions[] = {
      {"IIf", 3, true, IIf},   {"Nz", 1, true, Nz},       {"Nz", 2, true, Nz},
      {"Year", 1, true, Year}, {"Month", 1, true, Month}, {"Day", 1, true, Day},
      {"Now", 0, false, Now},  {"Date", 0, false, Today},
  };
  for (const JetFunction& f : kFunctions) {
    const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    // Date() with no argument replaces SQLite's date() of today in UTC; date(...) with
    // arguments stays SQLite's own.
    const int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, const_cast<Clock*>(clock),
                                              f.function, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      throw Error(std::string("Impossibile registrare la funzione SQL ") + f.name + ": " +
                  sqlite3_errstr(rc));
    }
  }
}

}  // namespace panorello
