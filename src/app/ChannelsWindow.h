#pragma once
// The "Channels…" window of the RDM page: what each channel of the panel's fixture does
// (the fixture read last, named by the panel's UID, not the selected row). The same names
// label the DMX page's faders that cover the fixture's slots.

#include <optional>
#include <string>

#include "app/PageBindings.h"
#include "workbench/Slots.h"

class QDialog;
class QLabel;
class QTableWidget;
class QWidget;

namespace velquor::app {

class ChannelsBinding : public PageBinding {
 public:
  ChannelsBinding(PageShell& shell, core::Core& core, const form1::Controls& ui, QWidget& window,
                  DeskPageBinding& desk);
  // Takes the panel's channels when they changed; models held.
  void Refresh();

 private:
  void Fill();

  DeskPageBinding& desk_;
  QDialog* dialog_ = nullptr;  // "ChannelsWindow", a child of the main window
  QLabel* heading_ = nullptr;
  QTableWidget* table_ = nullptr;
  std::optional<rdm::Uid> device_;  // whose channels are shown
  workbench::ChannelLayout channels_;
  std::string language_;
};

}  // namespace velquor::app
