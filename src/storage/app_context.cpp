#include "storage/app_context.h"

#include "util/files.h"
#include "util/log.h"

namespace panorello {

std::string AppContext::AppFile(std::string_view name) const {
  return panorello::AppFile(app_folder, name);
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

}  // namespace panorello
