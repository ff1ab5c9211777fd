#pragma once
// The controls of the main window: kind, object name, caption and place in twips (15 to a
// pixel), in the order the window creates them (later controls lie above earlier ones), and the
// order Tab visits them. The window is built from these tables; no toolkit types here.
namespace panorello {

inline constexpr int kTwipsPerPixel = 15;

// Tables indexed by a ControlKind follow the order of its values.
enum class ControlKind {
  kLabel,
  kDropDown,
  kTextBox,
  kMultiLine,
  kList,
  kCheckBox,
  kButton,
  kStatus,  // the status line: a plain label in the window's own font
};

struct ControlLayout {
  ControlKind kind;
  const char* name;
  const char* caption;
  int left, top, width, height;  // twips
  const char* color = nullptr;   // buttons: background colour
};

inline constexpr const char* kGreen = "#4BB59D";
inline constexpr const char* kBlue = "#3070C0";

// clang-format off
inline constexpr ControlLayout kControlLayout[] = {
    {ControlKind::kLabel, "Label1", "Tipo DB", 120, 120, 735, 255},
    {ControlKind::kDropDown, "cboDbType", "", 120, 360, 3615, 375},
    {ControlKind::kLabel, "Label2", "Server", 120, 840, 3615, 255},
    {ControlKind::kTextBox, "txtServer", "", 120, 1080, 3615, 375},
    {ControlKind::kLabel, "Label3", "Database / file", 120, 1560, 3615, 255},
    {ControlKind::kTextBox, "txtDatabase", "", 120, 1800, 3615, 375},
    {ControlKind::kLabel, "lblRenderMode", "RenderMode", 120, 2400, 2415, 255},
    {ControlKind::kDropDown, "cboRenderMode", "", 120, 2640, 3615, 375},
    {ControlKind::kLabel, "Label16", "Dashboard", 120, 3240, 2415, 255},
    {ControlKind::kTextBox, "txtDashboard", "", 120, 3480, 3615, 375},
    {ControlKind::kLabel, "Label15", "Blocchi salvati", 120, 3960, 1455, 255},
    {ControlKind::kList, "lstBlocks", "", 120, 4200, 4095, 4650},
    {ControlKind::kLabel, "Label4", "Utente", 3960, 120, 735, 255},
    {ControlKind::kTextBox, "txtUser", "", 3960, 360, 3135, 375},
    {ControlKind::kLabel, "Label5", "Password", 3960, 840, 2055, 255},
    {ControlKind::kTextBox, "txtPassword", "", 3960, 1080, 3135, 375},
    {ControlKind::kCheckBox, "chkIntegrated", "Autenticazione integrata", 8040, 120, 6135, 255},
    {ControlKind::kLabel, "Label6", "Conn. string", 8040, 360, 1095, 255},
    {ControlKind::kTextBox, "txtConnectionString", "", 8040, 600, 6135, 375},
    {ControlKind::kLabel, "Label7", "Titolo pagina", 8040, 1080, 1095, 255},
    {ControlKind::kTextBox, "txtPageTitle", "", 8040, 1320, 4815, 375},
    {ControlKind::kLabel, "Label8", "Refresh (sec)", 12960, 1080, 1095, 255},
    {ControlKind::kTextBox, "txtRefreshSeconds", "", 12960, 1320, 1170, 375},
    {ControlKind::kCheckBox, "chkOpenBrowser", "Apri browser dopo la generazione",
     8040, 1800, 5175, 255},
    {ControlKind::kLabel, "Label9", "Output HTML", 8040, 2160, 1095, 255},
    {ControlKind::kTextBox, "txtOutputFile", "", 8040, 2400, 6135, 375},
    {ControlKind::kLabel, "Label10", "Log file", 8040, 2880, 1815, 255},
    {ControlKind::kTextBox, "txtLogFile", "", 8040, 3120, 6135, 375},
    {ControlKind::kLabel, "Label11", "Ordine", 10920, 3660, 975, 255},
    {ControlKind::kTextBox, "txtOrder", "", 11760, 3600, 975, 375},
    {ControlKind::kCheckBox, "chkActive", "Attivo", 13080, 3720, 1095, 255},
    {ControlKind::kLabel, "Label12", "Titolo", 4560, 3960, 1575, 255},
    {ControlKind::kTextBox, "txtTitle", "", 4560, 4200, 9615, 375},
    {ControlKind::kLabel, "Label13", "Sottotitolo", 4560, 4560, 2415, 255},
    {ControlKind::kMultiLine, "txtSubtitle", "", 4560, 4920, 9615, 855},
    {ControlKind::kLabel, "Label14", "SQL", 4560, 5760, 495, 255},
    {ControlKind::kMultiLine, "txtSql", "", 4560, 6120, 9615, 2655},
    // The status line lies partly under "Avvia Demo": created first, it stays beneath the button.
    {ControlKind::kStatus, "lblStatus", "Pronto", 3360, 9180, 5295, 255},
    {ControlKind::kButton, "cmdSaveConfig", "Salva config", 120, 9120, 1455, 375, kGreen},
    {ControlKind::kButton, "cmdTestConnection", "Test connessione", 1800, 9120, 1455, 375, kGreen},
    {ControlKind::kButton, "cmdDemo", "Avvia Demo", 4560, 9120, 1455, 375, kBlue},
    {ControlKind::kButton, "cmdNew", "Nuovo blocco", 8760, 9120, 1215, 375, kGreen},
    {ControlKind::kButton, "cmdSaveBlock", "Salva blocco", 10080, 9120, 1095, 375, kGreen},
    {ControlKind::kButton, "cmdDeleteBlock", "Elimina blocco", 11280, 9120, 1335, 375, kGreen},
    {ControlKind::kButton, "cmdGenerate", "Genera HTML", 12720, 9120, 1455, 375, kGreen},
};
// clang-format on

inline constexpr const char* kTabOrder[] = {
    "txtUser",       "txtPassword",       "chkIntegrated",     "txtConnectionString",
    "txtPageTitle",  "txtRefreshSeconds", "chkOpenBrowser",    "txtOutputFile",
    "txtLogFile",    "lstBlocks",         "txtDatabase",       "txtServer",
    "cboDbType",     "txtTitle",          "txtSubtitle",       "txtOrder",
    "txtSql",        "cmdSaveConfig",     "cmdTestConnection", "cmdDemo",
    "cmdNew",        "cmdSaveBlock",      "cmdDeleteBlock",    "cmdGenerate",
    "cboRenderMode", "txtDashboard",      "chkActive"};

}  // namespace panorello
