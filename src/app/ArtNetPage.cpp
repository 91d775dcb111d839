// The Art-Net page's bridge controls: the local address, the port-address edit and its
// arrows, "Signal testing", and the grid of the 512 levels.

#include <QScrollBar>
#include <QSignalBlocker>

#include "app/Language.h"
#include "app/PageBindings.h"
#include "common/Files.h"
#include "net/HostInterfaces.h"

namespace velquor::app {

ArtNetPageBinding::ArtNetPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  net::ArtNetBridge& bridge = core_.Bridge();
  connect(ui_.ComboBox_IP, &QComboBox::activated, this, [this](int index) {
    // The sockets stay where start-up put them; the poll reply names the new address.
    networkAddressIndex_ = index;
    core_.Bridge().SetAddressIndex(index);
    SaveNetworkAddressIndex();
  });
  connect(ui_.CheckBoxArtNet, &QCheckBox::toggled, this,
          [&bridge](bool on) { bridge.SetSignalTesting(on); });
  connect(ui_.Edit_Universe, &QLineEdit::textEdited, this,
          [this](const QString& text) { Edit_UniverseChange(text); });
  QScrollBar* arrows = ui_.UpDownUni;
  arrows->setRange(0, net::kMaxPortAddress);
  arrows->setValue(0);
  connect(arrows, &QScrollBar::actionTriggered, this, [this](int action) {
    if (action == QAbstractSlider::SliderSingleStepSub) UpDownUniClick(true);
    if (action == QAbstractSlider::SliderSingleStepAdd) UpDownUniClick(false);
  });
  connect(ui_.ComboBoxArtNet, &QComboBox::currentIndexChanged, this,
          [this](int index) { core_.Tick().View().artNetDirection = index; });
}

bool ArtNetPageBinding::SaveNetworkAddressIndex() {
  const std::string path = common::PathIn(core_.Options().programDir, "config.cfg");
  common::IniFile config =
      LoadProgramIni(core_.Options().programDir, "config.cfg").value_or(common::IniFile{});
  config.WriteString("General", "IP", std::to_string(networkAddressIndex_));
  std::string error;
  if (!config.Save(path, error)) {
    shell_.ShowError(QString("Unable to write to %1").arg(QString::fromStdString(path)));
    return false;
  }
  return true;
}

void ArtNetPageBinding::NetInit() {
  // The poll reply's names were set with the window's caption when the language was applied.
  net::ArtNetBridge& bridge = core_.Bridge();
  const bool receiving = bridge.NetInit(networkAddressIndex_);
  ui_.ComboBox_IP->clear();
  for (const net::HostAddress& a : bridge.Addresses()) {
    ui_.ComboBox_IP->addItem(QString::fromStdString(net::Ipv4Text(a.address)));
  }
  if (!bridge.Addresses().empty()) {
    networkAddressIndex_ = bridge.AddressIndex();
    ui_.ComboBox_IP->setCurrentIndex(networkAddressIndex_);
  }
  if (receiving) bridge.StartReceiving();
}

void ArtNetPageBinding::Edit_UniverseChange(const QString& text) {
  const int value = net::PortAddressFromText(text.toStdString());
  core_.Bridge().SetPortAddress(value);
  shell_.Log("Universe:" + std::to_string(value));
  const QString shown = QString::number(value);
  if (ui_.Edit_Universe->text() != shown) ui_.Edit_Universe->setText(shown);
  QSignalBlocker block(ui_.UpDownUni);
  ui_.UpDownUni->setValue(value);
}

void ArtNetPageBinding::UpDownUniClick(bool up) {
  const int value = net::PortAddressFromText(ui_.Edit_Universe->text().toStdString());
  const int next = std::clamp(value + (up ? 1 : -1), 0, net::kMaxPortAddress);
  ui_.Edit_Universe->setText(QString::number(next));
  Edit_UniverseChange(ui_.Edit_Universe->text());
}

void ArtNetPageBinding::Timer1Turn() {
  updateScreenTurn_ = !updateScreenTurn_;
  if (updateScreenTurn_) UpdateScreen();
}

void ArtNetPageBinding::UpdateScreen() {
  const dmx::OutputUniverse::Bytes levels = core_.Universe().Snapshot();
  QTableWidget* grid = ui_.StringGrid;
  for (size_t i = 0; i < dmx::kSlots; ++i) {
    if (levels[i] == gridShadow_[i]) continue;  // unchanged cells are not written
    gridShadow_[i] = levels[i];
    if (QTableWidgetItem* cell =
            grid->item(static_cast<int>(i / 16) + 1, static_cast<int>(i % 16) + 1)) {
      cell->setText(QString::number(levels[i]));
    }
  }
}

}  // namespace velquor::app
