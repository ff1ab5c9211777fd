#include "storage/app_context.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "util/error.h"
#include "util/files.h"
#include "util/log.h"
#include "util/text.h"

namespace panorello {

std::string AppContext::AppFile(std::string_view name) const {
  return panorello::AppFile(app_folder, name);
}

AppContext AppContext::WithReporter(Reporter& other) const {
  return AppContext{.app_folder = app_folder,
                    .settings = settings,
                    .blocks = blocks,
                    .clock = clock,
                    .reporter = other,
                    .browser = browser,
                    .regional = regional,
                    .limits = limits,
                    .shipped_folders = shipped_folders,
                    .run = run,
                    .blocks_warning = blocks_warning};
}

std::string AppContext::ShippedFile(std::string_view name) const {
  if (FileExists(AppFile(name))) return AppFile(name);
  for (const std::string& folder : shipped_folders) {
    const std::string path = panorello::AppFile(folder, name);
    if (FileExists(path)) return path;
  }
  return AppFile(name);
}

void AppContext::Log(std::string_view message) const noexcept {
  LogFailure failure;
  if (WriteLog(settings.LogFile, app_folder, clock, message, &failure)) return;
  try {
    reporter.LogUnwritable(failure.path, failure.reason, failure.line);
  } catch (...) {
    // Nowhere left to say it.
  }
}

void AppContext::RefuseOwnFileAsOutput(const std::string& output) const {
  std::vector<std::string> own = {AppFile("config.ini"), AppFile("blocks.ini"),
                                  AppFile("blocks_demo.ini"),
                                  LogFilePath(settings.LogFile, app_folder)};
  if (!Trim(settings.Database).empty()) own.push_back(settings.Database);
  std::vector<char> exe(PATH_MAX + 1);
  const ssize_t length = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (length > 0) own.emplace_back(exe.data(), static_cast<size_t>(length));
  const std::string same = SameFileAs(output, own);
  if (same.empty()) return;
  throw Error("Il file di uscita " + output + " è lo stesso file di " + same +
                  ", che il programma usa: la pagina lo sostituirebbe. Indicare in OUTPUTFILE un "
                  "altro percorso; nessun file è stato scritto.",
              ErrorKind::kConfig);
}

}  // namespace panorello
