#pragma once

#include <QDialog>
#include <QSpinBox>
#include <array>
#include <filesystem>
#include <string>

#include "settings/settings_form.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabBar;
class QVBoxLayout;

namespace trivane {

// A spin editor the operator can empty, as the dialog's check expects: one
// step below the lowest port stands for the empty field.
class ClearableSpinBox final : public QSpinBox {
 public:
  ClearableSpinBox(int minimum, int maximum, QWidget* parent);

  // Empty text selects the blank; anything else is the number it reads as.
  void SetText(const std::string& text);
  // What the field holds: empty for the blank.
  std::string Text() const;

 protected:
  QValidator::State validate(QString& input, int& position) const override;
  int valueFromText(const QString& text) const override;
  QString textFromValue(int value) const override;
};

// TF_Settings: the widgets of the settings dialog bound to the dialog's rules.
// Every edit goes into the rules' controls and runs their handler; the
// widgets then show the controls again, since one rule may change another
// control. Widgets carry the controls' names as object names.
class SettingsDialog final : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(TSettings& record, const std::filesystem::path& ini, RunKeyStore& run_keys,
                 const std::string& exe_path, SettingsForm::ErrorSink show_error,
                 QWidget* parent = nullptr);

  SettingsForm& Form() { return form_; }

 private:
  void BuildPIDRow(QVBoxLayout* page);
  void BuildReadGroup(QVBoxLayout* page);
  void BuildSendGroup(QVBoxLayout* page);
  void BuildStartGroup(QVBoxLayout* page);
  void BuildButtons(QVBoxLayout* page);
  void Connect();
  // Controls -> widgets, with the widgets' own signals held back.
  void ShowControls();
  void Save();
  void Cancel();

  SettingsForm form_;
  QLabel* LabAPID = nullptr;
  QSpinBox* EPID = nullptr;
  QCheckBox* CBShowPlaylist = nullptr;
  QButtonGroup* RDRead = nullptr;
  std::array<QRadioButton*, 2> read_items_{};
  QWidget* source_page_ = nullptr;  // the tab set and the editors on it
  QTabBar* TabSrcIP = nullptr;
  QLineEdit* EReadHost = nullptr;
  QSpinBox* EReadPort = nullptr;
  QCheckBox* CBIgnoreDelay = nullptr;
  std::array<QCheckBox*, 3> SGSend{};
  ClearableSpinBox* EServerPort = nullptr;
  QLineEdit* EOSIP = nullptr;
  QSpinBox* EOSPort = nullptr;
  QLineEdit* EOSPass = nullptr;
  QCheckBox* CBAuto_Start = nullptr;
  QCheckBox* CBAuto_Tray = nullptr;
};

// Show_Settings: the dialog, modal over parent, with errors in message boxes.
// The caller's event loop keeps running meanwhile, and so do the ticks.
// True exactly when the dialog closed by a successful Save.
bool ShowSettingsDialog(QWidget* parent, TSettings& record, const std::filesystem::path& ini,
                        RunKeyStore& run_keys, const std::string& exe_path);

}  // namespace trivane
