#include "storage/app_context.h"

#include "util/files.h"
#include "util/log.h"

namespace panorello {

std::string AppContext::AppFile(std::string_view name) const {
  return panorello::AppFile(app_folder, name);
}

void AppContext::Log(std::string_view message) const noexcept {
  WriteLog(settings.LogFile, app_folder, clock, message);
}

}  // namespace panorello
