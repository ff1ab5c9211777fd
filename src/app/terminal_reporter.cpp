#include "app/terminal_reporter.h"

#include "util/log.h"
#include "util/text.h"

namespace panorello {

void TerminalReporter::ShowMessage(MessageIcon icon, const std::string& title,
                                   const std::string& text) {
  err_ << (icon == MessageIcon::Warning ? "Attenzione - " : "") << VisibleControls(title) << ": "
       << VisibleControls(LineBreaksToSpaces(text)) << '\n';
  err_.flush();
}

void TerminalReporter::BlockStarted(int number, int count, const std::string& title) {
  if (!progress_) return;
  err_ << "Blocco " << FormatInt(number) << " di " << FormatInt(count) << ": "
       << VisibleControls(LineBreaksToSpaces(title)) << '\n';
  err_.flush();
}

void TerminalReporter::PageWritten(const std::string& path) {
  if (!progress_) return;
  err_ << "Pagina scritta: " << VisibleControls(path) << '\n';
  err_.flush();
}

void TerminalReporter::BlockFailed(const std::string& line) {
  err_ << ForTerminal(line) << '\n';
  err_.flush();
}

void TerminalReporter::LogUnwritable(const std::string& log_path, const std::string& reason,
                                     const std::string& line) {
  err_ << LogFallbackText(log_path, reason, line, unwritable_log_);
  err_.flush();
}

}  // namespace panorello
