// The raw RDM console and the radio channel page, bound to the workbench.

#include <QAbstractButton>
#include <QSignalBlocker>

#include "app/WidgetUpdates.h"
#include "app/Windows.h"

namespace velquor::app {

void MainWindow::WireConsolePages() {
  workbench::Workbench& bench = core_->Bench();
  workbench::ConsoleController& console = bench.ConsolePage();
  workbench::ConsoleModel& model = console.Model();
  auto choose = [this](QComboBox* box, int workbench::ConsoleModel::*field, auto& model) {
    connect(box, &QComboBox::activated, this,
            [this, &model, field](int index) { WithModels([&] { model.*field = index; }); });
  };
  choose(ui_.ComboBoxCommand, &workbench::ConsoleModel::ComboBoxCommand, model);
  choose(ui_.ComboBoxParameter, &workbench::ConsoleModel::ComboBoxParameter, model);
  choose(ui_.ComboBoxSubdevice, &workbench::ConsoleModel::ComboBoxSubdevice, model);
  choose(ui_.ComboBoxRdmCh, &workbench::ConsoleModel::ComboBoxRdmCh, model);
  connect(ui_.CheckBoxRdmAll, &QCheckBox::toggled, this,
          [this, &model](bool on) { WithModels([&] { model.CheckBoxRdmAll = on; }); });
  connect(ui_.EditRdmData, &QLineEdit::textEdited, this, [this, &console](const QString& t) {
    std::string shown;
    WithModels([&] { shown = console.EditRdmDataChange(t.toStdString()); });
    if (QString::fromStdString(shown) != ui_.EditRdmData->text()) {
      ui_.EditRdmData->setText(QString::fromStdString(shown));
    }
    DrainLog();
  });
  // The data list is the page's own: changed at once, even while a command runs.
  for (auto [button, change] :
       {std::pair{ui_.SpeedButtonAddrdm, &workbench::ConsoleController::SpeedButtonAddrdmClick},
        std::pair{ui_.SpeedButtonDelete, &workbench::ConsoleController::SpeedButtonDeleteClick}}) {
    connect(button, &QAbstractButton::clicked, this, [this, &console, change = change] {
      WithModels([&] { (console.*change)(); });
      DrainLog();
      RefreshFromModels();
    });
  }
  ConnectCommand(ui_.SpeedButtonSendRDM, "Send", [&console] { console.SpeedButtonSendRDMClick(); });
  connect(ui_.ListBox_RDM, &QListWidget::itemClicked, this,
          [this, &console](QListWidgetItem* item) {
            const int row = ui_.ListBox_RDM->row(item);
            RunCommand("Send", [&console, row] { console.ListBox_RDMClick(row); });
          });
  workbench::RadioController& radio = bench.RadioPage();
  ConnectCommand(ui_.SpeedButtonRead, "Radio read", [&radio] { radio.SpeedButtonReadClick(); });
  ConnectCommand(ui_.SpeedButton1, "Radio write", [&radio] { radio.SpeedButton1Click(); });
}

// Called with the models held.
void MainWindow::RefreshConsolePages() {
  workbench::Workbench& bench = core_->Bench();
  const workbench::ConsoleModel& console = bench.Console();
  SetText(ui_.EditRdmData, console.EditRdmData);
  if (ui_.ComboBoxRdmCh->currentIndex() != console.ComboBoxRdmCh) {
    ui_.ComboBoxRdmCh->setCurrentIndex(console.ComboBoxRdmCh);
  }
  auto* data = ui_.ValueListEditorRDM;
  data->setRowCount(static_cast<int>(console.Data.size()));
  for (size_t k = 0; k < console.Data.size(); ++k) {
    for (int c = 0; c < 2; ++c) {
      const QString text = c == 0 ? QString::number(k) : QString::fromStdString(console.Data[k]);
      auto* item = data->item(static_cast<int>(k), c);
      if (!item) {
        data->setItem(static_cast<int>(k), c, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
    }
  }
  auto* history = ui_.ListBox_RDM;
  for (size_t k = static_cast<size_t>(history->count()); k < console.History.size(); ++k) {
    history->addItem(QString::fromStdString(console.History[k]));
  }
}

}  // namespace velquor::app
