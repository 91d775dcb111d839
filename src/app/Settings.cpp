// The main window's configuration and languages: config.cfg and the language toggle.

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>

#include "app/Language.h"
#include "app/Windows.h"
#include "common/Files.h"

namespace velquor::app {

void MainWindow::ApplyLanguageMain() {
  LanguageTarget t;
  t.window = this;
  t.language = languageOverride_;
  t.log = [this](const std::string& line) { core_->Log().Add(line); };
  std::string language = ApplyLanguage(t, core_->Options().programDir, core_->Options().defaultsDir,
                                       [this](const QString& text) { ShowError(text); });
  if (!language.empty()) currentLanguage_ = QString::fromStdString(language);
  ShowListTexts();
  ShowArtNetStatus();
  ShowConnectState();
  deskPage_->RefreshFaderLabels();
  core_->Bridge().SetNodeName(windowTitle().toStdString());  // the poll reply's names
  core_->Sacn().SetSourceName(windowTitle().toStdString());  // sACN's source name
  // The discovery line is the program's own text: written again in the new language.
  std::unique_lock<workbench::ModelLock> lock(core_->Bench().Models(), std::try_to_lock);
  if (lock) rdmPage_->ShowDiscoveryStatus();
}

// Texts the language files do not reach (list items, instructions), in the window's language.
void MainWindow::ShowListTexts() {
  const bool chinese = currentLanguage_ == "CHS";
  QComboBox* radio = ui_.ComboBoxRdmCh;
  for (int i = 0; i < radio->count(); ++i) {
    radio->setItemText(i, QString(chinese ? "频道Ch%1" : "Channel %1").arg(i + 1));
  }
  const QString memo1 = ui_.Memo1->toPlainText();
  const QString designed1 = QString::fromUtf8(DesignedText(kMainControls, "Memo1"));
  const char* english1 =
      "Open the firmware file ->\nHold the middle key until the fixture resets ->\n"
      "Press Start IAP ->\nThe download speed can be set ->";
  // Only the instructions as designed are translated: a file list the page wrote stays.
  if (memo1 == designed1 || memo1 == english1) {
    ui_.Memo1->setPlainText(chinese ? designed1 : QString(english1));
  }
  const QString memo2 = ui_.Memo2->toPlainText();
  const QString designed2 = QString::fromUtf8(DesignedText(kMainControls, "Memo2"));
  const char* english2 = "Choose the IAP and APP bin files to merge ->\nthen save the file ->";
  if (memo2 == designed2 || memo2 == english2) {
    ui_.Memo2->setPlainText(chinese ? designed2 : QString(english2));
  }
}

void MainWindow::UseLanguage(const QString& code) {
  languageOverride_ = code.toStdString();
  form2_->languageOverride = languageOverride_;
  ApplyLanguageMain();
  form2_->ApplyLanguageAddressing();
}

void MainWindow::LoadStartupSettings() {
  if (const auto settings = core_->ReadStartUpSettings()) {
    artNetPage_->SetNetworkAddressIndex(settings->networkAddressIndex);
    testMode_ = settings->testMode;
  }
  if (testMode_ != 0) {
    for (QWidget* w : std::initializer_list<QWidget*>{ui_.Label41, ui_.Label7, ui_.CheckBoxDMX,
                                                      ui_.CheckBoxTest, ui_.EditTime}) {
      w->setVisible(true);
    }
  }
}

void MainWindow::Image_LClick() {
  const std::string path = common::PathIn(core_->Options().programDir, "config.cfg");
  common::IniFile config =
      LoadProgramIni(core_->Options().programDir, "config.cfg").value_or(common::IniFile{});
  currentLanguage_ = currentLanguage_ == "CHS" ? "ENU" : "CHS";
  languageOverride_.clear();  // the user's choice is config.cfg's from now on
  form2_->languageOverride.clear();
  config.WriteString("Form1", "Language", currentLanguage_.toStdString());
  std::string error;
  if (!config.Save(path, error)) {
    ShowError(QString("Unable to write to %1").arg(QString::fromStdString(path)));
    return;
  }
  ApplyLanguageMain();
  form2_->ApplyLanguageAddressing();
}

}  // namespace velquor::app
