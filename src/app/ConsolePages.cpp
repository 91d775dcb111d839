// The raw RDM console and the radio channel page, bound to the workbench.

#include <QAbstractButton>
#include <QSignalBlocker>

#include "app/WidgetUpdates.h"
#include "app/Windows.h"

namespace velquor::app {

void MainWindow::WireConsolePages() {
  workbench::Workbench& bench = core_->Bench();
  connect(ui_.ComboBoxCommand, &QComboBox::activated, this,
          [&bench](int index) { bench.Console().ComboBoxCommand = index; });
  connect(ui_.ComboBoxParameter, &QComboBox::activated, this,
          [&bench](int index) { bench.Console().ComboBoxParameter = index; });
  connect(ui_.ComboBoxSubdevice, &QComboBox::activated, this,
          [&bench](int index) { bench.Console().ComboBoxSubdevice = index; });
  connect(ui_.ComboBoxRdmCh, &QComboBox::activated, this,
          [&bench](int index) { bench.Console().ComboBoxRdmCh = index; });
  connect(ui_.CheckBoxRdmAll, &QCheckBox::toggled, this,
          [&bench](bool on) { bench.Console().CheckBoxRdmAll = on; });
  connect(ui_.EditRdmData, &QLineEdit::textEdited, this, [this, &bench](const QString& t) {
    const QString shown = QString::fromStdString(bench.EditRdmDataChange(t.toStdString()));
    if (shown != ui_.EditRdmData->text()) {
      ui_.EditRdmData->setText(shown);
    }
    DrainLog();
  });
  ConnectCommand(ui_.SpeedButtonAddrdm, [&bench] { bench.SpeedButtonAddrdmClick(); });
  ConnectCommand(ui_.SpeedButtonDelete, [&bench] { bench.SpeedButtonDeleteClick(); });
  ConnectCommand(ui_.SpeedButtonSendRDM, [&bench] { bench.SpeedButtonSendRDMClick(); });
  connect(ui_.ListBox_RDM, &QListWidget::itemClicked, this, [this, &bench](QListWidgetItem* item) {
    const int row = ui_.ListBox_RDM->row(item);
    RunCommand([&bench, row] { bench.ListBox_RDMClick(row); });
  });
  ConnectCommand(ui_.SpeedButtonRead, [&bench] { bench.SpeedButtonReadClick(); });
  ConnectCommand(ui_.SpeedButton1, [&bench] { bench.SpeedButton1Click(); });
}

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
