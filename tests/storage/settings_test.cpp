#include "storage/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

// The record of a missing config.ini, and one with every field set.
Settings Defaults(const std::string& folder) {
  return {.DbType = "SQLSERVER",
          .Integrated = true,
          .OutputFile = folder + "/dashboard.html",
          .PageTitle = "Panorello dinamico",
          .OpenBrowser = true,
          .LogFile = folder + "/panorello.log"};
}
Settings Sample() {
  return {.DbType = "POSTGRESQL",
          .Server = "db.example",
          .Database = "vendite",
          .User = "marco",
          .Password = " pa=ss ",
          .ConnectionString = "Driver={PostgreSQL Unicode};Server=x;Pwd={a;b}",
          .OutputFile = "/srv/out/città.html",
          .PageTitle = "Cruscotto €",
          .RefreshSeconds = -30,
          .OpenBrowser = true,
          .LogFile = "/var/log/p.log"};
}

// Each key's rule, applied to the defaults of a missing file: keys without case, values
// untrimmed, present-but-empty differs from absent, flags and refresh by the number rule.
TEST(LoadSettingsTest, FieldRules) {
  TempFolder app;
  EXPECT_EQ(LoadSettings(app.Path()), Defaults(app.Path()));
  EXPECT_FALSE(std::filesystem::exists(app.File("config.ini")));  // loading creates nothing
  struct Case {
    std::string file;
    std::function<void(Settings&)> change;
  };
  const Case cases[] = {
      {"dbtype = ACCESS", [](Settings& s) { s.DbType = " ACCESS"; }},
      {"INTEGRATED=", [](Settings& s) { s.Integrated = false; }},
      {"INTEGRATED=1abc\nOPENBROWSER=-1", [](Settings&) {}},
      {"OPENBROWSER=yes", [](Settings& s) { s.OpenBrowser = false; }},
      {"REFRESHSECONDS=3.5", [](Settings& s) { s.RefreshSeconds = 4; }},
      {"OUTPUTFILE=\nLOGFILE=", [](Settings& s) { s.OutputFile = s.LogFile = ""; }},
  };
  for (const auto& c : cases) {
    WriteBytes(app.File("config.ini"), c.file);
    Settings expected = Defaults(app.Path());
    c.change(expected);
    EXPECT_EQ(LoadSettings(app.Path()), expected) << c.file;
  }
}

// The window's texts are trimmed of spaces (not tabs), except the password; the refresh text
// goes through the number rule.
TEST(SettingsFromWindowTest, TrimsAllButThePassword) {
  const SettingsFields fields{.DbType = " ACCESS ",
                              .Password = " secret  ",
                              .Integrated = true,
                              .RefreshSeconds = " 3.5 ",
                              .LogFile = "\tlog "};
  const Settings expected{.DbType = "ACCESS",
                          .Password = " secret  ",
                          .Integrated = true,
                          .RefreshSeconds = 4,
                          .LogFile = "\tlog"};
  EXPECT_EQ(SettingsFromWindow(fields), expected);
}

// The written form, byte for byte: twelve keys in order, CR LF, flags as 1/0.
TEST(SettingsFileTextTest, TwelveLinesInOrder) {
  EXPECT_EQ(SettingsFileText(Sample()),
            "DBTYPE=POSTGRESQL\r\nSERVER=db.example\r\nDATABASE=vendite\r\nUSER=marco\r\n"
            "PASSWORD= pa=ss \r\nINTEGRATED=0\r\n"
            "CONNECTIONSTRING=Driver={PostgreSQL Unicode};Server=x;Pwd={a;b}\r\n"
            "OUTPUTFILE=/srv/out/città.html\r\nPAGETITLE=Cruscotto €\r\nREFRESHSECONDS=-30\r\n"
            "OPENBROWSER=1\r\nLOGFILE=/var/log/p.log\r\n");
}

// Save then load gives the same record and the current settings take it; a line break in a value
// cannot smuggle in another key; config.ini holds a password: readable by its owner only, new or
// left world-readable before.
TEST(SaveSettingsTest, RoundTripInjectionAndOwnerOnlyMode) {
  TempFolder app;
  const std::string folder = app.File("new/app");
  auto mode = [&] {
    return static_cast<unsigned>(std::filesystem::status(folder + "/config.ini").permissions());
  };
  Settings current = Defaults(folder);
  Settings other = Sample();
  other.PageTitle = "Titolo\r\nLOGFILE=/etc/passwd";
  SaveSettings(folder, other, current);
  EXPECT_EQ(current, other);
  EXPECT_EQ(mode(), 0600u);
  std::filesystem::permissions(folder + "/config.ini", std::filesystem::perms(0644));
  SaveSettings(folder, other, current);
  EXPECT_EQ(mode(), 0600u);
  Settings expected = other;
  expected.PageTitle = "Titolo LOGFILE=/etc/passwd";
  EXPECT_EQ(LoadSettings(folder), expected);
}

// A failed save raises and leaves the current settings as they were.
TEST(SaveSettingsTest, FailureKeepsTheCurrentSettings) {
  TempFolder app;
  std::filesystem::create_directory(app.File("config.ini"));
  Settings current = Defaults(app.Path());
  EXPECT_THROW(SaveSettings(app.Path(), Sample(), current), Error);
  EXPECT_EQ(current, Defaults(app.Path()));
}

}  // namespace
}  // namespace panorello
