#include "app/CommandLine.h"

#include <QAbstractButton>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTabWidget>
#include <limits>

#include "app/ControlTable.h"

namespace velquor::app {

ParseOutcome ParseWindowArguments(const QStringList& arguments, WindowArguments& out,
                                  QString& message) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Velquor Pro: RDM and DMX512 fixtures through the USB interface box.");
  const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption virtualLine(
      "virtual-line", "Run on the simulated RDM line instead of the box (RIG: a rig file).");
  const QCommandLineOption page(
      "page",
      "Show this page first: a number (0 RDM, 1 Patch, 2 Art-Net, 3 DMX, 6 RdmRadio, "
      "7 console) or the tab's name.",
      "PAGE");
  const QCommandLineOption click(
      "click", "Press this button after start-up (its object name or caption; repeatable).",
      "BUTTON");
  const QCommandLineOption form2(
      "form2", "Open the visual addressing window with list row ROW picked (-1: none).", "ROW");
  const QCommandLineOption size("size", "Window size, WxH (default 1300x723).", "WxH");
  const QCommandLineOption language("language", "CHS or ENU for this run (not saved).", "CODE");
  const QCommandLineOption screenshot(
      "screenshot", "Save a picture of the window MS milliseconds after start (1500), then quit.",
      "FILE");
  parser.addOptions({help, virtualLine, page, click, form2, size, language, screenshot});
  parser.addPositionalArgument("RIG", "The rig file of --virtual-line.", "[RIG]");
  parser.addPositionalArgument("MS", "The delay of --screenshot.", "[MS]");
  if (!parser.parse(arguments)) {
    message = parser.errorText();
    return ParseOutcome::Error;
  }
  if (parser.isSet(help)) {
    message = parser.helpText();
    return ParseOutcome::Help;
  }
  out.core.virtualLine = parser.isSet(virtualLine);
  out.screenshot = parser.value(screenshot);
  out.page = parser.value(page);
  out.clicks = parser.values(click);
  out.language = parser.value(language).toUpper();
  if (!out.language.isEmpty() && out.language != "CHS" && out.language != "ENU") {
    message = "--language takes CHS or ENU, not " + parser.value(language);
    return ParseOutcome::Error;
  }
  if (parser.isSet(form2)) {
    bool ok = false;
    out.form2Row = parser.value(form2).toInt(&ok);
    if (!ok || out.form2Row < -1) {
      message = "--form2 takes a row number or -1, not " + parser.value(form2);
      return ParseOutcome::Error;
    }
  }
  if (parser.isSet(size)) {
    const auto m = QRegularExpression("^(\\d{3,5})x(\\d{3,5})$").match(parser.value(size));
    if (!m.hasMatch()) {
      message = "--size takes WxH, such as 1280x680, not " + parser.value(size);
      return ParseOutcome::Error;
    }
    out.size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
  }
  // The old forms: `--virtual-line RIG` and `--screenshot FILE MS`.
  for (const QString& extra : parser.positionalArguments()) {
    bool number = false;
    const int ms = extra.toInt(&number);
    if (number && !out.screenshot.isEmpty() && ms >= 0) {
      out.screenshotDelayMs = ms;
    } else if (!number && out.core.virtualLine && out.core.rigFile.empty()) {
      out.core.rigFile = extra.toStdString();
    } else {
      message = "unexpected argument " + extra + " (see --help)";
      return ParseOutcome::Error;
    }
  }
  return ParseOutcome::Run;
}

int PageIndexOf(const QTabWidget& pages, const QString& nameOrNumber) {
  bool number = false;
  const int index = nameOrNumber.toInt(&number);
  if (number) return index >= 0 && index < pages.count() ? index : -1;
  for (int i = 0; i < pages.count(); ++i) {
    if (pages.tabText(i).compare(nameOrNumber, Qt::CaseInsensitive) == 0 ||
        pages.widget(i)->objectName().compare(nameOrNumber, Qt::CaseInsensitive) == 0) {
      return i;
    }
  }
  return -1;
}

QAbstractButton* FindButton(const QWidget& window, const QString& nameOrCaption) {
  const QString wanted = nameOrCaption.simplified();
  QAbstractButton* best = nullptr;
  int bestRank = std::numeric_limits<int>::max();
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->objectName() == wanted) return button;
    const ControlSpec* designed =
        FindControl(kMainControls, button->objectName().toUtf8().constData());
    for (const QString& caption :
         {button->text(), designed ? QString::fromUtf8(designed->caption) : QString()}) {
      const QString text = QString(caption).remove('&').simplified();
      if (text.isEmpty()) continue;
      int rank = 0;
      if (text.compare(wanted, Qt::CaseInsensitive) == 0) {
        rank = 0;
      } else if (text.contains(wanted, Qt::CaseInsensitive)) {
        rank = 2;
      } else {
        continue;
      }
      if (!button->isVisibleTo(&window)) rank += 1;
      if (rank < bestRank) {
        bestRank = rank;
        best = button;
      }
    }
  }
  return best;
}

}  // namespace velquor::app
