// The DMX page: twelve faders, the scene list and its buttons, bound to the scene desk.
// Nothing here waits for the RDM line: the desk works while discovery or a Read runs.

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <filesystem>

#include "app/WidgetUpdates.h"
#include "app/Windows.h"
#include "common/Files.h"
#include "common/Text.h"

namespace velquor::app {

void MainWindow::WireDeskPage() {
  dmx::SceneDesk& desk = core_->Desk();
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
    DrainLog();
    RefreshSceneList();
  });
  connect(ui_.SpeedButton_Delete, &QAbstractButton::clicked, this, [this, &desk] {
    desk.DeleteLast();
    RefreshSceneList();
  });
  connect(ui_.SpeedButton18, &QAbstractButton::clicked, this, [this, &desk] {
    ui_.SpeedButton18->setText(
        QString::fromStdString(desk.RunStop(ui_.SpeedButton18->text().toStdString())));
    core_->Tick().View().sceneRunning = desk.Running();
  });
  connect(ui_.SpeedButton_Show, &QAbstractButton::clicked, this, [this, &desk] {
    desk.Save(common::PathIn(core_->Options().workDir, "quendaris.show"));
    DrainLog();
  });
  connect(ui_.ListView1, &QTableWidget::cellClicked, this,
          [this](int row, int) { ListView1Click(row); });
  ui_.ListView1->installEventFilter(this);  // a key down or up in the list selects too
  for (auto [combo, fade] :
       {std::pair{ui_.ComboBox_Fade, true}, std::pair{ui_.ComboBox_Hold, false}}) {
    connect(combo, &QComboBox::editTextChanged, this, [this, &desk, fade = fade](const QString& t) {
      const bool changed =
          fade ? desk.FadeChanged(t.toStdString()) : desk.HoldChanged(t.toStdString());
      DrainLog();
      if (changed) RefreshSceneList();
    });
  }
  // A scene step (tick thread) asks for the page: one refresh on its way at a time.
  core_->SetDeskShown([this] {
    if (deskPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          deskPosted_ = false;
          const dmx::SceneDesk::StepView view = core_->Desk().TakeStepView();
          if (view.selectRow) {
            ui_.ListView1->selectRow(*view.selectRow);
            ui_.ListView1->setFocus();
          }
          if (view.refreshFaders) RefreshFaders();
        },
        Qt::QueuedConnection);
  });
}

void MainWindow::ListView1Click(int row) {
  dmx::SceneDesk& desk = core_->Desk();
  const auto times = desk.SelectScene(row);
  DrainLog();
  if (!times) return;
  for (auto [combo, ms] :
       {std::pair{ui_.ComboBox_Fade, times->first}, std::pair{ui_.ComboBox_Hold, times->second}}) {
    QSignalBlocker block(combo);  // the same values: nothing to store again
    combo->setEditText(QString::number(ms));
  }
  RefreshFaders();
}

void MainWindow::RefreshFaders() {
  const auto faders = ui_.ScrollBars();
  for (int k = 0; k < dmx::kFaders; ++k) {
    QScrollBar* fader = faders[static_cast<size_t>(k)];
    const int position = core_->Desk().FaderPosition(k);
    {
      // Shown, not written back: a scene step may have moved on meanwhile.
      QSignalBlocker block(fader);
      fader->setValue(position);
    }
    ui_.Label_Ds()[static_cast<size_t>(k)]->setText(QString::number(255 - position));
  }
}

void MainWindow::RefreshSceneList() {
  const std::vector<dmx::SceneRow> rows = core_->Desk().Rows();
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

namespace velquor::app {

// ---------------------------------------------------------------- the show recorder (Art-Net page)

void MainWindow::WireShowPage() {
  core::Core& core = *core_;
  connect(ui_.FileListBoxShow, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const auto frames = core_->Player().Select(
        common::PathIn(core_->Options().workDir, item->text().toStdString()));
    if (frames) {
      ui_.Edit_Start->setText("0");
      ui_.Edit_Stop->setText(QString::number(*frames));
    }
    DrainLog();
  });
  connect(ui_.BtnRecord, &QAbstractButton::clicked, this, [this, &core] {
    const std::string name = ui_.EditShowName->text().toStdString();
    if (name.empty() || ui_.ShowState->text() == "Start") return;
    const std::string path = common::PathIn(core.Options().workDir, name + ".dmx");
    if (!core.Recorder().Start(path)) {
      core.Log().Add("Unable to write " + path);
      DrainLog();
      return;
    }
    ui_.ShowState->setText("Start");
    core.Log().Add("Start");
    SetShowButtons(false, true, ui_.BtnPlay->isEnabled(), false);
    DrainLog();
  });
  connect(ui_.BtnStop, &QAbstractButton::clicked, this, [this] {
    SetShowButtons(true, false, true, true);
    ui_.ShowState->setText("Finish");
    EndRecording();
  });
  connect(ui_.BtnPlay, &QAbstractButton::clicked, this, [this, &core] {
    if (!common::FileExists(core.Player().Selected())) return;
    // A recording in hand is closed first: its frames would otherwise keep growing the file.
    EndRecording();
    if (ui_.ShowState->text() == "Finish") {
      ui_.ShowState->setText("Play");
      SetShowButtons(false, true, false, false);
    } else {
      ui_.ShowState->setText("Finish");
      SetShowButtons(true, false, ui_.BtnPlay->isEnabled(), true);
    }
  });
  connect(ui_.BtnShowDelete, &QAbstractButton::clicked, this, [this, &core] {
    std::string error;
    const std::string path = core.Player().Selected();
    if (common::FileExists(path) && !common::RemoveFile(path, error)) {
      core.Log().Add("Unable to delete " + path + ": " + error);
    }
    RefreshShowList();
    DrainLog();
  });
  // Copies of the selected show: a frame range ("S_") and one loop ("C_").
  auto copyTarget = [this](const char* prefix) {
    const std::string source = core_->Player().Selected();
    return common::PathIn(core_->Options().workDir,
                          prefix + std::filesystem::path(source).filename().string());
  };
  connect(ui_.BtnSaveFile, &QAbstractButton::clicked, this, [this, &core, copyTarget] {
    const std::string source = core.Player().Selected();
    if (common::FileExists(source)) {
      auto number = [](QLineEdit* edit) {
        return static_cast<int>(std::min<uint64_t>(
            common::ParseUnsigned("0" + edit->text().toStdString()).value_or(0), 0x7FFFFFFF));
      };
      dmx::CopyShowRange(source, copyTarget("S_"), number(ui_.Edit_Start), number(ui_.Edit_Stop),
                         core.Universe(), core.Log());
      core.Player().Rewind();
    }
    RefreshShowList();
    DrainLog();
  });
  connect(ui_.BtnLoop, &QAbstractButton::clicked, this, [this, &core, copyTarget] {
    const std::string source = core.Player().Selected();
    if (common::FileExists(source)) {
      dmx::CopyShowLoop(source, copyTarget("C_"), core.Universe(), core.Log());
      core.Player().Rewind();
    }
    RefreshShowList();
    DrainLog();
  });
  // The recorder's count and the player's position reach the page through the event loop.
  core.SetShowShown([this] {
    if (showPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          showPosted_ = false;
          if (core_->Recorder().Recording()) {
            ui_.ShowState->setText(QString::number(core_->ShowCount()));
          }
          if (!ui_.BtnPlay->isEnabled()) {
            ui_.Edit_Start->setText(QString::number(core_->Player().Position()));
          }
        },
        Qt::QueuedConnection);
  });
  RefreshShowList();
}

void MainWindow::SetShowButtons(bool record, bool stop, bool play, bool loop) {
  ui_.BtnRecord->setEnabled(record);
  ui_.BtnStop->setEnabled(stop);
  ui_.BtnPlay->setEnabled(play);
  ui_.BtnLoop->setEnabled(loop);
  // What the engine tick reads of them: a recording or a playback runs, a playback runs.
  core_->Tick().View().showRunning = stop;
  core_->Tick().View().playbackActive = !play;
}

void MainWindow::EndRecording() {
  if (!core_->Recorder().Recording()) return;
  core_->Log().Add(ui_.EditShowName->text().toStdString() + ".dmx");
  core_->Recorder().Stop();
  RefreshShowList();
  DrainLog();
}

void MainWindow::RefreshShowList() {
  ui_.FileListBoxShow->clear();
  std::error_code ec;
  QStringList names;
  for (const auto& entry : std::filesystem::directory_iterator(
           core_->Options().workDir.empty() ? "." : core_->Options().workDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && name.find(".dmx") != std::string::npos) {
      names << QString::fromStdString(name);
    }
  }
  names.sort();
  ui_.FileListBoxShow->addItems(names);
}

}  // namespace velquor::app
