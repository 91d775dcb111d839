// The device list beside the pages (ListViewUID): its rows from the models, a click that reads
// the device on the RDM page and only selects it elsewhere, and the list's own buttons.

#include <QAbstractButton>
#include <QDateTime>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/PageBindings.h"
#include "app/ReportFile.h"
#include "workbench/PatchReport.h"

namespace velquor::app {

DeviceListBinding::DeviceListBinding(PageShell& shell, core::Core& core, const form1::Controls& ui,
                                     QTabWidget& pages)
    : PageBinding(shell, core, ui), pages_(pages) {
  workbench::Workbench& bench = core_.Bench();
  workbench::DeviceListController& list = bench.List();
  // The list's own buttons let DMX go on; they only ask the selected device again.
  shell_.ConnectCommand(
      ui_.SpeedButtonSort, "Sort", [&list] { list.SortByFixtureNumber(); }, false);
  shell_.ConnectCommand(
      ui_.SpeedButtonUp, "Up", [&list] { list.MoveSelectedUp(); }, false);
  shell_.ConnectCommand(
      ui_.SpeedButtonDown, "Down", [&list] { list.MoveSelectedDown(); }, false);
  connect(ui_.SpeedButton2, &QAbstractButton::clicked, this, [this, &list] {
    // devnames.lst holds the labels typed for the rig: asked before it goes.
    const bool chinese = shell_.CurrentLanguage() == "CHS";
    if (!shell_.AskYesNo(chinese ? "清空列表" : "Clear list",
                         chinese ? "清空设备列表并删除 devnames.lst（含设备标签）？"
                                 : "Clear the device list and delete devnames.lst with its "
                                   "labels?")) {
      return;
    }
    shell_.RunCommand(
        "Clear", [&list] { list.ClearDeviceList(); }, {}, false);
  });
  connect(ui_.MaskEdit_SNUM, &QLineEdit::textEdited, this, [this, &list](const QString& text) {
    shell_.RunCommand(
        "Fixture number", [&list, text] { list.SetFixtureNumber(text.toStdString()); }, {}, false);
  });
  connect(ui_.SpeedButtonExport, &QAbstractButton::clicked, this,
          [this] { SpeedButtonExportClick(); });
  connect(ui_.ListViewUID, &QTableWidget::cellClicked, this,
          [this](int row, int) { ListViewUIDClick(row); });
  // The arrow keys pick a fixture as a click does, so the panel follows the highlight.
  connect(ui_.ListViewUID, &QTableWidget::currentCellChanged, this,
          [this, &bench](int row, int, int, int) {
            int selected = -1;
            shell_.WithModels([&] { selected = bench.Table().SelectedRow(); });
            if (row >= 0 && row != selected) ListViewUIDClick(row);
          });
}

void DeviceListBinding::ListViewUIDClick(int row) {
  workbench::Workbench& bench = core_.Bench();
  if (pages_.currentIndex() == 0) {
    // A click reads the device: not while another command works on the table.
    if (bench.RefusedWhileBusy("Read")) {
      shell_.DrainLog();
      return;
    }
    // The device is taken at the click: the read and identify go to it, whatever is
    // selected by the time the command runs.
    std::optional<rdm::Uid> clicked;
    shell_.WithModels([&] { clicked = bench.RdmPage().SelectClickedRow(row); });
    if (clicked) {
      shell_.RunCommand("Read",
                        [&bench, uid = *clicked] { bench.RdmPage().ReadClickedDevice(uid); });
    }
  } else {
    shell_.WithModels([&] {
      bench.RdmPage().SelectRowOnOtherPage(row);
      if (pages_.currentIndex() == 1) bench.PatchPage().RowClicked(row);
    });
    if (pages_.currentIndex() == 1) ui_.PaintBox1->update();
  }
  shell_.RefreshFromModels();
}

void DeviceListBinding::SpeedButtonExportClick() {
  const bool chinese = shell_.CurrentLanguage() == "CHS";
  QString path =
      shell_.SaveFile(chinese ? "配接报告 PDF (*.pdf);;HTML (*.html *.htm);;CSV (*.csv)"
                              : "Patch report PDF (*.pdf);;HTML (*.html *.htm);;CSV (*.csv)",
                      "patch-report.pdf");
  if (path.isEmpty()) return;
  if (!workbench::ReportFormatOf(path.toStdString())) path += ".pdf";
  // What the list holds now, without asking the line: a command in hand is not disturbed.
  workbench::PatchReport report;
  shell_.WithModels([&] { report = workbench::BuildPatchReport(core_.Bench().Table()); });
  const std::string target = path.toStdString();
  const std::string when = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm").toStdString();
  std::string error;
  if (app::WritePatchReport(report,
                            workbench::ReportTextsFor(shell_.CurrentLanguage().toStdString()), when,
                            target, error)) {
    shell_.Log("Patch report written: " + target + " (" + std::to_string(report.rows.size()) +
               " fixtures, " + std::to_string(report.overlapping) + " overlapping)");
  } else {
    shell_.Log("Unable to write " + target + ": " + error);
    shell_.ShowError(QString::fromStdString("Unable to write " + target + ": " + error));
  }
  shell_.DrainLog();
}

// Called with the models held.
void DeviceListBinding::Refresh(const workbench::DeviceListView& view) {
  auto* list = ui_.ListViewUID;
  // The list follows the models here: its own signals are for the user's moves.
  QSignalBlocker blockList(list);
  if (list->columnCount() != static_cast<int>(view.columns.size())) {
    list->setColumnCount(static_cast<int>(view.columns.size()));
    QStringList headers;
    for (size_t c = 0; c < view.columns.size(); ++c) {
      headers << QString::fromStdString(view.columns[c].caption);
      list->setColumnWidth(static_cast<int>(c), view.columns[c].width);
    }
    list->setHorizontalHeaderLabels(headers);
  }
  list->setRowCount(static_cast<int>(view.rows.size()));
  for (size_t r = 0; r < view.rows.size(); ++r) {
    for (int c = 0; c < list->columnCount() && c < 11; ++c) {
      const QString text = QString::fromStdString(view.rows[r][static_cast<size_t>(c)]);
      QTableWidgetItem* item = list->item(static_cast<int>(r), c);
      if (!item) {
        list->setItem(static_cast<int>(r), c, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
    }
  }
  if (view.selected >= 0 && list->currentRow() != view.selected) list->selectRow(view.selected);
}

}  // namespace velquor::app
