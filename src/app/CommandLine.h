#pragma once
// The window's command line: what to run on, and the options that picture a page for the
// documentation (a page, buttons pressed, a size, a language, a screenshot).

#include <QSize>
#include <QString>
#include <QStringList>

#include "core/Core.h"

class QAbstractButton;
class QTabWidget;
class QWidget;

namespace velquor::app {

struct WindowArguments {
  core::CoreOptions core;  // --virtual-line [RIG]
  QString screenshot;      // --screenshot FILE [MS]
  int screenshotDelayMs = 1500;
  QString page;        // --page: a number or a page's name
  QStringList clicks;  // --click: object names or captions
  int form2Row = -2;   // --form2 ROW
  QSize size;          // --size WxH; empty: the design size
  QString language;    // --language CHS|ENU; empty: config.cfg's
};

enum class ParseOutcome { Run, Help, Error };

// Reads `arguments` (the program's name first). Help: `message` is the text to print;
// Error: `message` says what is wrong.
ParseOutcome ParseWindowArguments(const QStringList& arguments, WindowArguments& out,
                                  QString& message);

// The page `nameOrNumber` names: its index, its tab's text or its object name (TabSheet3),
// letter case aside. −1 when none.
int PageIndexOf(const QTabWidget& pages, const QString& nameOrNumber);

// The button with that object name, else the one whose caption is or holds that text (one
// that shows before one that does not). Nothing when none matches.
QAbstractButton* FindButton(const QWidget& window, const QString& nameOrCaption);

}  // namespace velquor::app
