#include "AppWindow.h"

using namespace velquor;
using namespace velquor::testsupport;

// The panel is empty until a read; a click on another page only picks the row, and Write
// goes to the fixture the panel was read from, whatever row is picked since.
TEST(RdmPage, WriteGoesOnlyToTheDeviceThePanelWasReadFrom) {
  AppWindow d(kThreeSpots);
  QStringList panel;
  for (const char* edit : {"Edit1", "Edit2", "Edit5", "Edit8", "Edit9", "Edit35", "EditAddr"}) {
    panel << d.Text(edit);
  }
  EXPECT_EQ(panel.join('|'), "||||||") << "nothing that could pass for an answer";
  EXPECT_NE(d.C("Edit5")->palette().color(QPalette::Base), QColor(0, 255, 0)) << "no state";
  d.Page(7);
  d.ClickRow(d.List(), 2);
  d.Page(0);
  EXPECT_EQ(d.Text("Edit1"), "");
  QTest::keyClick(d.List(), Qt::Key_Return);  // Enter reads the fixture picked
  d.Settle();
  EXPECT_EQ(d.Text("Edit1"), "Spot 3");
  d.Page(7);
  d.ClickRow(d.List(), 0);
  d.Page(0);
  EXPECT_FALSE(d.C("SpeedButtonRdmWrite")->isEnabled());
  EXPECT_EQ(d.C<QLabel>("LabelPanelDevice")->text(), "面板: 0x7FF000000103") << "still Spot 3's";
  QTest::keyClicks(d.C("Edit1"), " moved");
  d.C("SpeedButtonRdmWrite")->setEnabled(true);  // as if enabled some other way
  d.Click("SpeedButtonRdmWrite");
  EXPECT_EQ(d.Rig(kSpot2 + 1).label, "Spot 3 moved") << "what the panel shows, to its device";
  EXPECT_EQ(std::tuple(d.Rig(kSpot1).label, d.Rig(kSpot1).startAddress), std::tuple("Spot 1", 1));
}

TEST(RadioPage, ReadChoosesTheAnsweredChannelAndWriteSendsTheChosenOne) {
  AppWindow d(kThreeSpots);
  d.Click("SpeedButtonRead");
  EXPECT_EQ(d.C<QComboBox>("ComboBoxRdmCh")->currentText(), "频道Ch3");
  d.Choose("ComboBoxRdmCh", 6);
  d.Click("SpeedButton1");
  EXPECT_EQ(d.Rig(kRadio).radioChannel, 7);
}

TEST(DmxPage, FadersAndScenesWorkWhileDiscoveryHoldsTheLine) {
  AppWindow d(kThreeSpots);
  d.Click("SpeedButtonDiscover", false);
  ASSERT_TRUE(d.window->CommandRunning());
  d.Page(3);
  auto* fader1 = d.C<QScrollBar>("ScrollBar1");
  fader1->setValue(55);  // 255 - 55 = 200
  EXPECT_EQ(d.window->CoreRef().Universe().At(0), 200) << "at once, not after the search";
  EXPECT_EQ(d.C<QLabel>("Label_D1")->text(), "200");
  d.C<QComboBox>("ComboBox_Fade")->setEditText("100");
  d.C<QComboBox>("ComboBox_Hold")->setEditText("100");
  d.Click("SpeedButton_Add", false);
  fader1->setValue(255);
  d.Click("SpeedButton_Add", false);
  ASSERT_EQ(d.C<QTableWidget>("ListView1")->rowCount(), 2);
  EXPECT_EQ(d.C<QTableWidget>("ListView1")->item(1, 1)->text(), "100");
  d.Click("SpeedButton6");  // stop the search
  d.Page(3);                // the search brought the RDM page forward when it began
  d.Click("SpeedButton18", false);
  EXPECT_EQ(d.C<QPushButton>("SpeedButton18")->text(), "Stop");
  QTest::qWait(1200);  // the tick plays the sequence: fades of 100 ms, holds of 100 ms
  EXPECT_TRUE(d.Log().contains("Running 2"));
}

TEST(ArtNetPage, UniverseLevelsAndShowsRecordedAndPlayedBack) {
  AppWindow d(kThreeSpots);
  d.Page(2);
  auto* universe = d.C<QLineEdit>("Edit_Universe");
  QTest::keyClicks(universe, "40000");
  EXPECT_EQ(universe->text(), "32767");
  EXPECT_EQ(d.window->CoreRef().Bridge().PortAddress(), 32767);
  using Step = QAbstractSlider::SliderAction;
  for (auto [step, shown] : {std::pair{Step::SliderSingleStepSub, "32767"},  // up: the top
                             {Step::SliderSingleStepAdd, "32766"}}) {
    d.C<QScrollBar>("UpDownUni")->triggerAction(step);
    EXPECT_EQ(universe->text(), shown);
  }
  auto* grid = d.C<QTableWidget>("StringGrid");
  d.window->CoreRef().Universe().Store(17, 99);  // slot 18: row 2, column 2
  d.window->CoreRef().Universe().Store(511, 7);  // slot 512: row 32, column 16
  d.window->ArtNetPage().UpdateScreen();
  EXPECT_EQ(grid->item(2, 2)->text(), "99");
  EXPECT_EQ(grid->item(32, 16)->text(), "7");
  grid->item(2, 2)->setText("x");
  d.window->ArtNetPage().UpdateScreen();
  EXPECT_EQ(grid->item(2, 2)->text(), "x") << "a level unchanged since is not written again";

  d.C<QComboBox>("ComboBoxArtNet")->setCurrentIndex(1);  // DMX512 To Art-Net: a frame a tick
  d.C<QLineEdit>("EditShowName")->setText("T1");
  d.Click("BtnRecord", false);
  EXPECT_EQ(d.C<QLabel>("ShowState")->text(), "Start");
  QTest::qWait(700);
  EXPECT_NE(d.C<QLabel>("ShowState")->text(), "Start") << "the count shows every ten frames";
  d.Click("BtnStop", false);
  auto* files = d.C<QListWidget>("FileListBoxShow");
  ASSERT_EQ(files->count(), 1);
  QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                    files->visualItemRect(files->item(0)).center());
  EXPECT_EQ(d.Text("Edit_Stop"),
            QString::number(std::filesystem::file_size(d.work / "T1.dmx") / 518));
  d.C<QComboBox>("ComboBoxArtNet")->setCurrentIndex(0);  // the universe goes out: playback
  d.Click("BtnPlay", false);
  EXPECT_EQ(d.C<QLabel>("ShowState")->text(), "Play");
  QTest::qWait(400);
  EXPECT_GT(d.Text("Edit_Start").toInt(), 0) << "the play position moves";
  d.Click("BtnStop", false);
  EXPECT_TRUE(d.C("BtnPlay")->isEnabled());
}

// sACN on the Art-Net page, the window on 127.0.0.1 and a console on 127.0.0.2.
TEST(ArtNetPage, SacnChosenTakesItsUniverseFromAConsoleAndTheStatusLineSaysWhence) {
  const int loopback = LoopbackIndex(net::ListHostAddresses());
  if (loopback < 0) GTEST_SKIP() << "skipped: this machine has no 127.0.0.1";
  AppWindow d;
  d.Shipped("UidList.ini").Shipped("lang_en.ini");
  d.Program("config.cfg",
            "[General]\r\nIP=" + std::to_string(loopback) + "\r\n[Form1]\r\nLanguage=ENU\r\n");
  d.Open().FormShow();
  d.Page(2);
  core::Core& core = d.window->CoreRef();
  auto enter = [&](const char* edit, const char* text) {
    d.Type(edit, text);
    QTest::keyClick(d.C(edit), Qt::Key_Return);
    return d.Text(edit);
  };
  EXPECT_EQ(enter("Edit_SacnUniverse", "70000"), "63999");
  EXPECT_EQ(enter("Edit_SacnPriority", "250"), "200");
  EXPECT_EQ(enter("Edit_SacnUniverse", "7"), "7");
  EXPECT_EQ(core.Sacn().Universe(), 7);

  UdpPeer console(kConsoleAddress, 0, core.Options().sacn.port);
  const std::array<uint8_t, 16> cid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ASSERT_TRUE(console.Send(SacnData(cid, "console", 7, 1, {201, 202})));
  QTest::qWait(100);
  EXPECT_EQ(core.Universe().At(0), 0) << "Art-Net is the page's protocol until sACN is chosen";
  d.C<QComboBox>("ComboBoxProtocol")->setCurrentIndex(1);
  ASSERT_TRUE(console.Send(SacnData(cid, "console", 7, 2, {201, 202})));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        d.window->ShowArtNetStatus();
        return d.C<QLabel>("LabelSacnStatus")
            ->text()
            .startsWith("sACN universe 7 from 'console' 127.0.0.2, priority 100");
      },
      3000))
      << d.C<QLabel>("LabelSacnStatus")->text().toStdString();
  EXPECT_EQ(d.C<QLabel>("LabelArtNetStatus")->text(), d.C<QLabel>("LabelSacnStatus")->text());
  EXPECT_NE(d.Config().find("[sACN]\r\nCID="), std::string::npos) << "the CID is kept";

  d.C<QComboBox>("ComboBoxProtocol")->setCurrentIndex(0);
  ASSERT_TRUE(console.Send(SacnData(cid, "console", 7, 3, {50})));
  QTest::qWait(100);
  EXPECT_EQ(core.Universe().At(0), 201) << "back on Art-Net: sACN is not heard";
  EXPECT_EQ(core.Sacn().Direction(), net::SacnDirection::Off);
}

TEST(PatchPage, FirstViewReadsTheRigAndAWriteOfTheDraggedMapAsksAboutOverlapsFirst) {
  AppWindow d(kThreeSpots);
  workbench::Workbench& bench = d.window->CoreRef().Bench();
  bench.Run([&] { bench.Operations().SetStartAddress(kSpot2, 50); });  // not by the window
  d.Page(1);                                                           // an unread patch is read
  d.Settle();
  EXPECT_EQ(bench.Table().Devices[1].StartAddressIndex, 49);
  auto drag = [&](int from, int to) {  // cells of 18 pixels, 32 a row
    for (auto [type, cell, held] : {std::tuple{QEvent::MouseButtonPress, from, Qt::LeftButton},
                                    {QEvent::MouseMove, to, Qt::LeftButton},
                                    {QEvent::MouseButtonRelease, to, Qt::NoButton}}) {
      const QPointF at((cell % 32) * 18 + 9, (cell / 32) * 18 + 9);
      QMouseEvent e(type, at, at, Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(d.C("PaintBox1"), &e);
    }
  };
  drag(50, 5);  // Spot 2 onto Spot 1
  d.yes = false;
  d.Click("Button7");
  EXPECT_EQ(d.asked, QStringList{"地址重叠"});
  EXPECT_EQ(d.Rig(kSpot2).startAddress, 50) << "nothing sent";
  drag(20, 100);
  d.Click("Button7");
  EXPECT_EQ(d.asked.size(), 1) << "a clean write is not asked about";
  EXPECT_EQ(d.Rig(kSpot2).startAddress, 101);
}

TEST(AddressingWindow, OpensOnTheRigIdentifiesTheSelectionAndHasItsOwnFaders) {
  AppWindow d(kThreeSpots);
  d.Click("SpeedButtonRdm");
  app::AddressingWindow& form2 = d.window->Form2();
  EXPECT_TRUE(form2.isVisible());
  auto* list = form2.findChild<QTableWidget*>("ListView1");
  ASSERT_NE(list, d.C<QTableWidget>("ListView1")) << "equal names, separate controls";
  ASSERT_EQ(list->rowCount(), 3);
  EXPECT_EQ(list->item(1, 1)->text(), "17");
  d.ClickRow(list, 1, 0);
  EXPECT_TRUE(d.Rig(kSpot2).identify);
  EXPECT_EQ(form2.findChild<QLabel*>("LabelUID")->text(), "UID:0x7FF000000102");
  EXPECT_EQ(form2.findChild<QScrollBar*>("ScrollBarDMX")->value(), 16);
  form2.findChild<QScrollBar*>("ScrollBar1")->setValue(55);
  EXPECT_EQ(d.window->CoreRef().Universe().At(16), 200);
  EXPECT_EQ(form2.findChild<QLabel*>("Label_D1")->text(), "200");
  QTest::mouseClick(form2.findChild<QPushButton*>("SpeedButton7"), Qt::LeftButton);
  d.Settle();
  EXPECT_FALSE(d.Rig(kSpot2).identify);
  QTest::keyClick(list, Qt::Key_Down);  // the arrow key picks the next fixture
  d.Settle();
  QTest::qWait(300);  // a pass asked for while Cancel all ended comes 100 ms later
  d.Settle();
  EXPECT_TRUE(d.Rig(kSpot2 + 1).identify);

  // A plan with Spot 2 on Spot 1, loaded: its write asks first, and "no" sends nothing.
  WriteBytes(d.work / "p.DMXLINK", workbench::EncodeAddressPlan(std::vector<workbench::PlanRecord>{
                                       {kSpot1, 0, 16, 0}, {kSpot2, 0, 16, 0}}));
  d.chosenFile = QString::fromStdString(d.work / "p.DMXLINK");
  d.yes = false;
  for (const char* button : {"SpeedButton5", "SpeedButton6"}) {
    QTest::mouseClick(form2.findChild<QPushButton*>(button), Qt::LeftButton);
    d.Settle();
  }
  EXPECT_EQ(d.asked, QStringList{"地址重叠"});
  EXPECT_EQ(d.Rig(kSpot2).startAddress, 17);
}

TEST(RdmPage, WhatTheWindowShowsIsWhatIsSentAndRisksAreAskedFirst) {
  AppWindow d(kThreeSpots);
  ASSERT_EQ(d.List()->rowCount(), 3);
  d.Click("SpeedButtonRdmRead");  // no row chosen: the first
  EXPECT_EQ(d.Text("Edit1"), "Spot 1");
  EXPECT_EQ(d.C("Edit35")->palette().color(QPalette::Base), QColor(255, 255, 0));
  // The Down arrow picks Spot 2 as a click does: read, identify on, the panel follows.
  QTest::keyClick(d.List(), Qt::Key_Down);
  d.Settle();
  EXPECT_EQ(d.C<QLabel>("LabelPanelDevice")->text(), "面板: 0x7FF000000102");
  QStringList panel;
  for (const char* edit : {"Edit1", "Edit2", "Edit8", "Edit35", "EditAddr"}) panel << d.Text(edit);
  EXPECT_EQ(panel.join('|'), "Spot 2|Northlight Works|Moving Head|2|17");
  EXPECT_EQ(d.C<QComboBox>("ComboBoxMode")->count(), 3);
  EXPECT_EQ(d.C("Edit35")->palette().color(QPalette::Base), QColor(255, 0, 255));
  EXPECT_EQ(d.List()->item(1, 5)->text(), "identify");

  // Reset is asked first; "no" sends nothing.
  d.yes = false;
  d.Click("SpeedButtonReset");
  EXPECT_EQ(d.asked, QStringList{"复位设备"});
  EXPECT_FALSE(d.Log().contains(" 30 1001 "));
  d.yes = true;
  d.Click("SpeedButtonReset");
  EXPECT_TRUE(d.Log().contains("7FF000000102 888800000001 ") && d.Log().contains(" 30 1001 "));

  // The console's parameter list follows the read (RESET_DEVICE is Spot 2's last); the
  // user picks DMX_START_ADDRESS and SET and types a byte: that is what goes out, nothing
  // kept apart, and the request joins the history.
  EXPECT_EQ(d.C<QComboBox>("ComboBoxParameter")->currentText(), "0x1001_E120_RESET_DEVICE");
  d.Page(7);
  d.Choose("ComboBoxParameter", 26);
  d.Choose("ComboBoxCommand", 1);
  d.Type("EditRdmData", "FF");
  d.Click("SpeedButtonAddrdm", false);
  EXPECT_EQ(d.C<QTableWidget>("ValueListEditorRDM")->item(0, 1)->text(), "FF");
  d.Click("SpeedButtonSendRDM");
  const QString log = d.Log(), sent = log.mid(log.lastIndexOf("->Request:"));
  EXPECT_TRUE(sent.contains(" 7FF000000102 ") && sent.contains(" 30 00F0 01 FF "))
      << log.right(600).toStdString();
  EXPECT_EQ(d.C<QListWidget>("ListBox_RDM")->count(), 1);

  // The address edit shows what it keeps; a click selects the whole text, the key filter
  // drops letters. Addresses that would overlap, from the panel or the batch, are listed and
  // asked about; "no" sends nothing.
  d.Page(0);
  QTest::mouseClick(d.C("EditAddr"), Qt::LeftButton);
  EXPECT_EQ(d.C<QLineEdit>("EditAddr")->selectedText(), "17");
  d.Type("EditAddr", "60x0");
  EXPECT_EQ(d.Text("EditAddr"), "512");
  d.yes = false;
  for (auto [edit, button] :
       {std::pair{"EditAddr", "SpeedButtonRdmWrite"}, {"EditStartAddress", "SpeedButtonAddress"}}) {
    d.asked.clear();
    d.Type(edit, "1");
    d.Click(button);
    EXPECT_EQ(d.asked, QStringList{"地址重叠"}) << button;
    EXPECT_TRUE(d.Log().contains("Address conflict: 0x7FF000000102 (Spot 2) at 1-16 overlaps"));
    EXPECT_EQ(d.Rig(kSpot2).startAddress, 17) << button;
  }

  // Clear list asks before devnames.lst and its labels go.
  d.Click("SpeedButton2");
  EXPECT_EQ(d.asked.back(), "清空列表");
  EXPECT_TRUE(d.List()->rowCount() == 3 && std::filesystem::exists(d.work / "devnames.lst"));
}

// The channel list and the fader labels are the panel's fixture's, whatever row is picked
// later on another page; faders beyond its slots keep their numbers.
TEST(ChannelsWindow, ListsThePanelsFixtureAndNamesItsFaders) {
  AppWindow d("7FF000000102=Spot 2\r\n7FF100000201=Wash Par 1\r\n");
  d.ClickRow(d.List(), 0);  // Spot 2, 16 channels from 17
  d.Page(7);                // the console page: a click only selects
  d.ClickRow(d.List(), 1);
  d.Page(0);
  d.Click("SpeedButtonChannels");
  auto* window = d.C<QDialog>("ChannelsWindow");
  ASSERT_TRUE(window && window->isVisible());
  EXPECT_EQ(window->windowTitle(), "通道功能");
  EXPECT_TRUE(
      window->findChild<QLabel*>()->text().contains("0x7FF000000102   Mode 1 (16 ch): Standard"));
  auto* table = window->findChild<QTableWidget*>();
  ASSERT_EQ(table->rowCount(), 16);
  EXPECT_EQ(QStringList({table->item(0, 0)->text(), table->item(0, 1)->text(),
                         table->item(0, 2)->text(), table->item(0, 3)->text()}),
            QStringList({"17", "Primary", "Pan", "128"}));
  EXPECT_EQ(table->item(5, 1)->text(), "Rotation");

  d.Page(3);
  d.C<QScrollBar>("ScrollBarDMX")->setValue(10);  // faders on slots 11..22
  EXPECT_EQ((QStringList{d.C<QLabel>("Label_C1")->text(), d.C<QLabel>("Label_C7")->text(),
                         d.C<QLabel>("Label_C7")->toolTip(), d.C<QLabel>("Label_C12")->toolTip()}),
            (QStringList{"11", "Pan", "17 Pan", "22 Gobo rotation"}));
}
