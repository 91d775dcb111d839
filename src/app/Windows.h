#pragma once
// The two windows: the main window "Form1" and the visual addressing window "Form2". Both
// are built from the control table; the main window binds the workbench models to its
// controls and runs start-up and shutdown.

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

#include "app/ControlTable.h"
#include "app/Controls.h"
#include "core/Core.h"
#include "dmx/EngineTick.h"
#include "link/FirmwareImages.h"
#include "workbench/AddressMaps.h"

class QLabel;
class QMouseEvent;
class QPainter;
class QPaintEvent;
class QTabWidget;

namespace velquor::app {

// Creates the controls of `table` under `root` (page 0) or the pages of `pages`.
void BuildControls(QWidget* root, QTabWidget* pages, std::span<const ControlSpec> table);
// Shows a picture found in the working directory, else beside the program; a missing one
// leaves the control empty.
void LoadPicture(QLabel* label, const std::string& workDir, const std::string& programDir,
                 const char* file);
void CentreOnScreen(QWidget* window);

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

// Draws the 512 cells of an address map, `cellWidth` × `cellHeight` pixels each.
void PaintAddressMap(QPainter& painter, const std::array<workbench::CellFill, 512>& fills,
                     int cellWidth, int cellHeight);

class AddressingWindow : public QWidget {
  Q_OBJECT
 public:
  AddressingWindow(const std::string& programDir, std::function<void(const QString&)> showError,
                   std::function<void(const std::string&)> log);
  void ApplyLanguageAddressing();
  form2::Controls& Ui() { return ui_; }
  MapSurface* Map() const;

 private:
  std::string programDir_;
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

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(const core::CoreOptions& options, Dialogs dialogs, std::string& error);
  ~MainWindow() override;

  bool Ready() const { return core_ != nullptr; }
  core::Core& CoreRef() { return *core_; }
  AddressingWindow& Form2() { return *form2_; }

  const form1::Controls& Ui() const { return ui_; }

  // Start-up and shutdown.
  void FormCreate();
  void FormShow();
  void StartUpTimerTimer();
  void Timer1Timer();
  bool FormCloseQuery();

  // Configuration and languages.
  void ApplyLanguageMain();
  void LoadStartupSettings();
  bool SaveNetworkAddressIndex();
  void Image_LClick();
  void RefreshFaderLabels();

  void PageControl1Change();

  // The Patch page's map.
  void Button6Click(bool rebuildList);  // and BitBtn4
  void Button7Click(bool rebuildList);  // and BitBtn5
  void Button8Click();                  // and BitBtn7
  void Button9Click();                  // and BitBtn6
  // The visual addressing window.
  void SpeedButtonRdmClick();
  void ShowSelectedDevice();
  void ScrollBarDMXChange2();
  void RequestIdentifyPass();

  // The IAP page: the firmware update and the image merge.
  void SpeedButtonOpenFileClick();
  void SpeedButtonIAPClick();
  void SpeedButtonOpenBinClick();
  void SpeedButtonSaveBinClick();
  const link::FirmwareImageStore& UpdateImages() const { return updateImages_; }

  // The Art-Net page's bridge.
  void NetInit();
  void Edit_UniverseChange(const QString& text);
  void UpDownUniClick(bool up);
  void UpdateScreen();
  void Label_quendarisClick();

  void SpeedButton6Click();
  bool CommandRunning() const { return commandRunning_; }

  QString CurrentLanguage() const { return currentLanguage_; }
  int NetworkAddressIndex() const { return networkAddressIndex_; }
  int TestMode() const { return testMode_; }
  int FaderOffset() const { return faderOffset_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Model → widgets. Skipped (and done again when the command ends) while a command holds
  // the models between two exchanges: the window never waits for the line.
  void RefreshFromModels();
  void DrainLog();
  // Runs a command on the line's executor; `after` follows on this thread when it has ended.
  // Refused with a log line while another command runs (the stop button always works).
  bool RunCommand(const std::string& name, std::function<void()> command,
                  std::function<void()> after = {}, bool holdsLine = true);
  void ConnectCommand(QAbstractButton* button, const std::string& name,
                      std::function<void()> command, bool holdsLine = true);
  // Changes the models from this thread (an edit typed, a box ticked).
  void WithModels(const std::function<void()>& change);
  // Before an address write: true when the writes are clean, or the user, shown every
  // fixture that would overlap another or run past 512, wants them sent anyway.
  bool ConfirmAddresses(const std::vector<workbench::AddressAssignment>& changes);
  // One binding per page: its signals, and its fields refreshed from the models.
  void WireRdmPage();
  void RefreshRdmPage(const workbench::DeviceListView& view);
  void ShowDiscoveryStatus();
  void WireConsolePages();
  void RefreshConsolePages();
  void WireDeskPage();
  void ListView1Click(int row);
  void RefreshFaders();
  void RefreshSceneList();
  void WireShowPage();
  void WireArtNetPage();
  void WireFirmwarePage();
  void WirePatchPage();
  void WireAddressingWindow();
  void RefreshAddressingList();
  void SetAddressingFaders();
  void SetShowButtons(bool record, bool stop, bool play, bool loop);
  void EndRecording();
  void RefreshShowList();
  void ShowConnectState();

  void Wire();
  void CommandEnded(const std::function<void()>& after);
  void MirrorPage();
  void MirrorIdentifyTargets();
  void ListViewUIDClick(int row);
  void ShowError(const QString& text);

  Dialogs dialogs_;
  std::unique_ptr<core::Core> core_;
  std::unique_ptr<AddressingWindow> form2_;
  QTabWidget* pages_ = nullptr;
  form1::Controls ui_;
  QTimer startUpTimer_;
  QTimer timer1_;
  QTimer logTimer_;
  bool shown_ = false;
  bool closed_ = false;
  bool commandRunning_ = false;
  std::atomic<bool> drainPosted_{false};   // a drain of the log is on its way to this thread
  std::atomic<bool> statusPosted_{false};  // a discovery status is on its way
  std::atomic<bool> deskPosted_{false};    // a scene step's refresh is on its way
  std::atomic<bool> showPosted_{false};    // a recorder or player refresh is on its way

  bool identifyPassWanted_ = false;        // a repaint asked for a pass while one could not run
  link::FirmwareImageStore updateImages_;  // buffers taken only when files are opened
  link::FirmwareImageStore mergeImages_;
  QString updateFileName_;                 // the last file chosen for the update (OpenDialog1)
  std::array<uint8_t, 512> gridShadow_{};  // the levels as the grid shows them
  bool updateScreenTurn_ = false;          // the grid is refreshed every second Timer1 event
  QString currentLanguage_ = "CHS";
  int networkAddressIndex_ = 0;
  int testMode_ = 0;
  int faderOffset_ = 0;
};

// What the engine tick does while the page at `tabIndex` shows.
dmx::OutputMode OutputModeOfPage(int tabIndex);

}  // namespace velquor::app
