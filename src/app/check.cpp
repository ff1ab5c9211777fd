#include "app/check.h"

#include <exception>
#include <map>

#include "db/connection.h"
#include "html/generation.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

std::string FileState(const std::string& path) {
  return (FileExists(path) ? "letto " : "assente ") + path;
}

// Active blocks per dashboard name as written (trimmed); "" holds the blocks of every dashboard.
std::map<std::string, int> ActiveBlocksPerDashboard(const BlockList& blocks) {
  std::map<std::string, int> count;
  for (const Block& b : blocks.Blocks()) {
    if (b.Active) ++count[Trim(b.Dashboard)];
  }
  return count;
}

class CheckReport {
 public:
  CheckReport(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void Info(const std::string& line) { out_ << LineBreaksToSpaces(line) << '\n'; }
  void Problem(const std::string& line) {
    err_ << LineBreaksToSpaces(line) << '\n';
    ++problems_;
  }
  int Finish() {
    if (problems_ == 0) {
      Info("Controllo superato: nessun problema");
      return 0;
    }
    Info("Controllo non superato: " + std::to_string(problems_) + " problemi");
    return 1;
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  int problems_ = 0;
};

// Settings and blocks as start-up loads them; false (and a problem) when a file cannot be read.
bool LoadSetup(AppContext& ctx, CheckReport& report) {
  const std::string config = AppFile(ctx.app_folder, "config.ini");
  const std::string blocks = AppFile(ctx.app_folder, "blocks.ini");
  report.Info("File di impostazioni: " + FileState(config));
  report.Info("File dei blocchi: " + FileState(blocks));
  try {
    ctx.settings = LoadSettings(ctx.app_folder);
    for (const std::string& line : UnknownKeyLines(ReadIniText(config))) report.Problem(line);
    const SkippedText skipped = LoadBlocks(ctx.blocks, ctx.app_folder);
    if (skipped.Any()) report.Problem(SkippedTextWarning("blocks.ini", skipped));
  } catch (const std::exception& e) {
    report.Problem(std::string("Errore avvio: ") + e.what());
    return false;
  }
  return true;
}

void ReportBlocks(const AppContext& ctx, CheckReport& report) {
  const std::string warning = NoBlockWarning(ctx, "");
  if (!warning.empty()) {
    report.Problem(warning);
    return;
  }
  for (const auto& [name, count] : ActiveBlocksPerDashboard(ctx.blocks)) {
    report.Info(
        (name.empty() ? std::string("Blocchi di ogni dashboard") : "Dashboard '" + name + "'") +
        ": " + std::to_string(count) + (count == 1 ? " blocco attivo" : " blocchi attivi"));
  }
}

}  // namespace

bool WantsCheck(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--check") return true;
  }
  return false;
}

std::vector<std::string> UnknownKeyLines(const std::string& ini_text) {
  std::vector<std::string> lines;
  for (const UnknownKey& k : UnknownSettingKeys(ini_text)) {
    lines.push_back("config.ini, riga " + std::to_string(k.line) + ": chiave sconosciuta " +
                    UnknownKeyText(k));
  }
  return lines;
}

std::string NoBlockWarning(const AppContext& ctx, const std::string& dashboard_name) {
  const std::string path = AppFile(ctx.app_folder, "blocks.ini");
  if (!FileExists(path)) return "Attenzione: nessun blocco: manca il file " + path;
  if (!SelectedBlocks(ctx.blocks, dashboard_name).empty()) return "";
  const std::string name = Trim(dashboard_name);
  if (name.empty()) return "Attenzione: nessun blocco attivo in " + path;
  return "Attenzione: nessun blocco per il dashboard '" + name + "'";
}

int RunCheck(AppContext& ctx, std::ostream& out, std::ostream& err) {
  CheckReport report(out, err);
  report.Info("Cartella dei dati: " + ctx.app_folder);
  if (!LoadSetup(ctx, report)) return report.Finish();
  ReportBlocks(ctx, report);
  report.Info("Prova della connessione (" + Trim(ctx.settings.DbType) + ", attesa massima " +
              std::to_string(ctx.limits.connect_seconds) + " s)...");
  std::string error_text;
  if (TestConnection(ctx.settings, ctx.limits, error_text, ConnectionPlaceOf(ctx))) {
    report.Info("Connessione riuscita");
  } else {
    report.Problem("Connessione non riuscita: " + error_text);
  }
  return report.Finish();
}

}  // namespace panorello
