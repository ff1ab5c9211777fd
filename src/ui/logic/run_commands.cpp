// "Genera HTML" and "Avvia Demo" of the main window, and what keeps the block editor pointing at
// the right records after a run has reordered or replaced the BlockList.
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "db/road_table.h"
#include "demo/demo_run.h"
#include "html/generation.h"
#include "ui/logic/main_form.h"
#include "util/text.h"

namespace panorello {

namespace {

// True when `after` at every position k holds the record `before` held at old_of_new[k].
bool Explains(const BlockList& before, const BlockList& after,
              const std::vector<int32_t>& old_of_new) {
  for (int32_t k = 0; k < after.BlockCount(); ++k) {
    const int32_t old = old_of_new[static_cast<size_t>(k)];
    if (old < 0 || old >= before.BlockCount() || !(before.At(old) == after.At(k))) return false;
  }
  return true;
}

std::vector<int32_t> Invert(const std::vector<int32_t>& old_of_new, size_t old_count) {
  std::vector<int32_t> new_of_old(old_count, -1);
  for (size_t k = 0; k < old_of_new.size(); ++k) {
    new_of_old[static_cast<size_t>(old_of_new[k])] = static_cast<int32_t>(k);
  }
  return new_of_old;
}

// The reporter of a run off the window's thread: everything the run reports reaches the window's
// reporter on the window's thread, in the order the run reports it; the progress also goes to
// the status line.
class WindowThreadReporter final : public ForwardingReporter {
 public:
  WindowThreadReporter(MainForm& form, Reporter& target, std::function<void()> show_now)
      : ForwardingReporter(target), form_(form), show_now_(std::move(show_now)) {}
  void BlockStarted(int number, int count, const std::string& title) override {
    ForwardingReporter::BlockStarted(number, count, title);
    form_.on_window_thread([&] {
      form_.State().lblStatus =
          "Blocco " + std::to_string(number) + " di " + std::to_string(count) + ": " + title;
      show_now_();
    });
  }

 protected:
  void Call(const std::function<void()>& call) override { form_.on_window_thread(call); }

 private:
  MainForm& form_;
  std::function<void()> show_now_;
};

}  // namespace

void MainForm::RunOffWindow(const std::function<void(AppContext&)>& work) {
  WindowThreadReporter reporter(*this, ctx_.reporter, [this] { ShowNow(); });
  AppContext run_ctx = ctx_.WithReporter(reporter);
  // What the work changed comes back however it ends.
  struct CopyBack {
    AppContext& from;
    AppContext& to;
    ~CopyBack() {
      to.settings = from.settings;
      to.blocks = from.blocks;
    }
  } copy_back{.from = run_ctx, .to = ctx_};
  run_off_thread([&] { work(run_ctx); });
}

std::vector<int32_t> TrackPositions(const BlockList& before, const BlockList& after) {
  const size_t old_count = static_cast<size_t>(before.BlockCount());
  if (after.BlockCount() == before.BlockCount()) {
    // The run's own sort replayed on a copy whose Ids are the old positions: this tells apart
    // records that are equal in every field, as long as the run sorted exactly once.
    BlockList tagged = before;
    for (int32_t i = 0; i < tagged.BlockCount(); ++i) tagged.At(i).Id = i;
    SortBlocks(tagged);
    std::vector<int32_t> old_of_new;
    for (const Block& b : tagged.Blocks()) old_of_new.push_back(b.Id);
    if (Explains(before, after, old_of_new)) return Invert(old_of_new, old_count);
    // Not sorted at all (the run stopped before its sort).
    for (int32_t k = 0; k < after.BlockCount(); ++k) old_of_new[static_cast<size_t>(k)] = k;
    if (Explains(before, after, old_of_new)) return Invert(old_of_new, old_count);
  }
  // Anything else: match equal records, first come first served.
  std::vector<int32_t> new_of_old(old_count, -1);
  std::vector<bool> used(static_cast<size_t>(after.BlockCount()), false);
  for (int32_t i = 0; i < before.BlockCount(); ++i) {
    for (int32_t k = 0; k < after.BlockCount(); ++k) {
      if (!used[static_cast<size_t>(k)] && before.At(i) == after.At(k)) {
        used[static_cast<size_t>(k)] = true;
        new_of_old[static_cast<size_t>(i)] = k;
        break;
      }
    }
  }
  return new_of_old;
}

void MainForm::RepairAfterRun(const BlockList& before, int32_t selected_before) {
  const std::vector<int32_t> new_of_old = TrackPositions(before, ctx_.blocks);
  auto moved = [&](int32_t old) -> int32_t {
    if (old < 0 || old >= before.BlockCount()) return -1;
    return new_of_old[static_cast<size_t>(old)];
  };
  RefreshBlockList();
  // A position that no longer names the loaded block becomes -1: a later "Salva blocco" then
  // appends instead of overwriting another block.
  if (s_.CurrentBlockIndex >= 0) s_.CurrentBlockIndex = moved(s_.CurrentBlockIndex);
  // The selection follows its block too (without loading it again: the fields may hold edits).
  s_.lstBlocks.selected = moved(selected_before);
}

void MainForm::cmdGenerate_Click() {
  if (!FormToSettings()) return;
  if (!WriteConfig(ctx_.settings) || !WriteBlocks()) {
    s_.lblStatus = "Errore nella generazione HTML";
    return;
  }
  const bool open_browser = s_.chkOpenBrowser;
  const std::string dashboard = Trim(s_.txtDashboard);
  const BlockList before = ctx_.blocks;
  const int32_t selected_before = s_.lstBlocks.selected;
  GenerationOutcome run;
  try {
    RunOffWindow([&](AppContext& run_ctx) {
      RunDashboardGeneration(run_ctx, open_browser, false, dashboard, run);
    });
  } catch (const std::exception& e) {
    // The run reports its own failures; this only keeps the window alive.
    Warn(std::string(kGenerationErrorText) + e.what());
  }
  RepairAfterRun(before, selected_before);
  if (run.ok) {
    s_.lblStatus = "HTML generato: " + ctx_.settings.OutputFile;
    if (run.failed_blocks > 0) {
      s_.lblStatus += " (" + FailedBlocksText(run) + ")";
      Warn("HTML generato: " + ctx_.settings.OutputFile + "\r\n" + FailedBlocksText(run) +
           ": la pagina li mostra con il riquadro di errore; i motivi sono nel log.");
    }
  } else {
    s_.lblStatus = "Errore nella generazione HTML";
  }
}

std::string FailedBlocksText(const GenerationOutcome& run) {
  return FormatInt(run.failed_blocks) + (run.failed_blocks == 1 ? " blocco" : " blocchi") + " su " +
         FormatInt(run.blocks) + " con errore";
}

void MainForm::DemoSettingsToForm() {
  const Settings& st = ctx_.settings;
  s_.cboDbType.Show(st.DbType, KnownRoads().size());
  s_.txtServer = st.Server;
  s_.txtDatabase = st.Database;
  s_.txtPageTitle = st.PageTitle;
  s_.txtOutputFile = st.OutputFile;
}

DemoResult MainForm::RunDemoShowingItsSteps() {
  DemoResult result;
  RunOffWindow([&](AppContext& run_ctx) {
    // The hooks show the demo's changes at once; the run waits for them meanwhile.
    DemoHooks hooks;
    hooks.settings_applied = [&] {
      on_window_thread([&] {
        ctx_.settings = run_ctx.settings;
        DemoSettingsToForm();
        ShowNow();
      });
    };
    hooks.blocks_loaded = [&] {
      on_window_thread([&] {
        ctx_.blocks = run_ctx.blocks;
        RefreshBlockList();
        ShowNow();
      });
    };
    result = RunDemo(run_ctx, false, hooks);
  });
  return result;
}

void MainForm::ReportDemo(const DemoResult& result) {
  switch (result.outcome) {
    case DemoOutcome::DatabaseFailed:
      Warn(kDemoDatabaseFailedText + result.error_text, kDemoTitle);
      break;
    case DemoOutcome::GenerationFailed:
      Warn(kDemoGenerationFailedText, kDemoTitle);
      break;
    case DemoOutcome::Succeeded:
      // The page's whole path: the status line may show only its start.
      Inform(std::string(kDemoSucceededText) + "\r\n" + ctx_.settings.OutputFile, kDemoTitle);
      break;
  }
}

void MainForm::cmdDemo_Click() {
  s_.cmdDemoEnabled = false;
  s_.cmdDemoCaption = "Creazione...";
  const std::string status_before = s_.lblStatus;  // the run's progress is shown there meanwhile
  ShowNow();

  // The user's blocks and settings come back when the demo ends, whatever its outcome: the
  // demonstration values never reach blocks.ini or config.ini and a loaded block is never
  // confused with a demo block. The five controls the demo fills get back what they showed.
  const BlockList users_blocks = ctx_.blocks;
  const Settings users_settings = ctx_.settings;
  const FormState shown = s_;
  const int32_t selected_before = s_.lstBlocks.selected;

  try {
    ReportDemo(RunDemoShowingItsSteps());
  } catch (const std::exception& e) {
    Warn(std::string(kDemoErrorText) + e.what(), kDemoTitle);
  }

  ctx_.blocks = users_blocks;
  ctx_.settings = users_settings;
  s_.cboDbType = shown.cboDbType;
  s_.txtServer = shown.txtServer;
  s_.txtDatabase = shown.txtDatabase;
  s_.txtPageTitle = shown.txtPageTitle;
  s_.txtOutputFile = shown.txtOutputFile;
  RefreshBlockList();
  s_.lstBlocks.selected = selected_before < ctx_.blocks.BlockCount() ? selected_before : -1;
  s_.lblStatus = status_before;
  s_.cmdDemoCaption = "Avvia Demo";
  s_.cmdDemoEnabled = true;
}

}  // namespace panorello
