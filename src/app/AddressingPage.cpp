// The visual addressing window (Form2): the rig's blocks on a map of the universe, dragged
// to free addresses while the selected fixture identifies itself, written in one action;
// twelve faders of its own over the output universe; the plan file.

#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>

#include "app/PageBindings.h"
#include "app/Windows.h"

namespace velquor::app {

AddressingBinding::AddressingBinding(PageShell& shell, core::Core& core, const form1::Controls& ui,
                                     AddressingWindow& form2)
    : PageBinding(shell, core, ui), form2_(form2) {
  form2::Controls& f = form2_.Ui();
  workbench::AddressingController& a = core_.Bench().Addressing();
  connect(ui_.SpeedButtonRdm, &QAbstractButton::clicked, this, [this] { SpeedButtonRdmClick(); });

  MapSurface* map = form2_.Map();
  map->paint = [this, map, &a](QPainter& painter) {
    std::array<workbench::CellFill, 512> fills{};
    std::vector<MapTag> tags;
    int w = 18, h = 18;
    shell_.WithModels([&] {
      a.FitCells(map->width(), map->height());
      fills = a.Fill();
      w = a.Map().cellWidth;
      h = a.Map().cellHeight;
      tags = MapTagsOf(core_.Bench().Table(), a.Selected(), a.Map().cursor);
    });
    PaintAddressMap(painter, fills, w, h, tags);
    form2_.Ui().LabelAddr->setText(QString::fromStdString(a.AddressText()));
  };
  map->pressed = [this, map, &a](int x, int y) {
    bool picked = false;
    shell_.WithModels([&] { picked = a.Press(x, y); });
    shell_.DrainLog();
    if (!picked) return;
    QSignalBlocker block(form2_.Ui().ListView1);
    form2_.Ui().ListView1->selectRow(a.Selected());
    ShowSelectedDevice();
    map->update();
    RequestIdentifyPass();
  };
  map->moved = [this, map, &a](int x, int y, bool left) {
    bool repaint = false;
    shell_.WithModels([&] { repaint = a.Drag(x, y, left); });
    if (!repaint) return;  // one repaint, and one identify pass, per cell entered
    map->update();
    RequestIdentifyPass();
  };
  map->released = [this, map, &a] {
    shell_.WithModels([&] { a.Release(); });
    RefreshAddressingList();
    map->update();
  };
  auto pick = [this, map, &a](int row) {
    shell_.WithModels([&] { a.Select(row); });
    ShowSelectedDevice();
    map->update();
    RequestIdentifyPass();
  };
  connect(f.ListView1, &QTableWidget::cellClicked, this, [pick](int row, int) { pick(row); });
  // The arrow keys move the selection as a click does (ListView1Change).
  connect(f.ListView1, &QTableWidget::currentCellChanged, this,
          [this, pick, &a](int row, int, int, int) {
            int selected = -1;
            shell_.WithModels([&] { selected = a.Selected(); });
            if (row >= 0 && row != selected) pick(row);
          });
  connect(f.ScrollBarDMX, &QScrollBar::valueChanged, this, [this] { ScrollBarDMXChange2(); });
  for (size_t k = 0; k < 12; ++k) {
    connect(f.ScrollBars()[k], &QScrollBar::valueChanged, this, [this, k](int position) {
      const int level = 255 - position;
      const size_t slot = static_cast<size_t>(form2_.Ui().ScrollBarDMX->value()) + k;
      core_.Universe().Store(slot, static_cast<uint8_t>(level));  // the tick sends it
      form2_.Ui().Label_Ds()[k]->setText(QString::number(level));
    });
  }
  connect(f.SpeedButtonclear, &QAbstractButton::clicked, this, [this] {
    core_.Universe().EditSlots(
        [](std::span<uint8_t, dmx::kSlots> s) { std::fill(s.begin(), s.end(), 0); });
    SetAddressingFaders();
  });
  connect(f.SpeedButton1, &QAbstractButton::clicked, this, [this] {
    core_.Universe().EditSlots(
        [](std::span<uint8_t, dmx::kSlots> s) { std::fill(s.begin(), s.end(), 255); });
    SetAddressingFaders();
  });
  connect(f.SpeedButton2, &QAbstractButton::clicked, this, [this, &a] {
    const bool odd = a.ToggleOddEven() == "Odd";
    const bool chinese = shell_.CurrentLanguage() == "CHS";
    form2_.Ui().SpeedButton2->setText(odd ? (chinese ? "单数" : "Odd")
                                          : (chinese ? "双数" : "Even"));
    const int phase = a.OddEvenPhase();
    core_.Universe().EditSlots([phase](std::span<uint8_t, dmx::kSlots> s) {
      for (size_t j = 0; j < s.size(); ++j) s[j] = static_cast<int>(j % 2) == phase ? 0 : 255;
    });
    SetAddressingFaders();
  });
  connect(f.SpeedButton4, &QAbstractButton::clicked, this, [this, &a] {
    QString path = shell_.SaveFile("DMXLINK (*.DMXLINK)", "PATCH.DMXLINK");
    if (path.isEmpty()) return;
    if (!path.endsWith(".DMXLINK", Qt::CaseInsensitive)) path += ".DMXLINK";
    shell_.WithModels([&] { a.SavePlan(path.toStdString()); });
    shell_.DrainLog();
  });
  connect(f.SpeedButton5, &QAbstractButton::clicked, this, [this, map, &a] {
    const QString path = shell_.OpenFile("DMXLINK (*.DMXLINK)");
    if (path.isEmpty()) return;
    shell_.WithModels([&] { a.LoadPlan(path.toStdString()); });
    RefreshAddressingList();
    shell_.RefreshFromModels();
    shell_.DrainLog();
    map->update();
    RequestIdentifyPass();
  });
  connect(f.SpeedButton6, &QAbstractButton::clicked, this, [this, &a] {
    if (core_.Bench().RefusedWhileBusy("write")) return shell_.DrainLog();
    // Every device gets the address its block shows on the map now.
    std::vector<workbench::AddressAssignment> targets;
    shell_.WithModels([&] { targets = a.WriteOrder(); });
    if (!shell_.ConfirmAddresses(targets)) return;
    shell_.RunCommand(
        "write", [&a, targets] { a.WriteAll(targets); },
        [this] {
          RefreshAddressingList();
          form2_.Map()->update();
        });
  });
  connect(f.SpeedButton7, &QAbstractButton::clicked, this, [this, &a] {
    // A pass still waiting for the line would identify the selection again afterwards.
    if (shell_.RunCommand("Cancel all", [&a] { a.CancelAll(); })) ++identifyPassesCancelled_;
  });
  ScrollBarDMXChange2();
  SetAddressingFaders();
}

void AddressingBinding::SpeedButtonRdmClick() {
  workbench::AddressingController& a = core_.Bench().Addressing();
  shell_.RunCommand(
      "RDM visual addressing", [&a] { a.Open(); },
      [this] {
        RefreshAddressingList();
        form2_.show();
        form2_.raise();
        form2_.Map()->update();
      },
      false);
}

void AddressingBinding::RefreshAddressingList() {
  QTableWidget* list = form2_.Ui().ListView1;
  const workbench::AddressingController& a = core_.Bench().Addressing();
  QSignalBlocker block(list);
  std::vector<workbench::AddressingController::Row> rows;
  int selected = -1;
  shell_.WithModels([&] {
    rows = a.Rows();
    selected = a.Selected();
  });
  list->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const auto& row = rows[static_cast<size_t>(r)];
    int c = 0;
    for (const std::string* text : {&row.number, &row.address, &row.channels, &row.label}) {
      list->setItem(r, c++, new QTableWidgetItem(QString::fromStdString(*text)));
    }
  }
  if (selected >= 0) {
    list->selectRow(selected);
  } else {
    list->clearSelection();
  }
}

void AddressingBinding::ShowSelectedDevice() {
  const workbench::AddressingController& a = core_.Bench().Addressing();
  std::optional<uint16_t> start;
  std::string uid;
  shell_.WithModels([&] {
    start = a.SelectedStart();
    uid = a.UidText();
  });
  if (!start) return;
  form2_.Ui().LabelUID->setText(QString::fromStdString(uid));
  form2_.Ui().ScrollBarDMX->setValue(std::min<int>(*start, 500));
  ScrollBarDMXChange2();
}

void AddressingBinding::ScrollBarDMXChange2() {
  form2::Controls& f = form2_.Ui();
  const int offset = f.ScrollBarDMX->value();
  for (size_t k = 0; k < 12; ++k) {
    f.Label_Cs()[k]->setText(QString::number(offset + static_cast<int>(k) + 1));
  }
  SetAddressingFaders();
}

void AddressingBinding::SetAddressingFaders() {
  form2::Controls& f = form2_.Ui();
  const int offset = f.ScrollBarDMX->value();
  for (size_t k = 0; k < 12; ++k) {
    const uint8_t level = core_.Universe().At(static_cast<size_t>(offset) + k);
    QSignalBlocker block(f.ScrollBars()[k]);
    f.ScrollBars()[k]->setValue(255 - level);
    f.Label_Ds()[k]->setText(QString::number(level));
  }
}

void AddressingBinding::RequestIdentifyPass() {
  // One pass at a time: a drag across many cells asks again while a pass runs, and gets one
  // more pass with the selection as it is then, never a queue of them.
  workbench::Workbench& bench = core_.Bench();
  if (bench.Executor().CommandActive()) {
    if (!identifyPassWanted_) {
      identifyPassWanted_ = true;
      QTimer::singleShot(100, this, [this, cancelled = identifyPassesCancelled_] {
        identifyPassWanted_ = false;
        if (!shell_.Closed() && cancelled == identifyPassesCancelled_) RequestIdentifyPass();
      });
    }
    return;
  }
  workbench::AddressingController& a = bench.Addressing();
  bench.StartCommand(
      "Identify pass", [&a] { a.IdentifyPass(); },
      [this] {
        QMetaObject::invokeMethod(
            this, [this] { shell_.RefreshFromModels(); }, Qt::QueuedConnection);
      });
}

}  // namespace velquor::app
