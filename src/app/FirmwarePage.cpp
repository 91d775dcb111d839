// The IAP page: firmware files for the box's update, paced by the engine tick, and the tool
// that merges a boot loader and an application into one image.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/PageBindings.h"

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

FirmwarePageBinding::FirmwarePageBinding(PageShell& shell, core::Core& core,
                                         const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  connect(ui_.SpeedButtonOpenFile, &QAbstractButton::clicked, this,
          [this] { SpeedButtonOpenFileClick(); });
  connect(ui_.SpeedButtonIAP, &QAbstractButton::clicked, this, [this] { SpeedButtonIAPClick(); });
  connect(ui_.SpeedButtonOpenBin, &QAbstractButton::clicked, this,
          [this] { SpeedButtonOpenBinClick(); });
  connect(ui_.SpeedButtonSaveBin, &QAbstractButton::clicked, this,
          [this] { SpeedButtonSaveBinClick(); });
  connect(ui_.ComboBoxSpeed, &QComboBox::currentIndexChanged, this,
          [this](int index) { core_.Tick().View().firmwareSpeedIndex = index; });
}

void FirmwarePageBinding::SpeedButtonOpenFileClick() {
  const QStringList files = shell_.OpenFiles("*.bin (*.bin)");
  if (files.isEmpty()) return;
  updateFileName_ = files.front();
  ShowLines(ui_.Memo1, link::LoadFirmwareFiles(updateImages_, Paths(files), " Files.", "\n"));
}

void FirmwarePageBinding::SpeedButtonIAPClick() {
  dmx::EngineView& view = core_.Tick().View();
  if (view.firmwareUpdateActive.load()) return;  // a second press does nothing
  if (updateFileName_.isEmpty()) {
    shell_.Log("Please open the file first");
  } else if (updateImages_.Size(0) != 0) {
    shell_.Log("connecting...");
    view.firmwareUpdateActive = true;
  } else {
    shell_.Log("Fail to Open File!!!");
  }
  shell_.DrainLog();
}

void FirmwarePageBinding::SpeedButtonOpenBinClick() {
  const QStringList files = shell_.OpenFiles("*.bin (*.bin)");
  if (files.isEmpty()) return;
  ShowLines(ui_.Memo2, link::LoadFirmwareFiles(mergeImages_, Paths(files), " 个文件."));
}

void FirmwarePageBinding::SpeedButtonSaveBinClick() {
  if (mergeImages_.Count() == 0) return;
  const QString target = shell_.SaveFile("app-iap*.bin (*.bin)", "app-iap.bin");
  if (target.isEmpty()) {
    shell_.Log("Please open the file");
  } else {
    std::string error;
    if (const auto written = link::SaveMergedFirmware(mergeImages_, target.toStdString(), error)) {
      shell_.Log(target.toStdString() + ": " + std::to_string(*written) + " bytes");
    } else {
      shell_.Log("Unable to write " + target.toStdString() + ": " + error);
    }
  }
  shell_.DrainLog();
}

}  // namespace velquor::app
