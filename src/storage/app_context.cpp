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
  try {
    const std::string log = LogFilePath(settings.LogFile, app_folder);
    const std::string own = OwnFileNamedBy(log);
    if (!own.empty()) {
      // Appending to one of the program's files would damage it: the line goes to the reporter.
      failure = LogFailure{log,
                           "è lo stesso file di " + own +
                               ", che il programma usa; indicare in LOGFILE un altro percorso",
                           FormatTimestamp(clock.Now()) + " - " + VisibleControls(message)};
    } else if (WriteLog(settings.LogFile, app_folder, clock, message, &failure)) {
      return;
    }
    reporter.LogUnwritable(failure.path, failure.reason, failure.line);
  } catch (...) {
    // Nowhere left to say it.
  }
}

std::string AppContext::OwnFileNamedBy(const std::string& path) const {
  const std::string folder = ExecutableFolder();
  // The copier's name is fixed by the installed package (db/access_cache.h).
  constexpr const char* kCopier = "panorello-access-copy";
  std::vector<std::string> own = {
      AppFile("config.ini"),
      AppFile("blocks.ini"),
      AppFile("blocks.ini.bak"),
      AppFile("blocks_demo.ini"),
      AppFile("demo_panorello.mdb"),
      panorello::AppFile(folder, "panorello"),
      panorello::AppFile(folder, "panorello-gui"),
      panorello::AppFile(folder, kCopier),
      panorello::AppFile(panorello::AppFile(folder, PANORELLO_INSTALLED_HELPER_REL), kCopier)};
  for (const std::string& shipped : shipped_folders) {
    own.push_back(panorello::AppFile(shipped, "blocks_demo.ini"));
  }
  if (!Trim(settings.Database).empty()) own.push_back(settings.Database);
  std::vector<char> exe(PATH_MAX + 1);
  const ssize_t length = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (length > 0) own.emplace_back(exe.data(), static_cast<size_t>(length));
  std::string same = SameFileAs(path, own);
  if (same.empty()) same = FolderHolding(path, {AppFile("cache")});
  return same;
}

std::string AppContext::LogRefusal() const {
  const std::string log = LogFilePath(settings.LogFile, app_folder);
  const std::string own = OwnFileNamedBy(log);
  if (!own.empty()) {
    return "il log " + log + " è lo stesso file di " + own +
           ", che il programma usa; indicare in LOGFILE un altro percorso";
  }
  try {
    const WritePlace place(log, false);
  } catch (const RefusedPath& e) {
    return e.what();
  } catch (const Error&) {
    // Missing folders are made when a line is written; other failures are reported then.
  }
  return {};
}

void AppContext::RefuseOwnFileAsOutput(const std::string& output) const {
  std::string same = OwnFileNamedBy(output);
  if (same.empty()) same = SameFileAs(output, {LogFilePath(settings.LogFile, app_folder)});
  if (same.empty()) return;
  throw Error("Il file di uscita " + output + " è lo stesso file di " + same +
                  ", che il programma usa: la pagina lo sostituirebbe. Indicare in OUTPUTFILE un "
                  "altro percorso; nessun file è stato scritto.",
              ErrorKind::kConfig);
}

}  // namespace panorello
