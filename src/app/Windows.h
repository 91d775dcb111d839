#pragma once
// The two windows: the main window "Form1" and the visual addressing window "Form2". Both
// are built from the control table; the main window runs start-up and shutdown and owns one
// binding per page, which ties the page's controls to the workbench models.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/ChannelsWindow.h"
#include "app/ControlTable.h"
#include "app/Controls.h"
#include "app/PageBindings.h"
#include "app/PageShell.h"
#include "app/SensorsView.h"
#include "core/Core.h"
#include "dmx/EngineTick.h"
#include "workbench/AddressMaps.h"

class QLabel;
class QMouseEvent;
class QPainter;
class QPaintEvent;
class QTabWidget;

namespace velquor::app {

// Creates the controls of `table` under `root` (page 0) or the pages of `pages`.
void BuildControls(QWidget* root, QTabWidget* pages, std::span<const ControlSpec> table);
// Shows a picture found in the working directory, else beside the program, else the one
// compiled into the program.
void LoadPicture(QLabel* label, const std::string& workDir, const std::string& programDir,
                 const char* file);
void CentreOnScreen(QWidget* window);
// Places `control` at its designed place in `table`, moved by (dx, dy) and grown by
// (dw, dh): the windows grow their lists and maps with the window.
void PlaceGrown(QWidget* control, std::span<const ControlSpec> table, int dx, int dw, int dy,
                int dh);

// A drawing surface (PaintBox1 of both windows): it paints through `paint` and hands the
// mouse to the page's model.
class MapSurface : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void(QPainter&)> paint;
  std::function<void(int x, int y)> pressed;
  std::function<void(int x, int y, bool leftHeld)> moved;
  std::function<void()> released;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A fixture's block on a map: where it starts, how many slots, and its name.
struct MapTag {
  int start = 0;
  int footprint = 0;
  QString text;
};
// The tags of the listed fixtures, the selected one at `cursor` (models held).
std::vector<MapTag> MapTagsOf(const workbench::DeviceTable& table, int selected, int cursor);
// Draws the 512 cells of an address map, `cellWidth` × `cellHeight` pixels each, and each
// fixture's label (or UID) and start address on its block.
void PaintAddressMap(QPainter& painter, const std::array<workbench::CellFill, 512>& fills,
                     int cellWidth, int cellHeight, const std::vector<MapTag>& tags);

class AddressingWindow : public QWidget {
  Q_OBJECT
 public:
  AddressingWindow(const std::string& programDir, const std::string& defaultsDir,
                   std::function<void(const QString&)> showError,
                   std::function<void(const std::string&)> log);
  void ApplyLanguageAddressing();
  form2::Controls& Ui() { return ui_; }
  MapSurface* Map() const;
  // Config.cfg's language unless set here ("CHS", "ENU").
  std::string languageOverride;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::string programDir_, defaultsDir_;
  std::function<void(const QString&)> showError_;
  std::function<void(const std::string&)> log_;
  form2::Controls ui_;
};

// Questions and messages, answered by the user or by a test.
struct Dialogs {
  std::function<bool(const QString& title, const QString& text)> askYesNo;
  std::function<void(const QString& text)> showError;
  std::function<void(const QString& url)> openUrl;
  // File choosers: `filter` as Qt writes it ("Patchfile (*.pat)"); empty: cancelled.
  std::function<QStringList(const QString& filter)> openFiles;
  std::function<QString(const QString& filter)> openFile;
  std::function<QString(const QString& filter, const QString& defaultName)> saveFile;
};

// The window as a shell: start-up, shutdown, running commands, the log pane, the questions
// and the language. Each page is a binding of its own (PageBindings.h) that reaches the
// window only through `PageShell`.
class MainWindow : public QMainWindow, public PageShell {
  Q_OBJECT
 public:
  MainWindow(const core::CoreOptions& options, Dialogs dialogs, std::string& error);
  ~MainWindow() override;

  bool Ready() const { return core_ != nullptr; }
  core::Core& CoreRef() { return *core_; }
  AddressingWindow& Form2() { return *form2_; }

  const form1::Controls& Ui() const { return ui_; }
  DeviceListBinding& DeviceList() { return *deviceList_; }
  RdmPageBinding& RdmPage() { return *rdmPage_; }
  ConsolePagesBinding& ConsolePages() { return *consolePages_; }
  DeskPageBinding& DeskPage() { return *deskPage_; }
  ShowPageBinding& ShowPage() { return *showPage_; }
  ArtNetPageBinding& ArtNetPage() { return *artNetPage_; }
  FirmwarePageBinding& FirmwarePage() { return *firmwarePage_; }
  PatchPageBinding& PatchPage() { return *patchPage_; }
  AddressingBinding& Addressing() { return *addressing_; }
  SensorsBinding& Sensors() { return *sensors_; }

  // Start-up and shutdown.
  void FormCreate();
  void FormShow();
  void StartUpTimerTimer();
  void Timer1Timer();
  bool FormCloseQuery();

  // Configuration and languages.
  void ApplyLanguageMain();
  void LoadStartupSettings();
  void Image_LClick();
  void Label_quendarisClick();
  // Shows the window in `code` ("CHS" or "ENU") without saving the choice.
  void UseLanguage(const QString& code);

  void PageControl1Change();

  void SpeedButton6Click();
  bool CommandRunning() const { return commandRunning_; }
  // The start-up load of the listed devices has not begun yet (its timer still runs).
  bool StartUpLoadPending() const { return startUpTimer_.isActive(); }
  int TestMode() const { return testMode_; }

  // PageShell.
  bool RunCommand(const std::string& name, std::function<void()> command,
                  std::function<void()> after = {}, bool holdsLine = true) override;
  void ConnectCommand(QAbstractButton* button, const std::string& name,
                      std::function<void()> command, bool holdsLine = true) override;
  void WithModels(const std::function<void()>& change) override;
  // Model → widgets. Skipped (and done again when the command ends) while a command holds
  // the models between two exchanges: the window never waits for the line.
  void RefreshFromModels() override;
  void DrainLog() override;
  void Log(const std::string& line) override;
  bool ConfirmAddresses(const std::vector<workbench::AddressAssignment>& changes) override;
  bool AskYesNo(const QString& title, const QString& text) override;
  void ShowError(const QString& text) override;
  QStringList OpenFiles(const QString& filter) override;
  QString OpenFile(const QString& filter) override;
  QString SaveFile(const QString& filter, const QString& defaultName) override;
  QString CurrentLanguage() const override { return currentLanguage_; }
  bool Closed() const override { return closed_; }
  // The status line on every page and the sACN line of the Art-Net page (once a second while
  // the window shows).
  void ShowArtNetStatus();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Wire();
  void CommandEnded(const std::function<void()>& after);
  void MirrorPage();
  void MirrorIdentifyTargets();
  void ShowConnectState();
  void ShowListTexts();
  // The list, the log and the pages take the room the window has beyond its design size.
  void LayOut();
  void SetTabOrder();

  Dialogs dialogs_;
  // The bindings are declared before the core: they go after it, so no thread of the core
  // calls into a binding that is gone.
  std::unique_ptr<DeviceListBinding> deviceList_;
  std::unique_ptr<RdmPageBinding> rdmPage_;
  std::unique_ptr<ConsolePagesBinding> consolePages_;
  std::unique_ptr<DeskPageBinding> deskPage_;
  std::unique_ptr<ShowPageBinding> showPage_;
  std::unique_ptr<ArtNetPageBinding> artNetPage_;
  std::unique_ptr<FirmwarePageBinding> firmwarePage_;
  std::unique_ptr<PatchPageBinding> patchPage_;
  std::unique_ptr<AddressingBinding> addressing_;
  std::unique_ptr<ChannelsBinding> channels_;
  std::unique_ptr<SensorsBinding> sensors_;
  std::unique_ptr<core::Core> core_;
  std::unique_ptr<AddressingWindow> form2_;
  QTabWidget* pages_ = nullptr;
  form1::Controls ui_;
  QTimer startUpTimer_;
  QTimer timer1_;
  QTimer logTimer_;
  QTimer statusTimer_;  // the Art-Net status line, once a second while the window shows
  QWidget* central_ = nullptr;
  std::string languageOverride_;
  bool shown_ = false;
  bool closed_ = false;
  bool linkAsked_ = false;  // the box has been looked for
  bool commandRunning_ = false;
  std::atomic<bool> drainPosted_{false};   // a drain of the log is on its way to this thread
  std::atomic<bool> statusPosted_{false};  // a discovery status is on its way
  QString currentLanguage_ = "CHS";
  int testMode_ = 0;
};

// What the engine tick does while the page at `tabIndex` shows.
dmx::OutputMode OutputModeOfPage(int tabIndex);

}  // namespace velquor::app
