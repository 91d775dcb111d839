// The main window's configuration and languages: config.cfg and the language toggle.

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <cstdlib>
#include <ctime>

#include "app/Language.h"
#include "app/WidgetUpdates.h"
#include "app/Windows.h"
#include "common/Files.h"
#include "rdm/KnownPids.h"

namespace velquor::app {

void MainWindow::ApplyLanguageMain() {
  LanguageTarget t;
  t.window = this;
  t.log = [this](const std::string& line) { core_->Log().Add(line); };
  std::string language = ApplyLanguage(t, core_->Options().programDir,
                                       [this](const QString& text) { ShowError(text); });
  if (!language.empty()) currentLanguage_ = QString::fromStdString(language);
  RefreshFaderLabels();
  core_->Bridge().SetNodeName(windowTitle().toStdString());  // the poll reply's names
  // The discovery line is the program's own text: written again in the new language.
  std::unique_lock<workbench::ModelLock> lock(core_->Bench().Models(), std::try_to_lock);
  if (lock) ShowDiscoveryStatus();
}

void MainWindow::LoadStartupSettings() {
  if (auto config = LoadProgramIni(core_->Options().programDir, "config.cfg")) {
    networkAddressIndex_ = config->ReadInteger("General", "IP", 0);
    testMode_ = config->ReadInteger("General", "TEST", 0);
  }
  if (testMode_ != 0) {
    for (QWidget* w : std::initializer_list<QWidget*>{ui_.Label41, ui_.Label7, ui_.CheckBoxDMX,
                                                      ui_.CheckBoxTest, ui_.EditTime}) {
      w->setVisible(true);
    }
  }
}

bool MainWindow::SaveNetworkAddressIndex() {
  const std::string path = common::PathIn(core_->Options().programDir, "config.cfg");
  common::IniFile config =
      LoadProgramIni(core_->Options().programDir, "config.cfg").value_or(common::IniFile{});
  config.WriteString("General", "IP", std::to_string(networkAddressIndex_));
  std::string error;
  if (!config.Save(path, error)) {
    ShowError(QString("Unable to write to %1").arg(QString::fromStdString(path)));
    return false;
  }
  return true;
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
