#include "storage/settings.h"

#include <algorithm>

#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

bool FlagFromText(const std::string& text) { return ParseLeadingNumber(text) != 0; }

// One key of config.ini, in file order, and the field of Settings it holds: a text, a flag
// written "1"/"0", or a whole number. A default in the data folder is a file name there.
struct SettingKey {
  const char* key;
  const char* default_text = "";
  bool default_in_app_folder = false;
  std::string Settings::*text = nullptr;
  bool Settings::*flag = nullptr;
  int32_t Settings::*number = nullptr;
};

constexpr SettingKey kSettingKeys[] = {
    {.key = "DBTYPE", .default_text = "SQLSERVER", .text = &Settings::DbType},
    {.key = "SERVER", .text = &Settings::Server},
    {.key = "DATABASE", .text = &Settings::Database},
    {.key = "USER", .text = &Settings::User},
    {.key = "PASSWORD", .text = &Settings::Password},
    {.key = "INTEGRATED", .default_text = "1", .flag = &Settings::Integrated},
    {.key = "CONNECTIONSTRING", .text = &Settings::ConnectionString},
    {.key = "OUTPUTFILE",
     .default_text = "dashboard.html",
     .default_in_app_folder = true,
     .text = &Settings::OutputFile},
    {.key = "PAGETITLE", .default_text = "Panorello dinamico", .text = &Settings::PageTitle},
    {.key = "REFRESHSECONDS", .default_text = "0", .number = &Settings::RefreshSeconds},
    {.key = "OPENBROWSER", .default_text = "1", .flag = &Settings::OpenBrowser},
    {.key = "LOGFILE",
     .default_text = "panorello.log",
     .default_in_app_folder = true,
     .text = &Settings::LogFile},
};

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> before(b.size() + 1), prev(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({prev[j] + 1, row[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    before.swap(prev);
    prev.swap(row);
  }
  return prev[b.size()];
}

// The known key within two edits of key (one for keys of four letters or fewer), else "".
std::string NearestKey(const std::string& upper_key) {
  const size_t limit = upper_key.size() <= 4 ? 1 : 2;
  std::string best;
  size_t best_distance = limit + 1;
  for (const SettingKey& k : kSettingKeys) {
    const size_t d = EditDistance(upper_key, k.key);
    if (d < best_distance) {
      best_distance = d;
      best = k.key;
    }
  }
  return best;
}

bool IsKnownKey(const std::string& upper_key) {
  return std::any_of(std::begin(kSettingKeys), std::end(kSettingKeys),
                     [&](const SettingKey& k) { return upper_key == k.key; });
}

}  // namespace

std::vector<std::string> SettingKeyNames() {
  std::vector<std::string> names;
  for (const SettingKey& k : kSettingKeys) names.emplace_back(k.key);
  return names;
}

std::vector<UnknownKey> UnknownSettingKeys(std::string_view ini_text) {
  std::vector<UnknownKey> found;
  int64_t number = 0;
  for (std::string_view rest = ini_text;;) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    ++number;
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      const std::string key(Trim(line.substr(0, equals)));
      const std::string upper = UpperCase(key);
      if (!key.empty() && !IsKnownKey(upper)) found.push_back({number, key, NearestKey(upper)});
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return found;
}

std::string UnknownKeyText(const UnknownKey& unknown) {
  if (unknown.nearest.empty()) return unknown.key;
  return unknown.key + ": forse " + unknown.nearest + "?";
}

Settings LoadSettings(const std::string& app_folder) {
  const std::string ini_text = ReadIniText(AppFile(app_folder, "config.ini"));
  Settings s;
  for (const SettingKey& k : kSettingKeys) {
    const std::string value =
        IniValue(ini_text, k.key,
                 k.default_in_app_folder ? AppFile(app_folder, k.default_text) : k.default_text);
    if (k.text != nullptr) s.*k.text = value;
    if (k.flag != nullptr) s.*k.flag = FlagFromText(value);
    // Values beyond the 32-bit range are clamped to it.
    if (k.number != nullptr) s.*k.number = ParseWholeNumber(value);
  }
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
  for (const SettingKey& k : kSettingKeys) {
    if (k.text != nullptr) line(k.key, settings.*k.text);
    if (k.flag != nullptr) line(k.key, settings.*k.flag ? "1" : "0");
    if (k.number != nullptr) line(k.key, FormatInt(settings.*k.number));
  }
  return out;
}

void SaveSettings(const std::string& app_folder, const Settings& record, Settings& current) {
  // The file holds a password: readable by its owner only, whatever mode an old one had.
  WriteTextFile(AppFile(app_folder, "config.ini"), SettingsFileText(record), 0600,
                ModeRule::kAlways);
  current = record;
}

}  // namespace panorello
