#pragma once
// What the main window shows, as plain values: the view copies its widgets into this record
// before a command runs and shows the record again afterwards. No toolkit types here.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace panorello {

// A drop-down list without free typing: its text is the selected entry's text.
struct ComboBoxState {
  std::vector<std::string> entries;
  int32_t selected = -1;  // -1: no entry selected

  std::string Text() const;
  // Selects the entry equal to `value` (trimmed, letter case ignored). A value that matches no
  // entry is added as one extra entry after `fixed_count` fixed entries (an extra entry left
  // by an earlier value is replaced) and selected, so that reading it back keeps it. A blank
  // value selects `blank_entry` when that is given, otherwise nothing.
  void Show(std::string_view value, size_t fixed_count, std::string_view blank_entry = {});
};

// A list box of entries in the order added; one entry selectable.
struct ListBoxState {
  std::vector<std::string> entries;
  int32_t selected = -1;  // -1: none
};

struct FormState {
  // Settings side.
  ComboBoxState cboDbType;
  std::string txtServer;
  std::string txtDatabase;
  std::string txtUser;
  std::string txtPassword;
  bool chkIntegrated = false;
  std::string txtConnectionString;
  std::string txtPageTitle;
  std::string txtRefreshSeconds;
  bool chkOpenBrowser = false;
  std::string txtOutputFile;
  std::string txtLogFile;

  // Block editor. Multi-line texts (subtitle, SQL) hold CR LF line breaks.
  ComboBoxState cboRenderMode;
  std::string txtDashboard;
  ListBoxState lstBlocks;
  std::string txtOrder;
  bool chkActive = true;
  std::string txtTitle;
  std::string txtSubtitle;
  std::string txtSql;

  // Enabled flags and captions that commands change.
  bool txtUserEnabled = true;
  bool txtPasswordEnabled = true;
  bool cmdDemoEnabled = true;
  std::string cmdDemoCaption = "Avvia Demo";
  std::string lblStatus = "Pronto";

  // BlockList position of the block loaded in the block fields; -1 for a new block.
  int32_t CurrentBlockIndex = -1;
};

// The fixed entries of the render-mode list; those of the type list are the known DBTYPE codes.
inline constexpr std::string_view kRenderModeEntries[] = {"AUTO", "TABLE", "KPI", "CHARTTABLE"};
inline constexpr size_t kRenderModeEntryCount = std::size(kRenderModeEntries);

}  // namespace panorello
