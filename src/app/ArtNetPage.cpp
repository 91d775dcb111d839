// The Art-Net page's bridge controls: the local address, the port-address edit and its
// arrows, "Signal testing", the grid of the 512 levels, and sACN's protocol, universe and
// priority.

#include <QScrollBar>
#include <QSignalBlocker>

#include "app/Language.h"
#include "app/PageBindings.h"
#include "common/Files.h"
#include "net/HostInterfaces.h"
#include "net/SacnNode.h"

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
  connect(ui_.ComboBoxArtNet, &QComboBox::currentIndexChanged, this, [this](int index) {
    core_.Tick().View().artNetDirection = index;
    ApplySacnDirection();
  });
  connect(ui_.ComboBoxProtocol, &QComboBox::currentIndexChanged, this,
          [this](int index) { ComboBoxProtocolChange(index); });
  connect(ui_.Edit_SacnUniverse, &QLineEdit::editingFinished, this,
          [this] { Edit_SacnUniverseChange(); });
  connect(ui_.Edit_SacnPriority, &QLineEdit::editingFinished, this,
          [this] { Edit_SacnPriorityChange(); });
}

bool ArtNetPageBinding::SacnChosen() const {
  return core_.Tick().View().networkProtocol.load() == dmx::NetworkProtocol::Sacn;
}

void ArtNetPageBinding::ApplySacnDirection() {
  net::SacnDirection direction = net::SacnDirection::Off;
  if (SacnChosen()) {
    direction =
        ui_.ComboBoxArtNet->currentIndex() == 0 ? net::SacnDirection::In : net::SacnDirection::Out;
  }
  core_.Sacn().SetDirection(direction);
}

void ArtNetPageBinding::ComboBoxProtocolChange(int index) {
  core_.Tick().View().networkProtocol =
      index == 1 ? dmx::NetworkProtocol::Sacn : dmx::NetworkProtocol::ArtNet;
  shell_.Log(index == 1 ? "Protocol: sACN" : "Protocol: Art-Net");
  ApplySacnDirection();
}

namespace {
// The number an edit's digits stand for, brought into lo..hi (an empty edit is lo).
int NumberIn(const QString& text, int lo, int hi) {
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok);
  if (!ok) return text.isEmpty() ? lo : hi;  // digits only: too many of them
  return static_cast<int>(std::clamp<qlonglong>(v, lo, hi));
}
}  // namespace

void ArtNetPageBinding::Edit_SacnUniverseChange() {
  const int value =
      NumberIn(ui_.Edit_SacnUniverse->text(), net::kSacnMinUniverse, net::kSacnMaxUniverse);
  ui_.Edit_SacnUniverse->setText(QString::number(value));
  if (value == core_.Sacn().Universe()) return;
  core_.Sacn().SetUniverse(value);
  shell_.Log("sACN universe:" + std::to_string(value));
}

void ArtNetPageBinding::Edit_SacnPriorityChange() {
  const int value = NumberIn(ui_.Edit_SacnPriority->text(), 0, net::kSacnMaxPriority);
  ui_.Edit_SacnPriority->setText(QString::number(value));
  core_.Sacn().SetPriority(value);
  shell_.Log("sACN priority:" + std::to_string(value));
}

std::string ArtNetPageBinding::SacnStatusText(bool chinese) const {
  return net::SacnStatusText(core_.Sacn().Status(), chinese);
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
  // sACN on the same chosen address, with the CID this computer keeps in config.cfg.
  if (!bridge.Addresses().empty()) {
    net::SacnNode& sacn = core_.Sacn();
    sacn.SetCid(core_.LoadOrMakeSacnCid());
    sacn.Open(bridge.Addresses()[static_cast<size_t>(bridge.AddressIndex())]);
    ApplySacnDirection();
  }
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
