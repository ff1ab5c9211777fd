#include "app/startup.h"

#include <exception>

#include "app/command_line.h"
#include "demo/demo_db.h"
#include "demo/demo_run.h"
#include "html/generation.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "util/interrupt.h"
#include "util/text.h"

namespace panorello {

namespace {

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

void CheckSampleDatabase(AppContext& ctx) {
  if (UpperCase(Trim(ctx.settings.DbType)) != "ACCESS") return;
  if (!Contains(LowerCase(ctx.settings.Database), "demo_panorello")) return;
  std::string error_text;
  CreateDemoDatabase(ctx, error_text);  // logs its own outcome; start-up goes on either way
}

int Finish(AppContext& ctx, bool ok, std::ostream& err, bool err_is_terminal) {
  ctx.Log(ok ? "Batch completato con successo" : "Batch terminato con errore");
  if (!ok && err_is_terminal) err << "Batch terminato con errore: i dettagli sono nel log.\n";
  if (InterruptRequested()) return 128 + InterruptSignal();  // as a shell reports a signal
  return ok ? kExitOk : kExitFailed;
}

int BatchGeneration(AppContext& ctx, const std::string& command, const std::string& upper,
                    std::ostream& err, bool err_is_terminal) {
  const std::string dashboard = ParseDashArgument(command);
  const bool open_browser = Contains(upper, "/OPEN") || ctx.settings.OpenBrowser;
  const InterruptHandlers interrupt_handlers;
  ctx.Log("Avvio batch. CMD=" + command);
  const bool ok = RunDashboardGeneration(ctx, open_browser, true, dashboard);
  return Finish(ctx, ok, err, err_is_terminal);
}

int BatchDemo(AppContext& ctx, const std::string& command, std::ostream& err,
              bool err_is_terminal) {
  const InterruptHandlers interrupt_handlers;
  ctx.Log("Avvio batch. CMD=" + command);
  bool ok = false;
  try {
    const DemoResult result = RunDemo(ctx, true);
    ok = result.outcome == DemoOutcome::Succeeded;
    if (result.outcome == DemoOutcome::DatabaseFailed && err_is_terminal) {
      err << result.error_text << '\n';
    }
  } catch (const std::exception& e) {
    // Only reading blocks_demo.ini can raise here.
    ctx.Log(std::string("Errore demo: ") + e.what());
    if (err_is_terminal) err << "Errore demo: " << e.what() << '\n';
  }
  return Finish(ctx, ok, err, err_is_terminal);
}

}  // namespace

std::string UsageText() {
  return "Uso: panorello [opzioni]\n"
         "\n"
         "Senza opzioni apre la finestra principale.\n"
         "\n"
         "  /RUN, /AUTORUN   genera la dashboard senza finestra e termina (modalità batch)\n"
         "  /DASH=nome       con /RUN: solo i blocchi della dashboard indicata\n"
         "                   (senza: tutti i blocchi attivi)\n"
         "  /OPEN            con /RUN: apre la pagina nel browser dopo averla scritta\n"
         "  /DEMO            crea il database di esempio e genera la dashboard demo,\n"
         "                   senza finestra\n"
         "  --help, -h, /?   mostra questo aiuto\n"
         "\n"
         "Impostazioni in config.ini e blocchi in blocks.ini, accanto al programma.\n"
         "Ogni esecuzione batch è registrata nel log (panorello.log se non indicato).\n"
         "Codice di uscita: 0 riuscito, 1 generazione non riuscita, 2 avvio non riuscito.\n";
}

std::string NoWindowText() {
  return "Questa versione di Panorello non ha la finestra principale.\n"
         "Usare la modalità batch: /RUN (o /AUTORUN) con /DASH=nome e /OPEN facoltativi,\n"
         "oppure /DEMO per la dashboard dimostrativa. Dettagli con --help.\n";
}

// True when one of the space-separated words of the upper-cased command line is /DEMO.
bool HasDemoArgument(const std::string& upper) {
  size_t start = 0;
  while (start <= upper.size()) {
    size_t end = upper.find(' ', start);
    if (end == std::string::npos) end = upper.size();
    if (upper.compare(start, end - start, "/DEMO") == 0) return true;
    start = end + 1;
  }
  return false;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h" || a == "/?") return true;
  }
  return false;
}

int Main(AppContext& ctx, const std::vector<std::string>& args, const WindowRoad& window_road,
         std::ostream& out, std::ostream& err, bool err_is_terminal) {
  if (WantsHelp(args)) {
    out << UsageText();
    return kExitOk;
  }
  const std::string command = Trim(JoinCommandLine(args));
  const std::string upper = UpperCase(command);

  ctx.blocks.ClearBlocks();
  try {
    ctx.settings = LoadSettings(ctx.app_folder);
    const SkippedText skipped = LoadBlocks(ctx.blocks, ctx.app_folder);
    if (skipped.Any()) ctx.blocks_warning = SkippedTextWarning("blocks.ini", skipped);
  } catch (const std::exception& e) {
    // Nothing may be written over files that could not be read: stop here.
    const std::string message = std::string("Errore avvio: ") + e.what();
    ctx.Log(message);
    err << message << '\n';
    return kExitStartup;
  }

  if (!ctx.blocks_warning.empty()) ctx.Log(ctx.blocks_warning);
  CheckSampleDatabase(ctx);

  const bool batch = Contains(upper, "/AUTORUN") || Contains(upper, "/RUN");
  // /DEMO is an addition of ours: a whole argument, never taking over a designed batch run.
  if (!batch && HasDemoArgument(upper)) return BatchDemo(ctx, command, err, err_is_terminal);
  if (!batch) return window_road(ctx);
  return BatchGeneration(ctx, command, upper, err, err_is_terminal);
}

}  // namespace panorello
