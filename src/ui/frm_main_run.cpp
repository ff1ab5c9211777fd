// The window during a generation: the run goes on a thread of its own, the window stays alive
// with its commands disabled, and closing it asks whether to cancel the run.
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QString>

#include "ui/background_run.h"
#include "ui/frm_main.h"

namespace panorello {

FrmMain::~FrmMain() {
  // The context outlives the window: it must not keep pointing at this window's flag.
  if (form_.Context().run.cancel == &cancel_) form_.Context().run.cancel = nullptr;
}

void FrmMain::RunInBackground(const std::function<void()>& work) {
  SetRunning(true);
  // The controls come back however the run ends.
  struct Stop {
    FrmMain& window;
    ~Stop() { window.SetRunning(false); }
  } stop{.window = *this};
  RunOffWindowThread(work);
}

void FrmMain::SetRunning(bool running) {
  running_ = running;
  if (running) {
    cancel_ = false;
    // Every control but the labels: the commands, and the fields whose contents the command
    // read before the run began.
    for (QWidget* w : client_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (qobject_cast<QLabel*>(w) != nullptr || !w->isEnabled()) continue;
      w->setEnabled(false);
      disabled_.push_back(w);
    }
    return;
  }
  for (QWidget* w : disabled_) w->setEnabled(true);
  disabled_.clear();
}

bool FrmMain::AskToCancel() {
  const auto answer = QMessageBox::question(
      this, QString::fromLatin1(kAppTitle),
      QString::fromUtf8("È in corso la generazione della dashboard.\n"
                        "Chiudere la finestra e annullare la generazione? La pagina già presente "
                        "resta com'era."),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  return answer == QMessageBox::Yes;
}

void FrmMain::closeEvent(QCloseEvent* event) {
  if (!running_) {
    event->accept();
    return;
  }
  // The run ends first (at its next block); the window closes as soon as it has.
  event->ignore();
  if (close_after_run_) return;
  if (!confirm_cancel || !confirm_cancel()) return;
  close_after_run_ = true;
  cancel_ = true;
}

}  // namespace panorello
