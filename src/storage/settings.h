#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace panorello {

struct Settings {
  std::string DbType;
  std::string Server;
  std::string Database;
  std::string User;
  std::string Password;
  bool Integrated = false;
  std::string ConnectionString;
  std::string OutputFile;
  std::string PageTitle;
  int32_t RefreshSeconds = 0;
  bool OpenBrowser = false;
  std::string LogFile;
  friend bool operator==(const Settings&, const Settings&) = default;
};

// The twelve raw field texts of the window (check boxes as flags).
struct SettingsFields {
  std::string DbType;
  std::string Server;
  std::string Database;
  std::string User;
  std::string Password;
  bool Integrated = false;
  std::string ConnectionString;
  std::string OutputFile;
  std::string PageTitle;
  std::string RefreshSeconds;
  bool OpenBrowser = false;
  std::string LogFile;
};

// Reads config.ini of app_folder; missing keys get their defaults. Throws Error when an existing
// file cannot be read.
Settings LoadSettings(const std::string& app_folder);

// The twelve keys of config.ini, in file order.
std::vector<std::string> SettingKeyNames();

// A line of config.ini whose key is none of the twelve (the reader passes over it).
struct UnknownKey {
  int64_t line = 0;     // 1-based
  std::string key;      // trimmed, as written
  std::string nearest;  // the known key it most likely means; empty when none is close
};

// The unknown keys of a config.ini text, in file order. Lines without "=" are not keys.
std::vector<UnknownKey> UnknownSettingKeys(std::string_view ini_text);

// "PASWORD: forse PASSWORD?" (or "PASWORD" alone when no known key is close).
std::string UnknownKeyText(const UnknownKey& unknown);

// The field rules of the window: texts trimmed (password untouched), refresh by the number rule.
Settings SettingsFromWindow(const SettingsFields& fields);

// The twelve lines of config.ini (CR LF each); line breaks inside a value become one space.
std::string SettingsFileText(const Settings& settings);

// Writes config.ini (0600 when created), then current := record. On failure throws and current
// stays as it was.
void SaveSettings(const std::string& app_folder, const Settings& record, Settings& current);

}  // namespace panorello
