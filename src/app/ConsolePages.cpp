// The raw RDM console and the radio channel page, bound to the workbench.

#include <QAbstractButton>
#include <QSignalBlocker>

#include "app/PageBindings.h"
#include "app/WidgetUpdates.h"

namespace velquor::app {

ConsolePagesBinding::ConsolePagesBinding(PageShell& shell, core::Core& core,
                                         const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  workbench::Workbench& bench = core_.Bench();
  workbench::ConsoleController& console = bench.ConsolePage();
  workbench::ConsoleModel& model = console.Model();
  auto choose = [this](QComboBox* box, int workbench::ConsoleModel::*field, auto& model) {
    connect(box, &QComboBox::activated, this,
            [this, &model, field](int index) { shell_.WithModels([&] { model.*field = index; }); });
  };
  choose(ui_.ComboBoxCommand, &workbench::ConsoleModel::command, model);
  choose(ui_.ComboBoxParameter, &workbench::ConsoleModel::parameter, model);
  choose(ui_.ComboBoxSubdevice, &workbench::ConsoleModel::subDevice, model);
  choose(ui_.ComboBoxRdmCh, &workbench::ConsoleModel::radioChannel, model);
  connect(ui_.CheckBoxRdmAll, &QCheckBox::toggled, this,
          [this, &model](bool on) { shell_.WithModels([&] { model.broadcast = on; }); });
  connect(ui_.EditRdmData, &QLineEdit::textEdited, this, [this, &console](const QString& t) {
    std::string shown;
    shell_.WithModels([&] { shown = console.DataEdited(t.toStdString()); });
    if (QString::fromStdString(shown) != ui_.EditRdmData->text()) {
      ui_.EditRdmData->setText(QString::fromStdString(shown));
    }
    shell_.DrainLog();
  });
  // The data list is the page's own: changed at once, even while a command runs.
  for (auto [button, change] :
       {std::pair{ui_.SpeedButtonAddrdm, &workbench::ConsoleController::AddData},
        std::pair{ui_.SpeedButtonDelete, &workbench::ConsoleController::DeleteData}}) {
    connect(button, &QAbstractButton::clicked, this, [this, &console, change = change] {
      shell_.WithModels([&] { (console.*change)(); });
      shell_.DrainLog();
      shell_.RefreshFromModels();
    });
  }
  // The request is built from the controls as they stand at Send, not from a choice kept
  // apart from them.
  connect(ui_.SpeedButtonSendRDM, &QAbstractButton::clicked, this, [this, &console, &model] {
    workbench::ConsoleRequest request;
    request.commandIndex = ui_.ComboBoxCommand->currentIndex();
    request.parameterIndex = ui_.ComboBoxParameter->currentIndex();
    request.subDevice = ui_.ComboBoxSubdevice->currentIndex();
    request.broadcast = ui_.CheckBoxRdmAll->isChecked();
    shell_.WithModels([&] { request.data = model.data; });
    shell_.RunCommand("Send", [&console, request] { console.Send(request); });
  });
  connect(ui_.ListBox_RDM, &QListWidget::itemClicked, this,
          [this, &console](QListWidgetItem* item) {
            const int row = ui_.ListBox_RDM->row(item);
            const int parameter = ui_.ComboBoxParameter->currentIndex();
            const bool all = ui_.CheckBoxRdmAll->isChecked();
            shell_.RunCommand(
                "Send", [&console, row, parameter, all] { console.Resend(row, parameter, all); });
          });
  workbench::RadioController& radio = bench.RadioPage();
  shell_.ConnectCommand(ui_.SpeedButtonRead, "Radio read", [&radio] { radio.ShowChannel(); });
  shell_.ConnectCommand(ui_.SpeedButton1, "Radio write", [&radio] { radio.SendChannel(); });
}

// Called with the models held.
void ConsolePagesBinding::Refresh() {
  workbench::Workbench& bench = core_.Bench();
  const workbench::ConsoleModel& console = bench.Console();
  SetText(ui_.EditRdmData, console.dataText);
  const std::pair<QComboBox*, int> choices[] = {{ui_.ComboBoxRdmCh, console.radioChannel},
                                                {ui_.ComboBoxCommand, console.command},
                                                {ui_.ComboBoxParameter, console.parameter},
                                                {ui_.ComboBoxSubdevice, console.subDevice}};
  for (const auto& [box, index] : choices) {
    if (box->currentIndex() != index && index < box->count()) box->setCurrentIndex(index);
  }
  auto* data = ui_.ValueListEditorRDM;
  data->setRowCount(static_cast<int>(console.data.size()));
  for (size_t k = 0; k < console.data.size(); ++k) {
    for (int c = 0; c < 2; ++c) {
      const QString text = c == 0 ? QString::number(k) : QString::fromStdString(console.data[k]);
      auto* item = data->item(static_cast<int>(k), c);
      if (!item) {
        data->setItem(static_cast<int>(k), c, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
    }
  }
  auto* history = ui_.ListBox_RDM;
  for (size_t k = static_cast<size_t>(history->count()); k < console.history.size(); ++k) {
    history->addItem(QString::fromStdString(console.history[k]));
  }
}

}  // namespace velquor::app
