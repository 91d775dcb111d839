// The RDM page: device panel, batch addressing and the discovery buttons, bound to the
// workbench.

#include <QAbstractButton>
#include <QSignalBlocker>

#include "app/WidgetUpdates.h"
#include "app/Windows.h"

namespace velquor::app {

void MainWindow::WireRdmPage() {
  workbench::Workbench& bench = core_->Bench();
  workbench::RdmPageController& page = bench.RdmPage();
  workbench::Discovery& discovery = bench.Discover();
  ConnectCommand(ui_.SpeedButtonDiscover, "Discover",
                 [&discovery] { discovery.SpeedButtonDiscoverClick(); });
  ConnectCommand(ui_.SpeedButtonAdd, "Add", [&discovery] { discovery.SpeedButtonAddClick(); });
  // Device panel.
  ConnectCommand(ui_.SpeedButtonRdmRead, "Read", [&page] { page.SpeedButtonRdmReadClick(); });
  ConnectCommand(ui_.SpeedButtonRdmWrite, "Write", [&page] { page.SpeedButtonRdmWriteClick(); });
  ConnectCommand(ui_.SpeedButtonReset, "Reset", [&page] { page.SpeedButtonResetClick(); });
  ConnectCommand(ui_.SpeedButton_B, "Identify", [&page] { page.SpeedButton_BClick(); });
  ConnectCommand(ui_.SpeedButton_A, "Lamp", [&page] { page.SpeedButton_AClick(); });
  ConnectCommand(ui_.SpeedButtonAddress, "Batch addressing",
                 [&page] { page.SpeedButtonAddressClick(); });
  using Edit = workbench::RdmPageController::NumericEdit;
  const std::pair<QLineEdit*, Edit> numeric[] = {{ui_.EditAddr, Edit::Addr},
                                                 {ui_.EditChannel, Edit::Channel},
                                                 {ui_.EditStart, Edit::Start},
                                                 {ui_.EditEnd, Edit::End},
                                                 {ui_.EditStartAddress, Edit::StartAddress}};
  for (const auto& [edit, kind] : numeric) {
    connect(edit, &QLineEdit::textEdited, this, [this, &page, edit, kind = kind](const QString& t) {
      std::string shown;
      WithModels([&] { shown = page.EditChange(kind, t.toStdString()); });
      if (QString::fromStdString(shown) != edit->text()) {
        edit->setText(QString::fromStdString(shown));
      }
      DrainLog();
    });
  }
  connect(ui_.Edit35, &QLineEdit::textEdited, this, [this, &page](const QString& t) {
    std::string shown;
    WithModels([&] { shown = page.Edit35Change(t.toStdString()); });
    ui_.Edit35->setText(QString::fromStdString(shown));
  });
  connect(ui_.Edit1, &QLineEdit::textEdited, this, [this, &bench](const QString& t) {
    WithModels([&] { bench.Panel().Edit1 = t.toStdString(); });
  });
  ui_.Edit1->setMaxLength(32);
  connect(ui_.UpDown1, &QScrollBar::actionTriggered, this, [this, &page](int action) {
    WithModels([&] {
      if (action == QAbstractSlider::SliderSingleStepSub) page.UpDown1Click(true);
      if (action == QAbstractSlider::SliderSingleStepAdd) page.UpDown1Click(false);
    });
    DrainLog();
    QTimer::singleShot(0, this, [this] { RefreshFromModels(); });
  });
  for (int k = 1; k <= 3; ++k) {
    connect(ui_.CheckBoxes()[static_cast<size_t>(k - 1)], &QCheckBox::clicked, this,
            [this, &bench, k](bool on) {
              WithModels([&] {
                bool* box[] = {&bench.Panel().CheckBox1, &bench.Panel().CheckBox2,
                               &bench.Panel().CheckBox3};
                *box[k - 1] = on;
              });
            });
  }
  connect(ui_.ComboBoxMode, &QComboBox::activated, this, [this, &bench](int index) {
    WithModels([&] { bench.Panel().ComboBoxMode.itemIndex = index; });
  });
  connect(ui_.ComboBoxChannelMode, &QComboBox::activated, this, [this, &bench](int index) {
    WithModels([&] { bench.Panel().ComboBoxChannelMode.itemIndex = index; });
  });
  connect(ui_.CheckBoxChannel, &QCheckBox::toggled, this, [this, &page](bool on) {
    WithModels([&] { page.personalityForAll = on; });
    ui_.ComboBoxChannelMode->setEnabled(on);
  });
}

// Called with the models held.
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
  SetItems(ui_.ComboBox_UID, bench.View().uidChoices);
  ui_.SpeedButtonRdmWrite->setEnabled(p.SpeedButtonRdmWriteEnabled);
  SetText(ui_.LabelPanelDevice, workbench::PanelDeviceText(p, currentLanguage_ == "CHS"));
  ShowDiscoveryStatus();

  SetText(ui_.EditStartAddress, bench.RdmPage().startAddressText);
  SetText(ui_.EditStart, bench.RdmPage().firstFixtureText);
  SetText(ui_.EditChannel, bench.RdmPage().incrementText);
}

// The discovery line, in the window's language, once a search has begun. Models held.
void MainWindow::ShowDiscoveryStatus() {
  const workbench::DiscoveryStatus& status = core_->Bench().Discover().LastStatus();
  if (!status.running && status.branches == 0) return;
  SetText(ui_.LabelDiscovery, workbench::DiscoveryStatusText(status, currentLanguage_ == "CHS"));
}

}  // namespace velquor::app
