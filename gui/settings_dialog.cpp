#include "gui/settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <string_view>
#include <utility>

namespace trivane {
namespace {

namespace text = settings_form_text;

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) {
  return text.toStdString();
}

QSpinBox* Spin(text::SpinLimits limits, std::string_view hint, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(limits.min, limits.max);
  if (!hint.empty()) spin->setToolTip(Q(hint));
  return spin;
}

QLineEdit* Edit(std::string_view hint, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setToolTip(Q(hint));
  return edit;
}

void SetTextKeepingCursor(QLineEdit* edit, const std::string& value) {
  // Writing back what the operator just typed would move the cursor.
  if (S(edit->text()) != value) edit->setText(QString::fromStdString(value));
}

}  // namespace

ClearableSpinBox::ClearableSpinBox(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
  setRange(minimum - 1, maximum);
}

void ClearableSpinBox::SetText(const std::string& text) {
  bool number = false;
  const int value = QString::fromStdString(text).trimmed().toInt(&number);
  if (QString::fromStdString(text).trimmed().isEmpty()) {
    setValue(minimum());
  } else {
    setValue(number ? std::max(value, minimum() + 1) : minimum() + 1);
  }
}

std::string ClearableSpinBox::Text() const {
  return value() == minimum() ? std::string() : std::to_string(value());
}

QValidator::State ClearableSpinBox::validate(QString& input, int& position) const {
  if (input.trimmed().isEmpty()) return QValidator::Acceptable;
  const QValidator::State state = QSpinBox::validate(input, position);
  // The blank's own number is no port the operator may type.
  if (state == QValidator::Acceptable && valueFromText(input) == minimum()) {
    return QValidator::Intermediate;
  }
  return state;
}

int ClearableSpinBox::valueFromText(const QString& text) const {
  return text.trimmed().isEmpty() ? minimum() : QSpinBox::valueFromText(text);
}

QString ClearableSpinBox::textFromValue(int value) const {
  return value == minimum() ? QString() : QSpinBox::textFromValue(value);
}

SettingsDialog::SettingsDialog(TSettings& record, const std::filesystem::path& ini,
                               RunKeyStore& run_keys, const std::string& exe_path,
                               SettingsForm::ErrorSink show_error, QWidget* parent)
    : QDialog(parent), form_(record, ini, run_keys, exe_path, std::move(show_error)) {
  setObjectName(QStringLiteral("TF_Settings"));
  setWindowTitle(Q(text::kCaption));
  auto* page = new QVBoxLayout(this);
  BuildPIDRow(page);
  BuildReadGroup(page);
  BuildSendGroup(page);
  BuildStartGroup(page);
  BuildButtons(page);

  form_.FormCreate();
  ShowControls();
  Connect();

  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void SettingsDialog::BuildPIDRow(QVBoxLayout* page) {
  auto* row = new QHBoxLayout;
  LabAPID = new QLabel(Q(text::kPIDLabel), this);
  LabAPID->setObjectName(QStringLiteral("LabAPID"));
  EPID = Spin(text::kPIDLimits, {}, this);
  EPID->setObjectName(QStringLiteral("EPID"));
  LabAPID->setBuddy(EPID);
  CBShowPlaylist = new QCheckBox(Q(text::kShowPlaylist), this);
  CBShowPlaylist->setObjectName(QStringLiteral("CBShowPlaylist"));
  row->addWidget(LabAPID);
  row->addWidget(EPID);
  row->addStretch(1);
  row->addWidget(CBShowPlaylist);
  page->addLayout(row);
}

void SettingsDialog::BuildReadGroup(QVBoxLayout* page) {
  auto* group = new QGroupBox(Q(text::kReadCaption), this);
  group->setObjectName(QStringLiteral("RDRead"));
  auto* layout = new QVBoxLayout(group);
  auto* items = new QGridLayout;
  RDRead = new QButtonGroup(group);
  for (int i = 0; i < static_cast<int>(read_items_.size()); ++i) {
    read_items_[i] = new QRadioButton(Q(text::kReadItems[i]), group);
    RDRead->addButton(read_items_[i], i);
    items->addWidget(read_items_[i], i / text::kReadColumns, i % text::kReadColumns);
  }
  layout->addLayout(items);

  source_page_ = new QWidget(group);
  auto* source = new QVBoxLayout(source_page_);
  source->setContentsMargins(0, 0, 0, 0);
  TabSrcIP = new QTabBar(source_page_);
  TabSrcIP->setObjectName(QStringLiteral("TabSrcIP"));
  for (std::string_view tab : text::kSourceTabs) TabSrcIP->addTab(Q(tab));
  source->addWidget(TabSrcIP);
  auto* editors = new QHBoxLayout;
  EReadHost = Edit(text::kReadHostHint, source_page_);
  EReadHost->setObjectName(QStringLiteral("EReadHost"));
  EReadPort = Spin(text::kReadPortLimits, text::kReadPortHint, source_page_);
  EReadPort->setObjectName(QStringLiteral("EReadPort"));
  CBIgnoreDelay = new QCheckBox(Q(text::kIgnoreDelay), source_page_);
  CBIgnoreDelay->setObjectName(QStringLiteral("CBIgnoreDelay"));
  CBIgnoreDelay->setToolTip(Q(text::kIgnoreDelayHint));
  editors->addWidget(new QLabel(Q(text::kReadHostLabel), source_page_));
  editors->addWidget(EReadHost, 1);
  editors->addWidget(new QLabel(Q(text::kReadPortLabel), source_page_));
  editors->addWidget(EReadPort);
  editors->addWidget(CBIgnoreDelay);
  source->addLayout(editors);
  layout->addWidget(source_page_);
  page->addWidget(group);
}

void SettingsDialog::BuildSendGroup(QVBoxLayout* page) {
  auto* group = new QGroupBox(Q(text::kSendCaption), this);
  group->setObjectName(QStringLiteral("SGSend"));
  auto* grid = new QGridLayout(group);
  for (int i = 0; i < static_cast<int>(SGSend.size()); ++i) {
    SGSend[i] = new QCheckBox(Q(text::kSendItems[i]), group);
    SGSend[i]->setObjectName(QStringLiteral("SGSend%1").arg(i));
    grid->addWidget(SGSend[i], i, 0);
  }
  EServerPort =
      new ClearableSpinBox(text::kServerPortLimits.min, text::kServerPortLimits.max, group);
  EServerPort->setObjectName(QStringLiteral("EServerPort"));
  EServerPort->setToolTip(Q(text::kServerPortHint));
  grid->addWidget(EServerPort, kSendServerItem, 1);

  auto* online = new QHBoxLayout;
  EOSIP = Edit(text::kOSIPHint, group);
  EOSIP->setObjectName(QStringLiteral("EOSIP"));
  EOSPort = Spin(text::kOSPortLimits, text::kOSPortHint, group);
  EOSPort->setObjectName(QStringLiteral("EOSPort"));
  EOSPass = Edit(text::kOSPassHint, group);
  EOSPass->setObjectName(QStringLiteral("EOSPass"));
  EOSPass->setEchoMode(QLineEdit::Password);
  online->addWidget(EOSIP, 2);
  online->addWidget(EOSPort);
  online->addWidget(EOSPass, 1);
  grid->addLayout(online, kSendOnlineItem, 1);
  grid->setColumnStretch(1, 1);
  page->addWidget(group);
}

void SettingsDialog::BuildStartGroup(QVBoxLayout* page) {
  auto* group = new QGroupBox(Q(text::kStartGroup), this);
  group->setObjectName(QStringLiteral("PanStart"));
  auto* layout = new QHBoxLayout(group);
  CBAuto_Start = new QCheckBox(Q(text::kAutoStart), group);
  CBAuto_Start->setObjectName(QStringLiteral("CBAuto_Start"));
  CBAuto_Tray = new QCheckBox(Q(text::kAutoTray), group);
  CBAuto_Tray->setObjectName(QStringLiteral("CBAuto_Tray"));
  layout->addWidget(CBAuto_Start);
  layout->addWidget(CBAuto_Tray);
  layout->addStretch(1);
  page->addWidget(group);
}

void SettingsDialog::BuildButtons(QVBoxLayout* page) {
  auto* row = new QHBoxLayout;
  auto* save = new QPushButton(Q(text::kSave), this);
  save->setObjectName(QStringLiteral("SBSave"));
  save->setDefault(true);
  auto* cancel = new QPushButton(Q(text::kCancel), this);
  cancel->setObjectName(QStringLiteral("SBCancel"));
  row->addStretch(1);
  row->addWidget(save);
  row->addWidget(cancel);
  page->addLayout(row);
  connect(save, &QPushButton::clicked, this, &SettingsDialog::Save);
  connect(cancel, &QPushButton::clicked, this, &SettingsDialog::Cancel);
}

void SettingsDialog::Connect() {
  SettingsFormControls& c = form_.Controls();
  // Each edit lands in the controls and runs its rule; then every widget
  // shows the controls again.
  const auto edit = [this](auto&& write) {
    return [this, write](auto&&... value) {
      write(value...);
      ShowControls();
    };
  };
  connect(EPID, &QSpinBox::valueChanged, this, edit([&c](int v) { c.EPID = v; }));
  connect(CBShowPlaylist, &QCheckBox::toggled, this,
          edit([&c](bool on) { c.CBShowPlaylist = on; }));
  connect(RDRead, &QButtonGroup::idClicked, this, edit([this, &c](int item) {
            c.RDRead = item;
            form_.RDReadClick();
          }));
  connect(TabSrcIP, &QTabBar::currentChanged, this, edit([this, &c](int tab) {
            c.TabSrcIP = tab;
            form_.TabSrcIPChange();
          }));
  connect(EReadHost, &QLineEdit::textEdited, this, edit([this, &c](const QString& host) {
            c.EReadHost = S(host);
            form_.EReadHostChange();
          }));
  connect(EReadPort, &QSpinBox::valueChanged, this, edit([this, &c](int port) {
            c.EReadPort = port;
            form_.EReadPortChange();
          }));
  connect(CBIgnoreDelay, &QCheckBox::toggled, this, edit([&c](bool on) { c.CBIgnoreDelay = on; }));
  for (int i = 0; i < static_cast<int>(SGSend.size()); ++i) {
    connect(SGSend[i], &QCheckBox::toggled, this, edit([this, &c, i](bool on) {
              c.SGSend[i] = on;
              form_.SGSendClick();
            }));
  }
  connect(EServerPort, &QSpinBox::valueChanged, this,
          edit([this, &c](int) { c.EServerPort = EServerPort->Text(); }));
  connect(EOSIP, &QLineEdit::textEdited, this, edit([&c](const QString& ip) { c.EOSIP = S(ip); }));
  connect(EOSPort, &QSpinBox::valueChanged, this, edit([&c](int port) { c.EOSPort = port; }));
  connect(EOSPass, &QLineEdit::textEdited, this,
          edit([&c](const QString& pass) { c.EOSPass = S(pass); }));
  connect(CBAuto_Start, &QCheckBox::toggled, this, edit([this, &c](bool on) {
            c.CBAuto_Start = on;
            form_.CBAuto_StartClick();
          }));
  connect(CBAuto_Tray, &QCheckBox::toggled, this, edit([&c](bool on) { c.CBAuto_Tray = on; }));
}

void SettingsDialog::ShowControls() {
  const SettingsFormControls& c = form_.Controls();
  const QSignalBlocker blockers[] = {
      QSignalBlocker(EPID),          QSignalBlocker(CBShowPlaylist), QSignalBlocker(RDRead),
      QSignalBlocker(TabSrcIP),      QSignalBlocker(EReadHost),      QSignalBlocker(EReadPort),
      QSignalBlocker(CBIgnoreDelay), QSignalBlocker(SGSend[0]),      QSignalBlocker(SGSend[1]),
      QSignalBlocker(SGSend[2]),     QSignalBlocker(EServerPort),    QSignalBlocker(EOSIP),
      QSignalBlocker(EOSPort),       QSignalBlocker(EOSPass),        QSignalBlocker(CBAuto_Start),
      QSignalBlocker(CBAuto_Tray)};
  EPID->setValue(c.EPID);
  LabAPID->setVisible(c.EPIDVisible);
  EPID->setVisible(c.EPIDVisible);
  CBShowPlaylist->setChecked(c.CBShowPlaylist);

  // An exclusive group cannot show "nothing chosen" until it lets go.
  RDRead->setExclusive(false);
  for (int i = 0; i < static_cast<int>(read_items_.size()); ++i) {
    read_items_[i]->setChecked(c.RDRead == i);
  }
  RDRead->setExclusive(true);
  source_page_->setVisible(c.TabSrcIPVisible);
  TabSrcIP->setCurrentIndex(c.TabSrcIP);
  SetTextKeepingCursor(EReadHost, c.EReadHost);
  EReadPort->setValue(c.EReadPort);
  CBIgnoreDelay->setChecked(c.CBIgnoreDelay);

  for (int i = 0; i < static_cast<int>(SGSend.size()); ++i) SGSend[i]->setChecked(c.SGSend[i]);
  if (EServerPort->Text() != c.EServerPort) EServerPort->SetText(c.EServerPort);
  EServerPort->setVisible(c.EServerPortVisible);
  SetTextKeepingCursor(EOSIP, c.EOSIP);
  EOSPort->setValue(c.EOSPort);
  SetTextKeepingCursor(EOSPass, c.EOSPass);
  EOSIP->setVisible(c.EOSIPVisible);
  EOSPort->setVisible(c.EOSIPVisible);
  EOSPass->setVisible(c.EOSIPVisible);

  CBAuto_Start->setChecked(c.CBAuto_Start);
  CBAuto_Tray->setChecked(c.CBAuto_Tray);
}

void SettingsDialog::Save() {
  if (form_.SBSaveClick()) accept();
}

void SettingsDialog::Cancel() {
  form_.SBCancelClick();
  reject();
}

bool ShowSettingsDialog(QWidget* parent, TSettings& record, const std::filesystem::path& ini,
                        RunKeyStore& run_keys, const std::string& exe_path) {
  QWidget* owner = parent;
  SettingsDialog dialog(
      record, ini, run_keys, exe_path,
      [&owner](std::string_view message) {
        QMessageBox::critical(owner, QStringLiteral("Error"), Q(message));
      },
      parent);
  owner = &dialog;
  return dialog.exec() == QDialog::Accepted && dialog.Form().Settings_Changed();
}

}  // namespace trivane
