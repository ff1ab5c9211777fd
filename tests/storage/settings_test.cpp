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

Settings Defaults(const std::string& folder) {
  Settings s;
  s.DbType = "SQLSERVER";
  s.Integrated = true;
  s.OutputFile = folder + "/dashboard.html";
  s.PageTitle = "Panorello dinamico";
  s.RefreshSeconds = 0;
  s.OpenBrowser = true;
  s.LogFile = folder + "/panorello.log";
  return s;
}

TEST(LoadSettingsTest, MissingFileGivesDefaults) {
  TempFolder app;
  EXPECT_EQ(LoadSettings(app.Path()), Defaults(app.Path()));
  EXPECT_FALSE(std::filesystem::exists(app.File("config.ini")));  // loading creates nothing
  WriteBytes(app.File("config.ini"), "");
  EXPECT_EQ(LoadSettings(app.Path()), Defaults(app.Path()));
}

struct LoadCase {
  std::string file;
  std::function<void(Settings&)> change;  // applied to the defaults
};

TEST(LoadSettingsTest, FieldRules) {
  TempFolder app;
  const LoadCase cases[] = {
      {"dbtype = ACCESS", [](Settings& s) { s.DbType = " ACCESS"; }},
      {"INTEGRATED=", [](Settings& s) { s.Integrated = false; }},
      {"INTEGRATED=true", [](Settings& s) { s.Integrated = false; }},
      {"INTEGRATED=0", [](Settings& s) { s.Integrated = false; }},
      {"INTEGRATED=1abc", [](Settings& s) { s.Integrated = true; }},
      {"OPENBROWSER=-1", [](Settings& s) { s.OpenBrowser = true; }},
      {"OPENBROWSER=yes", [](Settings& s) { s.OpenBrowser = false; }},
      {"REFRESHSECONDS=2.5", [](Settings& s) { s.RefreshSeconds = 2; }},
      {"REFRESHSECONDS=3.5", [](Settings& s) { s.RefreshSeconds = 4; }},
      {"REFRESHSECONDS=30 s", [](Settings& s) { s.RefreshSeconds = 30; }},
      {"REFRESHSECONDS=abc", [](Settings& s) { s.RefreshSeconds = 0; }},
      {"REFRESHSECONDS=-5", [](Settings& s) { s.RefreshSeconds = -5; }},
      {"REFRESHSECONDS=99999999999", [](Settings& s) { s.RefreshSeconds = 2147483647; }},
      {"REFRESHSECONDS=-1E999", [](Settings& s) { s.RefreshSeconds = -2147483647 - 1; }},
      {"SERVER=first\r\nSERVER=second", [](Settings& s) { s.Server = "first"; }},
      {"CONNECTIONSTRING=Driver={x};Uid=a;Pwd=b=c",
       [](Settings& s) { s.ConnectionString = "Driver={x};Uid=a;Pwd=b=c"; }},
      {"OUTPUTFILE=", [](Settings& s) { s.OutputFile = ""; }},
      {"LOGFILE=", [](Settings& s) { s.LogFile = ""; }},
      {"[x]\n;USER=x\nUNKNOWN=1\n\nUSER=u ", [](Settings& s) { s.User = "u "; }},
      {"PASSWORD= p w \rPAGETITLE=Città", [](Settings& s) {
         s.Password = " p w ";
         s.PageTitle = "Città";
       }},
      {"PAGETITLE=Citt\xE0", [](Settings& s) { s.PageTitle = "Città"; }},
  };
  for (const auto& c : cases) {
    WriteBytes(app.File("config.ini"), c.file);
    Settings expected = Defaults(app.Path());
    c.change(expected);
    EXPECT_EQ(LoadSettings(app.Path()), expected) << c.file;
  }
}

TEST(SettingsFromWindowTest, TrimsAllButThePassword) {
  SettingsFields f;
  f.DbType = " ACCESS ";
  f.Server = " srv ";
  f.Database = " db ";
  f.User = " u ";
  f.Password = " secret  ";
  f.Integrated = true;
  f.ConnectionString = " DSN=x ";
  f.OutputFile = " /tmp/o.html ";
  f.PageTitle = "  Titolo  ";
  f.RefreshSeconds = " 2.5 ";
  f.OpenBrowser = false;
  f.LogFile = "\tlog ";
  Settings s = SettingsFromWindow(f);
  EXPECT_EQ(s.DbType, "ACCESS");
  EXPECT_EQ(s.Server, "srv");
  EXPECT_EQ(s.Database, "db");
  EXPECT_EQ(s.User, "u");
  EXPECT_EQ(s.Password, " secret  ");
  EXPECT_TRUE(s.Integrated);
  EXPECT_EQ(s.ConnectionString, "DSN=x");
  EXPECT_EQ(s.OutputFile, "/tmp/o.html");
  EXPECT_EQ(s.PageTitle, "Titolo");
  EXPECT_EQ(s.RefreshSeconds, 2);
  EXPECT_FALSE(s.OpenBrowser);
  EXPECT_EQ(s.LogFile, "\tlog");

  const std::pair<std::string, int32_t> refresh[] = {
      {"60", 60}, {"3.5", 4}, {"", 0}, {"x", 0}, {"1E10", 2147483647}, {"-1E10", -2147483647 - 1}};
  for (const auto& [text, value] : refresh) {
    f.RefreshSeconds = text;
    EXPECT_EQ(SettingsFromWindow(f).RefreshSeconds, value) << text;
  }
}

Settings Sample() {
  Settings s;
  s.DbType = "POSTGRESQL";
  s.Server = "db.example";
  s.Database = "vendite";
  s.User = "marco";
  s.Password = " pa=ss ";
  s.Integrated = false;
  s.ConnectionString = "Driver={PostgreSQL Unicode};Server=x;Pwd={a;b}";
  s.OutputFile = "/srv/out/città.html";
  s.PageTitle = "Cruscotto €";
  s.RefreshSeconds = -30;
  s.OpenBrowser = true;
  s.LogFile = "/var/log/p.log";
  return s;
}

TEST(SettingsFileTextTest, TwelveLinesInOrder) {
  EXPECT_EQ(SettingsFileText(Sample()),
            "DBTYPE=POSTGRESQL\r\n"
            "SERVER=db.example\r\n"
            "DATABASE=vendite\r\n"
            "USER=marco\r\n"
            "PASSWORD= pa=ss \r\n"
            "INTEGRATED=0\r\n"
            "CONNECTIONSTRING=Driver={PostgreSQL Unicode};Server=x;Pwd={a;b}\r\n"
            "OUTPUTFILE=/srv/out/città.html\r\n"
            "PAGETITLE=Cruscotto €\r\n"
            "REFRESHSECONDS=-30\r\n"
            "OPENBROWSER=1\r\n"
            "LOGFILE=/var/log/p.log\r\n");
}

TEST(SettingsFileTextTest, LineBreaksCannotInjectKeys) {
  Settings s = Sample();
  s.PageTitle = "Titolo\r\nLOGFILE=/etc/passwd";
  s.Password = "a\nb\rc";
  std::string text = SettingsFileText(s);
  EXPECT_NE(text.find("PAGETITLE=Titolo LOGFILE=/etc/passwd\r\n"), std::string::npos);
  EXPECT_NE(text.find("PASSWORD=a b c\r\n"), std::string::npos);
  EXPECT_EQ(s.PageTitle, "Titolo\r\nLOGFILE=/etc/passwd");  // the record is not changed

  TempFolder app;
  Settings current;
  SaveSettings(app.Path(), s, current);
  Settings back = LoadSettings(app.Path());
  EXPECT_EQ(back.LogFile, "/var/log/p.log");
  EXPECT_EQ(back.PageTitle, "Titolo LOGFILE=/etc/passwd");
}

TEST(SaveSettingsTest, RoundTripAndOwnerOnlyMode) {
  TempFolder app;
  Settings current = Defaults(app.Path());
  SaveSettings(app.Path(), Sample(), current);
  EXPECT_EQ(current, Sample());
  EXPECT_EQ(ReadBytes(app.File("config.ini")), SettingsFileText(Sample()));
  EXPECT_EQ(LoadSettings(app.Path()), Sample());
  struct stat st{};
  ASSERT_EQ(stat(app.File("config.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // A mode chosen by the owner survives the next save.
  ASSERT_EQ(chmod(app.File("config.ini").c_str(), 0640), 0);
  Settings other = Sample();
  other.RefreshSeconds = 2147483647;
  SaveSettings(app.Path(), other, current);
  ASSERT_EQ(stat(app.File("config.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(LoadSettings(app.Path()), other);
}

TEST(SaveSettingsTest, FailureKeepsTheCurrentSettings) {
  TempFolder app;
  std::filesystem::create_directory(app.File("config.ini"));  // cannot be replaced by a file
  Settings current = Defaults(app.Path());
  EXPECT_THROW(SaveSettings(app.Path(), Sample(), current), Error);
  EXPECT_EQ(current, Defaults(app.Path()));
}

TEST(SaveSettingsTest, CreatesTheFolder) {
  TempFolder tmp;
  Settings current;
  SaveSettings(tmp.File("new/app"), Sample(), current);
  EXPECT_EQ(LoadSettings(tmp.File("new/app")), Sample());
}

}  // namespace
}  // namespace panorello
