#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>

#include "WorkbenchHarness.h"
#include "app/Windows.h"
#include "common/Encoding.h"
#include "common/Ini.h"
#include "net/NetTestSupport.h"

using namespace velquor;
using namespace velquor::testsupport;
using app::MainWindow;

namespace {

struct Window {
  explicit Window(const std::string& programDir, const std::string& workDir) {
    core::CoreOptions options;
    options.virtualLine = true;
    options.artNet.port = FreeUdpPort();  // never the real 6454 of this machine
    options.programDir = programDir;
    options.workDir = workDir;
    app::Dialogs dialogs;
    dialogs.askYesNo = [this](const QString&, const QString&) { return yes; };
    dialogs.showError = [this](const QString& text) { errors << text; };
    dialogs.openUrl = [this](const QString& url) { urls << url; };
    dialogs.openFiles = [this](const QString&) { return chosenFiles; };
    dialogs.openFile = [this](const QString&) { return chosenFiles.value(0); };
    dialogs.saveFile = [this](const QString&, const QString&) { return saveTarget; };
    std::string error;
    window = std::make_unique<MainWindow>(options, dialogs, error);
  }
  ~Window() {
    if (window) window->close();
  }
  template <class T>
  T* C(const char* name) const {
    return window->findChild<T*>(name);
  }
  // Lets the window's timers and events run for `ms`.
  void Run(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  bool yes = true;
  QStringList errors, urls;
  QStringList chosenFiles;  // what the file choosers answer; empty: cancelled
  QString saveTarget;
  std::unique_ptr<MainWindow> window;
};

struct Dirs {
  Dirs() : program(MakeTempDir()), work(MakeTempDir()) {}
  ~Dirs() {
    std::error_code ec;
    std::filesystem::remove_all(program, ec);
    std::filesystem::remove_all(work, ec);
  }
  void Program(const std::string& name, const std::string& text) const {
    WriteText(program + "/" + name, text);
  }
  void Shipped(const std::string& name) const {
    std::filesystem::copy_file(std::string(VELQUOR_RESOURCES) + "/" + name, program + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
  std::string program, work;
};

}  // namespace

TEST(Windows, EveryControlIsPresentUnderItsName) {
  Dirs d;
  Window w(d.program, d.work);
  ASSERT_TRUE(w.window->Ready());
  // Names the other parts of the program and the language files rely on.
  const QStringList names =
      QString(
          "ListViewUID LabelDiscovery LogMemo DeviceConnect ComboBox_IP Image_L PageControl1 "
          "SpeedButtonDiscover SpeedButtonAdd SpeedButton6 MaskEdit_SNUM SpeedButtonSort "
          "SpeedButtonUp SpeedButtonDown SpeedButton2 SpeedButton_A SpeedButton_B SpeedButton5 "
          "Edit1 Edit2 Edit5 Edit8 Edit9 Edit10 Edit33 Edit34 Edit35 EditAddr UpDown1 ComboBoxMode "
          "ComboBoxChannelMode CheckBoxChannel ComboBoxID SpeedButtonRdmRead SpeedButtonRdmWrite "
          "SpeedButtonReset EditStartAddress EditStart EditEnd EditChannel SpeedButtonAddress "
          "ComboBoxCommand ComboBoxParameter ComboBoxSubdevice EditRdmData ValueListEditorRDM "
          "SpeedButtonSendRDM CheckBoxRdmAll ListBox_RDM ComboBoxRdmCh SpeedButtonRead "
          "SpeedButton1 "
          "ComboBoxArtNet StringGrid StringGrid3D ScrollBarDMX ScrollBar12 Label_C12 Label_D12 "
          "ListView1 ComboBox_Fade ComboBox_Hold BtnRecord BtnStop BtnPlay FileListBoxShow "
          "ComboBoxSpeed ProgressBarIAP Memo1 Memo2 PaintBox1 Label_quendaris GroupBox1 TabSheet1 "
          "TabSheet8 CheckBoxDMX CheckBoxTest EditTime")
          .split(' ');
  for (const QString& name : names) {
    EXPECT_NE(w.window->findChild<QWidget*>(name), nullptr) << name.toStdString();
  }
  EXPECT_EQ(w.window->objectName(), "Form1");
  EXPECT_EQ(w.window->Form2().objectName(), "Form2");
  EXPECT_FALSE(w.window->Form2().isVisible());
  EXPECT_EQ(w.window->Form2().size(), QSize(931, 595));
  EXPECT_EQ(w.window->size(), QSize(1300, 723));
}

TEST(Windows, FourTabsShownAndFourHidden) {
  Dirs d;
  Window w(d.program, d.work);
  auto* tabs = w.C<QTabWidget>("PageControl1");
  ASSERT_EQ(tabs->count(), 8);
  QStringList shown;
  for (int i = 0; i < tabs->count(); ++i) {
    if (tabs->isTabVisible(i)) shown << tabs->tabText(i);
  }
  EXPECT_EQ(shown, (QStringList{"RDM", "Art-Net", "DMX", "MA2 Rdm Command"}));
}

TEST(Windows, StartUpSelectionsGridsAndColumns) {
  Dirs d;
  Window w(d.program, d.work);
  w.window->FormShow();
  EXPECT_EQ(w.window->windowTitle(), "VELQUOR PRO V2.0.1") << "no config.cfg: designed caption";
  EXPECT_EQ(w.C<QComboBox>("ComboBoxRDM")->currentIndex(), 1);
  EXPECT_EQ(w.window->CoreRef().Link().RdmResponseTimeoutMs(), 50u);
  EXPECT_EQ(w.C<QComboBox>("ComboBoxParameter")->count(), 73);
  EXPECT_EQ(w.C<QComboBox>("ComboBoxParameter")->currentText(), "0x00F0_E120_DMX_START_ADDRESS");
  EXPECT_EQ(w.C<QComboBox>("ComboBoxCommand")->currentText(), "GET_COMMAND  Ox20");
  EXPECT_EQ(w.C<QComboBox>("ComboBoxSubdevice")->currentIndex(), 0);
  EXPECT_EQ(w.C<QComboBox>("ComboBox_Fade")->currentText(), "1000");
  EXPECT_EQ(w.C<QComboBox>("ComboBox_Hold")->currentText(), "1000");
  EXPECT_EQ(w.C<QComboBox>("ComboBoxSpeed")->currentText(), "速度 Speed3");
  EXPECT_EQ(w.C<QComboBox>("ComboBoxRdmCh")->currentText(), "频道Ch1");
  EXPECT_EQ(w.C<QComboBox>("ComboBoxMode")->currentText(), "Mode 1");
  EXPECT_EQ(w.C<QComboBox>("ComboBoxArtNet")->currentIndex(), 0);
  auto* grid = w.C<QTableWidget>("StringGrid");
  EXPECT_EQ(grid->rowCount(), 33);
  EXPECT_EQ(grid->columnCount(), 17);
  EXPECT_EQ(grid->item(0, 16)->text(), "16");
  EXPECT_EQ(grid->item(32, 0)->text(), "496");
  EXPECT_EQ(grid->item(5, 5)->text(), "0");
  auto* scenes = w.C<QTableWidget>("ListView1");
  EXPECT_EQ(scenes->horizontalHeaderItem(1)->text(), "Fade");
  EXPECT_EQ(scenes->columnWidth(2), 58);
  EXPECT_TRUE(w.C<QCheckBox>("CheckBoxDMX")->isChecked());
  EXPECT_FALSE(w.C<QCheckBox>("CheckBoxTest")->isChecked());
  for (const char* name : {"Label41", "Label7", "CheckBoxDMX", "CheckBoxTest", "EditTime"}) {
    EXPECT_TRUE(w.C<QWidget>(name)->isHidden()) << name;
  }
  EXPECT_EQ(w.C<QLabel>("Label_C1")->text(), "1");
  EXPECT_EQ(w.C<QLabel>("Label_C12")->text(), "12");
  EXPECT_TRUE(w.window->CoreRef().Tick().Running());
}

TEST(Windows, SceneFileIsReadAtStartUp) {
  Dirs d;
  WriteText(d.work + "/quendaris.show", "");
  Window w(d.program, d.work);
  w.window->FormShow();
  EXPECT_TRUE(w.C<QPlainTextEdit>("LogMemo")->toPlainText().contains("Configure0"));

  Dirs unreadable;
  std::filesystem::create_directory(unreadable.work + "/quendaris.show");
  Window u(unreadable.program, unreadable.work);
  u.window->FormShow();
  EXPECT_TRUE(u.C<QPlainTextEdit>("LogMemo")->toPlainText().contains("Fail to Open File!!!"));
}

TEST(Windows, TestControlsFollowTheTestSetting) {
  Dirs d;
  d.Program("config.cfg", "[General]\r\nTEST=7\r\nIP=2\r\n");
  Window w(d.program, d.work);
  w.window->FormShow();
  EXPECT_EQ(w.window->TestMode(), 7);
  // Index 2 when this host has that many addresses; otherwise the first, as Net_init says.
  const size_t addresses = net::ListHostAddresses().size();
  EXPECT_EQ(w.window->NetworkAddressIndex(), addresses > 2 ? 2 : 0);
  EXPECT_EQ(static_cast<size_t>(w.C<QComboBox>("ComboBox_IP")->count()), addresses);
  for (const char* name : {"Label41", "Label7", "CheckBoxDMX", "CheckBoxTest", "EditTime"}) {
    EXPECT_FALSE(w.C<QWidget>(name)->isHidden()) << name;
  }
}

TEST(Windows, StartUpTimerLoadsTheDeviceTableAndAsksEveryDevice) {
  Dirs d;
  WriteText(d.work + "/devnames.lst", "7FF000000101=Spot 1\r\n7FF100000201=Par\r\n");
  d.Shipped("UidList.ini");
  Window w(d.program, d.work);
  w.window->FormShow();
  w.Run(400);
  auto* list = w.C<QTableWidget>("ListViewUID");
  ASSERT_EQ(list->rowCount(), 2);
  ASSERT_EQ(list->columnCount(), 11);
  EXPECT_EQ(list->horizontalHeaderItem(3)->text(), "Chan");
  EXPECT_EQ(list->item(0, 1)->text(), "0x7FF000000101");
  EXPECT_EQ(list->item(0, 3)->text(), "016");
  EXPECT_EQ(list->item(1, 4)->text(), "Par");
  EXPECT_TRUE(w.C<QPlainTextEdit>("LogMemo")->toPlainText().contains("RDM Devices: 2"));
  EXPECT_EQ(w.C<QComboBox>("ComboBox_UID")->count(), 2);
}

TEST(Languages, EnglishWithoutItsFileGivesDefaultsAndDesignedCaptions) {
  Dirs d;
  d.Program("config.cfg", "[Form1]\r\nLanguage=ENU\r\n");
  Window w(d.program, d.work);
  EXPECT_EQ(w.window->windowTitle(), "VELQUOR PRO V2.0.0");
  EXPECT_EQ(w.window->palette().color(QPalette::Window), QColor(0x1E, 0x1E, 0x1E));
  EXPECT_EQ(w.window->palette().color(QPalette::WindowText), QColor(255, 255, 255));
  EXPECT_EQ(w.window->font().pointSize(), 12);
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonDiscover")->text(), "查找 设备 Discover");
  EXPECT_EQ(w.window->CurrentLanguage(), "ENU");
  EXPECT_TRUE(w.errors.isEmpty());
}

TEST(Languages, ShippedFilesGiveOneLanguageEach) {
  Dirs d;
  for (const char* f : {"lang_ch.ini", "lang_en.ini", "lang_ch_2.ini", "lang_en_2.ini"}) {
    d.Shipped(f);
  }
  d.Program("config.cfg", "[Form1]\r\nLanguage=ENU\r\n");
  Window w(d.program, d.work);
  EXPECT_TRUE(w.errors.isEmpty()) << w.errors.join("; ").toStdString();
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonDiscover")->text(), "Discover");
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonRdmRead")->text(), "Read");
  EXPECT_EQ(w.window->Form2().findChild<QPushButton*>("SpeedButton7")->text(), "Cancel all");
  auto* tabs = w.C<QTabWidget>("PageControl1");
  EXPECT_EQ(tabs->tabText(7), "MA2 Rdm Command");
  w.window->Image_LClick();
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonDiscover")->text(), "查找 设备");
  EXPECT_EQ(w.window->Form2().findChild<QPushButton*>("SpeedButton7")->text(), "全部取消");
  // Every captioned control has a text in both languages.
  for (const char* f : {"lang_ch.ini", "lang_en.ini"}) {
    std::string error;
    auto ini = common::IniFile::Load(d.program + "/" + f, error);
    ASSERT_TRUE(ini);
    for (const auto& entry : app::kMainControls) {
      if (!app::HasCaption(entry.kind) || std::string(entry.caption).empty()) continue;
      if (std::string(entry.name) == "DeviceConnect" || std::string(entry.name) == "ShowState")
        continue;
      EXPECT_FALSE(ini->ReadString("Form1", entry.name, "").empty()) << f << " " << entry.name;
    }
  }
}

TEST(Languages, UnexactCodeSelectsChineseAndTheToggleAlternates) {
  Dirs d;
  d.Program("config.cfg", "[Form1]\r\nLanguage=eng\r\n");
  d.Program("lang_ch.ini", "[General]\r\nCaption=中文\r\n");
  d.Program("lang_en.ini", "[General]\r\nCaption=English\r\n");
  Window w(d.program, d.work);
  EXPECT_EQ(w.window->windowTitle(), "中文");
  w.window->Image_LClick();
  EXPECT_NE(ReadText(d.program + "/config.cfg").find("Language=CHS"), std::string::npos);
  EXPECT_EQ(w.window->windowTitle(), "中文");
  w.window->Image_LClick();
  EXPECT_NE(ReadText(d.program + "/config.cfg").find("Language=ENU"), std::string::npos);
  EXPECT_EQ(w.window->windowTitle(), "English");
}

TEST(Languages, WindowNameEntryWinsAndFaderLabelsAreRefreshedLast) {
  Dirs d;
  d.Program("config.cfg", "[Form1]\r\nLanguage=CHS\r\n");
  d.Program("lang_ch.ini",
            "[General]\r\nCaption=General title\r\n[Form1]\r\nForm1=Own title\r\nLabel_C1=XX\r\n"
            "SpeedButton6=停\r\n");
  Window w(d.program, d.work);
  EXPECT_EQ(w.window->windowTitle(), "Own title");
  EXPECT_EQ(w.C<QLabel>("Label_C1")->text(), "1");
  EXPECT_EQ(w.C<QPushButton>("SpeedButton6")->text(), "停");

  d.Program("lang_ch.ini", "[General]\r\nCaption=General title\r\n[Form1]\r\nForm1=\r\n");
  w.window->ApplyLanguageMain();
  EXPECT_EQ(w.window->windowTitle(), "General title") << "an empty value leaves the title";
}

TEST(Languages, BadEntriesAreReportedOnceAndStopTheRest) {
  Dirs d;
  d.Program("config.cfg", "[Form1]\r\nLanguage=CHS\r\n");
  d.Program(
      "lang_ch.ini",
      "[Form1]\r\nSpeedButtonDiscover=never\r\nListViewUID=no caption\r\nSpeedButton5=one\r\n");
  Window w(d.program, d.work);
  // Controls are taken in creation order: the clear button comes before the device list,
  // the discovery button after it.
  EXPECT_EQ(w.errors.size(), 1);
  EXPECT_TRUE(w.errors[0].contains("ListViewUID"));
  EXPECT_EQ(w.C<QPushButton>("SpeedButton5")->text(), "one");
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonDiscover")->text(), "查找 设备 Discover");

  // Unusable values are logged and their defaults used: no dialog for them.
  d.Program("lang_ch.ini",
            "[General]\r\nBackgroundColor=green\r\nFontSize=2147483647\r\nFontColor=255\r\n");
  w.window->ApplyLanguageMain();
  EXPECT_EQ(w.errors.size(), 1);
  QApplication::processEvents();
  const QString log = w.C<QPlainTextEdit>("LogMemo")->toPlainText();
  EXPECT_TRUE(
      log.contains("lang_ch.ini: BackgroundColor='green' is not usable; 0x001e1e1e is used"))
      << log.toStdString();
  EXPECT_TRUE(log.contains("lang_ch.ini: FontSize='2147483647' is not usable; 12 is used"));
  EXPECT_EQ(w.window->font().pointSize(), 12);
  EXPECT_EQ(w.C<QPushButton>("SpeedButton5")->palette().color(QPalette::ButtonText),
            QColor(255, 0, 0))
      << "the font colour reaches the buttons";
}

TEST(Languages, FirstToggleWithoutConfigCreatesItInEnglish) {
  Dirs d;
  d.Shipped("lang_en.ini");
  d.Shipped("lang_en_2.ini");
  Window w(d.program, d.work);
  EXPECT_EQ(w.window->windowTitle(), "VELQUOR PRO V2.0.1");
  w.window->Image_LClick();
  EXPECT_NE(ReadText(d.program + "/config.cfg").find("[Form1]\r\nLanguage=ENU"), std::string::npos);
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonAdd")->text(), "Increase");
  EXPECT_EQ(w.window->Form2().findChild<QPushButton*>("SpeedButton6")->text(), "write");
}

TEST(Languages, FilesFromAChineseWindowsSystemAreReadAsGb18030) {
  Dirs d;
  d.Program("config.cfg", "[Form1]\r\nLanguage=CHS\r\n");
  // "查找" in GB18030.
  d.Program("lang_ch.ini", std::string("[Form1]\r\nSpeedButtonDiscover=\xB2\xE9\xD5\xD2\r\n"));
  Window w(d.program, d.work);
  EXPECT_EQ(w.C<QPushButton>("SpeedButtonDiscover")->text(), "查找");
}

TEST(Languages, UnwritableConfigIsReported) {
  Dirs d;
  std::filesystem::create_directory(d.program + "/config.cfg");
  Window w(d.program, d.work);
  w.window->Image_LClick();
  ASSERT_EQ(w.errors.size(), 1);
  EXPECT_TRUE(w.errors[0].startsWith("Unable to write to "));
}

TEST(Windows, DiscoverButtonFillsTheTableAndTheWebLabelOpens) {
  Dirs d;
  Window w(d.program, d.work);
  w.window->FormShow();
  w.Run(300);
  bool busyWhenStopped = false;
  QString progressWhileRunning;
  QTimer::singleShot(0, [&] { w.C<QPushButton>("SpeedButtonDiscover")->click(); });
  // The stop button works while discovery runs: the window stays live and shows progress.
  QTimer::singleShot(400, [&] {
    busyWhenStopped = w.window->CoreRef().Bench().LineBusy().load();
    progressWhileRunning = w.C<QLabel>("LabelDiscovery")->text();
    w.C<QPushButton>("SpeedButton6")->click();
  });
  w.Run(1200);
  EXPECT_TRUE(busyWhenStopped);
  EXPECT_TRUE(progressWhileRunning.startsWith("正在搜索: 已找到 "))
      << progressWhileRunning.toStdString();
  EXPECT_TRUE(w.C<QLabel>("LabelDiscovery")->text().startsWith("搜索结束: 已找到 "));
  w.window->Image_LClick();  // 中/EN
  EXPECT_TRUE(w.C<QLabel>("LabelDiscovery")->text().startsWith("Discovery ended: "))
      << w.C<QLabel>("LabelDiscovery")->text().toStdString();
  EXPECT_FALSE(w.window->CoreRef().Bench().LineBusy().load());
  const QString log = w.C<QPlainTextEdit>("LogMemo")->toPlainText();
  EXPECT_TRUE(log.contains("Discovery started..."));
  EXPECT_TRUE(log.contains("Discovery stopped: "));
  EXPECT_TRUE(log.contains("Discovery finished."));
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w.C<QLabel>("Label_quendaris"), &release);
  ASSERT_EQ(w.urls.size(), 1);
  EXPECT_TRUE(w.urls[0].startsWith("http://"));
}

TEST(Windows, ClosingDuringDiscoveryIsQuickAndStopsEveryThread) {
  Dirs d;
  auto w = std::make_unique<Window>(d.program, d.work);
  w->window->show();
  w->Run(300);
  QElapsedTimer closeTook;
  QTimer::singleShot(0, [&] { w->C<QPushButton>("SpeedButtonDiscover")->click(); });
  QTimer::singleShot(200, [&] {
    closeTook.start();
    w->window->close();
  });
  QElapsedTimer waited;
  waited.start();
  qint64 closedAfter = -1;
  while (waited.elapsed() < 3000) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (closeTook.isValid() && !w->window->isVisible()) {
      closedAfter = closeTook.elapsed();
      break;
    }
  }
  ASSERT_GE(closedAfter, 0) << "the window did not close";
  EXPECT_LT(closedAfter, 1000);
  EXPECT_FALSE(w->window->CoreRef().Tick().Running());
  EXPECT_FALSE(w->window->CoreRef().Bench().LineBusy().load());
  EXPECT_FALSE(common::FileExists(d.work + "/devnames.lst")) << "an aborted search saves nothing";
}

TEST(Windows, ArtNetPageUniverseEditAndTheGridOfLevels) {
  Dirs d;
  Window w(d.program, d.work);
  w.window->FormShow();
  MainWindow& m = *w.window;
  auto* edit = w.C<QLineEdit>("Edit_Universe");
  m.Edit_UniverseChange("40000");
  EXPECT_EQ(edit->text(), "32767");
  EXPECT_EQ(m.CoreRef().Bridge().PortAddress(), 32767);
  EXPECT_EQ(m.CoreRef().Log().CountOf("Universe:32767"), 1u);
  m.UpDownUniClick(true);
  EXPECT_EQ(edit->text(), "32767") << "the arrows stop at the top";
  m.UpDownUniClick(false);
  EXPECT_EQ(edit->text(), "32766");
  m.Edit_UniverseChange("");
  EXPECT_EQ(edit->text(), "0");
  m.UpDownUniClick(false);
  EXPECT_EQ(edit->text(), "0") << "and at the bottom";

  auto* grid = w.C<QTableWidget>("StringGrid");
  m.CoreRef().Universe().Store(17, 99);  // slot 18: row 2, column 2
  m.CoreRef().Universe().Store(511, 7);  // slot 512: row 32, column 16
  m.UpdateScreen();
  EXPECT_EQ(grid->item(2, 2)->text(), "99");
  EXPECT_EQ(grid->item(32, 16)->text(), "7");
  EXPECT_EQ(grid->item(1, 1)->text(), "0");
  // A cell the program did not change since is not written again.
  grid->item(2, 2)->setText("x");
  m.UpdateScreen();
  EXPECT_EQ(grid->item(2, 2)->text(), "x");
}

TEST(Windows, FirmwarePageLoadsStartsOnceAndMerges) {
  Dirs d;
  Window w(d.program, d.work);
  w.window->FormShow();
  MainWindow& m = *w.window;
  auto file = [&](const std::string& name, size_t size) {
    WriteText(d.work + "/" + name, std::string(size, 'z'));
    return QString::fromStdString(d.work + "/" + name);
  };
  m.SpeedButtonIAPClick();
  EXPECT_EQ(m.CoreRef().Log().CountOf("Please open the file first"), 1u);

  w.chosenFiles = {file("a.bin", 10), file("b.bin", 13), file("c.bin", 4096)};
  m.SpeedButtonOpenFileClick();
  const QString memo = w.C<QPlainTextEdit>("Memo1")->toPlainText();
  EXPECT_TRUE(memo.startsWith("You have chosen 3 Files.\n")) << memo.toStdString();
  EXPECT_TRUE(memo.contains("3 : Size: 4096 bytes")) << memo.toStdString();
  EXPECT_EQ(m.UpdateImages().Size(0), 8u);
  EXPECT_EQ(m.UpdateImages().Size(1), 12u);
  m.SpeedButtonIAPClick();
  m.SpeedButtonIAPClick();  // the second press does nothing
  EXPECT_EQ(m.CoreRef().Log().CountOf("connecting..."), 1u);
  EXPECT_TRUE(m.CoreRef().Tick().View().firmwareUpdateActive.load());

  w.chosenFiles = {file("iap.bin", 4000), file("app.bin", 50001)};
  m.SpeedButtonOpenBinClick();
  EXPECT_TRUE(w.C<QPlainTextEdit>("Memo2")->toPlainText().startsWith("You have chosen 2 个文件."));
  m.SpeedButtonSaveBinClick();  // the save chooser cancelled
  EXPECT_EQ(m.CoreRef().Log().CountOf("Please open the file"), 1u);
  w.saveTarget = QString::fromStdString(d.work + "/app-iap.bin");
  m.SpeedButtonSaveBinClick();
  EXPECT_EQ(std::filesystem::file_size(d.work + "/app-iap.bin"), 62288u);
}
