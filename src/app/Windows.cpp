#include "app/Windows.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <cstdlib>
#include <ctime>

#include "app/Language.h"
#include "app/WidgetUpdates.h"
#include "link/HidLayer.h"
#include "net/ArtNetBridge.h"
#include "rdm/KnownPids.h"

namespace velquor::app {

// ---------------------------------------------------------------- main window

MainWindow::MainWindow(const core::CoreOptions& options, Dialogs dialogs, std::string& error)
    : dialogs_(std::move(dialogs)) {
  setObjectName("Form1");
  setWindowTitle("VELQUOR PRO V2.0.1");
  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  central_ = central;
  setCentralWidget(central);
  // The design size, and a minimum that fits a 1366 x 768 laptop beside its title bar and panel.
  setMinimumSize(1280, 680);
  resize(1300, 723);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
  palette.setColor(QPalette::WindowText, QColor(0, 255, 0));
  setPalette(palette);
  setAutoFillBackground(true);

  pages_ = new QTabWidget(central);
  pages_->setObjectName("PageControl1");
  pages_->setGeometry(570, 40, 725, 645);
  for (const ControlSpec& s : kMainControls) {
    if (std::string(s.kind) != "TAB") continue;
    auto* page = new QWidget();
    page->setObjectName(s.name);
    pages_->addTab(page, QString::fromUtf8(s.caption));
  }
  // IAP stays hidden while its update does nothing (velquor-cli merges images); DMX-3D too.
  for (int hidden : {4, 5}) pages_->setTabVisible(hidden, false);
  BuildControls(central, pages_, kMainControls);
  ui_.Bind(*this);
  central->installEventFilter(this);
  SetTabOrder();
  // A day of identify refreshes logs a lot: the pane keeps the newest lines.
  ui_.LogMemo->setMaximumBlockCount(20000);

  // Both hooks are called on the line's executor: they post to this thread.
  workbench::WorkbenchHooks hooks;
  hooks.showRdmPage = [this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          // The patch page shows the same devices: a device command leaves it in place.
          if (pages_->currentIndex() != 0 && pages_->currentIndex() != 1) {
            pages_->setCurrentIndex(0);
          }
        },
        Qt::QueuedConnection);
  };
  hooks.discoveryProgress = [this](const workbench::DiscoveryStatus&) {
    if (statusPosted_.exchange(true)) return;  // one update on its way is enough
    QMetaObject::invokeMethod(
        this,
        [this] {
          statusPosted_ = false;
          // Between two exchanges the lock is the search's: the next report shows the line.
          std::unique_lock<workbench::ModelLock> lock(core_->Bench().Models(), std::try_to_lock);
          if (lock) rdmPage_->ShowDiscoveryStatus();
        },
        Qt::QueuedConnection);
  };
  core_ = core::Core::Create(options, std::move(hooks), error);
  if (!core_) return;

  form2_ = std::make_unique<AddressingWindow>(
      core_->Options().programDir, core_->Options().defaultsDir,
      [this](const QString& t) { ShowError(t); },
      [this](const std::string& line) { core_->Log().Add(line); });
  startUpTimer_.setSingleShot(true);
  startUpTimer_.setInterval(200);
  timer1_.setInterval(3000);
  logTimer_.setInterval(30);
  statusTimer_.setInterval(1000);
  Wire();
  FormCreate();
  // At rest the window sleeps: the log is drained when lines arrive (from any thread), the
  // 30 ms log timer runs only while a command does, and Timer1's idle branch only while the
  // Art-Net page shows.
  core_->Log().SetListener([this](const std::string&) {
    if (drainPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          drainPosted_ = false;
          DrainLog();
          ShowConnectState();
        },
        Qt::QueuedConnection);
  });
  timer1_.start();
}

void MainWindow::ShowArtNetStatus() {
  const bool chinese = currentLanguage_ == "CHS";
  if (!artNetPage_) return;
  const std::string sacn = artNetPage_->SacnStatusText(chinese);
  SetText(ui_.LabelSacnStatus, sacn);
  // The line on every page names what the Art-Net page's DMX is: Art-Net or sACN.
  SetText(ui_.LabelArtNetStatus, artNetPage_->SacnChosen()
                                     ? sacn
                                     : net::BridgeStatusText(core_->Bridge().Status(), chinese));
}

void MainWindow::LayOut() {
  const int dw = central_->width() - 1300;
  const int dh = central_->height() - 723;
  // Narrower than designed, the list gives the room; wider, list and pages share it.
  const int left = dw < 0 ? dw : dw / 2;
  const int right = dw - left;
  const int top = dh / 2;  // the list takes half the height, the log the rest
  const int low = dh - top;
  pages_->setGeometry(570 + left, 40, 725 + right, 645 + dh);
  auto place = [](std::initializer_list<QWidget*> controls, int dx, int dwid, int dy, int dhei) {
    for (QWidget* c : controls) PlaceGrown(c, kMainControls, dx, dwid, dy, dhei);
  };
  const form1::Controls& u = ui_;
  place({u.ListViewUID}, 0, left, 0, top);
  place({u.SpeedButton_B, u.SpeedButton_A, u.Label44, u.MaskEdit_SNUM, u.SpeedButtonSort,
         u.SpeedButtonUp, u.SpeedButtonDown, u.SpeedButton2},
        0, 0, top, 0);
  place({u.LogMemo}, 0, left, top, low);
  place({u.GroupBox1, u.Label_quendaris}, dw, 0, dh, 0);
  place({u.LabelArtNetStatus}, 0, dw, 0, 0);
  place({u.LabelBoxState}, 0, left, top, 0);
  place({u.ComboBoxID}, 0, right, 0, 0);  // RDM page
  place({u.PaintBox1}, 0, right, 0, dh);  // Patch page
  place({u.Label23, u.Label20, u.Label28, u.ImagePatch}, right, 0, 0, 0);
  place({u.Button6, u.Button7, u.Button8, u.Button9, u.BitBtn4, u.BitBtn5, u.BitBtn6, u.BitBtn7}, 0,
        0, dh, 0);
  place({u.StringGrid}, 0, right, 0, dh);  // Art-Net page
  place({u.ImageArtNet, u.ShowState}, right, 0, 0, 0);
  place({u.FileListBoxShow}, right, 0, 0, dh);
  place({u.Label_ShowName, u.EditShowName, u.BtnRecord, u.BtnStop, u.BtnPlay, u.BtnLoop,
         u.BtnSaveFile, u.BtnShowDelete, u.Label_EditStart2, u.Edit_Start, u.Label_EditStop2,
         u.Edit_Stop},
        0, 0, dh, 0);
  place({u.ListView1}, right, 0, 0, dh);       // DMX page
  place({u.ValueListEditorRDM}, 0, 0, 0, dh);  // console page
  place({u.ListBox_RDM}, 0, right, 0, dh);
}

// Keys walk the window as it reads: the bar, the list and its buttons, the log, then the page.
void MainWindow::SetTabOrder() {
  const form1::Controls& u = ui_;
  QWidget* chain[] = {u.ComboBox_IP,   u.SpeedButton5,    u.SpeedButtonExport, u.ListViewUID,
                      u.SpeedButton_B, u.SpeedButton_A,   u.MaskEdit_SNUM,     u.SpeedButtonSort,
                      u.SpeedButtonUp, u.SpeedButtonDown, u.SpeedButton2,      u.LogMemo,
                      pages_};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
}

namespace {

// What the technician should do about the box; empty while it is connected.
QString BoxStateText(link::BoxState box, bool chinese) {
  switch (box) {
    case link::BoxState::Connected:
      return {};
    case link::BoxState::NotFound:
      return chinese ? "未找到接口盒（USB 04b4:0f1f）。请插上它：接口盒出现后程序会自动连接。"
                       "没有接口盒时，可用 --virtual-line 启动程序（velquor --virtual-line），"
                       "在模拟的 RDM 线路和灯具上工作。"
                     : "No interface box found (USB 04b4:0f1f). Plug it in: the program "
                       "connects when it appears. To work without a box, start the program "
                       "with --virtual-line (velquor --virtual-line): a simulated RDM line "
                       "with a rig of fixtures.";
    case link::BoxState::NoPermission:
      return chinese ? "接口盒已插上，但当前用户无权打开它。udev 规则 60-velquor.rules"
                       "（随软件包安装）在拔下并重新插上接口盒后生效。未安装软件包时，请把 "
                       "resources/60-velquor.rules 复制到 /etc/udev/rules.d/ 并运行 "
                       "sudo udevadm control --reload，然后重新插上接口盒。"
                     : "The interface box is plugged in, but this user may not open it. The "
                       "udev rule 60-velquor.rules (installed with the package) takes effect "
                       "when you unplug the box and plug it in again. Without the package, "
                       "copy resources/60-velquor.rules into /etc/udev/rules.d/, run sudo "
                       "udevadm control --reload, then replug the box.";
    case link::BoxState::Busy:
      return chinese ? "接口盒已插上，但正被另一个程序占用。请关闭那个程序：接口盒空闲后"
                       "程序会自动连接。"
                     : "The interface box is plugged in, but another program holds it. Close "
                       "that program: the box connects when it is free.";
    case link::BoxState::Failed:
      return chinese ? "无法打开接口盒（原因见日志）。请拔下并重新插上接口盒。"
                     : "The interface box could not be opened (the log says why). Unplug it "
                       "and plug it in again.";
  }
  return {};
}

}  // namespace

void MainWindow::ShowConnectState() {
  ui_.DeviceConnect->setText(QString::fromStdString(core_->Link().DeviceConnect()));
  // Not before the first attempt to open the box: there is nothing to tell yet.
  const QString text =
      linkAsked_ ? BoxStateText(core_->Link().Box(), currentLanguage_ == "CHS") : QString();
  if (ui_.LabelBoxState->text() != text) ui_.LabelBoxState->setText(text);
  ui_.LabelBoxState->setVisible(!text.isEmpty());
}

MainWindow::~MainWindow() {
  if (showPage_) showPage_->FinishCopy();  // a copy in hand is written whole
  if (core_) core_->Log().SetListener(nullptr);
  if (!closed_ && core_) {
    core_->Shutdown();
    link::HidShutdown();
  }
}

void MainWindow::ShowError(const QString& text) {
  if (dialogs_.showError) dialogs_.showError(text);
}

bool MainWindow::AskYesNo(const QString& title, const QString& text) {
  return !dialogs_.askYesNo || dialogs_.askYesNo(title, text);
}

QStringList MainWindow::OpenFiles(const QString& filter) {
  return dialogs_.openFiles ? dialogs_.openFiles(filter) : QStringList{};
}

QString MainWindow::OpenFile(const QString& filter) {
  return dialogs_.openFile ? dialogs_.openFile(filter) : QString();
}

QString MainWindow::SaveFile(const QString& filter, const QString& defaultName) {
  return dialogs_.saveFile ? dialogs_.saveFile(filter, defaultName) : QString();
}

void MainWindow::Log(const std::string& line) {
  core_->Log().Add(line);
}

void MainWindow::DrainLog() {
  if (!core_) return;
  auto* memo = ui_.LogMemo;
  for (const std::string& line : core_->Log().TakeNew()) {
    memo->appendPlainText(QString::fromStdString(line));
  }
}

bool MainWindow::RunCommand(const std::string& name, std::function<void()> command,
                            std::function<void()> after, bool holdsLine) {
  if (closed_) return false;
  const bool started = core_->Bench().StartCommand(
      name, std::move(command),
      [this, after = std::move(after)] {
        QMetaObject::invokeMethod(
            this, [this, after] { CommandEnded(after); }, Qt::QueuedConnection);
      },
      holdsLine);
  if (!started) {
    DrainLog();  // the refusal's reason
    return false;
  }
  commandRunning_ = true;
  logTimer_.start();  // shows the command's progress as it runs
  return true;
}

// The command has ended: the window shows what the models now hold.
void MainWindow::CommandEnded(const std::function<void()>& after) {
  commandRunning_ = core_->Bench().Executor().CommandActive();
  if (!commandRunning_) logTimer_.stop();
  DrainLog();
  ShowConnectState();
  RefreshFromModels();
  MirrorIdentifyTargets();
  if (after) after();
}

void MainWindow::ConnectCommand(QAbstractButton* button, const std::string& name,
                                std::function<void()> command, bool holdsLine) {
  connect(button, &QAbstractButton::clicked, this,
          [this, name, command, holdsLine] { RunCommand(name, command, {}, holdsLine); });
}

void MainWindow::WithModels(const std::function<void()>& change) {
  std::lock_guard lock(core_->Bench().Models());
  change();
}

bool MainWindow::ConfirmAddresses(const std::vector<workbench::AddressAssignment>& changes) {
  std::vector<std::string> conflicts;
  WithModels([&] { conflicts = workbench::AddressConflicts(core_->Bench().Table(), changes); });
  if (conflicts.empty()) return true;
  for (const std::string& c : conflicts) core_->Log().Add("Address conflict: " + c);
  DrainLog();
  const bool chinese = currentLanguage_ == "CHS";
  QString text = chinese ? "以下灯具的地址将重叠或超过 512：\n"
                         : "These fixtures would overlap or run past 512:\n";
  for (const std::string& c : conflicts) text += "\n" + QString::fromStdString(c);
  text += chinese ? "\n\n仍然写入？" : "\n\nWrite the addresses anyway?";
  return dialogs_.askYesNo && dialogs_.askYesNo(chinese ? "地址重叠" : "Addresses overlap", text);
}

void MainWindow::SpeedButton6Click() {
  workbench::Workbench& bench = core_->Bench();
  if (!bench.Executor().CommandActive()) {
    core_->Log().Add("Close RDM:");
    return;
  }
  const bool yes = AskYesNo("RDM Discover", "Close RDM？");
  // The command in hand ends before its next branch or device.
  if (yes) bench.Flags().stopRequested.store(true);
}

void MainWindow::Wire() {
  connect(ui_.SpeedButton6, &QAbstractButton::clicked, this, [this] { SpeedButton6Click(); });
  connect(ui_.SpeedButton5, &QAbstractButton::clicked, this, [this] { ui_.LogMemo->clear(); });

  auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
  for (QLineEdit* edit : {ui_.MaskEdit_SNUM, ui_.Edit35, ui_.EditAddr, ui_.EditStartAddress,
                          ui_.EditStart, ui_.EditEnd, ui_.EditChannel, ui_.Edit_Universe,
                          ui_.EditUniverse, ui_.EditStartCode, ui_.EditPackets, ui_.Edit_Start,
                          ui_.Edit_Stop, ui_.Edit_SacnUniverse, ui_.Edit_SacnPriority}) {
    edit->setValidator(digits);
  }
  // The console's data: hex bytes or "quoted text" (a label), as long as a request carries.
  ui_.EditRdmData->setMaxLength(3 * 231);
  connect(pages_, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
  // Test mode (config.cfg's TEST): Timer1 runs discovery again and again.
  connect(ui_.CheckBoxDMX, &QCheckBox::toggled, this,
          [this](bool on) { core_->Tick().View().dmxBetweenExchanges = on; });
  workbench::Workbench& bench = core_->Bench();
  connect(ui_.CheckBoxTest, &QCheckBox::toggled, this, [this, &bench](bool on) {
    WithModels([&] { bench.Discover().testMode = on; });
    if (on && !closed_ && !timer1_.isActive()) timer1_.start();
  });
  connect(ui_.EditTime, &QLineEdit::textChanged, this, [this, &bench](const QString& text) {
    WithModels([&] { bench.Discover().testInterval = text.toStdString(); });
  });
  for (QWidget* w :
       std::initializer_list<QWidget*>{ui_.Image_L, ui_.Label_quendaris, ui_.GroupBox1}) {
    w->installEventFilter(this);
  }
  // A click selects the whole text of these edits, so typing replaces it.
  for (QLineEdit* edit : {ui_.EditChannel, ui_.EditEnd, ui_.EditStart, ui_.EditStartAddress,
                          ui_.EditAddr, ui_.Edit35, ui_.Edit_Universe, ui_.MaskEdit_SNUM}) {
    edit->installEventFilter(this);
  }
  ui_.ListViewUID->installEventFilter(this);  // Enter reads the fixture picked
  connect(&startUpTimer_, &QTimer::timeout, this, [this] { StartUpTimerTimer(); });
  connect(&timer1_, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(&statusTimer_, &QTimer::timeout, this, [this] { ShowArtNetStatus(); });
  core::Core& core = *core_;
  deviceList_ = std::make_unique<DeviceListBinding>(*this, core, ui_, *pages_);
  rdmPage_ = std::make_unique<RdmPageBinding>(*this, core, ui_);
  consolePages_ = std::make_unique<ConsolePagesBinding>(*this, core, ui_);
  deskPage_ = std::make_unique<DeskPageBinding>(*this, core, ui_);
  showPage_ = std::make_unique<ShowPageBinding>(*this, core, ui_);
  artNetPage_ = std::make_unique<ArtNetPageBinding>(*this, core, ui_);
  firmwarePage_ = std::make_unique<FirmwarePageBinding>(*this, core, ui_);
  patchPage_ = std::make_unique<PatchPageBinding>(*this, core, ui_);
  addressing_ = std::make_unique<AddressingBinding>(*this, core, ui_, *form2_);
  channels_ = std::make_unique<ChannelsBinding>(*this, core, ui_, *this, *deskPage_);
  sensors_ = std::make_unique<SensorsBinding>(*this, core, ui_);

  connect(&logTimer_, &QTimer::timeout, this, [this] {
    DrainLog();
    RefreshFromModels();  // a running command: show its progress
    ShowConnectState();
  });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == central_ && event->type() == QEvent::Resize) {
    LayOut();
    return false;
  }
  if (watched == ui_.ListViewUID && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ui_.SpeedButtonRdmRead->click();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == ui_.Image_L) {
      Image_LClick();
      return true;
    }
    if (watched == ui_.Label_quendaris || watched == ui_.GroupBox1) {
      Label_quendarisClick();
      return true;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
      edit->selectAll();
      return false;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::FormCreate() {
  // The box's state stands out from the window's own texts, whatever the language file says.
  ui_.LabelBoxState->setWordWrap(true);
  ui_.LabelBoxState->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  ui_.LabelBoxState->setStyleSheet(
      "QLabel { background: #4a2a0a; color: #ffffff; border: 1px solid #e0a030; padding: 6px; }");
  ui_.LabelBoxState->raise();  // over the device list, which was built after it
  ApplyLanguageMain();
  ui_.ComboBoxArtNet->setCurrentIndex(0);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
  if (!closed_) {
    ShowArtNetStatus();
    statusTimer_.start();
  }
}

void MainWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  statusTimer_.stop();  // nobody reads it: the window sleeps
}

void MainWindow::FormShow() {
  const std::string workDir = core_->Options().workDir;
  LoadPicture(ui_.Image_L, workDir, core_->Options().programDir, "Lang.jpg");
  LoadPicture(ui_.ImageRdmRadio, workDir, core_->Options().programDir, "RdmRadio.bmp");
  LoadPicture(ui_.ImageArtNet, workDir, core_->Options().programDir, "art-net.bmp");
  LoadPicture(ui_.ImagePatch, workDir, core_->Options().programDir, "patch.bmp");
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  ui_.CheckBoxDMX->setChecked(true);
  core_->Tick().View().dmxBetweenExchanges = true;
  ui_.CheckBoxTest->setChecked(false);
  CentreOnScreen(this);

  deskPage_->ResetFaders();
  core_->PrepareModels();  // the request image, "Mode 1", the list's columns

  for (QTableWidget* grid : {ui_.StringGrid, ui_.StringGrid3D}) {
    grid->setColumnCount(17);
    grid->setRowCount(33);
    for (int c = 0; c < 17; ++c) grid->setColumnWidth(c, 31);
    for (int r = 0; r < 33; ++r) {
      for (int c = 0; c < 17; ++c) {
        QString text = r == 0 ? (c == 0 ? "" : QString::number(c))
                              : (c == 0 ? QString::number((r - 1) * 16) : "0");
        grid->setItem(r, c, new QTableWidgetItem(text));
      }
    }
    grid->horizontalHeader()->setVisible(false);
  }
  for (QComboBox* combo : {ui_.ComboBoxMode, ui_.ComboBoxChannelMode}) {
    combo->clear();
    combo->addItem("Mode 1");
    combo->setCurrentIndex(0);
  }
  ui_.ComboBoxRdmCh->setCurrentIndex(0);
  ui_.ComboBoxRDM->setCurrentIndex(1);
  core_->Link().SetResponseTimeout(link::ResponseTimeoutOfItem(1));
  auto* progress = ui_.ProgressBarIAP;
  progress->setRange(0, 100);
  progress->setValue(0);

  auto* parameters = ui_.ComboBoxParameter;
  parameters->clear();
  for (const auto& entry : rdm::KnownPidTable()) {
    parameters->addItem(QString::fromStdString(rdm::KnownPidItemText(entry)));
  }
  ui_.ComboBoxCommand->setCurrentIndex(0);
  parameters->setCurrentIndex(26);
  ui_.ComboBoxSubdevice->setCurrentIndex(0);

  auto* scenes = ui_.ListView1;
  scenes->clear();
  scenes->setRowCount(0);
  scenes->setColumnCount(3);
  scenes->setHorizontalHeaderLabels({"Scene", "Fade", "Hold"});
  for (int c = 0; c < 3; ++c) scenes->setColumnWidth(c, 58);
  ui_.ComboBox_Fade->setCurrentIndex(2);
  ui_.ComboBox_Hold->setCurrentIndex(2);
  ui_.ComboBoxSpeed->setCurrentIndex(2);

  // The scene file: read whole at start-up; its scenes fill the list.
  if (core_->LoadSceneFile()) deskPage_->RefreshSceneList();
  core_->OpenLink();
  linkAsked_ = true;
  ShowConnectState();
  LoadStartupSettings();
  artNetPage_->NetInit();
  startUpTimer_.start();
  core_->Tick().CreateTimer();
  MirrorPage();
  DrainLog();
  RefreshFromModels();
}

void MainWindow::StartUpTimerTimer() {
  startUpTimer_.stop();
  if (core_->Bench().Executor().CommandActive()) {  // load the table when the line is free
    startUpTimer_.start();
    return;
  }
  // Every listed device is asked; with many that do not answer this takes minutes, so it
  // runs like any command: the list fills as it goes, and the stop button ends the asking.
  core::Core& core = *core_;
  RunCommand(
      "Loading the device list", [&core] { core.LoadDeviceList(); }, {}, false);
}

void MainWindow::Timer1Timer() {
  workbench::Discovery& discovery = core_->Bench().Discover();
  bool testMode = false;
  int delay = 0;
  WithModels([&] {
    testMode = discovery.testMode;
    delay = discovery.TestModeDelay();
  });
  if (testMode) {
    // Test mode: discovery again and again, the next one the set time after this one.
    timer1_.stop();
    RunCommand(
        "Discover", [&discovery] { discovery.Run(workbench::Discovery::Mode::Full); },
        [this, delay] {
          if (!closed_ && core_->Bench().Discover().testMode) timer1_.start(delay);
        });
    return;
  }
  timer1_.setInterval(35);
  // The idle branch only refreshes the Art-Net page: elsewhere the timer sleeps until that
  // page shows or test mode is switched on.
  if (pages_->currentIndex() != 2) {
    timer1_.stop();
    return;
  }
  artNetPage_->Timer1Turn();
}

bool MainWindow::FormCloseQuery() {
  if (closed_) return true;
  closed_ = true;
  timer1_.stop();
  startUpTimer_.stop();
  statusTimer_.stop();
  showPage_->FinishCopy();
  // The command in hand ends at its next exchange; then the executor and the engine tick
  // stop and the box is released.
  core_->Shutdown();
  link::HidShutdown();
  logTimer_.stop();
  core_->Log().SetListener(nullptr);
  form2_->close();
  return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (core_) FormCloseQuery();
  event->accept();
}

void MainWindow::MirrorPage() {
  core_->Tick().View().mode = OutputModeOfPage(pages_->currentIndex());
}

void MainWindow::PageControl1Change() {
  MirrorPage();
  if (pages_->currentIndex() == 2 && !closed_ && !timer1_.isActive()) timer1_.start();
  if (pages_->currentIndex() == 1) patchPage_->PageShown();
}

void MainWindow::Label_quendarisClick() {
  const QString url = "http://" + ui_.Label_quendaris->text();
  if (dialogs_.openUrl) dialogs_.openUrl(url);
}

void MainWindow::MirrorIdentifyTargets() {
  std::unique_lock<workbench::ModelLock> lock(core_->Bench().Models(), std::try_to_lock);
  if (!lock) return;  // a command is in hand: its end mirrors them
  const workbench::DeviceTable& table = core_->Bench().Table();
  std::vector<dmx::IdentifyTarget> targets;
  for (const workbench::DeviceRecord& d : table.Devices) targets.push_back({d.Uid, d.IdentifyOn});
  core_->Tick().SetIdentifyTargets(std::move(targets));
}

void MainWindow::RefreshFromModels() {
  if (!core_) return;
  workbench::Workbench& bench = core_->Bench();
  std::unique_lock<workbench::ModelLock> lock(bench.Models(), std::try_to_lock);
  if (!lock) return;  // the command in hand is between two exchanges; shown at the next try
  // The rows are computed from the device list once per refresh.
  const workbench::DeviceListView view = bench.View();
  rdmPage_->Refresh(view);
  channels_->Refresh();
  if (sensors_) sensors_->Refresh();
  consolePages_->Refresh();
  deviceList_->Refresh(view);
}

}  // namespace velquor::app
