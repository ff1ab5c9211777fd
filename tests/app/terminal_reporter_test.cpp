#include "app/terminal_reporter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace panorello {
namespace {

TEST(TerminalReporter, ProgressOnlyOnATerminalMessagesAlwaysOnOneLine) {
  for (bool terminal : {true, false}) {
    std::ostringstream err;
    TerminalReporter reporter(err, terminal);
    reporter.BlockStarted(1, 2, "Vendite\r\nmensili");
    reporter.PageWritten("/srv/out/dashboard.html");
    reporter.BlockFailed("Errore blocco 3 (Vendite): riga 1\nriga 2");
    reporter.ShowMessage(MessageIcon::Warning, kAppTitle, "Errore durante la generazione HTML: x");
    reporter.ShowMessage(MessageIcon::Information, "Panorello Demo", "riga 1\r\nriga 2");
    EXPECT_EQ(err.str(),
              std::string(terminal ? "Blocco 1 di 2: Vendite mensili\n"
                                     "Pagina scritta: /srv/out/dashboard.html\n"
                                   : "") +
                  "Errore blocco 3 (Vendite): riga 1 riga 2\n"
                  "Attenzione - PanorelloDashboard: Errore durante la generazione HTML: x\n"
                  "Panorello Demo: riga 1 riga 2\n");
  }
}

TEST(TerminalReporter, AnUnwritableLogIsNamedOnceItsLinesFollow) {
  std::ostringstream err;
  TerminalReporter reporter(err, false);
  reporter.LogUnwritable("/var/log/p.log", "Permission denied", "07/12/2026 03:00:00 - uno");
  reporter.LogUnwritable("/var/log/p.log", "Permission denied", "07/12/2026 03:00:00 - due");
  reporter.LogUnwritable("/tmp/q.log", "No space left on device", "07/12/2026 03:00:01 - tre");
  EXPECT_EQ(err.str(),
            "Impossibile scrivere il log /var/log/p.log: Permission denied. Controllare LOGFILE in "
            "config.ini e i permessi della cartella; le righe del log seguono qui.\n"
            "07/12/2026 03:00:00 - uno\n07/12/2026 03:00:00 - due\n"
            "Impossibile scrivere il log /tmp/q.log: No space left on device. Controllare LOGFILE "
            "in config.ini e i permessi della cartella; le righe del log seguono qui.\n"
            "07/12/2026 03:00:01 - tre\n");
}

// Escape sequences in titles, paths and messages reach the terminal as visible text.
TEST(TerminalReporter, ControlCharactersAreShownNotSent) {
  std::ostringstream err;
  TerminalReporter reporter(err, true);
  reporter.BlockStarted(1, 1, "\x1b]0;titolo\x07Vendite");
  reporter.PageWritten("/srv/\x1b[2Jpagina.html");
  reporter.ShowMessage(MessageIcon::Information, "Demo\x1b[31m", "ok\x08");
  // A database's error text repeats the bad value: cron's mail gets it escaped too.
  reporter.BlockFailed("Errore blocco 1 (Vendite): valore \x1b]0;x\x07\x1b[2J\nnon valido");
  reporter.LogUnwritable("/var/log/\x1b[2J.log", "Permission denied", "06/12 - \x1b[2J");
  EXPECT_EQ(err.str(),
            "Blocco 1 di 1: \\x1b]0;titolo\\x07Vendite\n"
            "Pagina scritta: /srv/\\x1b[2Jpagina.html\n"
            "Demo\\x1b[31m: ok\\x08\n"
            "Errore blocco 1 (Vendite): valore \\x1b]0;x\\x07\\x1b[2J non valido\n"
            "Impossibile scrivere il log /var/log/\\x1b[2J.log: Permission denied. Controllare "
            "LOGFILE in config.ini e i permessi della cartella; le righe del log seguono qui.\n"
            "06/12 - \\x1b[2J\n");
}

}  // namespace
}  // namespace panorello
