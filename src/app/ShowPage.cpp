// The show recorder and player on the Art-Net page: record the universe into a .dmx file,
// play one back, copy a frame range or one loop of it.

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <filesystem>

#include "app/PageBindings.h"
#include "common/Files.h"
#include "common/Text.h"

namespace velquor::app {

ShowPageBinding::ShowPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  connect(ui_.FileListBoxShow, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const auto frames =
        core_.Player().Select(common::PathIn(core_.Options().showDir, item->text().toStdString()));
    if (frames) {
      ui_.Edit_Start->setText("0");
      ui_.Edit_Stop->setText(QString::number(*frames));
    }
    shell_.DrainLog();
  });
  connect(ui_.BtnRecord, &QAbstractButton::clicked, this, [this, &core] {
    const std::string name = ui_.EditShowName->text().toStdString();
    if (name.empty() || ui_.ShowState->text() == "Start") return;
    const std::string path = common::PathIn(core.Options().showDir, name + ".dmx");
    const bool chinese = shell_.CurrentLanguage() == "CHS";
    if (common::PathExists(path) &&
        !shell_.AskYesNo(
            chinese ? "录制" : "Record",
            QString::fromStdString(name) +
                (chinese ? ".dmx 已存在，覆盖它？" : ".dmx exists: record over it?"))) {
      return;
    }
    if (!core.Recorder().Start(path)) {
      core.Log().Add("Unable to write " + path);
      shell_.DrainLog();
      return;
    }
    ui_.ShowState->setText("Start");
    core.Log().Add("Start");
    SetShowButtons(false, true, ui_.BtnPlay->isEnabled(), false);
    shell_.DrainLog();
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
    if (!common::FileExists(path)) return;
    // A show being played stops before its file goes.
    if (!ui_.BtnPlay->isEnabled()) {
      SetShowButtons(true, false, true, true);
      ui_.ShowState->setText("Finish");
    }
    if (common::RemoveFile(path, error)) {
      core.Player().Forget(path);
    } else {
      core.Log().Add("Unable to delete " + path + ": " + error);
    }
    RefreshShowList();
    shell_.DrainLog();
  });
  connect(ui_.BtnSaveFile, &QAbstractButton::clicked, this, [this] { StartCopy("S_", false); });
  connect(ui_.BtnLoop, &QAbstractButton::clicked, this, [this] { StartCopy("C_", true); });
  // The recorder's count and the player's position reach the page through the event loop.
  core.SetShowShown([this] {
    if (showPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          showPosted_ = false;
          if (core_.Recorder().Recording()) {
            ui_.ShowState->setText(QString::number(core_.ShowCount()));
          } else if (core_.Recorder().Failure() && !ui_.BtnRecord->isEnabled() &&
                     ui_.BtnPlay->isEnabled()) {
            // The recording ended by itself (a full disk): the page shows it stopped.
            SetShowButtons(true, false, true, true);
            ui_.ShowState->setText("Finish");
            RefreshShowList();
            shell_.DrainLog();
          }
          if (!ui_.BtnPlay->isEnabled()) {
            ui_.Edit_Start->setText(QString::number(core_.Player().Position()));
          }
        },
        Qt::QueuedConnection);
  });
  RefreshShowList();
}

ShowPageBinding::~ShowPageBinding() {
  FinishCopy();
}

void ShowPageBinding::FinishCopy() {
  if (copyWorker_.joinable()) copyWorker_.join();
}

void ShowPageBinding::StartCopy(const char* prefix, bool loop) {
  const std::string source = core_.Player().Selected();
  if (!common::FileExists(source)) return;
  if (copying_) {
    core_.Log().Add("A copy is being written: wait for it to end");
    shell_.DrainLog();
    return;
  }
  FinishCopy();
  const std::string target = common::PathIn(
      core_.Options().showDir, prefix + std::filesystem::path(source).filename().string());
  const bool chinese = shell_.CurrentLanguage() == "CHS";
  if (common::PathExists(target) &&
      !shell_.AskYesNo(chinese ? "复制" : "Copy",
                       QString::fromStdString(std::filesystem::path(target).filename().string()) +
                           (chinese ? " 已存在，替换它？" : " exists: replace it?"))) {
    return;
  }
  auto number = [](QLineEdit* edit) {
    return static_cast<int>(std::min<uint64_t>(
        common::ParseUnsigned("0" + edit->text().toStdString()).value_or(0), 0x7FFFFFFF));
  };
  const int first = number(ui_.Edit_Start), end = number(ui_.Edit_Stop);
  common::LogSink& log = core_.Log();
  copying_ = true;
  copyWorker_ = std::thread([this, &log, source, target, first, end, loop] {
    int tenths = 0;
    auto progress = [&log, &tenths](int done, int total) {
      const int now = total > 0 ? static_cast<int>(int64_t{done} * 10 / total) : 10;
      if (now > tenths && now < 10) log.Add("Copy " + std::to_string(now * 10) + "%");
      tenths = now;
    };
    const bool written = loop ? dmx::CopyShowLoop(source, target, log, progress)
                              : dmx::CopyShowRange(source, target, first, end, log, progress);
    if (!written) log.Add("Unable to copy " + source + " to " + target);
    copying_ = false;
    QMetaObject::invokeMethod(
        this,
        [this] {
          RefreshShowList();
          shell_.DrainLog();
        },
        Qt::QueuedConnection);
  });
}

void ShowPageBinding::SetShowButtons(bool record, bool stop, bool play, bool loop) {
  ui_.BtnRecord->setEnabled(record);
  ui_.BtnStop->setEnabled(stop);
  ui_.BtnPlay->setEnabled(play);
  ui_.BtnLoop->setEnabled(loop);
  // What the engine tick reads of them: a recording or a playback runs, a playback runs.
  core_.Tick().View().showRunning = stop;
  core_.Tick().View().playbackActive = !play;
}

void ShowPageBinding::EndRecording() {
  if (!core_.Recorder().Recording()) return;
  core_.Log().Add(ui_.EditShowName->text().toStdString() + ".dmx");
  if (const auto lost = core_.Recorder().Stop()) core_.Log().Add(*lost);
  RefreshShowList();
  shell_.DrainLog();
}

void ShowPageBinding::RefreshShowList() {
  ui_.FileListBoxShow->clear();
  std::error_code ec;
  QStringList names;
  for (const auto& entry : std::filesystem::directory_iterator(
           core_.Options().showDir.empty() ? "." : core_.Options().showDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && name.find(".dmx") != std::string::npos) {
      names << QString::fromStdString(name);
    }
  }
  names.sort();
  ui_.FileListBoxShow->addItems(names);
}

}  // namespace velquor::app
