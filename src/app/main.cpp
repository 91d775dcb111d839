// Velquor Pro: the desktop controller. `--virtual-line [RIG]` runs it on the simulated RDM
// line instead of the box.

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Windows.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  velquor::core::CoreOptions options;
  QString screenshot;  // --screenshot FILE [MS]: save a picture of the window, then quit
  int screenshotDelayMs = 1500;
  int page = -1;
  QStringList clicks;  // --click NAME: press these buttons first (for screenshots)
  int form2Row = -2;   // --form2 ROW: picture the addressing window with that row picked
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
      if (i + 1 < argc && argv[i + 1][0] != '-') screenshotDelayMs = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--click") == 0 && i + 1 < argc) {
      clicks << argv[++i];
    } else if (std::strcmp(argv[i], "--form2") == 0 && i + 1 < argc) {
      form2Row = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--page") == 0 && i + 1 < argc) {
      page = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--virtual-line") == 0) {
      options.virtualLine = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') options.rigFile = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("velquor [--virtual-line [RIG]]\n");
      return 0;
    } else {
      std::fprintf(stderr, "velquor: unknown option %s (use --virtual-line [RIG])\n", argv[i]);
      return 2;
    }
  }

  velquor::app::MainWindow* window = nullptr;
  velquor::app::Dialogs dialogs;
  dialogs.askYesNo = [&window](const QString& title, const QString& text) {
    return QMessageBox::question(window, title, text) == QMessageBox::Yes;
  };
  dialogs.showError = [&window](const QString& text) {
    QMessageBox::critical(window, "Velquor Pro", text);
  };
  dialogs.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  dialogs.openFiles = [&window](const QString& filter) {
    return QFileDialog::getOpenFileNames(window, QString(), QString(), filter);
  };
  dialogs.openFile = [&window](const QString& filter) {
    return QFileDialog::getOpenFileName(window, QString(), QString(), filter);
  };
  dialogs.saveFile = [&window](const QString& filter, const QString& defaultName) {
    return QFileDialog::getSaveFileName(window, QString(), defaultName, filter);
  };

  std::string error;
  velquor::app::MainWindow main(options, dialogs, error);
  if (!main.Ready()) {
    std::fprintf(stderr, "velquor: %s\n", error.c_str());
    return 2;
  }
  window = &main;
  main.show();
  if (page >= 0) main.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(page);
  int at = 2000;  // after the start-up load of the device list
  for (const QString& name : clicks) {
    QTimer::singleShot(at, &main, [&main, name] {
      if (auto* button = main.findChild<QAbstractButton*>(name)) button->click();
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
    QTimer::singleShot(screenshotDelayMs, &main, [&main, screenshot, form2Row] {
      if (form2Row >= -1) {
        main.Form2().grab().save(screenshot);
      } else {
        main.grab().save(screenshot);
      }
      main.close();
    });
  }
  return application.exec();
}
