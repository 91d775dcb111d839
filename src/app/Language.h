#pragma once
// config.cfg and the language files beside the program: title, colours, font and the
// caption of each control by its object name.

#include <QColor>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "common/Ini.h"
#include "core/Core.h"

class QWidget;

namespace velquor::app {

struct LanguageTarget {
  QWidget* window = nullptr;
  const char* formName = "Form1";  // text section and window name
  const char* chineseFile = "lang_ch.ini";
  const char* englishFile = "lang_en.ini";
  const char* defaultCaption = "VELQUOR PRO V2.0.0";
  const char* defaultBackground = "0x001e1e1e";
  bool skipUncaptioned = false;  // the addressing window passes over controls without caption
  // Where an unusable value (a colour or number that does not convert) is reported; the
  // default is used for it and the rest goes on.
  std::function<void(const std::string&)> log;
  std::string language;  // "CHS" or "ENU" instead of config.cfg's, when set
};

// Reads an INI file beside the program (core/Core.h).
using core::LoadProgramIni;

// 0x00BBGGRR text to a colour; nothing when the text is not a number.
std::optional<QColor> ColourFromText(const std::string& text);

// Applies config.cfg's language (or the target's own) to the window. Returns the language
// code used ("" when config.cfg is absent, none was given and nothing was changed). A caption entry
// for a control without a caption stops the rest and is handed to `showError`; an unusable colour
// or number is logged and its default used.
// The language file is the program directory's, else the shipped one in `defaultsDir`.
std::string ApplyLanguage(const LanguageTarget& target, const std::string& programDir,
                          const std::string& defaultsDir,
                          const std::function<void(const QString&)>& showError);

}  // namespace velquor::app
