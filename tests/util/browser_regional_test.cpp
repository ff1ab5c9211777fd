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

// Waits for a file that a detached process writes.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    if (std::filesystem::exists(path + ".done")) return ReadBytes(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "(timed out)";
}

std::string OwnSession() {
  return std::to_string(getsid(0));
}

class OpenInBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    opener = tmp.File("fake-opener");
    // Records the argument count, the argument, standard input and the session of the opener.
    WriteBytes(opener,
               "#!/bin/sh\n"
               "out=\"$(dirname \"$0\")/record\"\n"
               "in=$(readlink /proc/$$/fd/0); so=$(readlink /proc/$$/fd/1)\n"
               "{ echo \"$#\"; printf '%s\\n' \"$1\"; echo \"$in\"; echo \"$so\";\n"
               "  read -r stat < /proc/$$/stat; set -- $stat; echo \"$6\"; } > \"$out\"\n"
               "touch \"$out.done\"\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
  }
  TempFolder tmp;
  std::string opener;
};

TEST_F(OpenInBrowserTest, PathIsOneArgumentDetachedFromUs) {
  const std::string path = tmp.File("my \"out\" $HOME;x `y`.html");
  OpenInBrowser(path, opener);
  const std::string record = WaitForFile(tmp.File("record"));
  const std::string expected_head = "1\n" + path + "\n/dev/null\n/dev/null\n";
  ASSERT_EQ(record.substr(0, expected_head.size()), expected_head) << record;
  const std::string session = record.substr(expected_head.size());
  EXPECT_NE(session, OwnSession() + "\n") << "the opener runs in its own session";
  // Nothing is left for us to reap: the opener is not our child.
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
}

TEST_F(OpenInBrowserTest, OpenerFoundThroughPath) {
  const char* old_path = std::getenv("PATH");
  std::string saved = old_path != nullptr ? old_path : "";
  setenv("PATH", (tmp.Path() + ":" + saved).c_str(), 1);
  EXPECT_NO_THROW(OpenInBrowser("/x/dashboard.html", "fake-opener"));
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(WaitForFile(tmp.File("record")).substr(0, 20), "1\n/x/dashboard.html\n");
}

TEST_F(OpenInBrowserTest, MissingOpenerRaisesWithTheRemedy) {
  WriteBytes(tmp.File("not-executable"), "#!/bin/sh\n");
  for (const std::string& bad : {std::string("panorello-no-such-opener"),
                                tmp.File("missing-opener"), tmp.File("not-executable")}) {
    if (bad == tmp.File("not-executable") && geteuid() == 0) continue;  // root may run it
    try {
      OpenInBrowser("/x/dashboard.html", bad);
      ADD_FAILURE() << "no error for " << bad;
    } catch (const Error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(bad), std::string::npos) << message;
      EXPECT_NE(message.find("xdg-utils"), std::string::npos) << message;
      EXPECT_NE(message.find("OPENBROWSER=0"), std::string::npos) << message;
    }
  }
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
}

TEST(ShortDatePatternTest, TranslatesTheDateFormat) {
  const std::pair<std::string, std::string> cases[] = {
      {"%d/%m/%Y", "dd/mm/yyyy"},  // it_IT
      {"%m/%d/%Y", "mm/dd/yyyy"},  // en_US
      {"%d.%m.%Y", "dd.mm.yyyy"},  // de_DE
      {"%d/%m/%y", "dd/mm/yyyy"},  // en_GB: the year always has four digits
      {"%Y-%m-%d", "yyyy-mm-dd"},  // sv_SE
      {"%F", "yyyy-mm-dd"},
      {"%D", "mm/dd/yyyy"},
      {"%e.%m.%Y", "dd.mm.yyyy"},
      {"%Od/%Om/%EY", "dd/mm/yyyy"},
      {"%-d/%-m/%Y", "dd/mm/yyyy"},
      {"%Y年%m月%d日", "yyyy年mm月dd日"},
      {"%a %d %b %Y", "dd/mm/yyyy"},  // no month number: default
      {"%d/%d/%Y", "dd/mm/yyyy"},
      {"", "dd/mm/yyyy"},
      {"%", "dd/mm/yyyy"},
  };
  for (const auto& [format, pattern] : cases) {
    EXPECT_EQ(ShortDatePatternFromDateFormat(format), pattern) << format;
  }
}

TEST(RegionalSettingsTest, CLocaleNames) {
  for (const char* name : {"", "C", "POSIX", "C.UTF-8", "C.utf8"}) EXPECT_TRUE(IsCLocaleName(name));
  for (const char* name : {"it_IT.UTF-8", "en_US", "Ca_ES"}) EXPECT_FALSE(IsCLocaleName(name));
}

// Sets LC_ALL for one scope.
class ScopedLcAll {
 public:
  explicit ScopedLcAll(const char* value) {
    const char* old = std::getenv("LC_ALL");
    if (old != nullptr) saved_ = old;
    setenv("LC_ALL", value, 1);
  }
  ~ScopedLcAll() {
    if (saved_) {
      setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST(RegionalSettingsTest, CAndUnknownLocalesGiveTheDefaults) {
  for (const char* name : {"C", "C.UTF-8", "POSIX", "xx_NOWHERE.UTF-8"}) {
    ScopedLcAll scope(name);
    RegionalSettings r = RegionalSettings::FromEnvironment();
    EXPECT_EQ(r.decimal_separator, '.') << name;
    EXPECT_EQ(r.short_date, "dd/mm/yyyy") << name;
  }
}

TEST(RegionalSettingsTest, ItalianLocaleWhenInstalled) {
  ScopedLcAll scope("it_IT.UTF-8");
  locale_t probe = newlocale(LC_NUMERIC_MASK, "", nullptr);
  if (probe == nullptr) GTEST_SKIP() << "it_IT.UTF-8 is not installed";
  freelocale(probe);
  RegionalSettings r = RegionalSettings::FromEnvironment();
  EXPECT_EQ(r.decimal_separator, ',');
  EXPECT_EQ(r.short_date, "dd/mm/yyyy");
}

}  // namespace
}  // namespace panorello
