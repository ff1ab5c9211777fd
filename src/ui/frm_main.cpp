#include "ui/frm_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <exception>
#include <string>

#include "ui/background_run.h"
#include "util/text.h"

// The resources live in a static library: they are registered explicitly.
static void InitPanorelloResources() { Q_INIT_RESOURCE(panorello); }

namespace panorello {

namespace {

constexpr int kTwipsPerPixel = 15;

QFont LabelFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPointSizeF(11.25);
  f.setBold(true);
  return f;
}

QFont FieldFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPointSizeF(12);
  f.setBold(false);
  return f;
}

// Every control is placed from its layout in twips (15 to a pixel) and carries its object name.
template <class W>
W* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top,
                  int width, int height) {
  auto* l = Place<QLabel>(parent, name, left, top, width, height);
  l->setText(QString::fromUtf8(caption));
  l->setFont(LabelFont());
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setAutoFillBackground(false);  // transparent
  // A caption wider than its layout box would be cut ("Tipo DI", "Conn. stri"): the label
  // grows to the right instead, keeping its place and height.
  const int needed = l->sizeHint().width();
  if (needed > l->width()) l->resize(needed, l->height());
  return l;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, int left, int top, int width,
                       int height) {
  auto* t = Place<QLineEdit>(parent, name, left, top, width, height);
  t->setFont(FieldFont());
  t->setMaxLength(0x3FFFFFFF);  // no length limit: long connection strings must not be cut
  return t;
}

QPlainTextEdit* MakeMultiLine(QWidget* parent, const char* name, int left, int top, int width,
                              int height) {
  auto* t = Place<QPlainTextEdit>(parent, name, left, top, width, height);
  t->setFont(FieldFont());
  t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  t->setTabChangesFocus(true);  // Tab moves on; Enter starts a new line
  return t;
}

QComboBox* MakeDropDown(QWidget* parent, const char* name, int left, int top, int width,
                        int height) {
  auto* c = Place<QComboBox>(parent, name, left, top, width, height);
  c->setEditable(false);
  c->setFont(FieldFont());
  return c;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height) {
  auto* c = Place<QCheckBox>(parent, name, left, top, width, height);
  c->setText(QString::fromUtf8(caption));
  c->setFont(LabelFont());
  QPalette p = c->palette();
  p.setColor(QPalette::Window, Qt::white);
  p.setColor(QPalette::Button, Qt::white);
  c->setPalette(p);
  c->setBackgroundRole(QPalette::Window);
  c->setAutoFillBackground(true);
  return c;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* color,
                        int left, int top, int width, int height) {
  auto* b = Place<QPushButton>(parent, name, left, top, width, height);
  b->setText(QString::fromUtf8(caption));
  b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                  " border: 1px solid #404040; padding: 0px; }"
                                  " QPushButton:focus { border: 2px solid #202020; }"
                                  " QPushButton:pressed { border-style: inset; }"
                                  " QPushButton:disabled { color: #5A5A5A; }")
                       .arg(QString::fromLatin1(color)));
  b->setAutoDefault(false);
  return b;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Multi-line boxes show LF; the BlockList keeps CR LF, as the blocks file writes it.
std::string FromMultiLine(const QString& s) {
  std::string lf = S(s);
  std::string out;
  out.reserve(lf.size());
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void SetText(QLineEdit* box, const std::string& text) {
  const QString q = Q(text);
  if (box->text() != q) box->setText(q);
}

void SetText(QPlainTextEdit* box, const std::string& text) {
  const QString q = Q(NormalizeNewlines(text));
  if (box->toPlainText() != q) box->setPlainText(q);
}

void ShowCombo(QComboBox* box, const ComboBoxState& st) {
  bool same = box->count() == static_cast<int>(st.entries.size());
  for (int i = 0; same && i < box->count(); ++i) {
    same = box->itemText(i) == Q(st.entries[static_cast<size_t>(i)]);
  }
  if (!same) {
    box->clear();
    for (const std::string& e : st.entries) box->addItem(Q(e));
  }
  box->setCurrentIndex(st.selected);
}

}  // namespace

FrmMain::FrmMain(AppContext& ctx, QWidget* parent) : QWidget(parent), form_(ctx) {
  InitPanorelloResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Panorello Dashboard"));
  setWindowIcon(QIcon(QStringLiteral(":/panorello/icon.png")));
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
  setAutoFillBackground(true);
  resize(kWindowWidth, kWindowHeight);
  // The window's default font, used by the buttons and the status line.
  QFont base(QStringLiteral("Arial"));
  base.setPointSizeF(8.25);
  setFont(base);

  BuildControls();
  SetFocusOrder();
  form_.show_now = [this] {
    ShowState();
    repaint();
  };
  form_.run_off_thread = [this](const std::function<void()>& work) { RunInBackground(work); };
  form_.on_window_thread = CallOnWindowThread;
  form_.Context().run.cancel = &cancel_;
  confirm_cancel = [this] { return AskToCancel(); };
  form_.Form_Load();
  ShowState();
  Connect();
}

void FrmMain::BuildControls() {
  QWidget* w = this;
  MakeLabel(w, "Label1", "Tipo DB", 120, 120, 735, 255);
  cboDbType_ = MakeDropDown(w, "cboDbType", 120, 360, 3615, 375);
  MakeLabel(w, "Label2", "Server", 120, 840, 3615, 255);
  txtServer_ = MakeTextBox(w, "txtServer", 120, 1080, 3615, 375);
  MakeLabel(w, "Label3", "Database / file", 120, 1560, 3615, 255);
  txtDatabase_ = MakeTextBox(w, "txtDatabase", 120, 1800, 3615, 375);
  MakeLabel(w, "lblRenderMode", "RenderMode", 120, 2400, 2415, 255);
  cboRenderMode_ = MakeDropDown(w, "cboRenderMode", 120, 2640, 3615, 375);
  MakeLabel(w, "Label16", "Dashboard", 120, 3240, 2415, 255);
  txtDashboard_ = MakeTextBox(w, "txtDashboard", 120, 3480, 3615, 375);
  MakeLabel(w, "Label15", "Blocchi salvati", 120, 3960, 1455, 255);
  lstBlocks_ = Place<QListWidget>(w, "lstBlocks", 120, 4200, 4095, 4650);
  lstBlocks_->setFont(FieldFont());
  lstBlocks_->setSelectionMode(QAbstractItemView::SingleSelection);
  lstBlocks_->setSortingEnabled(false);
  lstBlocks_->setUniformItemSizes(true);  // one font, one line per entry: no per-row measuring
  lstBlocks_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  MakeLabel(w, "Label4", "Utente", 3960, 120, 735, 255);
  txtUser_ = MakeTextBox(w, "txtUser", 3960, 360, 3135, 375);
  MakeLabel(w, "Label5", "Password", 3960, 840, 2055, 255);
  txtPassword_ = MakeTextBox(w, "txtPassword", 3960, 1080, 3135, 375);
  txtPassword_->setEchoMode(QLineEdit::Password);
  txtPassword_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  txtPassword_->setAttribute(Qt::WA_InputMethodEnabled, false);
  chkIntegrated_ =
      MakeCheckBox(w, "chkIntegrated", "Autenticazione integrata", 8040, 120, 6135, 255);
  MakeLabel(w, "Label6", "Conn. string", 8040, 360, 1095, 255);
  txtConnectionString_ = MakeTextBox(w, "txtConnectionString", 8040, 600, 6135, 375);
  MakeLabel(w, "Label7", "Titolo pagina", 8040, 1080, 1095, 255);
  txtPageTitle_ = MakeTextBox(w, "txtPageTitle", 8040, 1320, 4815, 375);
  MakeLabel(w, "Label8", "Refresh (sec)", 12960, 1080, 1095, 255);
  txtRefreshSeconds_ = MakeTextBox(w, "txtRefreshSeconds", 12960, 1320, 1170, 375);
  chkOpenBrowser_ =
      MakeCheckBox(w, "chkOpenBrowser", "Apri browser dopo la generazione", 8040, 1800, 5175, 255);
  MakeLabel(w, "Label9", "Output HTML", 8040, 2160, 1095, 255);
  txtOutputFile_ = MakeTextBox(w, "txtOutputFile", 8040, 2400, 6135, 375);
  MakeLabel(w, "Label10", "Log file", 8040, 2880, 1815, 255);
  txtLogFile_ = MakeTextBox(w, "txtLogFile", 8040, 3120, 6135, 375);
  MakeLabel(w, "Label11", "Ordine", 10920, 3660, 975, 255);
  txtOrder_ = MakeTextBox(w, "txtOrder", 11760, 3600, 975, 375);
  chkActive_ = MakeCheckBox(w, "chkActive", "Attivo", 13080, 3720, 1095, 255);
  MakeLabel(w, "Label12", "Titolo", 4560, 3960, 1575, 255);
  txtTitle_ = MakeTextBox(w, "txtTitle", 4560, 4200, 9615, 375);
  MakeLabel(w, "Label13", "Sottotitolo", 4560, 4560, 2415, 255);
  txtSubtitle_ = MakeMultiLine(w, "txtSubtitle", 4560, 4920, 9615, 855);
  MakeLabel(w, "Label14", "SQL", 4560, 5760, 495, 255);
  txtSql_ = MakeMultiLine(w, "txtSql", 4560, 6120, 9615, 2655);

  // The status line lies partly under "Avvia Demo": created first, it stays beneath the button.
  lblStatus_ = Place<QLabel>(w, "lblStatus", 3360, 9180, 5295, 255);
  lblStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblStatus_->setText(QStringLiteral("Pronto"));
  const char* green = "#4BB59D";
  cmdSaveConfig_ = MakeButton(w, "cmdSaveConfig", "Salva config", green, 120, 9120, 1455, 375);
  cmdTestConnection_ =
      MakeButton(w, "cmdTestConnection", "Test connessione", green, 1800, 9120, 1455, 375);
  cmdDemo_ = MakeButton(w, "cmdDemo", "Avvia Demo", "#3070C0", 4560, 9120, 1455, 375);
  cmdNew_ = MakeButton(w, "cmdNew", "Nuovo blocco", green, 8760, 9120, 1215, 375);
  cmdSaveBlock_ = MakeButton(w, "cmdSaveBlock", "Salva blocco", green, 10080, 9120, 1095, 375);
  cmdDeleteBlock_ =
      MakeButton(w, "cmdDeleteBlock", "Elimina blocco", green, 11280, 9120, 1335, 375);
  cmdGenerate_ = MakeButton(w, "cmdGenerate", "Genera HTML", green, 12720, 9120, 1455, 375);
  lblStatus_->lower();
}

void FrmMain::SetFocusOrder() {
  QWidget* order[] = {txtUser_,       txtPassword_,       chkIntegrated_,     txtConnectionString_,
                      txtPageTitle_,  txtRefreshSeconds_, chkOpenBrowser_,    txtOutputFile_,
                      txtLogFile_,    lstBlocks_,         txtDatabase_,       txtServer_,
                      cboDbType_,     txtTitle_,          txtSubtitle_,       txtOrder_,
                      txtSql_,        cmdSaveConfig_,     cmdTestConnection_, cmdDemo_,
                      cmdNew_,        cmdSaveBlock_,      cmdDeleteBlock_,    cmdGenerate_,
                      cboRenderMode_, txtDashboard_,      chkActive_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
  for (QWidget* c : order) {
    if (c->focusPolicy() == Qt::NoFocus) c->setFocusPolicy(Qt::StrongFocus);
  }
  txtUser_->setFocus();
}

void FrmMain::Connect() {
  connect(chkIntegrated_, &QCheckBox::toggled, this,
          [this] { Run(&MainForm::chkIntegrated_Click); });
  connect(cboDbType_, &QComboBox::activated, this, [this] { Run(&MainForm::cboDbType_Click); });
  connect(lstBlocks_, &QListWidget::itemSelectionChanged, this,
          [this] { Run(&MainForm::lstBlocks_Click); });
  connect(cmdSaveConfig_, &QPushButton::clicked, this,
          [this] { Run(&MainForm::cmdSaveConfig_Click); });
  connect(cmdTestConnection_, &QPushButton::clicked, this,
          [this] { Run(&MainForm::cmdTestConnection_Click); });
  connect(cmdDemo_, &QPushButton::clicked, this, [this] { Run(&MainForm::cmdDemo_Click); });
  connect(cmdNew_, &QPushButton::clicked, this, [this] { Run(&MainForm::cmdNew_Click); });
  connect(cmdSaveBlock_, &QPushButton::clicked, this,
          [this] { Run(&MainForm::cmdSaveBlock_Click); });
  connect(cmdDeleteBlock_, &QPushButton::clicked, this,
          [this] { Run(&MainForm::cmdDeleteBlock_Click); });
  connect(cmdGenerate_, &QPushButton::clicked, this, [this] { Run(&MainForm::cmdGenerate_Click); });
}

void FrmMain::Run(void (MainForm::*command)()) {
  // Changes made by ShowState are not user actions; a command runs to its end before the next.
  if (showing_ || busy_) return;
  busy_ = true;
  ReadWidgets();
  try {
    (form_.*command)();
  } catch (const std::exception& e) {
    form_.Context().reporter.ShowMessage(MessageIcon::Warning, kAppTitle,
                                         std::string("Errore imprevisto: ") + e.what());
  }
  ShowState();
  busy_ = false;
  if (close_after_run_) {
    close_after_run_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
}

void FrmMain::ReadWidgets() {
  FormState& s = form_.State();
  s.cboDbType.selected = cboDbType_->currentIndex();
  s.txtServer = S(txtServer_->text());
  s.txtDatabase = S(txtDatabase_->text());
  s.txtUser = S(txtUser_->text());
  s.txtPassword = S(txtPassword_->text());
  s.chkIntegrated = chkIntegrated_->isChecked();
  s.txtConnectionString = S(txtConnectionString_->text());
  s.txtPageTitle = S(txtPageTitle_->text());
  s.txtRefreshSeconds = S(txtRefreshSeconds_->text());
  s.chkOpenBrowser = chkOpenBrowser_->isChecked();
  s.txtOutputFile = S(txtOutputFile_->text());
  s.txtLogFile = S(txtLogFile_->text());
  s.cboRenderMode.selected = cboRenderMode_->currentIndex();
  s.txtDashboard = S(txtDashboard_->text());
  const QList<QListWidgetItem*> picked = lstBlocks_->selectedItems();
  s.lstBlocks.selected = picked.isEmpty() ? -1 : lstBlocks_->row(picked.front());
  s.txtOrder = S(txtOrder_->text());
  s.chkActive = chkActive_->isChecked();
  s.txtTitle = S(txtTitle_->text());
  s.txtSubtitle = FromMultiLine(txtSubtitle_->toPlainText());
  s.txtSql = FromMultiLine(txtSql_->toPlainText());
}

void FrmMain::ShowState() {
  const bool was_showing = showing_;
  showing_ = true;
  const FormState& s = form_.State();
  ShowCombo(cboDbType_, s.cboDbType);
  SetText(txtServer_, s.txtServer);
  SetText(txtDatabase_, s.txtDatabase);
  SetText(txtUser_, s.txtUser);
  SetText(txtPassword_, s.txtPassword);
  chkIntegrated_->setChecked(s.chkIntegrated);
  SetText(txtConnectionString_, s.txtConnectionString);
  SetText(txtPageTitle_, s.txtPageTitle);
  SetText(txtRefreshSeconds_, s.txtRefreshSeconds);
  chkOpenBrowser_->setChecked(s.chkOpenBrowser);
  SetText(txtOutputFile_, s.txtOutputFile);
  SetText(txtLogFile_, s.txtLogFile);

  ShowCombo(cboRenderMode_, s.cboRenderMode);
  SetText(txtDashboard_, s.txtDashboard);
  bool same = lstBlocks_->count() == static_cast<int>(s.lstBlocks.entries.size());
  for (int i = 0; same && i < lstBlocks_->count(); ++i) {
    same = lstBlocks_->item(i)->text() == Q(s.lstBlocks.entries[static_cast<size_t>(i)]);
  }
  if (!same) {
    // One insertion of all rows: the view lays them out once, not once per row.
    QStringList entries;
    entries.reserve(static_cast<qsizetype>(s.lstBlocks.entries.size()));
    for (const std::string& e : s.lstBlocks.entries) entries.append(Q(e));
    lstBlocks_->clear();
    lstBlocks_->addItems(entries);
  }
  if (s.lstBlocks.selected >= 0 && s.lstBlocks.selected < lstBlocks_->count()) {
    lstBlocks_->setCurrentRow(s.lstBlocks.selected);
  } else {
    lstBlocks_->clearSelection();
    lstBlocks_->setCurrentRow(-1);
  }
  SetText(txtOrder_, s.txtOrder);
  chkActive_->setChecked(s.chkActive);
  SetText(txtTitle_, s.txtTitle);
  SetText(txtSubtitle_, s.txtSubtitle);
  SetText(txtSql_, s.txtSql);

  // During a run everything stays disabled (SetRunning gives the controls back afterwards).
  txtUser_->setEnabled(s.txtUserEnabled && !running_);
  txtPassword_->setEnabled(s.txtPasswordEnabled && !running_);
  cmdDemo_->setEnabled(s.cmdDemoEnabled && !running_);
  cmdDemo_->setText(Q(s.cmdDemoCaption));
  lblStatus_->setText(Q(s.lblStatus));
  showing_ = was_showing;
}

void FrmMain::CenterOnScreen() {
  QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                  QSize(kWindowWidth, kWindowHeight), screen->availableGeometry()));
}

}  // namespace panorello
