#include "html/generation.h"

#include <exception>
#include <optional>
#include <vector>

#include "db/connection.h"
#include "html/block_pool.h"
#include "html/block_render.h"
#include "html/page_frame.h"
#include "html/page_out.h"
#include "util/cancel.h"
#include "util/error.h"
#include "util/files.h"
#include "util/interrupt.h"
#include "util/text.h"

namespace panorello {

namespace {

bool IsSelected(const Block& block, const std::string& trimmed_name,
                const std::string& upper_name) {
  if (!block.Active) return false;
  if (trimmed_name.empty()) return true;
  const std::string dashboard = Trim(block.Dashboard);
  if (dashboard.empty()) return true;
  return UpperCase(dashboard) == upper_name;
}

// The log line of a block whose box shows an error.
std::string BlockErrorLine(const Block& block, const std::string& error_text) {
  return "Errore blocco " + FormatInt(block.Id) + " (" + block.Title + "): " + error_text;
}

}  // namespace

std::vector<Block> SelectedBlocks(const BlockList& blocks, const std::string& dashboardName) {
  const std::string trimmed_name = Trim(dashboardName);
  const std::string upper_name = UpperCase(trimmed_name);
  std::vector<Block> selected;
  for (const Block& b : blocks.Blocks()) {
    if (IsSelected(b, trimmed_name, upper_name)) selected.push_back(b);
  }
  return selected;
}

void BuildDashboardHtml(AppContext& ctx, const std::string& dashboardName,
                        const std::string& spill_folder, PageOut& out, GenerationOutcome& outcome) {
  out.Append(BuildPageHead(ctx.settings));
  out.Append(BuildPageHeader(ctx.settings, ctx.clock, dashboardName));
  const std::vector<Block> selected = SelectedBlocks(ctx.blocks, dashboardName);
  const CancelToken cancel(ctx.run.cancel);  // the window's request or a signal
  BlockPoolOptions pool;
  pool.jobs = ctx.run.jobs;
  pool.spill_folder = spill_folder;
  pool.cancel = &cancel;
  const BlockQueryEnv env = BlockQueryEnv::Of(ctx);
  if (pool.jobs > 1 && selected.size() > 1 && !env.connection->SideBySide()) pool.jobs = 1;
  const int count = static_cast<int>(selected.size());
  // Each failure is logged with its own time as soon as the blocks above it are in the page.
  const auto ended = [&](size_t i, const BlockOutcome& block) {
    if (!block.stopped) ++outcome.blocks;
    if (block.failed && !block.stopped) {
      ++outcome.failed_blocks;
      const std::string line = BlockErrorLine(selected[i], block.error);
      ctx.Log(line);
      ctx.reporter.BlockFailed(line);
    }
    if (block.left_behind) {
      ctx.Log("Blocco " + FormatInt(selected[i].Id) + ": il driver non ha annullato la query");
    }
  };
  RenderBlocksInOrder(
      env, selected, pool, out,
      [&](size_t i) {
        ctx.reporter.BlockStarted(static_cast<int>(i) + 1, count, selected[i].Title);
      },
      ended);
  out.Append(BuildPageFooter(ctx.clock));
  out.Flush();
}

namespace {

// The failure path of a run: the log line and, unless silent, the warning message.
void ReportFailure(AppContext& ctx, bool silent, const std::string& path, bool write_logged,
                   const std::string& description) {
  if (!path.empty() && !write_logged) ctx.Log("Scrittura file " + path);
  ctx.Log("Errore RunDashboardGeneration: " + description);
  // A run stopped on request (the window is being closed) shows no message box.
  if (silent || (ctx.run.cancel != nullptr && ctx.run.cancel->load())) return;
  try {
    ctx.reporter.ShowMessage(MessageIcon::Warning, kAppTitle,
                             "Errore durante la generazione HTML: " + description);
  } catch (...) {
    // The run's result already says it failed.
  }
}

}  // namespace

void SortBlocks(BlockList& blocks) {
  const int32_t n = blocks.BlockCount();
  if (n < 2) return;
  for (int32_t i = 0; i < n - 1; ++i) {
    for (int32_t j = i + 1; j < n; ++j) {
      if (blocks.At(j).SortOrder < blocks.At(i).SortOrder) blocks.Swap(i, j);
    }
  }
}

bool RunDashboardGeneration(AppContext& ctx, bool openBrowser, bool silent,
                            const std::string& dashboardName, GenerationOutcome& outcome) {
  outcome = GenerationOutcome{};
  // The page is streamed into the temporary file of the atomic replace while the blocks run, so
  // the "Scrittura file" line is written once the page is complete, just before it replaces the
  // old one; a failure to open or fill the file logs it too, just before the error line.
  std::string path;
  bool write_logged = false;
  try {
    ctx.Log("Inizio RunDashboardGeneration");
    if (Trim(ctx.settings.OutputFile).empty()) {
      ctx.settings.OutputFile = ctx.AppFile("dashboard.html");
    }
    path = ctx.settings.OutputFile;
    SortBlocks(ctx.blocks);  // a lasting effect of the run, even when the file cannot be written
    ctx.RefuseOwnFileAsOutput(path);
    {
      AtomicFileWriter file(path);
      PageOut out(&file);
      const std::string folder = ParentFolder(path);
      BuildDashboardHtml(ctx, dashboardName,
                         !folder.empty()  ? folder
                         : path[0] == '/' ? "/"
                                          : ".",
                         out, outcome);
      ctx.Log("Scrittura file " + path);
      write_logged = true;
      file.Commit();
      outcome.written = true;
    }
    ctx.reporter.PageWritten(path);
    if (openBrowser) {
      ctx.Log("Apertura browser " + path);
      ctx.browser.Open(path);
    }
    ctx.Log("Fine RunDashboardGeneration OK");
    outcome.ok = true;
    return true;
  } catch (const std::exception& e) {
    outcome.error_text = e.what();
    if (InterruptRequested()) {
      ctx.Log(kInterruptedMessage);  // the temporary page is gone already
      return false;
    }
  } catch (...) {
    outcome.error_text = "errore sconosciuto";
  }
  ReportFailure(ctx, silent, path, write_logged, outcome.error_text);
  return false;
}

}  // namespace panorello
