#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "util/browser.h"
#include "util/error.h"
#include "util/regional.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { saved_ ? setenv(name_, saved_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Records its argument count, its argument, where its standard streams go and its session.
constexpr const char* kFakeOpener =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/record\"\n"
    "in=$(readlink /proc/$$/fd/0); so=$(readlink /proc/$$/fd/1)\n"
    "{ echo \"$#\"; printf '%s\\n' \"$1\"; echo \"$in\"; echo \"$so\";\n"
    "  read -r stat < /proc/$$/stat; set -- $stat; echo \"$6\"; } > \"$out.part\"\n"
    "mv \"$out.part\" \"$out\"\n";

// The path reaches the opener (found through PATH) as one argument untouched by any shell, a
// relative path starting with "-" as "./-..."; the opener runs in its own session with its
// streams on /dev/null and is not our child.
TEST(OpenInBrowserTest, PathIsOneArgumentDetachedFromUs) {
  TempFolder tmp;
  WriteBytes(tmp.File("fake-opener"), kFakeOpener);
  ASSERT_EQ(chmod(tmp.File("fake-opener").c_str(), 0755), 0);
  const char* old_path = std::getenv("PATH");
  ScopedEnv search_path("PATH", tmp.Path() + ":" + (old_path != nullptr ? old_path : ""));
  const std::string odd = tmp.File("my \"out\" $HOME;x `y`.html");
  const std::pair<std::string, std::string> launches[] = {{odd, odd},
                                                          {"-dashboard.html", "./-dashboard.html"}};
  for (const auto& [path, argument] : launches) {
    std::filesystem::remove(tmp.File("record"));
    OpenInBrowser(path, "fake-opener");
    for (int i = 0; i < 500 && !std::filesystem::exists(tmp.File("record")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string record = ReadBytes(tmp.File("record"));
    const std::string head = "1\n" + argument + "\n/dev/null\n/dev/null\n";
    ASSERT_EQ(record.substr(0, head.size()), head) << record;
    EXPECT_NE(record.substr(head.size()), std::to_string(getsid(0)) + "\n");
  }
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
}

// An opener that cannot be started raises, naming it and the two remedies; no zombie is left.
TEST(OpenInBrowserTest, MissingOpenerRaisesWithTheRemedy) {
  try {
    OpenInBrowser("/x/dashboard.html", "panorello-no-such-opener");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    const std::string message = e.what();
    for (const char* part : {"panorello-no-such-opener", "xdg-utils", "OPENBROWSER=0"}) {
      EXPECT_NE(message.find(part), std::string::npos) << message;
    }
  }
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
}

// The C date format becomes a dd/mm/yyyy pattern; the year always has four digits; formats
// without all three numbers fall back to dd/mm/yyyy.
TEST(ShortDatePatternTest, TranslatesTheDateFormat) {
  const std::pair<std::string, std::string> cases[] = {
      {"%d/%m/%Y", "dd/mm/yyyy"},
      {"%d/%m/%y", "dd/mm/yyyy"},
      {"%F", "yyyy-mm-dd"},
      {"%e.%m.%Y", "dd.mm.yyyy"},
      {"%Od/%Om/%EY", "dd/mm/yyyy"},
      {"%a %d %b %Y", "dd/mm/yyyy"},
      {"%", "dd/mm/yyyy"},
      {"%Y\xC4\xEA%m\xB7\xEE%d", "yyyy\u00C4\u00EAmm\u00B7\u00EEdd"},  // not UTF-8: as Windows-1252
  };
  for (const auto& [format, pattern] : cases) {
    EXPECT_EQ(ShortDatePatternFromDateFormat(format), pattern) << format;
  }
}

// C locales and unknown names give "." and dd/mm/yyyy; Italian gives "," when installed.
TEST(RegionalSettingsTest, FromTheEnvironment) {
  for (const char* name : {"", "C", "POSIX", "C.UTF-8"}) EXPECT_TRUE(IsCLocaleName(name));
  for (const char* name : {"it_IT.UTF-8", "Ca_ES"}) EXPECT_FALSE(IsCLocaleName(name));
  for (const char* name : {"C", "xx_NOWHERE.UTF-8"}) {
    ScopedEnv scope("LC_ALL", name);
    RegionalSettings r = RegionalSettings::FromEnvironment();
    EXPECT_EQ(r.decimal_separator, '.') << name;
    EXPECT_EQ(r.short_date, "dd/mm/yyyy") << name;
  }
  ScopedEnv scope("LC_ALL", "it_IT.UTF-8");
  locale_t probe = newlocale(LC_NUMERIC_MASK, "", nullptr);
  if (probe == nullptr) GTEST_SKIP() << "it_IT.UTF-8 is not installed";
  freelocale(probe);
  RegionalSettings r = RegionalSettings::FromEnvironment();
  EXPECT_EQ(r.decimal_separator, ',');
  EXPECT_EQ(r.short_date, "dd/mm/yyyy");
}

}  // namespace
}  // namespace panorello
