#include "ui/frm_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "ui/background_run.h"
#include "ui/window_layout.h"
#include "util/text.h"

// The resources live in a static library: they are registered explicitly.
static void InitPanorelloResources() { Q_INIT_RESOURCE(panorello); }

namespace panorello {

namespace {

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

// Every control is placed from its layout in twips and carries its object name.
template <class W>
W* Place(QWidget* parent, const ControlLayout& c) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(c.name));
  w->setGeometry(c.left / kTwipsPerPixel, c.top / kTwipsPerPixel, c.width / kTwipsPerPixel,
                 c.height / kTwipsPerPixel);
  return w;
}

void MakeLabel(QWidget* parent, const ControlLayout& c) {
  auto* l = Place<QLabel>(parent, c);
  l->setText(QString::fromUtf8(c.caption));
  l->setFont(LabelFont());
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setAutoFillBackground(false);  // transparent
  // A caption wider than its layout box would be cut ("Tipo DI", "Conn. stri"): the label
  // grows to the right instead, keeping its place and height.
  const int needed = l->sizeHint().width();
  if (needed > l->width()) l->resize(needed, l->height());
}

void MakeStatusLine(QWidget* parent, const ControlLayout& c) {
  auto* l = Place<QLabel>(parent, c);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setText(QString::fromUtf8(c.caption));
}

void MakeTextBox(QWidget* parent, const ControlLayout& c) {
  auto* t = Place<QLineEdit>(parent, c);
  t->setFont(FieldFont());
  t->setMaxLength(0x3FFFFFFF);  // no length limit: long connection strings must not be cut
}

void MakeMultiLine(QWidget* parent, const ControlLayout& c) {
  auto* t = Place<QPlainTextEdit>(parent, c);
  t->setFont(FieldFont());
  t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  t->setTabChangesFocus(true);  // Tab moves on; Enter starts a new line
}

void MakeDropDown(QWidget* parent, const ControlLayout& c) {
  auto* d = Place<QComboBox>(parent, c);
  d->setEditable(false);
  d->setFont(FieldFont());
}

void MakeList(QWidget* parent, const ControlLayout& c) {
  auto* l = Place<QListWidget>(parent, c);
  l->setFont(FieldFont());
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  l->setSortingEnabled(false);
  l->setUniformItemSizes(true);  // one font, one line per entry: no per-row measuring
  l->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void MakeCheckBox(QWidget* parent, const ControlLayout& c) {
  auto* b = Place<QCheckBox>(parent, c);
  b->setText(QString::fromUtf8(c.caption));
  b->setFont(LabelFont());
  QPalette p = b->palette();
  p.setColor(QPalette::Window, Qt::white);
  p.setColor(QPalette::Button, Qt::white);
  b->setPalette(p);
  b->setBackgroundRole(QPalette::Window);
  b->setAutoFillBackground(true);
}

void MakeButton(QWidget* parent, const ControlLayout& c) {
  auto* b = Place<QPushButton>(parent, c);
  b->setText(QString::fromUtf8(c.caption));
  b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                  " border: 1px solid #404040; padding: 0px; }"
                                  " QPushButton:focus { border: 2px solid #202020; }"
                                  " QPushButton:pressed { border-style: inset; }"
                                  " QPushButton:disabled { color: #5A5A5A; }")
                       .arg(QString::fromLatin1(c.color)));
  b->setAutoDefault(false);
}

// The maker of each ControlKind, in the order of its values.
using ControlMaker = void (*)(QWidget*, const ControlLayout&);
constexpr ControlMaker kControlMakers[] = {MakeLabel, MakeDropDown, MakeTextBox, MakeMultiLine,
                                           MakeList,  MakeCheckBox, MakeButton,  MakeStatusLine};

void MakeControl(QWidget* parent, const ControlLayout& c) {
  kControlMakers[static_cast<size_t>(c.kind)](parent, c);
}

QString ToQt(const std::string& s) { return QString::fromStdString(s); }
std::string FromQt(const QString& s) { return s.toStdString(); }

// Multi-line boxes show LF; the BlockList keeps CR LF, as the blocks file writes it.
std::string FromMultiLine(const QString& s) {
  std::string lf = FromQt(s);
  std::string out;
  out.reserve(lf.size());
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void SetText(QLineEdit* box, const std::string& text) {
  const QString q = ToQt(text);
  if (box->text() != q) box->setText(q);
}

void SetText(QPlainTextEdit* box, const std::string& text) {
  const QString q = ToQt(NormalizeNewlines(text));
  if (box->toPlainText() != q) box->setPlainText(q);
}

void ShowCombo(QComboBox* box, const ComboBoxState& st) {
  bool same = box->count() == static_cast<int>(st.entries.size());
  for (int i = 0; same && i < box->count(); ++i) {
    same = box->itemText(i) == ToQt(st.entries[static_cast<size_t>(i)]);
  }
  if (!same) {
    box->clear();
    for (const std::string& e : st.entries) box->addItem(ToQt(e));
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
  // The controls sit on a client widget of the designed size inside a frameless scroll area:
  // at the designed size no scroll bar shows; a smaller window scrolls instead of cutting off.
  client_ = new QWidget;
  client_->setObjectName(QStringLiteral("client"));
  client_->setFixedSize(kWindowWidth, kWindowHeight);
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setFocusPolicy(Qt::NoFocus);  // the designed Tab order stays
  scroll_->setWidget(client_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll_);
  resize(kWindowWidth, kWindowHeight);
  // The window's default font, used by the buttons and the status line.
  QFont base(QStringLiteral("Arial"));
  base.setPointSizeF(8.25);
  setFont(base);

  BuildControls();
  SetFocusOrder();
  AddShortcuts();
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
  for (const ControlLayout& c : kControlLayout) MakeControl(client_, c);
  Bind(cboDbType_, "cboDbType");
  Bind(txtServer_, "txtServer");
  Bind(txtDatabase_, "txtDatabase");
  Bind(cboRenderMode_, "cboRenderMode");
  Bind(txtDashboard_, "txtDashboard");
  Bind(lstBlocks_, "lstBlocks");
  Bind(txtUser_, "txtUser");
  Bind(txtPassword_, "txtPassword");
  Bind(chkIntegrated_, "chkIntegrated");
  Bind(txtConnectionString_, "txtConnectionString");
  Bind(txtPageTitle_, "txtPageTitle");
  Bind(txtRefreshSeconds_, "txtRefreshSeconds");
  Bind(chkOpenBrowser_, "chkOpenBrowser");
  Bind(txtOutputFile_, "txtOutputFile");
  Bind(txtLogFile_, "txtLogFile");
  Bind(txtOrder_, "txtOrder");
  Bind(chkActive_, "chkActive");
  Bind(txtTitle_, "txtTitle");
  Bind(txtSubtitle_, "txtSubtitle");
  Bind(txtSql_, "txtSql");
  Bind(cmdSaveConfig_, "cmdSaveConfig");
  Bind(cmdTestConnection_, "cmdTestConnection");
  Bind(lblStatus_, "lblStatus");
  Bind(cmdDemo_, "cmdDemo");
  Bind(cmdNew_, "cmdNew");
  Bind(cmdSaveBlock_, "cmdSaveBlock");
  Bind(cmdDeleteBlock_, "cmdDeleteBlock");
  Bind(cmdGenerate_, "cmdGenerate");
  txtPassword_->setEchoMode(QLineEdit::Password);
  txtPassword_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  txtPassword_->setAttribute(Qt::WA_InputMethodEnabled, false);
  // The status line ends where "Avvia Demo" begins.
  lblStatus_->resize(std::max(0, cmdDemo_->x() - lblStatus_->x() - 2), lblStatus_->height());
}

template <class W>
void FrmMain::Bind(W*& control, const char* name) {
  control = client_->findChild<W*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void FrmMain::SetFocusOrder() {
  std::vector<QWidget*> order;
  for (const char* name : kTabOrder) {
    order.push_back(
        client_->findChild<QWidget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly));
  }
  for (size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
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

void FrmMain::AddShortcuts() {
  struct Key {
    QPushButton* button;
    QKeySequence keys;
    QWidget* only_in;  // the shortcut works only while this control has the focus
  };
  const Key keys[] = {
      {cmdSaveConfig_, QKeySequence(Qt::CTRL | Qt::Key_S), nullptr},
      {cmdTestConnection_, QKeySequence(Qt::CTRL | Qt::Key_T), nullptr},
      {cmdGenerate_, QKeySequence(Qt::Key_F5), nullptr},
      {cmdNew_, QKeySequence(Qt::CTRL | Qt::Key_N), nullptr},
      {cmdSaveBlock_, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), nullptr},
      {cmdDeleteBlock_, QKeySequence(Qt::Key_Delete), lstBlocks_},
  };
  for (const Key& k : keys) {
    auto* shortcut = new QShortcut(k.keys, k.only_in != nullptr ? k.only_in : this);
    shortcut->setContext(k.only_in != nullptr ? Qt::WidgetShortcut : Qt::WindowShortcut);
    QPushButton* button = k.button;
    // A disabled button (during a run) ignores its shortcut as it ignores a click.
    connect(shortcut, &QShortcut::activated, button, [button] { button->click(); });
    QString where = k.keys.toString(QKeySequence::NativeText);
    if (k.only_in != nullptr) where += QStringLiteral(" nell'elenco dei blocchi");
    button->setToolTip(button->text() + QStringLiteral(" (") + where + QStringLiteral(")"));
  }
}

void FrmMain::ShowStatus(const std::string& text) {
  const QString whole = ToQt(text);
  lblStatus_->setText(
      QFontMetrics(lblStatus_->font()).elidedText(whole, Qt::ElideRight, lblStatus_->width()));
  lblStatus_->setToolTip(whole);
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
  s.txtServer = FromQt(txtServer_->text());
  s.txtDatabase = FromQt(txtDatabase_->text());
  s.txtUser = FromQt(txtUser_->text());
  s.txtPassword = FromQt(txtPassword_->text());
  s.chkIntegrated = chkIntegrated_->isChecked();
  s.txtConnectionString = FromQt(txtConnectionString_->text());
  s.txtPageTitle = FromQt(txtPageTitle_->text());
  s.txtRefreshSeconds = FromQt(txtRefreshSeconds_->text());
  s.chkOpenBrowser = chkOpenBrowser_->isChecked();
  s.txtOutputFile = FromQt(txtOutputFile_->text());
  s.txtLogFile = FromQt(txtLogFile_->text());
  s.cboRenderMode.selected = cboRenderMode_->currentIndex();
  s.txtDashboard = FromQt(txtDashboard_->text());
  const QList<QListWidgetItem*> picked = lstBlocks_->selectedItems();
  s.lstBlocks.selected = picked.isEmpty() ? -1 : lstBlocks_->row(picked.front());
  s.txtOrder = FromQt(txtOrder_->text());
  s.chkActive = chkActive_->isChecked();
  s.txtTitle = FromQt(txtTitle_->text());
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
    same = lstBlocks_->item(i)->text() == ToQt(s.lstBlocks.entries[static_cast<size_t>(i)]);
  }
  if (!same) {
    // One insertion of all rows: the view lays them out once, not once per row.
    QStringList entries;
    entries.reserve(static_cast<qsizetype>(s.lstBlocks.entries.size()));
    for (const std::string& e : s.lstBlocks.entries) entries.append(ToQt(e));
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
  cmdDemo_->setText(ToQt(s.cmdDemoCaption));
  ShowStatus(s.lblStatus);
  showing_ = was_showing;
}

void FrmMain::CenterOnScreen() {
  QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect room = screen->availableGeometry();
  // Title bar and borders, once the window manager has framed the window (none before).
  const QSize frame = frameGeometry().size() - geometry().size();
  QSize client(kWindowWidth, kWindowHeight);
  const QSize space = room.size() - frame;
  if (client.width() > space.width() || client.height() > space.height()) {
    // One pixel to spare: at a fractional scale the area's size in device pixels rounds up.
    client = client.boundedTo(space - QSize(1, 1)).expandedTo(QSize(1, 1));
  }
  resize(client);
  QRect outer(QPoint(0, 0), client + frame);
  outer.moveCenter(room.center());
  // Never above or left of the available area: the title bar stays within reach.
  outer.moveTo(std::max(outer.left(), room.left()), std::max(outer.top(), room.top()));
  move(outer.topLeft());
}

}  // namespace panorello
