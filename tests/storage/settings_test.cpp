#include "storage/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// The record of a missing config.ini, and one with every field set.
Settings Defaults(const std::string& folder) {
  return {"SQLSERVER",
          "",
          "",
          "",
          "",
          true,
          "",
          folder + "/dashboard.html",
          "Panorello dinamico",
          0,
          true,
          folder + "/panorello.log"};
}
Settings Sample() {
  return {"POSTGRESQL",
          "db.example",
          "vendite",
          "marco",
          " pa=ss ",
          false,
          "Driver={PostgreSQL Unicode};Server=x;Pwd={a;b}",
          "/srv/out/città.html",
          "Cruscotto €",
          -30,
          true,
          "/var/log/p.log"};
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Each key's rule, applied to the defaults of a missing file: keys without case, values
// untrimmed, present-but-empty differs from absent, flags by the number rule, refresh rounded
// half to even and clamped, first line wins, Windows-1252 files decoded.
TEST(LoadSettingsTest, FieldRules) {
  TempFolder app;
  EXPECT_EQ(LoadSettings(app.Path()), Defaults(app.Path()));
  EXPECT_FALSE(std::filesystem::exists(app.File("config.ini")));  // loading creates nothing
  struct Case {
    std::string file;
    std::function<void(Settings&)> change;
  };
  const Case cases[] = {
      {"", [](Settings&) {}},
      {"dbtype = ACCESS", [](Settings& s) { s.DbType = " ACCESS"; }},
      {"INTEGRATED=", [](Settings& s) { s.Integrated = false; }},
      {"INTEGRATED=true", [](Settings& s) { s.Integrated = false; }},
      {"INTEGRATED=1abc\nOPENBROWSER=-1", [](Settings&) {}},
      {"OPENBROWSER=yes", [](Settings& s) { s.OpenBrowser = false; }},
      {"REFRESHSECONDS=2.5", [](Settings& s) { s.RefreshSeconds = 2; }},
      {"REFRESHSECONDS=3.5", [](Settings& s) { s.RefreshSeconds = 4; }},
      {"REFRESHSECONDS=30 s", [](Settings& s) { s.RefreshSeconds = 30; }},
      {"REFRESHSECONDS=-5", [](Settings& s) { s.RefreshSeconds = -5; }},
      {"REFRESHSECONDS=99999999999", [](Settings& s) { s.RefreshSeconds = 2147483647; }},
      {"REFRESHSECONDS=-1E999", [](Settings& s) { s.RefreshSeconds = -2147483647 - 1; }},
      {"SERVER=first\r\nSERVER=second", [](Settings& s) { s.Server = "first"; }},
      {"CONNECTIONSTRING=Pwd=b=c", [](Settings& s) { s.ConnectionString = "Pwd=b=c"; }},
      {"OUTPUTFILE=\nLOGFILE=", [](Settings& s) { s.OutputFile = s.LogFile = ""; }},
      {"[x]\n;USER=x\n\nUSER=u \rDATABASE=d", [](Settings& s) { s.User = "u ", s.Database = "d"; }},
      {"PASSWORD= p w \nPAGETITLE=Citt\xE0",
       [](Settings& s) { s.Password = " p w ", s.PageTitle = "Città"; }},
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
  SettingsFields f{" ACCESS ", " srv ",         " db ",       " u ",   " secret  ", true,
                   " DSN=x ",  " /tmp/o.html ", "  Titolo  ", " 2.5 ", false,       "\tlog "};
  Settings expected{"ACCESS", "srv",         "db",     "u", " secret  ", true,
                    "DSN=x",  "/tmp/o.html", "Titolo", 2,   false,       "\tlog"};
  EXPECT_EQ(SettingsFromWindow(f), expected);
  const std::pair<std::string, int32_t> refresh[] = {
      {"3.5", 4}, {"x", 0}, {"-1E10", -2147483647 - 1}};
  for (const auto& [text, value] : refresh) {
    f.RefreshSeconds = text;
    EXPECT_EQ(SettingsFromWindow(f).RefreshSeconds, value) << text;
  }
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

// Save then load gives the same record; the current settings take it only after the write; the
// file is readable by its owner only, also when an old one was world-readable; folders are created;
// a line break in a value cannot smuggle in another key.
TEST(SaveSettingsTest, RoundTripModeAndInjection) {
  TempFolder app;
  const std::string folder = app.File("new/app");
  Settings current = Defaults(folder);
  SaveSettings(folder, Sample(), current);
  EXPECT_EQ(current, Sample());
  EXPECT_EQ(ReadBytes(folder + "/config.ini"), SettingsFileText(Sample()));
  EXPECT_EQ(LoadSettings(folder), Sample());
  EXPECT_EQ(ModeOf(folder + "/config.ini"), 0600u);

  ASSERT_EQ(chmod((folder + "/config.ini").c_str(), 0644), 0);
  Settings other = Sample();
  other.PageTitle = "Titolo\r\nLOGFILE=/etc/passwd";
  other.Password = "a\nb\rc";
  other.RefreshSeconds = 2147483647;
  other.Integrated = true;
  SaveSettings(folder, other, current);
  EXPECT_EQ(current, other);  // the record itself is not changed
  EXPECT_EQ(ModeOf(folder + "/config.ini"), 0600u);
  Settings expected = other;
  expected.PageTitle = "Titolo LOGFILE=/etc/passwd";
  expected.Password = "a b c";
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
