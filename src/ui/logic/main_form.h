#pragma once
// The main window's commands over plain values (FormState), without any toolkit. The Qt view
// copies its widgets into State() before calling a command and shows State() afterwards; message
// boxes go through ctx.reporter.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "html/generation.h"
#include "storage/app_context.h"
#include "ui/logic/form_state.h"
#include "ui/logic/form_texts.h"

namespace panorello {

struct DemoResult;

class MainForm {
 public:
  explicit MainForm(AppContext& ctx);
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  FormState& State() { return s_; }
  const FormState& State() const { return s_; }
  AppContext& Context() { return ctx_; }

  // Called in the middle of a long command (the demo) so that the view shows State() at once.
  std::function<void()> show_now;
  // How the work of "Genera HTML" and "Avvia Demo" runs: here and now by default; the window runs
  // it on a thread of its own and keeps its event loop going until it ends. Exceptions of the
  // work reach the caller.
  std::function<void(const std::function<void()>&)> run_off_thread =
      [](const std::function<void()>& work) { work(); };
  // Called from that work for what must happen on the window's thread (message boxes, the
  // fields and the status line); returns when it is done.
  std::function<void(const std::function<void()>&)> on_window_thread =
      [](const std::function<void()>& fn) { fn(); };

  // Settings side.
  void Form_Load();
  void SettingsToForm();
  // Reads the settings controls into Settings (memory only). Refuses, with a warning box and
  // without any change, a refresh text whose value does not fit 32 bits; then returns false.
  bool FormToSettings();
  void chkIntegrated_Click();
  void cboDbType_Click();
  void cmdSaveConfig_Click();
  void cmdTestConnection_Click();

  // Block editor.
  void RefreshBlockList();
  void ClearBlockFields();
  void lstBlocks_Click();
  void cmdNew_Click();
  void cmdSaveBlock_Click();
  void cmdDeleteBlock_Click();

  // Generate and demo.
  void cmdGenerate_Click();
  void cmdDemo_Click();
  void DemoSettingsToForm();

 private:
  SettingsFields FieldsOfForm() const;
  void Warn(const std::string& text, const char* title = kAppTitle);
  void Inform(const std::string& text, const char* title = kAppTitle);
  void ShowNow();
  bool RunCancelled() const { return ctx_.run.cancel != nullptr && ctx_.run.cancel->load(); }
  // Runs `write`; when it throws, warns with `failure`, the reason and `consequence`, and
  // returns false.
  bool TryToWrite(const std::function<void()>& write, const char* failure, const char* consequence);
  // Writes config.ini / blocks.ini; on failure shows the reason and returns false.
  bool WriteConfig(Settings record);
  bool WriteBlocks();
  // After a generation run reordered the BlockList: refills the list and points
  // CurrentBlockIndex and the selection at the records they named before the run.
  void RepairAfterRun(const BlockList& before, int32_t selected_before);
  // Runs work through run_off_thread on a context of its own (the same Settings, blocks, clock and
  // browser; progress and messages reach the window on its thread); what the work changed in
  // Settings and the blocks comes back into the window's context, also when it throws.
  void RunOffWindow(const std::function<void(AppContext&)>& work);
  // RunDemo off the window's thread, its settings and blocks shown as soon as it applies them.
  DemoResult RunDemoShowingItsSteps();
  void ReportDemo(const DemoResult& result);

  AppContext& ctx_;
  FormState s_;
};

// Entry text of one block in lstBlocks: "003 - Vendite [DEMO] {KPI} [OFF]".
std::string BlockEntryText(const Block& b);

// True when a line of the query reads "SQLEND" once trimmed: the blocks file would end the
// query there. Line ends are CR LF, CR or LF, as the blocks file reader sees them.
bool SqlHasEndMarkerLine(std::string_view sql);

// The connection-string template that picking a database type offers; empty for none.
std::string ConnectionTemplate(std::string_view db_type);

// For a list `after` holding the records of `before` in another order (the generation run's
// sort), the new position of every old position (-1 when a record cannot be found).
std::vector<int32_t> TrackPositions(const BlockList& before, const BlockList& after);

// "2 blocchi su 5 con errore": what the window adds after a run whose page shows error boxes.
std::string FailedBlocksText(const GenerationOutcome& run);

}  // namespace panorello
