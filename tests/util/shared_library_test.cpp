#include "util/shared_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/error.h"

namespace panorello {
namespace {

// The message that replaces a missing library or function: what, the package, the loader's cause.
std::string Failure(const char* soname, const char* function) {
  try {
    const SharedLibrary library(soname, "Libreria di prova", "libprova1");
    decltype(&::strlen) found = nullptr;
    library.Load(found, function);
    return found("abc") == 3 ? "" : "wrong function";
  } catch (const Error& e) {
    return e.what();
  }
}

TEST(SharedLibraryTest, FunctionsOrTheMissingPackage) {
  EXPECT_EQ(Failure("libc.so.6", "strlen"), "");
  EXPECT_EQ(Failure("libc.so.6", "panorello_assente"),
            "Libreria di prova incompleta: manca panorello_assente (aggiornare il pacchetto "
            "libprova1)");
  const std::string missing = Failure("libpanorello-assente.so.9", "strlen");
  EXPECT_TRUE(
      missing.starts_with("Libreria di prova non disponibile: installare il pacchetto "
                          "libprova1 (libpanorello-assente.so.9"))
      << missing;
}

}  // namespace
}  // namespace panorello
