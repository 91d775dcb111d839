// Velquor Pro: the desktop controller. `--virtual-line [RIG]` runs it on the simulated RDM
// line instead of the box; `--help` lists the options.

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/Windows.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  velquor::app::WindowArguments arguments;
  QString message;
  switch (velquor::app::ParseWindowArguments(application.arguments(), arguments, message)) {
    case velquor::app::ParseOutcome::Help:
      std::printf("%s", message.toLocal8Bit().constData());
      return 0;
    case velquor::app::ParseOutcome::Error:
      std::fprintf(stderr, "velquor: %s\n", message.toLocal8Bit().constData());
      return 2;
    case velquor::app::ParseOutcome::Run:
      break;
  }
  // The user's directories when installed, else beside the program and the working directory.
  for (const std::string& problem : velquor::core::UseProgramPaths(arguments.core)) {
    std::fprintf(stderr, "velquor: %s\n", problem.c_str());
  }
  const velquor::core::CoreOptions& options = arguments.core;
  // File choosers open in the shows folder, where plans and patches are kept too.
  const QString fileDir = QString::fromStdString(options.showDir);
  const QString screenshot = arguments.screenshot;
  const int form2Row = arguments.form2Row;

  velquor::app::MainWindow* window = nullptr;
  velquor::app::Dialogs dialogs;
  dialogs.askYesNo = [&window](const QString& title, const QString& text) {
    return QMessageBox::question(window, title, text) == QMessageBox::Yes;
  };
  dialogs.showError = [&window](const QString& text) {
    QMessageBox::critical(window, "Velquor Pro", text);
  };
  dialogs.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  dialogs.openFiles = [&window, fileDir](const QString& filter) {
    return QFileDialog::getOpenFileNames(window, QString(), fileDir, filter);
  };
  dialogs.openFile = [&window, fileDir](const QString& filter) {
    return QFileDialog::getOpenFileName(window, QString(), fileDir, filter);
  };
  dialogs.saveFile = [&window, fileDir](const QString& filter, const QString& defaultName) {
    return QFileDialog::getSaveFileName(window, QString(), QDir(fileDir).filePath(defaultName),
                                        filter);
  };

  std::string error;
  velquor::app::MainWindow main(options, dialogs, error);
  if (!main.Ready()) {
    std::fprintf(stderr, "velquor: %s\n", error.c_str());
    return 2;
  }
  window = &main;
  if (!arguments.language.isEmpty()) main.UseLanguage(arguments.language);
  if (arguments.size.isValid()) main.resize(arguments.size);
  main.show();
  if (!arguments.page.isEmpty()) {
    auto* pages = main.findChild<QTabWidget*>("PageControl1");
    const int page = velquor::app::PageIndexOf(*pages, arguments.page);
    if (page < 0) {
      std::fprintf(stderr, "velquor: --page %s: no such page\n", qPrintable(arguments.page));
      return 2;
    }
    pages->setCurrentIndex(page);
  }
  int at = 2000;  // after the start-up load of the device list
  for (const QString& name : arguments.clicks) {
    QTimer::singleShot(at, &main, [&main, name] {
      if (auto* button = velquor::app::FindButton(main, name)) {
        button->click();
      } else {
        std::fprintf(stderr, "velquor: --click %s: no button has that object name or caption\n",
                     qPrintable(name));
      }
    });
    at += 300;
  }
  if (form2Row >= -1) {
    QTimer::singleShot(at, &main, [&main, form2Row] {
      if (auto* list = main.Form2().findChild<QTableWidget*>("ListView1"); list && form2Row >= 0) {
        emit list->cellClicked(form2Row, 0);
      }
    });
  }
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(arguments.screenshotDelayMs, &main, [&main, screenshot, form2Row] {
      auto* channels = main.findChild<QDialog*>("ChannelsWindow");
      if (form2Row >= -1) {
        main.Form2().grab().save(screenshot);
      } else if (channels && channels->isVisible()) {
        channels->grab().save(screenshot);  // a click opened it: it is the picture asked for
      } else if (main.Sensors().Window().isVisible()) {
        main.Sensors().Window().grab().save(screenshot);  // opened by a --click
      } else {
        main.grab().save(screenshot);
      }
      main.close();
    });
  }
  return application.exec();
}
