// The DMX page: twelve faders, the scene list and its buttons, bound to the scene desk.
// Nothing here waits for the RDM line: the desk works while discovery or a Read runs.

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

#include "app/PageBindings.h"
#include "app/WidgetUpdates.h"
#include "common/Files.h"

namespace velquor::app {

DeskPageBinding::DeskPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  dmx::SceneDesk& desk = core_.Desk();
  const auto faders = ui_.ScrollBars();
  for (int k = 0; k < dmx::kFaders; ++k) {
    connect(faders[static_cast<size_t>(k)], &QScrollBar::valueChanged, this,
            [this, &desk, k](int position) {
              const uint8_t level = desk.FaderMoved(k, position);
              ui_.Label_Ds()[static_cast<size_t>(k)]->setText(QString::number(level));
            });
  }
  connect(ui_.ScrollBarDMX, &QScrollBar::valueChanged, this, [this, &desk](int value) {
    faderOffset_ = value;
    desk.SetFaderOffset(value);
    RefreshFaderLabels();
    RefreshFaders();
  });
  connect(ui_.SpeedButton11, &QAbstractButton::clicked, this, [this, &desk] {
    desk.Clear();
    RefreshFaders();
    RefreshSceneList();
  });
  connect(ui_.SpeedButton_Add, &QAbstractButton::clicked, this, [this, &desk] {
    desk.Add(ui_.ComboBox_Fade->currentText().toStdString(),
             ui_.ComboBox_Hold->currentText().toStdString());
    shell_.DrainLog();
    RefreshSceneList();
  });
  connect(ui_.SpeedButton_Delete, &QAbstractButton::clicked, this, [this, &desk] {
    desk.DeleteLast();
    RefreshSceneList();
  });
  connect(ui_.SpeedButton18, &QAbstractButton::clicked, this, [this, &desk] {
    ui_.SpeedButton18->setText(
        QString::fromStdString(desk.RunStop(ui_.SpeedButton18->text().toStdString())));
    core_.Tick().View().sceneRunning = desk.Running();
  });
  connect(ui_.SpeedButton_Show, &QAbstractButton::clicked, this, [this, &desk] {
    desk.Save(common::PathIn(core_.Options().workDir, "quendaris.show"));
    shell_.DrainLog();
  });
  connect(ui_.ListView1, &QTableWidget::cellClicked, this,
          [this](int row, int) { ListView1Click(row); });
  ui_.ListView1->installEventFilter(this);  // a key down or up in the list selects too
  for (auto [combo, fade] :
       {std::pair{ui_.ComboBox_Fade, true}, std::pair{ui_.ComboBox_Hold, false}}) {
    connect(combo, &QComboBox::editTextChanged, this, [this, &desk, fade = fade](const QString& t) {
      const bool changed =
          fade ? desk.FadeChanged(t.toStdString()) : desk.HoldChanged(t.toStdString());
      shell_.DrainLog();
      if (changed) RefreshSceneList();
    });
  }
  // A scene step (tick thread) asks for the page: one refresh on its way at a time.
  core_.SetDeskShown([this] {
    if (deskPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          deskPosted_ = false;
          const dmx::SceneDesk::StepView view = core_.Desk().TakeStepView();
          if (view.selectRow) {
            ui_.ListView1->selectRow(*view.selectRow);
            ui_.ListView1->setFocus();
          }
          if (view.refreshFaders) RefreshFaders();
        },
        Qt::QueuedConnection);
  });
}

bool DeskPageBinding::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_.ListView1 &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    // A key down or up in the scene list selects as a click does, after the list moved.
    QTimer::singleShot(0, this, [this] { ListView1Click(ui_.ListView1->currentRow()); });
  }
  return false;
}

void DeskPageBinding::ResetFaders() {
  faderOffset_ = ui_.ScrollBarDMX->value();
  RefreshFaderLabels();
  for (QScrollBar* fader : ui_.ScrollBars()) fader->setValue(255);
}

void DeskPageBinding::RefreshFaderLabels() {
  for (int k = 1; k <= 12; ++k) {
    const int slot = faderOffset_ + k - 1;
    QLabel* label = ui_.Label_Cs()[static_cast<size_t>(k - 1)];
    // The channel's name where the panel's fixture covers the slot, a size smaller than the
    // numbers and cut to the label's width (in full in the tooltip).
    const auto name = workbench::ChannelNameAt(channels_, slot + 1);
    const QString text = name ? QString::fromStdString(*name) : QString::number(slot + 1);
    QFont font = label->parentWidget()->font();
    if (name && font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 0.8);
    label->setFont(font);
    label->setText(QFontMetrics(font).elidedText(text, Qt::ElideRight, label->width()));
    label->setToolTip(name ? QString::number(slot + 1) + " " + text : QString());
    ui_.Label_Ds()[static_cast<size_t>(k - 1)]->setText(
        QString::number(core_.Universe().At(static_cast<size_t>(slot))));
  }
}

void DeskPageBinding::SetChannelNames(workbench::ChannelLayout channels) {
  channels_ = std::move(channels);
  RefreshFaderLabels();
}

void DeskPageBinding::ListView1Click(int row) {
  dmx::SceneDesk& desk = core_.Desk();
  const auto times = desk.SelectScene(row);
  shell_.DrainLog();
  if (!times) return;
  for (auto [combo, ms] :
       {std::pair{ui_.ComboBox_Fade, times->first}, std::pair{ui_.ComboBox_Hold, times->second}}) {
    QSignalBlocker block(combo);  // the same values: nothing to store again
    combo->setEditText(QString::number(ms));
  }
  RefreshFaders();
}

void DeskPageBinding::RefreshFaders() {
  const auto faders = ui_.ScrollBars();
  for (int k = 0; k < dmx::kFaders; ++k) {
    QScrollBar* fader = faders[static_cast<size_t>(k)];
    const int position = core_.Desk().FaderPosition(k);
    {
      // Shown, not written back: a scene step may have moved on meanwhile.
      QSignalBlocker block(fader);
      fader->setValue(position);
    }
    ui_.Label_Ds()[static_cast<size_t>(k)]->setText(QString::number(255 - position));
  }
}

void DeskPageBinding::RefreshSceneList() {
  const std::vector<dmx::SceneRow> rows = core_.Desk().Rows();
  auto* list = ui_.ListView1;
  list->setRowCount(static_cast<int>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    const QString cells[] = {QString::fromStdString(rows[r].caption),
                             QString::number(rows[r].fadeMs), QString::number(rows[r].holdMs)};
    for (int c = 0; c < 3; ++c) {
      QTableWidgetItem* item = list->item(static_cast<int>(r), c);
      if (!item) {
        list->setItem(static_cast<int>(r), c, new QTableWidgetItem(cells[c]));
      } else if (item->text() != cells[c]) {
        item->setText(cells[c]);
      }
    }
  }
}

}  // namespace velquor::app
