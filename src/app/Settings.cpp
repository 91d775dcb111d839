// The main window's configuration and languages: config.cfg and the language toggle.

#include <QLabel>

#include "app/Language.h"
#include "app/Windows.h"
#include "common/Files.h"

namespace velquor::app {

void MainWindow::ApplyLanguageMain() {
  LanguageTarget t;
  t.window = this;
  t.log = [this](const std::string& line) { core_->Log().Add(line); };
  std::string language = ApplyLanguage(t, core_->Options().programDir,
                                       [this](const QString& text) { ShowError(text); });
  if (!language.empty()) currentLanguage_ = QString::fromStdString(language);
  deskPage_->RefreshFaderLabels();
  core_->Bridge().SetNodeName(windowTitle().toStdString());  // the poll reply's names
  // The discovery line is the program's own text: written again in the new language.
  std::unique_lock<workbench::ModelLock> lock(core_->Bench().Models(), std::try_to_lock);
  if (lock) rdmPage_->ShowDiscoveryStatus();
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
