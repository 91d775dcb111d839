#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "WorkbenchHarness.h"
#include "app/Windows.h"
#include "net/NetTestSupport.h"

using namespace velquor;
using namespace velquor::testsupport;

namespace {

// The main window on the virtual line with three spots listed and the table loaded.
struct Desk {
  explicit Desk(const std::string& list =
                    "7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n7FF000000103=Spot 3\r\n",
                bool settle = true)
      : program(MakeTempDir()), work(MakeTempDir()) {
    std::filesystem::copy_file(std::string(VELQUOR_RESOURCES) + "/UidList.ini",
                               program + "/UidList.ini");
    WriteText(work + "/devnames.lst", list);
    core::CoreOptions options;
    options.virtualLine = true;
    options.artNet.port = FreeUdpPort();  // never the real 6454 of this machine
    options.programDir = program;
    options.workDir = work;
    std::string error;
    app::Dialogs dialogs;
    dialogs.askYesNo = [this](const QString& title, const QString&) {
      asked.push_back(title);
      return yes;
    };
    window = std::make_unique<app::MainWindow>(options, dialogs, error);
    window->FormShow();
    Run(350);  // the start-up timer loads the table
    if (settle) Settle();
  }
  ~Desk() {
    window->close();
    window.reset();
    std::error_code ec;
    std::filesystem::remove_all(program, ec);
    std::filesystem::remove_all(work, ec);
  }
  void Run(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  // Lets the command in hand end and the window take its result.
  void Settle() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 &&
           (window->CommandRunning() || window->CoreRef().Bench().Executor().CommandActive())) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QApplication::processEvents();
  }
  template <class T>
  T* C(const char* name) {
    return window->findChild<T*>(name);
  }
  QString Log() { return C<QPlainTextEdit>("LogMemo")->toPlainText(); }

  std::string program, work;
  QStringList asked;  // the questions' titles, in order
  bool yes = true;    // the answer to each
  std::unique_ptr<app::MainWindow> window;
};

}  // namespace

TEST(RdmPage, ReadButtonFillsThePanel) {
  Desk d;
  ASSERT_EQ(d.C<QTableWidget>("ListViewUID")->rowCount(), 3);
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonRdmRead"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.C<QLineEdit>("Edit1")->text(), "Spot 1");
  EXPECT_EQ(d.C<QLineEdit>("Edit2")->text(), "Northlight Works");
  EXPECT_EQ(d.C<QLineEdit>("Edit8")->text(), "Moving Head");
  EXPECT_EQ(d.C<QLineEdit>("Edit35")->palette().color(QPalette::Base), QColor(255, 255, 0));
  EXPECT_EQ(d.C<QComboBox>("ComboBoxMode")->count(), 3);
  EXPECT_GT(d.C<QComboBox>("ComboBoxID")->count(), 9);
}

TEST(RdmPage, TypedAddressIsClampedInTheEdit) {
  Desk d;
  auto* addr = d.C<QLineEdit>("EditAddr");
  QTest::mouseClick(addr, Qt::LeftButton);
  EXPECT_EQ(addr->selectedText(), addr->text()) << "a click selects the whole text";
  QTest::keyClicks(addr, "600");
  EXPECT_EQ(addr->text(), "512");
  EXPECT_TRUE(d.Log().contains("DMX Address:512"));
  addr->selectAll();
  QTest::keyClicks(addr, "0");
  EXPECT_EQ(addr->text(), "1");
  QTest::keyClicks(addr, "x");  // the key filter drops it
  EXPECT_EQ(addr->text(), "1");
  auto* start = d.C<QLineEdit>("EditStartAddress");
  start->selectAll();
  QTest::keyClicks(start, "999");
  EXPECT_EQ(start->text(), "511");
}

TEST(RdmPage, RowClickReadsThenIdentifies) {
  Desk d;
  auto* list = d.C<QTableWidget>("ListViewUID");
  QRect cell = list->visualRect(list->model()->index(1, 1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  d.Settle();
  EXPECT_EQ(d.C<QLineEdit>("Edit35")->text(), "2");
  EXPECT_EQ(d.C<QLineEdit>("Edit35")->palette().color(QPalette::Base), QColor(255, 0, 255));
  EXPECT_EQ(d.C<QLineEdit>("Edit1")->text(), "Spot 2");
  EXPECT_EQ(list->item(1, 5)->text(), "identify");
  EXPECT_TRUE(d.window->CoreRef().Line()->FixtureState(0x7FF000000102ULL)->identify);
}

TEST(ConsolePage, GetAddsToTheHistoryAndLogsTheAnswer) {
  Desk d;
  d.C<QComboBox>("ComboBoxParameter")->setCurrentIndex(13);
  emit d.C<QComboBox>("ComboBoxParameter")->activated(13);
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonSendRDM"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.C<QListWidget>("ListBox_RDM")->count(), 1);
  EXPECT_TRUE(d.Log().contains("Raw Command Send: data length:0"));
  EXPECT_TRUE(d.Log().contains("Received 19 Data:"));
  auto* data = d.C<QLineEdit>("EditRdmData");
  data->selectAll();
  QTest::keyClicks(data, "300");
  EXPECT_EQ(data->text(), "255");
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonAddrdm"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.C<QTableWidget>("ValueListEditorRDM")->rowCount(), 1);
  EXPECT_EQ(d.C<QTableWidget>("ValueListEditorRDM")->item(0, 1)->text(), "255");
}

TEST(RadioPage, ReadChoosesTheAnsweredChannel) {
  Desk d;
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonRead"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.C<QComboBox>("ComboBoxRdmCh")->currentText(), "频道Ch3");
  d.C<QComboBox>("ComboBoxRdmCh")->setCurrentIndex(6);
  emit d.C<QComboBox>("ComboBoxRdmCh")->activated(6);
  QTest::mouseClick(d.C<QPushButton>("SpeedButton1"), Qt::LeftButton);
  d.Settle();
  EXPECT_TRUE(d.Log().contains("Write device successful device channel: 7"));
}

TEST(RdmPage, StartUpLoadOfManySilentDevicesKeepsTheWindowLiveAndStops) {
  std::string list;
  for (int k = 0; k < 530; ++k) list += "12340000" + std::to_string(1000 + k) + "=x\r\n";
  Desk d(list, false);
  ASSERT_TRUE(d.window->CommandRunning()) << "each silent device costs its time-out";
  QElapsedTimer frozen;
  frozen.start();
  d.Run(300);  // events keep flowing while the line is busy
  EXPECT_LT(frozen.elapsed(), 1000);
  const int rowsWhileLoading = d.C<QTableWidget>("ListViewUID")->rowCount();
  EXPECT_EQ(rowsWhileLoading, 530) << "the whole list shows while its devices are asked";
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonRdmRead"), Qt::LeftButton);
  d.Run(50);
  EXPECT_TRUE(d.Log().contains("Read not started: Loading the device list is still running"));
  QTest::mouseClick(d.C<QPushButton>("SpeedButton6"), Qt::LeftButton);
  d.Settle();
  EXPECT_FALSE(d.window->CommandRunning());
  EXPECT_TRUE(d.Log().contains("Loading stopped: devices from row "));
  EXPECT_EQ(d.C<QTableWidget>("ListViewUID")->rowCount(), 530) << "every listed row shows";
}

TEST(RdmPage, WriteGoesOnlyToTheDeviceThePanelWasReadFrom) {
  Desk d("7FF000000102=Spot 2\r\n7FF100000201=Wash Par 1\r\n");
  auto* list = d.C<QTableWidget>("ListViewUID");
  auto clickRow = [&](int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 1)).center());
    d.Settle();
  };
  clickRow(0);  // Spot 2, read on the RDM page
  EXPECT_EQ(d.C<QLabel>("LabelPanelDevice")->text(), "面板: 0x7FF000000102");
  auto* pages = d.C<QTabWidget>("PageControl1");
  pages->setCurrentIndex(7);  // the console page: a click only selects
  clickRow(1);
  pages->setCurrentIndex(0);
  EXPECT_FALSE(d.C<QPushButton>("SpeedButtonRdmWrite")->isEnabled());
  EXPECT_EQ(d.C<QLabel>("LabelPanelDevice")->text(), "面板: 0x7FF000000102") << "still Spot 2's";
  d.C<QPushButton>("SpeedButtonRdmWrite")->setEnabled(true);  // as if enabled some other way
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonRdmWrite"), Qt::LeftButton);
  d.Settle();
  EXPECT_TRUE(d.Log().contains("Setting start address of 0x7FF000000102"))
      << "the panel's values go to the device they were read from";
  EXPECT_FALSE(d.Log().contains("Setting start address of 0x7FF100000201"));
  const auto par = d.window->CoreRef().Line()->FixtureState(0x7FF100000201ULL);
  EXPECT_EQ(par->label, "Wash Par 1") << "the rig itself is unchanged";
  EXPECT_EQ(par->startAddress, 65);
  EXPECT_EQ(par->personality, 2);
}

TEST(DmxPage, FadersAndScenesWorkWhileDiscoveryHoldsTheLine) {
  Desk d;
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonDiscover"), Qt::LeftButton);
  ASSERT_TRUE(d.window->CommandRunning());
  auto* pages = d.C<QTabWidget>("PageControl1");
  pages->setCurrentIndex(3);  // DMX
  auto* fader1 = d.C<QScrollBar>("ScrollBar1");
  fader1->setValue(55);  // 255 - 55 = 200
  EXPECT_EQ(d.window->CoreRef().Universe().At(0), 200) << "at once, not after the search";
  EXPECT_EQ(d.C<QLabel>("Label_D1")->text(), "200");
  d.C<QComboBox>("ComboBox_Fade")->setEditText("100");
  d.C<QComboBox>("ComboBox_Hold")->setEditText("100");
  QTest::mouseClick(d.C<QPushButton>("SpeedButton_Add"), Qt::LeftButton);
  fader1->setValue(255);
  QTest::mouseClick(d.C<QPushButton>("SpeedButton_Add"), Qt::LeftButton);
  auto* list = d.C<QTableWidget>("ListView1");
  ASSERT_EQ(list->rowCount(), 2);
  EXPECT_EQ(list->item(1, 0)->text(), "No.2");
  EXPECT_EQ(list->item(1, 1)->text(), "100");
  QTest::mouseClick(d.C<QPushButton>("SpeedButton6"), Qt::LeftButton);  // stop the search
  d.Settle();
  pages->setCurrentIndex(3);  // the search brought the RDM page forward when it began
  auto* run = d.C<QPushButton>("SpeedButton18");
  QTest::mouseClick(run, Qt::LeftButton);
  EXPECT_EQ(run->text(), "Stop");
  d.Run(1200);  // the tick plays the sequence: fades of 100 ms, holds of 100 ms
  EXPECT_TRUE(d.Log().contains("Running 2"));
  EXPECT_TRUE(d.Log().contains("Running 1"));
  QTest::mouseClick(run, Qt::LeftButton);
  EXPECT_EQ(run->text(), "Run");
}

TEST(ArtNetPage, RecordsWholeFramesAndPlaysThemBack) {
  Desk d;
  auto* pages = d.C<QTabWidget>("PageControl1");
  pages->setCurrentIndex(2);                             // Art-Net
  d.C<QComboBox>("ComboBoxArtNet")->setCurrentIndex(1);  // DMX512 To Art-Net: a frame a tick
  d.C<QLineEdit>("EditShowName")->setText("T1");
  QTest::mouseClick(d.C<QPushButton>("BtnRecord"), Qt::LeftButton);
  EXPECT_EQ(d.C<QLabel>("ShowState")->text(), "Start");
  EXPECT_FALSE(d.C<QPushButton>("BtnRecord")->isEnabled());
  d.Run(700);
  EXPECT_NE(d.C<QLabel>("ShowState")->text(), "Start") << "the count shows every ten frames";
  QTest::mouseClick(d.C<QPushButton>("BtnStop"), Qt::LeftButton);
  EXPECT_EQ(d.C<QLabel>("ShowState")->text(), "Finish");
  EXPECT_TRUE(d.Log().contains("T1.dmx"));
  const auto size = std::filesystem::file_size(d.work + "/T1.dmx");
  EXPECT_GT(size, 518u * 5);
  EXPECT_EQ(size % 518, 0u) << "whole frames only";

  auto* files = d.C<QListWidget>("FileListBoxShow");
  ASSERT_EQ(files->count(), 1);
  QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                    files->visualItemRect(files->item(0)).center());
  EXPECT_EQ(d.C<QLineEdit>("Edit_Stop")->text(), QString::number(size / 518));
  d.C<QComboBox>("ComboBoxArtNet")->setCurrentIndex(0);  // the universe goes out: playback
  QTest::mouseClick(d.C<QPushButton>("BtnPlay"), Qt::LeftButton);
  EXPECT_EQ(d.C<QLabel>("ShowState")->text(), "Play");
  d.Run(400);
  EXPECT_GT(d.C<QLineEdit>("Edit_Start")->text().toInt(), 0) << "the play position moves";
  QTest::mouseClick(d.C<QPushButton>("BtnStop"), Qt::LeftButton);
  EXPECT_TRUE(d.C<QPushButton>("BtnPlay")->isEnabled());
}

namespace {

void Mouse(QWidget* w, QEvent::Type type, int cell, Qt::MouseButtons held) {
  const QPointF at((cell % 32) * 18 + 9, (cell / 32) * 18 + 9);
  QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(PatchPage, FirstViewReadsThenADragAndWriteReaddressTheRig) {
  Desk d;
  auto* pages = d.C<QTabWidget>("PageControl1");
  pages->setCurrentIndex(1);  // the Patch page: an unread patch is read
  d.Settle();
  auto& table = d.window->CoreRef().Bench().Table();
  EXPECT_EQ(table.Devices[1].StartAddressIndex, 16);
  QWidget* map = d.C<QWidget>("PaintBox1");
  Mouse(map, QEvent::MouseButtonPress, 20, Qt::LeftButton);  // inside Spot 2
  Mouse(map, QEvent::MouseMove, 100, Qt::LeftButton);
  Mouse(map, QEvent::MouseButtonRelease, 100, Qt::NoButton);
  EXPECT_EQ(table.Devices[1].StartAddressIndex, 100);
  QTest::mouseClick(d.C<QPushButton>("Button7"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.window->CoreRef().Line()->FixtureState(0x7FF000000102ULL)->startAddress, 101);
}

TEST(AddressingWindow, OpensBesideTheMainWindowIdentifiesTheSelectionAndHasItsOwnFaders) {
  Desk d;
  d.window->CoreRef().Bench().Run([&] { d.window->CoreRef().Bench().PatchPage().Read(false); });
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonRdm"), Qt::LeftButton);
  d.Settle();
  app::AddressingWindow& form2 = d.window->Form2();
  EXPECT_TRUE(form2.isVisible());
  auto* list = form2.findChild<QTableWidget*>("ListView1");
  ASSERT_NE(list, d.C<QTableWidget>("ListView1")) << "equal names, separate controls";
  ASSERT_EQ(list->rowCount(), 3);
  EXPECT_EQ(list->item(1, 1)->text(), "17");
  const QRect cell = list->visualItemRect(list->item(1, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  d.Settle();
  EXPECT_TRUE(d.window->CoreRef().Line()->FixtureState(0x7FF000000102ULL)->identify);
  EXPECT_FALSE(d.window->CoreRef().Line()->FixtureState(0x7FF000000101ULL)->identify);
  EXPECT_EQ(form2.findChild<QLabel*>("LabelUID")->text(), "UID:0x7FF000000102");
  EXPECT_EQ(form2.findChild<QScrollBar*>("ScrollBarDMX")->value(), 16);
  form2.findChild<QScrollBar*>("ScrollBar1")->setValue(55);
  EXPECT_EQ(d.window->CoreRef().Universe().At(16), 200);
  EXPECT_EQ(form2.findChild<QLabel*>("Label_D1")->text(), "200");
  QTest::mouseClick(form2.findChild<QPushButton*>("SpeedButton7"), Qt::LeftButton);
  d.Settle();
  EXPECT_FALSE(d.window->CoreRef().Line()->FixtureState(0x7FF000000102ULL)->identify);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);  // the arrow key picks the next fixture
  d.Settle();
  d.Run(300);  // a pass asked for while Cancel all ended comes 100 ms later
  d.Settle();
  EXPECT_TRUE(d.window->CoreRef().Line()->FixtureState(0x7FF000000103ULL)->identify);
  form2.close();
}

TEST(RdmPage, WhatTheWindowShowsIsWhatIsSentAndRisksAreAskedFirst) {
  Desk d;
  auto* list = d.C<QTableWidget>("ListViewUID");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(0, 1)).center());
  d.Settle();
  // The Down arrow picks Spot 2 as a click does: the panel follows the highlight.
  QTest::keyClick(list, Qt::Key_Down);
  d.Settle();
  EXPECT_EQ(d.C<QLabel>("LabelPanelDevice")->text(), "面板: 0x7FF000000102");

  // Reset is asked first; "no" sends nothing.
  d.yes = false;
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonReset"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.asked.size(), 1);
  EXPECT_FALSE(d.Log().contains(" 30 1001 "));
  d.yes = true;
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonReset"), Qt::LeftButton);
  d.Settle();
  EXPECT_TRUE(d.Log().contains("7FF000000102 888800000001"));

  // The console's parameter list follows the read (RESET_DEVICE is Spot 2's last); the
  // user picks DMX_START_ADDRESS and SET: that is what goes out, nothing kept apart.
  auto* parameter = d.C<QComboBox>("ComboBoxParameter");
  EXPECT_EQ(parameter->currentText(), "0x1001_E120_RESET_DEVICE");
  d.C<QTabWidget>("PageControl1")->setCurrentIndex(7);
  for (auto [box, index] : {std::pair{parameter, 26}, {d.C<QComboBox>("ComboBoxCommand"), 1}}) {
    box->setCurrentIndex(index);  // as the user picks it
    emit box->activated(index);
  }
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonAddrdm"), Qt::LeftButton);
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonSendRDM"), Qt::LeftButton);
  d.Settle();
  const QString log = d.Log();
  const QString sent = log.mid(log.lastIndexOf("->Request:"));
  EXPECT_TRUE(sent.contains(" 30 00F0 01 01 ")) << log.right(600).toStdString();

  // Overlapping addresses are listed and asked about; "no" sends nothing.
  d.C<QTabWidget>("PageControl1")->setCurrentIndex(0);
  d.yes = false;
  auto* start = d.C<QLineEdit>("EditStartAddress");
  start->selectAll();
  QTest::keyClicks(start, "1");
  QTest::mouseClick(d.C<QPushButton>("SpeedButtonAddress"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.asked.back(), "地址重叠");
  EXPECT_TRUE(d.Log().contains("Address conflict: 0x7FF000000102 (Spot 2) at 1-16 overlaps"));
  EXPECT_EQ(d.window->CoreRef().Line()->FixtureState(0x7FF000000102ULL)->startAddress, 17);

  // Clear list asks before devnames.lst and its labels go.
  QTest::mouseClick(d.C<QPushButton>("SpeedButton2"), Qt::LeftButton);
  d.Settle();
  EXPECT_EQ(d.asked.back(), "清空列表");
  EXPECT_EQ(list->rowCount(), 3);
  EXPECT_TRUE(std::filesystem::exists(d.work + "/devnames.lst"));
}
