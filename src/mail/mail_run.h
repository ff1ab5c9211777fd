#pragma once
// After a batch run has written its page: the page mailed as mail.ini and /MAIL say.
#include <string>

#include "storage/app_context.h"

namespace panorello {

// Sends the page at Settings.OutputFile to the addresses of recipients (comma-separated; blank:
// TO of mail.ini in the data folder). Logs "Invio e-mail a <recipients> OK" or
// "Errore invio e-mail: <cause>"; returns that error line, or the empty text when the message
// left. Never throws.
std::string MailWrittenPage(AppContext& ctx, const std::string& recipients);

// The /MAIL switch of a trimmed command line: whether it is there, and the list after
// "/MAIL=" (up to the first space; empty for /MAIL alone).
struct MailSwitch {
  bool asked = false;
  std::string recipients;
};
MailSwitch ParseMailArgument(const std::string& command_line);

}  // namespace panorello
