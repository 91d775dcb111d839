// The RDM page: device panel, batch addressing and the discovery buttons, bound to the
// workbench.

#include <QAbstractButton>
#include <QSignalBlocker>
#include <QTimer>

#include "app/PageBindings.h"
#include "app/WidgetUpdates.h"

namespace velquor::app {

RdmPageBinding::RdmPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  workbench::Workbench& bench = core_.Bench();
  workbench::RdmPageController& page = bench.RdmPage();
  workbench::Discovery& discovery = bench.Discover();
  // The End Fixture edit follows the list found.
  for (auto [button, name, mode] :
       {std::tuple{ui_.SpeedButtonDiscover, "Discover", workbench::Discovery::Mode::Full},
        std::tuple{ui_.SpeedButtonAdd, "Add", workbench::Discovery::Mode::Incremental}}) {
    shell_.ConnectCommand(button, name, [&discovery, &page, mode = mode] {
      discovery.Run(mode);
      page.FollowListCount();
    });
  }
  // Device panel.
  shell_.ConnectCommand(ui_.SpeedButtonRdmRead, "Read", [&page] { page.Read(); });
  connect(ui_.SpeedButtonRdmWrite, &QAbstractButton::clicked, this, [this, &bench, &page] {
    if (bench.RefusedWhileBusy("Write")) return shell_.DrainLog();
    // Taken from the panel now: the values shown go to the device the panel was read from.
    std::optional<workbench::PanelWrite> order;
    shell_.WithModels([&] { order = page.WriteOrder(); });
    shell_.DrainLog();
    if (!order || !shell_.ConfirmAddresses({{order->uid, order->address}})) return;
    shell_.RunCommand("Write", [&page, o = *order] { page.Write(o); });
  });
  connect(ui_.SpeedButtonReset, &QAbstractButton::clicked, this, [this, &bench, &page] {
    if (bench.RefusedWhileBusy("Reset")) return shell_.DrainLog();
    std::optional<rdm::Uid> device;
    std::string name;
    shell_.WithModels([&] {
      device = bench.Table().Selected;
      if (const workbench::DeviceRecord* d = device ? bench.Table().Find(*device) : nullptr) {
        name = "0x" + rdm::UidText12(d->Uid) + (d->Label.empty() ? "" : " (" + d->Label + ")");
      }
    });
    const bool chinese = shell_.CurrentLanguage() == "CHS";
    if (device && !shell_.AskYesNo(chinese ? "复位设备" : "Reset device",
                                   QString::fromStdString(name) +
                                       (chinese ? QString("：设备将重新启动，确定复位？")
                                                : QString(": the fixture restarts. Reset it?")))) {
      return;
    }
    shell_.RunCommand("Reset", [&page, device] { page.Reset(device); });
  });
  shell_.ConnectCommand(ui_.SpeedButton_B, "Identify", [&page] { page.ToggleIdentify(); });
  shell_.ConnectCommand(ui_.SpeedButton_A, "Lamp", [&page] { page.ToggleLamp(); });
  connect(ui_.SpeedButtonAddress, &QAbstractButton::clicked, this, [this, &bench, &page] {
    if (bench.RefusedWhileBusy("Batch addressing")) return shell_.DrainLog();
    // The devices and addresses are taken from the list as it shows now.
    workbench::BatchPlan plan;
    std::vector<workbench::AddressAssignment> targets;
    shell_.WithModels([&] {
      plan = page.PlanBatch();
      targets = workbench::BatchTargets(bench.Table(), plan);
    });
    if (!shell_.ConfirmAddresses(targets)) return;
    shell_.RunCommand("Batch addressing",
                      [&bench, plan, targets] { bench.List().BatchAddress(plan, targets); });
  });
  using Edit = workbench::RdmPageController::NumericEdit;
  const std::pair<QLineEdit*, Edit> numeric[] = {{ui_.EditAddr, Edit::Addr},
                                                 {ui_.EditChannel, Edit::Channel},
                                                 {ui_.EditStart, Edit::Start},
                                                 {ui_.EditEnd, Edit::End},
                                                 {ui_.EditStartAddress, Edit::StartAddress}};
  for (const auto& [edit, kind] : numeric) {
    connect(edit, &QLineEdit::textEdited, this,
            [this, &page, edit = edit, kind = kind](const QString& t) {
              std::string shown;
              shell_.WithModels([&] { shown = page.EditChange(kind, t.toStdString()); });
              if (QString::fromStdString(shown) != edit->text()) {
                edit->setText(QString::fromStdString(shown));
              }
              shell_.DrainLog();
            });
  }
  connect(ui_.Edit35, &QLineEdit::textEdited, this, [this, &page](const QString& t) {
    std::string shown;
    shell_.WithModels([&] { shown = page.RowNumberEdited(t.toStdString()); });
    ui_.Edit35->setText(QString::fromStdString(shown));
  });
  connect(ui_.Edit1, &QLineEdit::textEdited, this, [this, &bench](const QString& t) {
    shell_.WithModels([&] { bench.Panel().label = t.toStdString(); });
  });
  ui_.Edit1->setMaxLength(32);
  connect(ui_.UpDown1, &QScrollBar::actionTriggered, this, [this, &page](int action) {
    shell_.WithModels([&] {
      if (action == QAbstractSlider::SliderSingleStepSub) page.StepAddress(true);
      if (action == QAbstractSlider::SliderSingleStepAdd) page.StepAddress(false);
    });
    shell_.DrainLog();
    QTimer::singleShot(0, this, [this] { shell_.RefreshFromModels(); });
  });
  for (int k = 1; k <= 3; ++k) {
    connect(ui_.CheckBoxes()[static_cast<size_t>(k - 1)], &QCheckBox::clicked, this,
            [this, &bench, k](bool on) {
              shell_.WithModels([&] {
                bool* box[] = {&bench.Panel().panInvert, &bench.Panel().tiltInvert,
                               &bench.Panel().panTiltSwap};
                *box[k - 1] = on;
              });
            });
  }
  connect(ui_.ComboBoxMode, &QComboBox::activated, this, [this, &bench](int index) {
    shell_.WithModels([&] { bench.Panel().personalities.itemIndex = index; });
  });
  connect(ui_.ComboBoxChannelMode, &QComboBox::activated, this, [this, &page](int index) {
    shell_.WithModels([&] { page.batchPersonalities.itemIndex = index; });
  });
  connect(ui_.CheckBoxChannel, &QCheckBox::toggled, this, [this, &page](bool on) {
    shell_.WithModels([&] { page.personalityForAll = on; });
    ui_.ComboBoxChannelMode->setEnabled(on);
  });
  connect(ui_.ComboBoxRDM, &QComboBox::currentIndexChanged, this, [this](int index) {
    core_.Link().SetResponseTimeout(link::ResponseTimeoutOfItem(index));
  });
}

// Called with the models held.
void RdmPageBinding::Refresh(const workbench::DeviceListView& view) {
  workbench::Workbench& bench = core_.Bench();
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
  SetText(ui_.LabelPanelDevice, workbench::PanelDeviceText(p, shell_.CurrentLanguage() == "CHS"));
  ShowDiscoveryStatus();

  SetText(ui_.EditStartAddress, page.startAddressText);
  SetText(ui_.EditStart, page.firstFixtureText);
  SetText(ui_.EditChannel, page.incrementText);
}

// The discovery line, in the window's language, once a search has begun. Models held.
void RdmPageBinding::ShowDiscoveryStatus() {
  const workbench::DiscoveryStatus& status = core_.Bench().Discover().LastStatus();
  if (!status.running && status.branches == 0) return;
  SetText(ui_.LabelDiscovery,
          workbench::DiscoveryStatusText(status, shell_.CurrentLanguage() == "CHS"));
}

}  // namespace velquor::app
