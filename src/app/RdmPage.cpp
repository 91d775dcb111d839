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
  // The End Fixture edit follows the list found.
  for (auto [button, name, mode] :
       {std::tuple{ui_.SpeedButtonDiscover, "Discover", workbench::Discovery::Mode::Full},
        std::tuple{ui_.SpeedButtonAdd, "Add", workbench::Discovery::Mode::Incremental}}) {
    ConnectCommand(button, name, [&discovery, &page, mode = mode] {
      discovery.Run(mode);
      page.FollowListCount();
    });
  }
  // Device panel.
  ConnectCommand(ui_.SpeedButtonRdmRead, "Read", [&page] { page.Read(); });
  connect(ui_.SpeedButtonRdmWrite, &QAbstractButton::clicked, this, [this, &bench, &page] {
    if (bench.RefusedWhileBusy("Write")) return DrainLog();
    // Taken from the panel now: the values shown go to the device the panel was read from.
    std::optional<workbench::PanelWrite> order;
    WithModels([&] { order = page.WriteOrder(); });
    DrainLog();
    if (!order || !ConfirmAddresses({{order->uid, order->address}})) return;
    RunCommand("Write", [&page, o = *order] { page.Write(o); });
  });
  connect(ui_.SpeedButtonReset, &QAbstractButton::clicked, this, [this, &bench, &page] {
    if (bench.RefusedWhileBusy("Reset")) return DrainLog();
    std::optional<rdm::Uid> device;
    std::string name;
    WithModels([&] {
      device = bench.Table().Selected;
      if (const workbench::DeviceRecord* d = device ? bench.Table().Find(*device) : nullptr) {
        name = "0x" + rdm::UidText12(d->Uid) + (d->Label.empty() ? "" : " (" + d->Label + ")");
      }
    });
    const bool chinese = currentLanguage_ == "CHS";
    if (device && dialogs_.askYesNo &&
        !dialogs_.askYesNo(chinese ? "复位设备" : "Reset device",
                           QString::fromStdString(name) +
                               (chinese ? QString("：设备将重新启动，确定复位？")
                                        : QString(": the fixture restarts. Reset it?")))) {
      return;
    }
    RunCommand("Reset", [&page, device] { page.Reset(device); });
  });
  ConnectCommand(ui_.SpeedButton_B, "Identify", [&page] { page.ToggleIdentify(); });
  ConnectCommand(ui_.SpeedButton_A, "Lamp", [&page] { page.ToggleLamp(); });
  connect(ui_.SpeedButtonAddress, &QAbstractButton::clicked, this, [this, &bench, &page] {
    if (bench.RefusedWhileBusy("Batch addressing")) return DrainLog();
    // The devices and addresses are taken from the list as it shows now.
    workbench::BatchPlan plan;
    std::vector<workbench::AddressAssignment> targets;
    WithModels([&] {
      plan = page.PlanBatch();
      targets = workbench::BatchTargets(bench.Table(), plan);
    });
    if (!ConfirmAddresses(targets)) return;
    RunCommand("Batch addressing",
               [&bench, plan, targets] { bench.List().BatchAddress(plan, targets); });
  });
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
    WithModels([&] { shown = page.RowNumberEdited(t.toStdString()); });
    ui_.Edit35->setText(QString::fromStdString(shown));
  });
  connect(ui_.Edit1, &QLineEdit::textEdited, this, [this, &bench](const QString& t) {
    WithModels([&] { bench.Panel().label = t.toStdString(); });
  });
  ui_.Edit1->setMaxLength(32);
  connect(ui_.UpDown1, &QScrollBar::actionTriggered, this, [this, &page](int action) {
    WithModels([&] {
      if (action == QAbstractSlider::SliderSingleStepSub) page.StepAddress(true);
      if (action == QAbstractSlider::SliderSingleStepAdd) page.StepAddress(false);
    });
    DrainLog();
    QTimer::singleShot(0, this, [this] { RefreshFromModels(); });
  });
  for (int k = 1; k <= 3; ++k) {
    connect(ui_.CheckBoxes()[static_cast<size_t>(k - 1)], &QCheckBox::clicked, this,
            [this, &bench, k](bool on) {
              WithModels([&] {
                bool* box[] = {&bench.Panel().panInvert, &bench.Panel().tiltInvert,
                               &bench.Panel().panTiltSwap};
                *box[k - 1] = on;
              });
            });
  }
  connect(ui_.ComboBoxMode, &QComboBox::activated, this, [this, &bench](int index) {
    WithModels([&] { bench.Panel().personalities.itemIndex = index; });
  });
  connect(ui_.ComboBoxChannelMode, &QComboBox::activated, this, [this, &page](int index) {
    WithModels([&] { page.batchPersonalities.itemIndex = index; });
  });
  connect(ui_.CheckBoxChannel, &QCheckBox::toggled, this, [this, &page](bool on) {
    WithModels([&] { page.personalityForAll = on; });
    ui_.ComboBoxChannelMode->setEnabled(on);
  });
}

// Called with the models held.
void MainWindow::RefreshRdmPage(const workbench::DeviceListView& view) {
  workbench::Workbench& bench = core_->Bench();
  const workbench::DevicePanelModel& p = bench.Panel();
  const workbench::RdmPageController& page = bench.RdmPage();
  SetText(ui_.Edit1, p.label);
  SetText(ui_.Edit2, p.manufacturer);
  SetText(ui_.Edit5, p.status);
  SetColour(ui_.Edit5, p.statusColour);
  SetText(ui_.Edit8, p.category);
  SetText(ui_.Edit9, p.software);
  SetText(ui_.Edit10, p.footprint);
  SetText(ui_.EditAddr, p.address);
  {
    QSignalBlocker block(ui_.UpDown1);
    ui_.UpDown1->setValue(std::clamp(p.addressArrows, 1, 512));
  }
  SetText(ui_.Edit33, p.deviceHours);
  SetText(ui_.Edit34, p.lampHours);
  SetText(ui_.Edit35, page.rowNumberText);
  SetColour(ui_.Edit35, page.rowNumberColour);
  SetText(ui_.EditEnd, page.lastFixtureText.empty() ? "1" : page.lastFixtureText);
  ui_.CheckBox1->setChecked(p.panInvert);
  ui_.CheckBox2->setChecked(p.tiltInvert);
  ui_.CheckBox3->setChecked(p.panTiltSwap);
  SetItems(ui_.ComboBoxMode, p.personalities);
  SetItems(ui_.ComboBoxChannelMode, page.batchPersonalities);
  SetItems(ui_.ComboBoxID, p.supportedParameters);
  SetItems(ui_.ComboBox_UID, view.uidChoices);
  ui_.SpeedButtonRdmWrite->setEnabled(p.writeEnabled);
  SetText(ui_.LabelPanelDevice, workbench::PanelDeviceText(p, currentLanguage_ == "CHS"));
  ShowDiscoveryStatus();

  SetText(ui_.EditStartAddress, page.startAddressText);
  SetText(ui_.EditStart, page.firstFixtureText);
  SetText(ui_.EditChannel, page.incrementText);
}

// The discovery line, in the window's language, once a search has begun. Models held.
void MainWindow::ShowDiscoveryStatus() {
  const workbench::DiscoveryStatus& status = core_->Bench().Discover().LastStatus();
  if (!status.running && status.branches == 0) return;
  SetText(ui_.LabelDiscovery, workbench::DiscoveryStatusText(status, currentLanguage_ == "CHS"));
}

}  // namespace velquor::app
