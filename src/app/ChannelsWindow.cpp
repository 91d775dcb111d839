#include "app/ChannelsWindow.h"

#include <QAbstractButton>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace velquor::app {

ChannelsBinding::ChannelsBinding(PageShell& shell, core::Core& core, const form1::Controls& ui,
                                 QWidget& window, DeskPageBinding& desk)
    : PageBinding(shell, core, ui), desk_(desk) {
  dialog_ = new QDialog(&window);
  dialog_->setObjectName("ChannelsWindow");
  dialog_->resize(460, 520);
  auto* layout = new QVBoxLayout(dialog_);
  heading_ = new QLabel(dialog_);
  heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  table_ = new QTableWidget(0, 4, dialog_);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
  layout->addWidget(heading_);
  layout->addWidget(table_);
  connect(ui_.SpeedButtonChannels, &QAbstractButton::clicked, this, [this] {
    const auto show = [this] {
      shell_.WithModels([this] { Refresh(); });
      Fill();  // the language may have changed since
      dialog_->show();
      dialog_->raise();
    };
    bool asked = true;
    shell_.WithModels([&] {
      const workbench::DevicePanelModel& panel = core_.Bench().Panel();
      asked = !panel.device || panel.channels.slotsAsked;
    });
    if (asked) return show();
    // The slots are asked for on the line, for the fixture the panel shows.
    auto& page = core_.Bench().RdmPage();
    if (!shell_.RunCommand(
            "Channels", [&page] { page.ReadChannels(); }, show))
      show();
  });
}

void ChannelsBinding::Refresh() {
  const workbench::DevicePanelModel& panel = core_.Bench().Panel();
  const std::string language = shell_.CurrentLanguage().toStdString();
  if (panel.device == device_ && panel.channels == channels_ && language == language_) return;
  language_ = language;
  device_ = panel.device;
  channels_ = device_ ? panel.channels : workbench::ChannelLayout{};
  desk_.SetChannelNames(channels_);
  Fill();
}

void ChannelsBinding::Fill() {
  const bool chinese = shell_.CurrentLanguage() == "CHS";
  dialog_->setWindowTitle(chinese ? "通道功能" : "Channels");
  table_->setHorizontalHeaderLabels(chinese ? QStringList{"地址", "类型", "功能", "默认值"}
                                            : QStringList{"DMX", "Type", "Function", "Default"});
  QString heading;
  if (!device_) {
    heading = chinese ? "请先读取灯具。" : "Read a fixture first.";
  } else {
    heading = "0x" + QString::fromStdString(rdm::UidText12(*device_));
    const std::string personality = workbench::PersonalityHeading(channels_);
    if (!personality.empty()) heading += "   " + QString::fromStdString(personality);
    if (channels_.slotsAsked && channels_.slotReadings.empty()) {
      heading += chinese ? "\n该灯具未提供通道信息 (SLOT_INFO)。"
                         : "\nThe fixture gives no slot information (SLOT_INFO).";
    }
  }
  heading_->setText(heading);
  const std::vector<workbench::ChannelLine> lines = workbench::ChannelLines(channels_);
  table_->setRowCount(static_cast<int>(lines.size()));
  for (size_t i = 0; i < lines.size(); ++i) {
    const workbench::ChannelLine& line = lines[i];
    const QString cells[] = {
        line.address ? QString::number(*line.address) : QString("+%1").arg(line.offset),
        QString::fromStdString(line.type), QString::fromStdString(line.name),
        line.defaultValue ? QString::number(*line.defaultValue) : QString()};
    for (int column = 0; column < 4; ++column) {
      table_->setItem(static_cast<int>(i), column, new QTableWidgetItem(cells[column]));
    }
  }
  table_->resizeColumnsToContents();
}

}  // namespace velquor::app
