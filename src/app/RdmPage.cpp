// The RDM page: device panel, batch addressing and the discovery buttons, bound to the
// workbench.

#include <QAbstractButton>
#include <QSignalBlocker>

#include "app/WidgetUpdates.h"
#include "app/Windows.h"

namespace velquor::app {

void MainWindow::WireRdmPage() {
  workbench::Workbench& bench = core_->Bench();
  // Device panel.
  ConnectCommand(ui_.SpeedButtonRdmRead, [&bench] { bench.SpeedButtonRdmReadClick(); });
  ConnectCommand(ui_.SpeedButtonRdmWrite, [&bench] { bench.SpeedButtonRdmWriteClick(); });
  ConnectCommand(ui_.SpeedButtonReset, [&bench] { bench.SpeedButtonResetClick(); });
  ConnectCommand(ui_.SpeedButton_B, [&bench] { bench.SpeedButton_BClick(); });
  ConnectCommand(ui_.SpeedButton_A, [&bench] { bench.SpeedButton_AClick(); });
  ConnectCommand(ui_.SpeedButtonAddress, [&bench] { bench.SpeedButtonAddressClick(); });
  using Edit = workbench::Workbench::NumericEdit;
  const std::pair<QLineEdit*, Edit> numeric[] = {{ui_.EditAddr, Edit::Addr},
                                                 {ui_.EditChannel, Edit::Channel},
                                                 {ui_.EditStart, Edit::Start},
                                                 {ui_.EditEnd, Edit::End},
                                                 {ui_.EditStartAddress, Edit::StartAddress}};
  for (const auto& [edit, kind] : numeric) {
    connect(edit, &QLineEdit::textEdited, this,
            [this, &bench, edit, kind = kind](const QString& t) {
              const QString shown = QString::fromStdString(bench.EditChange(kind, t.toStdString()));
              if (shown != edit->text()) edit->setText(shown);
              DrainLog();
            });
  }
  connect(ui_.Edit35, &QLineEdit::textEdited, this, [this, &bench](const QString& t) {
    ui_.Edit35->setText(QString::fromStdString(bench.Edit35Change(t.toStdString())));
  });
  connect(ui_.Edit1, &QLineEdit::textEdited, this,
          [&bench](const QString& t) { bench.Panel().Edit1 = t.toStdString(); });
  ui_.Edit1->setMaxLength(32);
  connect(ui_.UpDown1, &QScrollBar::actionTriggered, this, [this, &bench](int action) {
    if (action == QAbstractSlider::SliderSingleStepSub) bench.UpDown1Click(true);
    if (action == QAbstractSlider::SliderSingleStepAdd) bench.UpDown1Click(false);
    DrainLog();
    QTimer::singleShot(0, this, [this] { RefreshFromModels(); });
  });
  for (int k = 1; k <= 3; ++k) {
    connect(ui_.CheckBoxes()[static_cast<size_t>(k - 1)], &QCheckBox::clicked, this,
            [&bench, k](bool on) {
              bool* box[] = {&bench.Panel().CheckBox1, &bench.Panel().CheckBox2,
                             &bench.Panel().CheckBox3};
              *box[k - 1] = on;
            });
  }
  connect(ui_.ComboBoxMode, &QComboBox::activated, this,
          [&bench](int index) { bench.Panel().ComboBoxMode.itemIndex = index; });
  connect(ui_.ComboBoxChannelMode, &QComboBox::activated, this,
          [&bench](int index) { bench.Panel().ComboBoxChannelMode.itemIndex = index; });
  connect(ui_.CheckBoxChannel, &QCheckBox::toggled, this, [this, &bench](bool on) {
    bench.CheckBoxChannel = on;
    ui_.ComboBoxChannelMode->setEnabled(on);
  });
}

void MainWindow::RefreshRdmPage() {
  workbench::Workbench& bench = core_->Bench();
  const workbench::DevicePanelModel& p = bench.Panel();
  SetText(ui_.Edit1, p.Edit1);
  SetText(ui_.Edit2, p.Edit2);
  SetText(ui_.Edit5, p.Edit5);
  SetColour(ui_.Edit5, p.Edit5Colour);
  SetText(ui_.Edit8, p.Edit8);
  SetText(ui_.Edit9, p.Edit9);
  SetText(ui_.Edit10, p.Edit10);
  SetText(ui_.EditAddr, p.EditAddr);
  {
    QSignalBlocker block(ui_.UpDown1);
    ui_.UpDown1->setValue(std::clamp(p.UpDown1, 1, 512));
  }
  SetText(ui_.Edit33, p.Edit33);
  SetText(ui_.Edit34, p.Edit34);
  SetText(ui_.Edit35, p.Edit35);
  SetColour(ui_.Edit35, p.Edit35Colour);
  SetText(ui_.EditEnd, p.EditEnd.empty() ? "1" : p.EditEnd);
  ui_.CheckBox1->setChecked(p.CheckBox1);
  ui_.CheckBox2->setChecked(p.CheckBox2);
  ui_.CheckBox3->setChecked(p.CheckBox3);
  SetItems(ui_.ComboBoxMode, p.ComboBoxMode);
  SetItems(ui_.ComboBoxChannelMode, p.ComboBoxChannelMode);
  SetItems(ui_.ComboBoxID, p.ComboBoxID);
  SetItems(ui_.ComboBox_UID, p.ComboBox_UID);
  ui_.SpeedButtonRdmWrite->setEnabled(p.SpeedButtonRdmWriteEnabled);

  SetText(ui_.EditStartAddress, bench.EditStartAddress);
  SetText(ui_.EditStart, bench.EditStart);
  SetText(ui_.EditChannel, bench.EditChannel);
}

}  // namespace velquor::app
