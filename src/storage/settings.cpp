#include "storage/settings.h"

#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

bool FlagFromText(const std::string& text) { return ParseLeadingNumber(text) != 0; }

}  // namespace

Settings LoadSettings(const std::string& app_folder) {
  const std::string path = AppFile(app_folder, "config.ini");
  Settings s;
  s.DbType = ReadIniValue(path, "DBTYPE", "SQLSERVER");
  s.Server = ReadIniValue(path, "SERVER", "");
  s.Database = ReadIniValue(path, "DATABASE", "");
  s.User = ReadIniValue(path, "USER", "");
  s.Password = ReadIniValue(path, "PASSWORD", "");
  s.Integrated = FlagFromText(ReadIniValue(path, "INTEGRATED", "1"));
  s.ConnectionString = ReadIniValue(path, "CONNECTIONSTRING", "");
  s.OutputFile = ReadIniValue(path, "OUTPUTFILE", AppFile(app_folder, "dashboard.html"));
  s.PageTitle = ReadIniValue(path, "PAGETITLE", "Panorello dinamico");
  // Values beyond the 32-bit range are clamped to it.
  s.RefreshSeconds = ParseWholeNumber(ReadIniValue(path, "REFRESHSECONDS", "0"));
  s.OpenBrowser = FlagFromText(ReadIniValue(path, "OPENBROWSER", "1"));
  s.LogFile = ReadIniValue(path, "LOGFILE", AppFile(app_folder, "panorello.log"));
  return s;
}

Settings SettingsFromWindow(const SettingsFields& fields) {
  Settings s;
  s.DbType = Trim(fields.DbType);
  s.Server = Trim(fields.Server);
  s.Database = Trim(fields.Database);
  s.User = Trim(fields.User);
  s.Password = fields.Password;
  s.Integrated = fields.Integrated;
  s.ConnectionString = Trim(fields.ConnectionString);
  s.OutputFile = Trim(fields.OutputFile);
  s.PageTitle = Trim(fields.PageTitle);
  s.RefreshSeconds = ParseWholeNumber(fields.RefreshSeconds);
  s.OpenBrowser = fields.OpenBrowser;
  s.LogFile = Trim(fields.LogFile);
  return s;
}

std::string SettingsFileText(const Settings& settings) {
  std::string out;
  auto line = [&out](const char* key, const std::string& value) {
    out += key;
    out += '=';
    // A line break would end the value early and could smuggle in another key.
    out += LineBreaksToSpaces(value);
    out += "\r\n";
  };
  line("DBTYPE", settings.DbType);
  line("SERVER", settings.Server);
  line("DATABASE", settings.Database);
  line("USER", settings.User);
  line("PASSWORD", settings.Password);
  line("INTEGRATED", settings.Integrated ? "1" : "0");
  line("CONNECTIONSTRING", settings.ConnectionString);
  line("OUTPUTFILE", settings.OutputFile);
  line("PAGETITLE", settings.PageTitle);
  line("REFRESHSECONDS", FormatInt(settings.RefreshSeconds));
  line("OPENBROWSER", settings.OpenBrowser ? "1" : "0");
  line("LOGFILE", settings.LogFile);
  return out;
}

void SaveSettings(const std::string& app_folder, const Settings& record, Settings& current) {
  // The file holds a password: readable by its owner only, whatever mode an old one had.
  WriteTextFile(AppFile(app_folder, "config.ini"), SettingsFileText(record), 0600,
                ModeRule::kAlways);
  current = record;
}

}  // namespace panorello
