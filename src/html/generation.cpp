#include "html/generation.h"

#include <exception>
#include <optional>

#include "html/block_render.h"
#include "html/page_frame.h"
#include "html/page_out.h"
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

// The page from the head to the closing tags, in the order of the page frame. The blocks are
// sorted first; each block's grid is gone before the next block runs.
void WritePage(AppContext& ctx, const std::string& dashboardName, PageOut& out) {
  out.Append(BuildPageHead(ctx.settings));
  out.Append(BuildPageHeader(ctx, dashboardName));
  SortBlocks(ctx.blocks);

  const std::string trimmed_name = Trim(dashboardName);
  const std::string upper_name = UpperCase(trimmed_name);
  int count = 0;
  for (const Block& b : ctx.blocks.Blocks()) {
    if (IsSelected(b, trimmed_name, upper_name)) ++count;
  }
  int number = 0;
  for (int32_t i = 0; i < ctx.blocks.BlockCount(); ++i) {
    const Block& block = ctx.blocks.At(i);
    if (!IsSelected(block, trimmed_name, upper_name)) continue;
    ThrowIfInterrupted();
    ctx.reporter.BlockStarted(++number, count, block.Title);
    RenderBlock(ctx, block, out);
    out.MaybeFlush();
  }
  out.Append(BuildPageFooter(ctx));
  out.Flush();
}

// The failure path of a run: the log line and, unless silent, the warning message.
void ReportFailure(AppContext& ctx, bool silent, const std::string& path, bool write_logged,
                   const std::string& description) {
  if (!path.empty() && !write_logged) ctx.Log("Scrittura file " + path);
  ctx.Log("Errore RunDashboardGeneration: " + description);
  if (silent) return;
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

std::string BuildDashboardHtml(AppContext& ctx, const std::string& dashboardName) {
  PageOut out;
  WritePage(ctx, dashboardName, out);
  return out.TakeText();
}

bool RunDashboardGeneration(AppContext& ctx, bool openBrowser, bool silent,
                            const std::string& dashboardName) {
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
      WritePage(ctx, dashboardName, out);
      ctx.Log("Scrittura file " + path);
      write_logged = true;
      file.Commit();
    }
    ctx.reporter.PageWritten(path);
    if (openBrowser) {
      ctx.Log("Apertura browser " + path);
      ctx.browser.Open(path);
    }
    ctx.Log("Fine RunDashboardGeneration OK");
    return true;
  } catch (const std::exception& e) {
    if (InterruptRequested()) {
      ctx.Log(kInterruptedMessage);  // the temporary page is gone already
      return false;
    }
    ReportFailure(ctx, silent, path, write_logged, e.what());
    return false;
  } catch (...) {
    ReportFailure(ctx, silent, path, write_logged, "errore sconosciuto");
    return false;
  }
}

}  // namespace panorello
