#pragma once
// The main window on the virtual line, in a program and a working directory of its own, for
// the window tests: the test writes their files first, then opens it (or starts it with a
// device list loaded), and answers its questions (their titles kept) and file choosers.

#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <filesystem>

#include "WorkbenchHarness.h"
#include "app/Windows.h"
#include "net/NetTestSupport.h"

namespace velquor::testsupport {

struct AppWindow {
  AppWindow() = default;
  // Started as the user starts it: the shipped UidList.ini, `list` as devnames.lst, the
  // window's start-up, and (`settle`) the start-up load of the listed devices ended.
  explicit AppWindow(const std::string& list, bool settle = true) {
    Shipped("UidList.ini");
    WriteBytes(work / "devnames.lst", list);
    Open().FormShow();
    // The start-up timer loads the table; a loaded machine may be late with it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->StartUpLoadPending(); }, 10000));
    if (settle) Settle();
  }
  ~AppWindow() {
    if (window) window->close();
  }
  AppWindow& Program(const std::string& name, const std::string& text) {
    WriteBytes(program / name, text);
    return *this;
  }
  // A shipped file beside the program, or (`installed`) among the installed defaults.
  AppWindow& Shipped(const std::string& name, bool installed = false) {
    std::filesystem::copy_file(std::string(VELQUOR_RESOURCES) + "/" + name,
                               (installed ? defaults : program) / name);
    return *this;
  }
  app::MainWindow& Open() {
    core::CoreOptions options;
    options.virtualLine = virtualLine;
    options.artNet.port = FreeUdpPort();  // never the real 6454 of this machine
    options.sacn.port = FreeUdpPort();    // nor its 5568
    options.programDir = program.path;
    options.workDir = work.path;
    options.defaultsDir = defaults.path;
    app::Dialogs dialogs;
    dialogs.askYesNo = [this](const QString& title, const QString&) {
      asked.push_back(title);
      return yes;
    };
    dialogs.showError = [this](const QString& text) { errors << text; };
    dialogs.openUrl = [this](const QString& url) { urls << url; };
    dialogs.openFiles = [this](const QString&) { return chosenFiles; };
    dialogs.openFile = [this](const QString&) { return chosenFile; };
    dialogs.saveFile = [this](const QString&, const QString&) { return saveTarget; };
    std::string error;
    window = std::make_unique<app::MainWindow>(options, dialogs, error);
    return *window;
  }
  // Lets the command in hand end and the window take its result.
  void Settle() {
    auto& executor = window->CoreRef().Bench().Executor();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !window->CommandRunning() && !executor.CommandActive(); }, 10000))
        << "the command in hand never ended";
    QApplication::processEvents();
  }
  template <class T = QWidget>
  T* C(const char* name) const {
    return window->findChild<T*>(name);
  }
  // An edit's text, else a button's caption.
  QString Text(const char* name) const {
    if (auto* edit = C<QLineEdit>(name)) return edit->text();
    return C<QAbstractButton>(name)->text();
  }
  QString Form2Text(const char* button) const {
    return window->Form2().findChild<QAbstractButton*>(button)->text();
  }
  QString Log() const {
    QApplication::processEvents();
    return C<QPlainTextEdit>("LogMemo")->toPlainText();
  }
  std::string Config() const { return ReadBytes(program / "config.cfg"); }
  QTableWidget* List() const { return C<QTableWidget>("ListViewUID"); }
  void Page(int index) const { C<QTabWidget>("PageControl1")->setCurrentIndex(index); }
  void Click(const char* button, bool settle = true) {
    QTest::mouseClick(C<QPushButton>(button), Qt::LeftButton);
    if (settle) Settle();
  }
  void ClickRow(QTableWidget* list, int row, int column = 1) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, column)).center());
    Settle();
  }
  void Type(const char* edit, const char* text) const {
    C<QLineEdit>(edit)->selectAll();
    QTest::keyClicks(C<QLineEdit>(edit), text);
  }
  // As the user picks an item: the box changes, then says it was activated.
  void Choose(const char* box, int index) const {
    C<QComboBox>(box)->setCurrentIndex(index);
    emit C<QComboBox>(box)->activated(index);
  }
  // The fixture as the rig has it.
  virtualline::Fixture Rig(AnyUid uid) const {
    return *window->CoreRef().Line()->FixtureState(rdm::Uid(uid).Value());
  }

  ScratchDir program, work, defaults;
  QStringList errors, urls;
  QStringList asked;        // the questions' titles, in order
  bool yes = true;          // the answer to each
  bool virtualLine = true;  // false: the real box, through libusb
  QStringList chosenFiles;  // what the file choosers answer; empty: cancelled
  QString chosenFile;
  QString saveTarget;
  std::unique_ptr<app::MainWindow> window;
};

}  // namespace velquor::testsupport
