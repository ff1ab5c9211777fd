#include "app/startup.h"

#include <exception>

#include "app/check.h"
#include "app/command_line.h"
#include "db/road_table.h"
#include "demo/demo_db.h"
#include "demo/demo_run.h"
#include "html/generation.h"
#include "mail/mail_run.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "util/files.h"
#include "util/interrupt.h"
#include "util/log.h"
#include "util/text.h"

namespace panorello {

namespace {

void CheckSampleDatabase(AppContext& ctx) {
  if (RoadRowOf(ctx.settings.DbType).road != ConnectionRoad::kDatabaseFile) return;
  if (!Contains(LowerCase(ctx.settings.Database), "demo_panorello")) return;
  std::string error_text;
  CreateDemoDatabase(ctx, error_text);  // logs its own outcome; start-up goes on either way
}

// The closing lines of a batch run: the log's outcome line, on a terminal the summary, and the
// exit status (3: the page was written but some blocks show an error box).
int Finish(AppContext& ctx, const BatchIo& io, bool ok, const GenerationOutcome& run,
           std::string failure) {
  const std::string log_refused = ctx.LogRefusal();  // its lines went to standard error
  if (ok && !log_refused.empty()) failure = log_refused;
  ok = ok && log_refused.empty();
  ctx.Log(ok ? "Batch completato con successo" : "Batch terminato con errore");
  if (!ok) io.err << "Batch terminato con errore: " << ForTerminal(failure) << '\n';
  if (io.err_is_terminal) {
    io.err << "Riepilogo: " << run.blocks << " blocchi, " << run.failed_blocks
           << " con errore; pagina "
           << (run.written ? ForTerminal(ctx.settings.OutputFile) : "non scritta") << "; log "
           << ForTerminal(LogFilePath(ctx.settings.LogFile, ctx.app_folder)) << '\n';
  }
  if (InterruptRequested()) return 128 + InterruptSignal();  // as a shell reports a signal
  if (!ok) return kExitFailed;
  return run.failed_blocks > 0 ? kExitBlockErrors : kExitOk;
}

// Whether the batch opens the page: /OPEN always tries; the setting (or /DEMO) only where a
// graphical session could show it.
bool BatchOpensBrowser(const BatchIo& io, bool explicit_open, bool asked_by_default) {
  return explicit_open || (asked_by_default && io.graphical_session);
}

void LogSkippedBrowser(AppContext& ctx, const GenerationOutcome& run) {
  if (run.written) ctx.Log("Browser non aperto: nessuna sessione grafica");
}

// A warning that cron must mail: to the log (unless start-up logged it already) and to stderr.
void Warn(AppContext& ctx, const BatchIo& io, const std::string& line, bool logged) {
  if (!logged) ctx.Log(line);
  io.err << LineBreaksToSpaces(line) << '\n';
}

// /MAIL: a written page is mailed; a message that did not leave fails the run (the page stays).
void MailAfterRun(AppContext& ctx, const std::string& command, const GenerationOutcome& run,
                  bool& ok, std::string& failure) {
  const MailSwitch mail = ParseMailArgument(command);
  if (!mail.asked || !run.written || InterruptRequested()) return;
  const std::string mail_failure = MailWrittenPage(ctx, mail.recipients);
  if (mail_failure.empty()) return;
  if (ok) failure = mail_failure;
  ok = false;
}

int BatchGeneration(AppContext& ctx, const std::string& command, const std::string& upper,
                    const BatchIo& io, const std::vector<std::string>& startup_warnings) {
  const std::string dashboard = ParseDashArgument(command);
  const bool explicit_open = Contains(upper, "/OPEN");
  const bool open_browser = BatchOpensBrowser(io, explicit_open, ctx.settings.OpenBrowser);
  const InterruptHandlers interrupt_handlers;
  ctx.Log("Avvio batch. CMD=" + command);
  for (const std::string& w : startup_warnings) Warn(ctx, io, w, true);
  const std::string no_block = NoBlockWarning(ctx, dashboard);
  if (!no_block.empty()) Warn(ctx, io, no_block, false);
  GenerationOutcome run;
  bool ok = RunDashboardGeneration(ctx, open_browser, true, dashboard, run);
  if (!open_browser && ctx.settings.OpenBrowser) LogSkippedBrowser(ctx, run);
  std::string failure = run.error_text;
  MailAfterRun(ctx, command, run, ok, failure);
  return Finish(ctx, io, ok, run, failure);
}

int BatchDemo(AppContext& ctx, const std::string& command, const BatchIo& io) {
  const InterruptHandlers interrupt_handlers;
  ctx.Log("Avvio batch. CMD=" + command);
  const bool open_browser = BatchOpensBrowser(io, false, true);
  DemoResult result;
  std::string failure;
  try {
    result = RunDemo(ctx, true, {}, open_browser);
    if (result.outcome == DemoOutcome::DatabaseFailed) failure = result.error_text;
    if (result.outcome == DemoOutcome::GenerationFailed) failure = result.generation.error_text;
    if (!open_browser) LogSkippedBrowser(ctx, result.generation);
  } catch (const std::exception& e) {
    // Only reading blocks_demo.ini can raise here.
    failure = std::string("Errore demo: ") + e.what();
    ctx.Log(failure);
  }
  return Finish(ctx, io, result.outcome == DemoOutcome::Succeeded, result.generation, failure);
}

}  // namespace

std::string UsageText(const std::string& data_folder) {
  return "Uso: panorello [opzioni]\n"
         "\n"
         "Senza opzioni apre la finestra principale.\n"
         "\n"
         "  /RUN, /AUTORUN   genera la dashboard senza finestra e termina (modalità batch)\n"
         "  /DASH=nome       con /RUN: solo i blocchi della dashboard indicata\n"
         "                   (senza: tutti i blocchi attivi)\n"
         "  /OPEN            con /RUN: apre la pagina nel browser dopo averla scritta\n"
         "  /MAIL[=indirizzi] con /RUN: invia la pagina per e-mail dopo averla scritta\n"
         "                   (indirizzi separati da virgole; senza: TO di mail.ini)\n"
         "  /DEMO            crea il database di esempio e genera la dashboard demo,\n"
         "                   senza finestra\n"
         "  --check          controlla impostazioni, blocchi e connessione senza scrivere\n"
         "                   nulla (uscita 0 se tutto va bene, 1 con un problema per riga)\n"
         "  --help, -h, /?   mostra questo aiuto\n"
         "  --version        mostra nome e versione del programma\n"
         "\n"
         "Cartella dei dati in uso: " +
         data_folder +
         "\n"
         "Lì stanno config.ini (impostazioni), blocks.ini (blocchi), panorello.log (il log,\n"
         "se LOGFILE non indica altro), dashboard.html e i file della demo.\n"
         "mail.ini (per /MAIL): SMTP=smtp://host:587 (STARTTLS) o smtps://host:465, vuoto =\n"
         "/usr/sbin/sendmail; USER, PASSWORD (file solo per il proprietario: chmod 600),\n"
         "FROM, TO, SUBJECT, TLS=1 (0 solo per un relay locale senza TLS), CAFILE.\n"
         "La cartella è PANORELLO_HOME se impostata; altrimenti la cartella del programma,\n"
         "se contiene config.ini, blocks.ini o blocks_demo.ini (installazione portatile);\n"
         "altrimenti $XDG_CONFIG_HOME/panorello (di solito ~/.config/panorello), anche per root.\n"
         "\n"
         "Codici di uscita:\n"
         "  0  pagina scritta, tutti i blocchi riusciti\n"
         "  1  generazione non riuscita (pagina non scritta, o browser chiesto con /OPEN\n"
         "     e non aperto, o e-mail chiesta con /MAIL e non inviata)\n"
         "  2  avvio non riuscito\n"
         "  3  pagina scritta, ma almeno un blocco mostra un errore\n"
         "\n"
         "Manuali: man panorello (comandi), man 5 panorello (config.ini e blocks.ini).\n";
}

std::string VersionText() { return std::string("panorello ") + PANORELLO_VERSION + "\n"; }

bool WantsVersion(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--version") return true;
  }
  return false;
}

std::string NoWindowText() {
  return "Questa versione di Panorello non ha la finestra principale.\n"
         "Usare la modalità batch: /RUN (o /AUTORUN) con /DASH=nome e /OPEN facoltativi,\n"
         "oppure /DEMO per la dashboard dimostrativa. Dettagli con --help.\n"
         "La finestra è nel programma panorello-gui (pacchetto panorello-gui).\n";
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
         std::ostream& out, const BatchIo& io) {
  if (WantsHelp(args)) {
    out << UsageText(ctx.app_folder);
    return kExitOk;
  }
  if (WantsVersion(args)) {
    out << VersionText();
    return kExitOk;
  }
  if (WantsCheck(args)) return RunCheck(ctx, out, io.err);
  const std::string command = Trim(JoinCommandLine(args));
  const std::string upper = UpperCase(command);

  ctx.blocks.ClearBlocks();
  std::vector<std::string> warnings;  // logged now; a batch generation shows them on stderr
  try {
    ctx.settings = LoadSettings(ctx.app_folder);
    for (const std::string& line :
         UnknownKeyLines(ReadIniText(AppFile(ctx.app_folder, "config.ini")))) {
      warnings.push_back("Attenzione: " + line);
    }
    const SkippedText skipped = LoadBlocks(ctx.blocks, ctx.app_folder);
    if (skipped.Any()) ctx.blocks_warning = SkippedTextWarning("blocks.ini", skipped);
  } catch (const std::exception& e) {
    // Nothing may be written over files that could not be read: stop here.
    const std::string message = std::string("Errore avvio: ") + e.what();
    ctx.Log(message);
    io.err << ForTerminal(message) << '\n';
    return kExitStartup;
  }

  if (!ctx.blocks_warning.empty()) warnings.push_back(ctx.blocks_warning);
  for (const std::string& w : warnings) ctx.Log(w);
  CheckSampleDatabase(ctx);

  const bool batch = Contains(upper, "/AUTORUN") || Contains(upper, "/RUN");
  // /DEMO counts only as a whole argument, and never takes over a /RUN or /AUTORUN batch run.
  if (!batch && HasDemoArgument(upper)) return BatchDemo(ctx, command, io);
  if (!batch) return window_road(ctx);
  return BatchGeneration(ctx, command, upper, io, warnings);
}

int JobsFromText(const char* text) {
  constexpr int kDefault = 4;
  if (text == nullptr || *text == '\0') return kDefault;
  int value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || value > 32) return kDefault;
    value = value * 10 + (*p - '0');
  }
  return value >= 1 && value <= 32 ? value : kDefault;
}

}  // namespace panorello
