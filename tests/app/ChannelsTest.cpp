#include "AppWindow.h"

using namespace velquor;
using namespace velquor::testsupport;

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
  EXPECT_EQ(d.C<QLabel>("Label_C1")->text(), "11");
  EXPECT_EQ(d.C<QLabel>("Label_C7")->text(), "Pan");
  EXPECT_EQ(d.C<QLabel>("Label_C7")->toolTip(), "17 Pan");
  EXPECT_EQ(d.C<QLabel>("Label_C12")->toolTip(), "22 Gobo rotation");
}
