#pragma once
// frmMain: the Qt view of the main window. It places the controls, copies their contents into
// the MainForm state before each command and shows the state afterwards; every decision is
// MainForm's. Message boxes go through the context's Reporter (tests pass a recording one).
#include <QWidget>

#include <atomic>
#include <functional>
#include <vector>

#include "storage/app_context.h"
#include "ui/logic/main_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace panorello {

// Client area of the window in pixels (14520 x 9630 twips, 15 twips a pixel).
inline constexpr int kWindowWidth = 968;
inline constexpr int kWindowHeight = 642;

class FrmMain final : public QWidget {
 public:
  // Builds the controls and runs Form_Load.
  explicit FrmMain(AppContext& ctx, QWidget* parent = nullptr);
  ~FrmMain() override;

  // Asked when the window is closed during a generation: true closes it and cancels the run.
  // By default a question box; tests answer it themselves.
  std::function<bool()> confirm_cancel;
  bool Running() const { return running_; }

  MainForm& Form() { return form_; }
  // Widgets -> state, and state -> widgets.
  void ReadWidgets();
  void ShowState();
  // Places the window in the middle of its screen's available area. A screen whose available
  // area is smaller than the client area gets a window that fits it, with scroll bars.
  void CenterOnScreen();
  // The scroll area around the controls, and the widget of the designed client area inside it.
  QScrollArea* Scroller() const { return scroll_; }
  QWidget* Client() const { return client_; }

 private:
  void BuildControls();
  // Points `control` at the child control created under `name`.
  template <class W>
  void Bind(W*& control, const char* name);
  void SetFocusOrder();
  void Connect();
  // The keyboard shortcuts of the buttons, named in their tooltips.
  void AddShortcuts();
  // The status text, cut to the room left of "Avvia Demo"; whole in the tooltip.
  void ShowStatus(const std::string& text);
  void Run(void (MainForm::*command)());
  // The generation (and the demo) off the window's thread; the window keeps repainting and
  // disables what would change Settings or the blocks until the run ends.
  void RunInBackground(const std::function<void()>& work);
  void SetRunning(bool running);
  bool AskToCancel();
  void closeEvent(QCloseEvent* event) override;

  MainForm form_;
  bool showing_ = false;
  bool busy_ = false;
  bool running_ = false;
  bool close_after_run_ = false;
  std::atomic<bool> cancel_{false};
  std::vector<QWidget*> disabled_;  // what SetRunning(true) disabled

  QScrollArea* scroll_ = nullptr;
  QWidget* client_ = nullptr;
  QComboBox* cboDbType_ = nullptr;
  QLineEdit* txtServer_ = nullptr;
  QLineEdit* txtDatabase_ = nullptr;
  QComboBox* cboRenderMode_ = nullptr;
  QLineEdit* txtDashboard_ = nullptr;
  QListWidget* lstBlocks_ = nullptr;
  QLineEdit* txtUser_ = nullptr;
  QLineEdit* txtPassword_ = nullptr;
  QCheckBox* chkIntegrated_ = nullptr;
  QLineEdit* txtConnectionString_ = nullptr;
  QLineEdit* txtPageTitle_ = nullptr;
  QLineEdit* txtRefreshSeconds_ = nullptr;
  QCheckBox* chkOpenBrowser_ = nullptr;
  QLineEdit* txtOutputFile_ = nullptr;
  QLineEdit* txtLogFile_ = nullptr;
  QLineEdit* txtOrder_ = nullptr;
  QCheckBox* chkActive_ = nullptr;
  QLineEdit* txtTitle_ = nullptr;
  QPlainTextEdit* txtSubtitle_ = nullptr;
  QPlainTextEdit* txtSql_ = nullptr;
  QPushButton* cmdSaveConfig_ = nullptr;
  QPushButton* cmdTestConnection_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  QPushButton* cmdDemo_ = nullptr;
  QPushButton* cmdNew_ = nullptr;
  QPushButton* cmdSaveBlock_ = nullptr;
  QPushButton* cmdDeleteBlock_ = nullptr;
  QPushButton* cmdGenerate_ = nullptr;
};

}  // namespace panorello
