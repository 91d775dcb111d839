#pragma once
// What a page binding may ask of the window it lives in: running a command on the line, the
// models, the log pane, the questions and file choosers, the language. The main window
// implements it; a binding sees nothing else of the window.

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "workbench/AddressMaps.h"

class QAbstractButton;

namespace velquor::app {

class PageShell {
 public:
  virtual ~PageShell() = default;
  // Runs a command on the line's executor; `after` follows on the UI thread when it has ended.
  // Refused with a log line while another command runs (the stop button always works).
  virtual bool RunCommand(const std::string& name, std::function<void()> command,
                          std::function<void()> after = {}, bool holdsLine = true) = 0;
  // A button that runs `command` when clicked.
  virtual void ConnectCommand(QAbstractButton* button, const std::string& name,
                              std::function<void()> command, bool holdsLine = true) = 0;
  // Changes or reads the models from the UI thread (an edit typed, a box ticked).
  virtual void WithModels(const std::function<void()>& change) = 0;
  // Every page's fields from the models; skipped while a command holds them, done again when
  // it ends.
  virtual void RefreshFromModels() = 0;
  virtual void DrainLog() = 0;
  virtual void Log(const std::string& line) = 0;
  // Before an address write: true when the writes are clean, or the user, shown every
  // fixture that would overlap another or run past 512, wants them sent anyway.
  virtual bool ConfirmAddresses(const std::vector<workbench::AddressAssignment>& changes) = 0;
  // A Yes/No question; true when the answer is Yes or there is no one to ask.
  virtual bool AskYesNo(const QString& title, const QString& text) = 0;
  virtual void ShowError(const QString& text) = 0;
  // File choosers: `filter` as Qt writes it ("Patchfile (*.pat)"); empty: cancelled.
  virtual QStringList OpenFiles(const QString& filter) = 0;
  virtual QString OpenFile(const QString& filter) = 0;
  virtual QString SaveFile(const QString& filter, const QString& defaultName) = 0;
  // "CHS" or "ENU".
  virtual QString CurrentLanguage() const = 0;
  // True once the window has begun to close: nothing new is started.
  virtual bool Closed() const = 0;
};

}  // namespace velquor::app
