// The settings side of the main window: loading, the field transfers, the connection-string
// templates, "Salva config" and "Test connessione".
#include "ui/logic/main_form.h"

#include <exception>

#include "db/connection.h"
#include "db/road_table.h"
#include "storage/settings.h"
#include "util/error.h"
#include "util/text.h"

namespace panorello {

std::string ComboBoxState::Text() const {
  if (selected < 0 || static_cast<size_t>(selected) >= entries.size()) return {};
  return entries[static_cast<size_t>(selected)];
}

void ComboBoxState::Show(std::string_view value, size_t fixed_count, std::string_view blank_entry) {
  if (entries.size() > fixed_count) entries.resize(fixed_count);
  const std::string wanted = UpperCase(Trim(value));
  if (wanted.empty()) {
    selected = -1;
    for (size_t i = 0; i < entries.size() && !blank_entry.empty(); ++i) {
      if (entries[i] == blank_entry) selected = static_cast<int32_t>(i);
    }
    return;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (UpperCase(entries[i]) == wanted) {
      selected = static_cast<int32_t>(i);
      return;
    }
  }
  // Not one of the fixed entries (a DbType or render mode written by hand or by another
  // version): shown as it is stored so that saving without touching it keeps it.
  entries.emplace_back(value);
  selected = static_cast<int32_t>(entries.size() - 1);
}

std::string ConnectionTemplate(std::string_view db_type) {
  return std::string(RoadRowOf(db_type).window_template);
}

MainForm::MainForm(AppContext& ctx) : ctx_(ctx) {}

void MainForm::Warn(const std::string& text, const char* title) {
  if (RunCancelled()) return;  // the window is closing: no message about the run it stopped
  ctx_.reporter.ShowMessage(MessageIcon::Warning, title, text);
}

void MainForm::Inform(const std::string& text, const char* title) {
  if (RunCancelled()) return;
  ctx_.reporter.ShowMessage(MessageIcon::Information, title, text);
}

void MainForm::ShowNow() {
  if (show_now) show_now();
}

void MainForm::Form_Load() {
  s_.cboDbType.entries.clear();
  for (const RoadRow& road : KnownRoads()) s_.cboDbType.entries.emplace_back(road.code);
  s_.cboDbType.selected = -1;
  s_.cboRenderMode.entries.assign(std::begin(kRenderModeEntries), std::end(kRenderModeEntries));
  s_.cboRenderMode.selected = -1;
  s_.CurrentBlockIndex = -1;
  SettingsToForm();
  RefreshBlockList();
  ClearBlockFields();
  chkIntegrated_Click();
  if (!ctx_.blocks_warning.empty()) {
    Warn(ctx_.blocks_warning);
    ctx_.blocks_warning.clear();  // once
  }
}

namespace {

// The text boxes that show one text field of Settings each, as they are.
struct TextBox {
  std::string FormState::*box;
  std::string Settings::*setting;
  std::string SettingsFields::*field;
};

constexpr TextBox kSettingsTextBoxes[] = {
    {&FormState::txtServer, &Settings::Server, &SettingsFields::Server},
    {&FormState::txtDatabase, &Settings::Database, &SettingsFields::Database},
    {&FormState::txtUser, &Settings::User, &SettingsFields::User},
    {&FormState::txtPassword, &Settings::Password, &SettingsFields::Password},
    {&FormState::txtConnectionString, &Settings::ConnectionString,
     &SettingsFields::ConnectionString},
    {&FormState::txtPageTitle, &Settings::PageTitle, &SettingsFields::PageTitle},
    {&FormState::txtOutputFile, &Settings::OutputFile, &SettingsFields::OutputFile},
    {&FormState::txtLogFile, &Settings::LogFile, &SettingsFields::LogFile},
};

}  // namespace

void MainForm::SettingsToForm() {
  const Settings& st = ctx_.settings;
  s_.cboDbType.Show(st.DbType, KnownRoads().size());
  for (const TextBox& t : kSettingsTextBoxes) s_.*t.box = st.*t.setting;
  s_.chkIntegrated = st.Integrated;
  s_.txtRefreshSeconds = FormatInt(st.RefreshSeconds);
  s_.chkOpenBrowser = st.OpenBrowser;
}

SettingsFields MainForm::FieldsOfForm() const {
  SettingsFields f;
  f.DbType = s_.cboDbType.Text();
  for (const TextBox& t : kSettingsTextBoxes) f.*t.field = s_.*t.box;
  f.Integrated = s_.chkIntegrated;
  f.RefreshSeconds = s_.txtRefreshSeconds;
  f.OpenBrowser = s_.chkOpenBrowser;
  return f;
}

bool MainForm::FormToSettings() {
  bool fits = true;
  ParseWholeNumber(s_.txtRefreshSeconds, &fits);
  if (!fits) {
    Warn(RefreshOutOfRangeMessage(s_.txtRefreshSeconds));
    return false;
  }
  ctx_.settings = SettingsFromWindow(FieldsOfForm());
  return true;
}

void MainForm::chkIntegrated_Click() {
  s_.txtUserEnabled = !s_.chkIntegrated;
  s_.txtPasswordEnabled = !s_.chkIntegrated;
}

void MainForm::cboDbType_Click() {
  const std::string tmpl = ConnectionTemplate(s_.cboDbType.Text());
  if (tmpl.empty()) return;
  if (Trim(s_.txtConnectionString).empty()) s_.txtConnectionString = tmpl;
}

bool MainForm::TryToWrite(const std::function<void()>& write, const char* failure,
                          const char* consequence) {
  try {
    write();
    return true;
  } catch (const std::exception& e) {
    Warn(std::string(failure) + e.what() + consequence);
    return false;
  }
}

bool MainForm::WriteConfig(Settings record) {
  return TryToWrite([&] { SaveSettings(ctx_.app_folder, record, ctx_.settings); },
                    kConfigNotSavedText, kSettingsKeptText);
}

void MainForm::cmdSaveConfig_Click() {
  if (!FormToSettings()) return;
  if (!WriteConfig(SettingsFromWindow(FieldsOfForm()))) {
    s_.lblStatus = "Errore salvataggio configurazione";
    return;
  }
  s_.lblStatus = "Configurazione salvata";
}

void MainForm::cmdTestConnection_Click() {
  if (!FormToSettings()) return;
  std::string errorText;
  if (TestConnection(ctx_.settings, ctx_.limits, errorText, ConnectionPlaceOf(ctx_))) {
    Inform(kConnectionSucceededText);
    s_.lblStatus = "Connessione riuscita";
  } else {
    Warn(kConnectionFailedText + errorText);
    s_.lblStatus = "Errore connessione";
  }
}

}  // namespace panorello
