// The window road: checks for a display, creates the one QApplication, shows frmMain and returns
// when it is closed.
#include <QApplication>
#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/frm_main.h"
#include "ui/logic/window_messages.h"
#include "ui/main_window.h"
#include "ui/qt_reporter.h"
#include "ui/qt_translations.h"

namespace panorello {

namespace {

// While QApplication starts, a fatal message (no platform plugin could be started, the display
// cannot be reached) would abort the process: print our message instead and leave with status 2.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
  const std::string line = qFormatLogMessage(type, context, msg).toStdString();
  std::fprintf(stderr, "%s\n", line.c_str());
  if (type == QtFatalMsg) {
    std::fputs(NoDisplayMessage().c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(2);
  }
}

}  // namespace

int RunWindow(AppContext& ctx, int argc, char** argv) {
  if (!DisplayConfigured(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                         std::getenv("WAYLAND_DISPLAY"))) {
    std::fputs(NoDisplayMessage().c_str(), stderr);
    return 2;
  }
  int qt_argc = argc;  // QApplication keeps a reference for its whole life
  const QtMessageHandler previous = qInstallMessageHandler(StartupMessageHandler);
  QApplication app(qt_argc, argv);
  qInstallMessageHandler(previous);
  // QApplication took the C library locale from the environment; machine numbers must not follow
  // it (cell texts use RegionalSettings, not the process locale).
  std::setlocale(LC_NUMERIC, "C");
  if (!LoadQtItalian(app)) {
    std::fputs(
        "Attenzione: traduzioni italiane di Qt non trovate (pacchetto "
        "qt6-translations-l10n): i pulsanti standard restano in inglese.\n",
        stderr);
  }

  // The window's own context: the same Settings, blocks, clock and browser, with message boxes
  // as its reporter. What the window changed goes back into ctx when it closes.
  QtReporter reporter;
  AppContext window_ctx = ctx.WithReporter(reporter);
  int status = 0;
  {
    FrmMain window(window_ctx);
    reporter.SetParent(&window);
    window.CenterOnScreen();
    window.show();
    window.CenterOnScreen();  // again, now that the frame's size may be known
    app.exec();
    status = 0;  // closing the window ends the program normally
  }
  ctx.settings = window_ctx.settings;
  ctx.blocks = window_ctx.blocks;
  return status;
}

}  // namespace panorello
