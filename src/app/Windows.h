#pragma once
// The two windows: the main window "Form1" and the visual addressing window "Form2". Both
// are built from the control table; the main window binds the workbench models to its
// controls and runs start-up and shutdown.

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/ControlTable.h"
#include "app/Controls.h"
#include "app/Core.h"
#include "dmx/EngineTick.h"

class QTabWidget;

namespace velquor::app {

// Creates the controls of `table` under `root` (page 0) or the pages of `pages`.
void BuildControls(QWidget* root, QTabWidget* pages, std::span<const ControlSpec> table);

class AddressingWindow : public QWidget {
  Q_OBJECT
 public:
  AddressingWindow(const std::string& programDir, std::function<void(const QString&)> showError);
  void ApplyLanguageAddressing();

 private:
  std::string programDir_;
  std::function<void(const QString&)> showError_;
  form2::Controls ui_;
};

// Questions and messages, answered by the user or by a test.
struct Dialogs {
  std::function<bool(const QString& title, const QString& text)> askYesNo;
  std::function<void(const QString& text)> showError;
  std::function<void(const QString& url)> openUrl;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `core` is made by the window (it needs the window's UI pump).
  MainWindow(const CoreOptions& options, Dialogs dialogs, std::string& error);
  ~MainWindow() override;

  bool Ready() const { return core_ != nullptr; }
  Core& CoreRef() { return *core_; }
  AddressingWindow& Form2() { return *form2_; }

  const form1::Controls& Ui() const { return ui_; }

  // Start-up and shutdown.
  void FormCreate();
  void FormShow();
  void StartUpTimerTimer();
  bool FormCloseQuery();

  // Configuration and languages.
  void ApplyLanguageMain();
  void LoadStartupSettings();
  bool SaveNetworkAddressIndex();
  void Image_LClick();
  void RefreshFaderLabels();

  void PageControl1Change();
  void Label_quendarisClick();

  // Model → widgets.
  void RefreshFromModels();
  void DrainLog();
  // A button that runs a user command (one at a time; `mayNest` lets it run inside one).
  void ConnectCommand(QAbstractButton* button, std::function<void()> command, bool mayNest = false);
  // One binding per page: its signals, and its fields refreshed from the models.
  void WireRdmPage();
  void RefreshRdmPage();
  void WireConsolePages();
  void RefreshConsolePages();
  void ShowConnectState();

  QString CurrentLanguage() const { return currentLanguage_; }
  int NetworkAddressIndex() const { return networkAddressIndex_; }
  int TestMode() const { return testMode_; }
  int FaderOffset() const { return faderOffset_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Wire();
  void PumpUi();
  // Runs a user command. While one runs (its exchanges let UI events through), another is
  // dropped unless it may run inside it (the stop button), so no command works on a table
  // that a running one is rebuilding.
  void RunCommand(const std::function<void()>& command, bool mayNest = false);
  void MirrorPage();
  void MirrorIdentifyTargets();
  void ListViewUIDClick(int row);
  void ShowError(const QString& text);

  Dialogs dialogs_;
  std::unique_ptr<Core> core_;
  std::unique_ptr<AddressingWindow> form2_;
  QTabWidget* pages_ = nullptr;
  form1::Controls ui_;
  QTimer startUpTimer_;
  QTimer timer1_;
  QTimer logTimer_;
  bool shown_ = false;
  bool closing_ = false;
  bool closed_ = false;
  int pumpDepth_ = 0;
  int commandDepth_ = 0;
  std::atomic<bool> drainPosted_{false};  // a drain of the log is on its way to this thread

  QString currentLanguage_ = "CHS";
  int networkAddressIndex_ = 0;
  int testMode_ = 0;
  int faderOffset_ = 0;
};

// The page shown, as the engine tick knows it.
dmx::Page PageOf(int tabIndex);

}  // namespace velquor::app
