#include "AppWindow.h"
#include "app/CommandLine.h"
#include "app/Language.h"

using namespace velquor;
using namespace velquor::testsupport;
using app::MainWindow;

// Without config.cfg the window starts with the designed speed item and its time-out; with one,
// as it says. The scene file is read either way (a directory in its place is said).
TEST(Windows, StartUpAsDesignedOrAsTheSettingsSay) {
  for (const bool configured : {false, true}) {
    SCOPED_TRACE(configured ? "config.cfg with TEST=7, IP=2" : "no config.cfg");
    AppWindow a;
    if (configured) {
      a.Program("config.cfg", "[General]\r\nTEST=7\r\nIP=2\r\n").Shipped("UidList.ini");
      WriteBytes(a.work / "devnames.lst", "7FF000000101=Spot 1\r\n7FF100000201=Par\r\n");
      WriteBytes(a.work / "quendaris.show", "");
    } else {
      std::filesystem::create_directory(a.work / "quendaris.show");
    }
    MainWindow& w = a.Open();
    w.FormShow();
    for (const char* name : {"Label41", "Label7", "CheckBoxDMX", "CheckBoxTest", "EditTime"}) {
      EXPECT_EQ(a.C<QWidget>(name)->isHidden(), !configured) << name;
    }
    EXPECT_EQ(a.Log().contains("Fail to Open File!!!"), !configured);
    EXPECT_TRUE(w.CoreRef().Tick().Running());
    if (configured) {
      QTest::qWait(400);
      EXPECT_EQ(w.TestMode(), 7);
      // Index 2 when this host has that many addresses; otherwise the first.
      const size_t addresses = net::ListHostAddresses().size();
      EXPECT_EQ(w.ArtNetPage().NetworkAddressIndex(), addresses > 2 ? 2 : 0);
      EXPECT_EQ(static_cast<size_t>(a.C<QComboBox>("ComboBox_IP")->count()), addresses);
      EXPECT_EQ(a.List()->rowCount(), 2);
      EXPECT_EQ(a.C<QComboBox>("ComboBox_UID")->count(), 2);
      continue;
    }
    EXPECT_EQ(a.C<QComboBox>("ComboBoxRDM")->currentIndex(), 1);
    EXPECT_EQ(w.CoreRef().Link().RdmResponseTimeoutMs(), 50u);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(a.C<QLabel>("Label_quendaris"), &release);
    EXPECT_EQ(a.urls, QStringList{"http://www.velquor.example"});
  }
}

// A test machine has no box as a rule; with one attached the window must say nothing.
TEST(Windows, WithoutAUsableBoxTheWindowSaysWhatToDoOverTheList) {
  AppWindow a;
  a.virtualLine = false;
  MainWindow& w = a.Open();
  w.show();  // looks for the box
  auto* banner = a.C<QLabel>("LabelBoxState");
  const link::BoxState box = w.CoreRef().Link().Box();
  if (box == link::BoxState::Connected) {
    EXPECT_TRUE(banner->isHidden());
    return;
  }
  ASSERT_FALSE(banner->isHidden());
  EXPECT_EQ(banner->parentWidget()->childAt(banner->geometry().center()), banner)
      << "hidden under the device list";
  if (box == link::BoxState::NotFound) {
    EXPECT_TRUE(banner->text().contains("--virtual-line")) << banner->text().toStdString();
  }
  const QString chinese = banner->text();
  w.UseLanguage("ENU");
  EXPECT_NE(banner->text(), chinese) << "follows the window's language";
}

TEST(Languages, ShippedFilesTheToggleAndACaptionForEveryControl) {
  AppWindow a;
  for (const char* f : {"lang_ch.ini", "lang_en.ini", "lang_ch_2.ini", "lang_en_2.ini"}) {
    a.Shipped(f, true);  // as installed: among the defaults, none of the user's own
  }
  MainWindow& w = a.Open();
  EXPECT_EQ(a.Text("SpeedButtonDiscover"), "查找 设备 Discover") << "no config.cfg: as designed";
  w.Image_LClick();  // the installed English file reaches both windows, its tabs and lists
  EXPECT_EQ((QStringList{a.Text("SpeedButtonDiscover"), a.Form2Text("SpeedButton7"),
                         a.C<QTabWidget>("PageControl1")->tabText(7),
                         a.C<QComboBox>("ComboBoxRdmCh")->itemText(6)}),
            (QStringList{"Discover", "Cancel all", "MA2 Rdm Command", "Channel 7"}));
  EXPECT_TRUE(a.errors.isEmpty()) << a.errors.join("; ").toStdString();

  for (const char* f : {"lang_ch.ini", "lang_en.ini"}) {
    const auto ini = app::LoadProgramIni(a.program.path, f, a.defaults.path);
    ASSERT_TRUE(ini);
    for (const auto& entry : app::kMainControls) {
      const std::string name = entry.name;
      if (app::HasCaption(entry.kind) && *entry.caption && name != "DeviceConnect" &&
          name != "ShowState") {
        EXPECT_FALSE(ini->ReadString("Form1", name, "").empty()) << f << " " << name;
      }
    }
  }
}

TEST(Languages, TheFileChosenWhatItGivesAndWhatIsReported) {
  AppWindow a;
  a.Program("config.cfg", "[Form1]\r\nLanguage=ENU\r\n");
  // From a Chinese Windows install: "查找" in GB18030. The fader labels are set last.
  a.Program("lang_ch.ini",
            "[General]\r\nCaption=General title\r\n[Form1]\r\nForm1=Own title\r\nLabel_C1=XX\r\n"
            "SpeedButtonDiscover=\xB2\xE9\xD5\xD2\r\n");
  a.Shipped("lang_ch.ini", true);  // installed too: the user's own copy comes first
  MainWindow& w = a.Open();
  EXPECT_EQ(std::tuple(w.windowTitle(), w.font().pointSize(), a.Text("SpeedButtonDiscover"),
                       w.CurrentLanguage()),
            std::tuple("VELQUOR PRO V2.0.0", 12, "查找 设备 Discover", "ENU"))
      << "no lang_en.ini: the defaults";

  a.Program("config.cfg", "[Form1]\r\nLanguage=eng\r\n");  // only ENU is English
  a.Program("lang_en.ini", "[General]\r\nCaption=English\r\n");
  w.ApplyLanguageMain();
  EXPECT_EQ((QStringList{w.windowTitle(), a.C<QLabel>("Label_C1")->text(),
                         a.Text("SpeedButtonDiscover")}),
            (QStringList{"Own title", "1", "查找"}));
  // From a code that is not exact the toggle goes to Chinese first.
  for (auto [language, title] : {std::pair{"Language=CHS", "Own title"},
                                 {"Language=ENU", "English"},
                                 {"Language=CHS", "Own title"}}) {
    w.Image_LClick();
    EXPECT_NE(a.Config().find(language), std::string::npos);
    EXPECT_EQ(w.windowTitle(), title);
  }
  EXPECT_TRUE(a.errors.isEmpty());

  // Controls are taken in creation order: the clear button, then the device list, which has
  // no caption (one dialog, and the rest left), then the discovery button. Unusable values
  // are logged and their defaults used; an empty title leaves the general one.
  a.Program("lang_ch.ini",
            "[General]\r\nCaption=General title\r\nBackgroundColor=green\r\n"
            "FontSize=2147483647\r\nFontColor=255\r\n[Form1]\r\nForm1=\r\nSpeedButton5=one\r\n"
            "ListViewUID=no caption\r\nSpeedButtonDiscover=never\r\n");
  w.ApplyLanguageMain();
  EXPECT_EQ(w.windowTitle(), "General title");
  ASSERT_EQ(a.errors.size(), 1);
  EXPECT_TRUE(a.errors[0].contains("ListViewUID"));
  EXPECT_EQ(a.Text("SpeedButton5") + "|" + a.Text("SpeedButtonDiscover"), "one|查找");
  const QString log = a.Log();
  EXPECT_TRUE(
      log.contains("lang_ch.ini: BackgroundColor='green' is not usable; 0x001e1e1e is used"))
      << log.toStdString();
  EXPECT_TRUE(log.contains("lang_ch.ini: FontSize='2147483647' is not usable; 12 is used"));
  EXPECT_EQ(w.font().pointSize(), 12);
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0x1E, 0x1E, 0x1E));
  EXPECT_EQ(a.C<QPushButton>("SpeedButton5")->palette().color(QPalette::ButtonText),
            QColor(255, 0, 0))
      << "the font colour reaches the buttons";

  std::filesystem::remove(a.program / "config.cfg");
  std::filesystem::create_directory(a.program / "config.cfg");
  w.Image_LClick();
  ASSERT_EQ(a.errors.size(), 2);
  EXPECT_TRUE(a.errors[1].startsWith("Unable to write to "));
}

TEST(Windows, DiscoveryShowsItsProgressTheStopButtonEndsItAndClosingStopsEveryThread) {
  AppWindow a;
  MainWindow& w = a.Open();
  w.show();
  QTest::qWait(300);
  a.C<QPushButton>("SpeedButtonDiscover")->click();
  QTest::qWait(400);  // the window stays live while the search holds the line
  EXPECT_TRUE(w.CoreRef().Bench().LineBusy().load());
  const QString progress = a.C<QLabel>("LabelDiscovery")->text();
  EXPECT_TRUE(progress.startsWith("正在搜索: 已找到 ")) << progress.toStdString();
  a.C<QPushButton>("SpeedButton6")->click();
  QTest::qWait(800);
  EXPECT_TRUE(a.C<QLabel>("LabelDiscovery")->text().startsWith("搜索结束: 已找到 "));
  EXPECT_FALSE(w.CoreRef().Bench().LineBusy().load());
  w.Image_LClick();  // 中/EN
  EXPECT_TRUE(a.C<QLabel>("LabelDiscovery")->text().startsWith("Discovery ended: "));

  a.C<QPushButton>("SpeedButtonDiscover")->click();
  QTest::qWait(200);
  QElapsedTimer took;
  took.start();
  w.close();
  EXPECT_LT(took.elapsed(), 1000) << "closing in the middle of a search";
  EXPECT_FALSE(w.isVisible() || w.CoreRef().Tick().Running() ||
               w.CoreRef().Bench().LineBusy().load());
}

TEST(Windows, FirmwarePageLoadsStartsOnceAndMerges) {
  AppWindow a;
  MainWindow& w = a.Open();
  w.FormShow();
  auto file = [&](const std::string& name, size_t size) {
    WriteBytes(a.work / name, std::string(size, 'z'));
    return QString::fromStdString(a.work / name);
  };
  a.chosenFiles = {file("a.bin", 10), file("b.bin", 13), file("c.bin", 4096)};
  a.C<QPushButton>("SpeedButtonOpenFile")->click();
  EXPECT_TRUE(a.C<QPlainTextEdit>("Memo1")->toPlainText().startsWith("You have chosen 3 Files.\n"));
  a.C<QPushButton>("SpeedButtonIAP")->click();
  a.C<QPushButton>("SpeedButtonIAP")->click();  // the second press does nothing
  EXPECT_EQ(w.CoreRef().Log().CountOf("connecting..."), 1u);
  EXPECT_TRUE(w.CoreRef().Tick().View().firmwareUpdateActive.load());
  a.chosenFiles = {file("iap.bin", 4000), file("app.bin", 50001)};
  a.C<QPushButton>("SpeedButtonOpenBin")->click();
  a.saveTarget = QString::fromStdString(a.work / "app-iap.bin");
  a.C<QPushButton>("SpeedButtonSaveBin")->click();
  EXPECT_EQ(std::filesystem::file_size(a.work / "app-iap.bin"), 62288u);
}

namespace {

// The shown controls of every shown page whose text does not fit them or that lie outside
// their page, at the window's size now.
QStringList CutOrOutside(const AppWindow& a) {
  QStringList bad;
  auto* tabs = a.C<QTabWidget>("PageControl1");
  for (int i = 0; i < tabs->count(); ++i) {
    if (!tabs->isTabVisible(i)) continue;
    tabs->setCurrentIndex(i);
    QApplication::processEvents();
    for (QWidget* w : a.window->findChildren<QWidget*>()) {
      const QByteArray name = w->objectName().toUtf8();
      if (!w->isVisible() || !app::FindControl(app::kMainControls, name.constData())) continue;
      if (!w->parentWidget()->rect().contains(w->geometry())) bad << name + " outside";
      QString text;
      int room = w->width();
      if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
      if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        text = button->text();
        room -= qobject_cast<QCheckBox*>(w) ? 22 : 8;  // the box, the button's margins
      }
      if (w->fontMetrics().horizontalAdvance(text) > room) bad << name + " cut: " + text;
    }
  }
  tabs->setCurrentIndex(0);
  bad.removeDuplicates();
  return bad;
}

}  // namespace

TEST(Windows, FitsALaptopGrowsToFullHdAndNoTextIsCutInEitherLanguage) {
  AppWindow a("7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n");
  for (const char* f : {"lang_ch.ini", "lang_en.ini", "lang_ch_2.ini", "lang_en_2.ini"}) {
    a.Shipped(f);
  }
  MainWindow& w = *a.window;
  w.show();
  auto* tabs = a.C<QTabWidget>("PageControl1");
  QMap<QString, int> small;
  for (const char* language : {"CHS", "ENU"}) {
    w.UseLanguage(language);
    for (auto [asked, got] :
         {std::pair{QSize(800, 600), QSize(1280, 680)}, {QSize(1920, 1080), QSize(1920, 1080)}}) {
      w.resize(asked);
      QApplication::processEvents();
      EXPECT_EQ(w.size(), got);
      EXPECT_EQ(CutOrOutside(a).join("; ").toStdString(), "") << language << " " << got.width();
      tabs->setCurrentIndex(1);  // the Patch map, painted at this size
      QApplication::processEvents();
      QWidget* map = a.C("PaintBox1");
      map->repaint();
      const int cell = w.CoreRef().Bench().PatchPage().Map().cellWidth;
      EXPECT_LE(cell * 32, map->width());
      EXPECT_GT(cell * 33, map->width()) << "the cells fill the drawing area";
      for (const char* grown : {"ListViewUID", "LogMemo", "PaintBox1", "StringGrid"}) {
        const int area = a.C(grown)->width() * a.C(grown)->height();
        if (got.width() == 1280) {
          small[grown] = area;
        } else {
          EXPECT_GT(area, small[grown] * 3 / 2) << grown;
        }
      }
    }
  }
}

TEST(Windows, PicturesComeWithTheProgramUnlessAFileTakesTheirPlace) {
  AppWindow a;
  QImage(3, 2, QImage::Format_RGB32).save(QString::fromStdString(a.work / "Lang.jpg"), "PNG");
  a.Open().FormShow();
  EXPECT_EQ(a.C<QLabel>("Image_L")->pixmap().size(), QSize(3, 2)) << "the working directory's";
  for (const char* name : {"ImageArtNet", "ImagePatch", "ImageRdmRadio"}) {
    EXPECT_FALSE(a.C<QLabel>(name)->pixmap().isNull()) << name << ": none beside the program";
  }
}

TEST(CommandLine, OptionsAreCheckedAndPagesAndButtonsGoByName) {
  using app::ParseOutcome;
  app::WindowArguments args;
  QString message;
  const std::pair<QStringList, ParseOutcome> cases[] = {
      {{"velquor", "--help"}, ParseOutcome::Help},
      {{"velquor", "--size", "1280"}, ParseOutcome::Error},
      {{"velquor", "--language", "fr"}, ParseOutcome::Error},
      {{"velquor", "--bogus"}, ParseOutcome::Error},
      {{"velquor", "stray"}, ParseOutcome::Error},  // a rig only with --virtual-line
      {{"velquor", "--virtual-line", "rig.ini", "--screenshot", "a.png", "900", "--size",
        "1280x680", "--language", "enu"},
       ParseOutcome::Run}};
  for (const auto& [argv, outcome] : cases) {
    args = {};
    EXPECT_EQ(app::ParseWindowArguments(argv, args, message), outcome)
        << argv.join(' ').toStdString();
  }
  EXPECT_EQ(std::tuple(args.core.rigFile, args.screenshotDelayMs, args.size, args.language),
            std::tuple("rig.ini", 900, QSize(1280, 680), "ENU"));

  AppWindow a;
  MainWindow& w = a.Open();
  const auto* tabs = a.C<QTabWidget>("PageControl1");
  for (auto [name, index] : {std::pair{"patch", 1},
                             {"RdmRadio", 6},
                             {"TabSheet8", 7},
                             {"3", 3},
                             {"Nowhere", -1},
                             {"9", -1}}) {
    EXPECT_EQ(app::PageIndexOf(*tabs, name), index) << name;
  }
  for (auto [asked, found] : {std::pair{"Discover", "SpeedButtonDiscover"},
                              {"SpeedButtonRdmRead", "SpeedButtonRdmRead"},
                              {"increase", "SpeedButtonAdd"},
                              {"Nothing like it", ""}}) {
    QAbstractButton* button = app::FindButton(w, asked);
    EXPECT_EQ(button ? button->objectName() : QString(), found) << asked;
  }
}

// Export… writes the list as it stands, without asking the line: the start-up load read the
// blocks and personalities, nobody read a manufacturer yet, so those cells stay empty. A name
// without a report's extension becomes a PDF; a file that cannot be written is said.
TEST(Windows, ExportWritesThePatchReportOfTheListAsItStands) {
  AppWindow a(kThreeSpots);
  const size_t requests = a.window->CoreRef().Log().CountStartingWith("->Request:");
  a.saveTarget = QString::fromStdString(a.work / "rig.csv");
  a.C<QPushButton>("SpeedButtonExport")->click();
  // The rows' layout is the report's own to test; here, what the list holds and lacks.
  EXPECT_NE(
      ReadBytes(a.work / "rig.csv").find("\r\n0x7FF000000102,Spot 2,,,Standard,17,16,32,,\r\n"),
      std::string::npos);
  EXPECT_EQ(a.window->CoreRef().Log().CountStartingWith("->Request:"), requests);
  a.saveTarget = QString::fromStdString(a.work / "rig");
  a.C<QPushButton>("SpeedButtonExport")->click();
  EXPECT_EQ(ReadBytes(a.work / "rig.pdf").substr(0, 5), "%PDF-");
  EXPECT_TRUE(
      a.Log().contains("Patch report written: " + QString::fromStdString(a.work / "rig.pdf")));
  a.saveTarget = QString::fromStdString(a.work / "gone/rig.html");
  a.C<QPushButton>("SpeedButtonExport")->click();
  EXPECT_EQ(a.errors.size(), 1);
}
