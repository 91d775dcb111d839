#pragma once
// One binding per page of the main window (and one for the visual addressing window): it
// wires the page's controls to its controller and refreshes the page's fields from the
// models. The handlers keep the names the controls are known by; a binding reaches the window only
// through `PageShell`.

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <thread>

#include "app/Controls.h"
#include "app/PageShell.h"
#include "core/Core.h"
#include "link/FirmwareImages.h"

class QTabWidget;

namespace velquor::app {

class AddressingWindow;

// What every binding holds: the window's services, the core and the main window's controls.
class PageBinding : public QObject {
 public:
  PageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
      : shell_(shell), core_(core), ui_(ui) {}

 protected:
  PageShell& shell_;
  core::Core& core_;
  const form1::Controls& ui_;
};

// The device list beside the pages (ListViewUID) and its buttons.
class DeviceListBinding : public PageBinding {
 public:
  DeviceListBinding(PageShell& shell, core::Core& core, const form1::Controls& ui,
                    QTabWidget& pages);
  void ListViewUIDClick(int row);
  // The patch report of the list as it stands, to the file chosen (its kind by extension).
  void SpeedButtonExportClick();
  void Refresh(const workbench::DeviceListView& view);  // models held

 private:
  QTabWidget& pages_;
};

// The RDM page: device panel, batch addressing, discovery.
class RdmPageBinding : public PageBinding {
 public:
  RdmPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  void Refresh(const workbench::DeviceListView& view);  // models held
  void ShowDiscoveryStatus();                           // models held
};

// The raw RDM console and the radio channel page.
class ConsolePagesBinding : public PageBinding {
 public:
  ConsolePagesBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  void Refresh();  // models held
};

// The DMX page: twelve faders and the scene list, bound to the scene desk.
class DeskPageBinding : public PageBinding {
 public:
  DeskPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  // Labels from the page position, bars at the top (at start-up).
  void ResetFaders();
  void ListView1Click(int row);
  void RefreshFaderLabels();
  void RefreshFaders();
  void RefreshSceneList();
  int FaderOffset() const { return faderOffset_; }
  // The panel's fixture's channels: faders on its slots are labelled with their names.
  void SetChannelNames(workbench::ChannelLayout channels);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int faderOffset_ = 0;
  workbench::ChannelLayout channels_;
  std::atomic<bool> deskPosted_{false};  // a scene step's refresh is on its way
};

// The show recorder and player on the Art-Net page.
class ShowPageBinding : public PageBinding {
 public:
  ShowPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  ~ShowPageBinding() override;
  // Waits for a copy in hand to be written whole (the window closes).
  void FinishCopy();

 private:
  void SetShowButtons(bool record, bool stop, bool play, bool loop);
  void EndRecording();
  void RefreshShowList();
  // A frame range ("S_") or one loop ("C_") of the selected show, copied on a worker so the
  // window stays live; progress goes to the log in tenths.
  void StartCopy(const char* prefix, bool loop);

  std::atomic<bool> showPosted_{false};  // a recorder or player refresh is on its way
  std::thread copyWorker_;
  std::atomic<bool> copying_{false};
};

// The Art-Net page's bridge: the local address, the port-address, "Signal testing", the grid.
class ArtNetPageBinding : public PageBinding {
 public:
  ArtNetPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  void NetInit();
  void Edit_UniverseChange(const QString& text);
  void UpDownUniClick(bool up);
  // sACN beside Art-Net: the protocol, its universe (1..63999) and priority (0..200), read
  // when an edit is left or Enter pressed; out-of-range numbers are brought into range.
  void ComboBoxProtocolChange(int index);
  void Edit_SacnUniverseChange();
  void Edit_SacnPriorityChange();
  // LabelSacnStatus; the status line on every page follows the chosen protocol.
  std::string SacnStatusText(bool chinese) const;
  bool SacnChosen() const;
  void UpdateScreen();
  // Timer1's idle turn while the page shows: the grid is refreshed every second one.
  void Timer1Turn();
  int NetworkAddressIndex() const { return networkAddressIndex_; }
  void SetNetworkAddressIndex(int index) { networkAddressIndex_ = index; }

 private:
  bool SaveNetworkAddressIndex();
  // The sACN node's direction from the protocol and ComboBoxArtNet: receive, send or neither.
  void ApplySacnDirection();

  int networkAddressIndex_ = 0;
  std::array<uint8_t, 512> gridShadow_{};  // the levels as the grid shows them
  bool updateScreenTurn_ = false;
};

// The IAP page: the firmware update and the image merge.
class FirmwarePageBinding : public PageBinding {
 public:
  FirmwarePageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  void SpeedButtonOpenFileClick();
  void SpeedButtonIAPClick();
  void SpeedButtonOpenBinClick();
  void SpeedButtonSaveBinClick();
  const link::FirmwareImageStore& UpdateImages() const { return updateImages_; }

 private:
  link::FirmwareImageStore updateImages_;  // buffers taken only when files are opened
  link::FirmwareImageStore mergeImages_;
  QString updateFileName_;  // the last file chosen for the update (OpenDialog1)
};

// The Patch page's map.
class PatchPageBinding : public PageBinding {
 public:
  PatchPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  // The page came to the front: an unread patch (the first record still at address 1) is read.
  void PageShown();
  void Button6Click(bool rebuildList);  // and BitBtn4
  void Button7Click(bool rebuildList);  // and BitBtn5
  void Button8Click();                  // and BitBtn7
  void Button9Click();                  // and BitBtn6
};

// The visual addressing window (Form2), opened by the RDM page's SpeedButtonRdm.
class AddressingBinding : public PageBinding {
 public:
  AddressingBinding(PageShell& shell, core::Core& core, const form1::Controls& ui,
                    AddressingWindow& form2);
  void SpeedButtonRdmClick();
  void ShowSelectedDevice();
  void ScrollBarDMXChange2();
  void RequestIdentifyPass();

 private:
  void RefreshAddressingList();
  void SetAddressingFaders();

  AddressingWindow& form2_;
  bool identifyPassWanted_ = false;  // a repaint asked for a pass while one could not run
  int identifyPassesCancelled_ = 0;  // Cancel all drops the pass that waits
};

}  // namespace velquor::app
