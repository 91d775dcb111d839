// The IAP page: firmware files for the box's update, paced by the engine tick, and the tool
// that merges a boot loader and an application into one image.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/Windows.h"

namespace velquor::app {

namespace {

std::vector<std::string> Paths(const QStringList& files) {
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());
  return paths;
}

void ShowLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
  memo->clear();
  for (const std::string& line : lines) memo->appendPlainText(QString::fromStdString(line));
}

}  // namespace

void MainWindow::WireFirmwarePage() {
  connect(ui_.SpeedButtonOpenFile, &QAbstractButton::clicked, this,
          [this] { SpeedButtonOpenFileClick(); });
  connect(ui_.SpeedButtonIAP, &QAbstractButton::clicked, this, [this] { SpeedButtonIAPClick(); });
  connect(ui_.SpeedButtonOpenBin, &QAbstractButton::clicked, this,
          [this] { SpeedButtonOpenBinClick(); });
  connect(ui_.SpeedButtonSaveBin, &QAbstractButton::clicked, this,
          [this] { SpeedButtonSaveBinClick(); });
  connect(ui_.ComboBoxSpeed, &QComboBox::currentIndexChanged, this,
          [this](int index) { core_->Tick().View().firmwareSpeedIndex = index; });
}

void MainWindow::SpeedButtonOpenFileClick() {
  const QStringList files =
      dialogs_.openFiles ? dialogs_.openFiles("*.bin (*.bin)") : QStringList{};
  if (files.isEmpty()) return;
  updateFileName_ = files.front();
  ShowLines(ui_.Memo1, link::LoadFirmwareFiles(updateImages_, Paths(files), " Files.", "\n"));
}

void MainWindow::SpeedButtonIAPClick() {
  dmx::EngineView& view = core_->Tick().View();
  if (view.firmwareUpdateActive.load()) return;  // a second press does nothing
  if (updateFileName_.isEmpty()) {
    core_->Log().Add("Please open the file first");
  } else if (updateImages_.Size(0) != 0) {
    core_->Log().Add("connecting...");
    view.firmwareUpdateActive = true;
  } else {
    core_->Log().Add("Fail to Open File!!!");
  }
  DrainLog();
}

void MainWindow::SpeedButtonOpenBinClick() {
  const QStringList files =
      dialogs_.openFiles ? dialogs_.openFiles("*.bin (*.bin)") : QStringList{};
  if (files.isEmpty()) return;
  ShowLines(ui_.Memo2, link::LoadFirmwareFiles(mergeImages_, Paths(files), " 个文件."));
}

void MainWindow::SpeedButtonSaveBinClick() {
  if (mergeImages_.Count() == 0) return;
  const QString target =
      dialogs_.saveFile ? dialogs_.saveFile("app-iap*.bin (*.bin)", "app-iap.bin") : QString();
  if (target.isEmpty()) {
    core_->Log().Add("Please open the file");
  } else {
    std::string error;
    if (const auto written = link::SaveMergedFirmware(mergeImages_, target.toStdString(), error)) {
      core_->Log().Add(target.toStdString() + ": " + std::to_string(*written) + " bytes");
    } else {
      core_->Log().Add("Unable to write " + target.toStdString() + ": " + error);
    }
  }
  DrainLog();
}

}  // namespace velquor::app
