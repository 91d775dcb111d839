#include "app/Language.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QWidget>

#include "app/ControlTable.h"
#include "common/Text.h"

namespace velquor::app {

namespace {

struct LanguageError {
  QString text;
};

void Report(const LanguageTarget& target, const std::string& file, const char* key,
            const std::string& text, const std::string& used) {
  if (target.log) {
    target.log(file + ": " + key + "='" + text + "' is not usable; " + used + " is used");
  }
}

QColor Colour(const LanguageTarget& target, const std::string& file, const common::IniFile& ini,
              const char* key, const char* fallback) {
  std::string text = ini.ReadString("General", key, fallback);
  if (auto colour = ColourFromText(text)) return *colour;
  Report(target, file, key, text, fallback);
  return *ColourFromText(fallback);
}

int Integer(const LanguageTarget& target, const std::string& file, const common::IniFile& ini,
            const char* key, int fallback, int lo, int hi) {
  auto text = ini.Find("General", key);
  if (!text) return fallback;
  auto value = common::ParseInteger(common::Trim(*text));
  if (!value || *value < lo || *value > hi) {
    Report(target, file, key, *text, std::to_string(fallback));
    return fallback;
  }
  return static_cast<int>(*value);
}

bool SetCaption(QWidget* control, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(text);
  } else if (control->objectName().startsWith("TabSheet")) {
    // A page: its caption is the tab's text.
    for (QWidget* p = control->parentWidget(); p; p = p->parentWidget()) {
      if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
        int index = tabs->indexOf(control);
        if (index >= 0) tabs->setTabText(index, text);
        return true;
      }
    }
    return false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<QColor> ColourFromText(const std::string& text) {
  std::string_view t = common::Trim(text);
  std::optional<uint64_t> value;
  if (!t.empty() && t[0] == '$') {
    value = common::ParseUnsigned("0x" + std::string(t.substr(1)));
  } else {
    value = common::ParseUnsigned(t);
  }
  if (!value || *value > 0xFFFFFFFFULL) return std::nullopt;
  const auto v = static_cast<uint32_t>(*value);
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

std::string ApplyLanguage(const LanguageTarget& target, const std::string& programDir,
                          const std::string& defaultsDir,
                          const std::function<void(const QString&)>& showError) {
  auto config = LoadProgramIni(programDir, "config.cfg");
  if (!config && target.language.empty()) return "";
  const std::string language =
      !target.language.empty() ? target.language : config->ReadString("Form1", "Language", "CHS");
  const char* file = language == "ENU" ? target.englishFile : target.chineseFile;
  common::IniFile lang = LoadProgramIni(programDir, file, defaultsDir).value_or(common::IniFile{});

  QWidget* window = target.window;
  try {
    window->setWindowTitle(
        QString::fromStdString(lang.ReadString("General", "Caption", target.defaultCaption)));
    QFont font(QString::fromStdString(lang.ReadString("General", "FontName", "MS Sans Serif")));
    QColor background = Colour(target, file, lang, "BackgroundColor", target.defaultBackground);
    QColor foreground = Colour(target, file, lang, "FontColor", "0x00ffffff");
    font.setPointSize(Integer(target, file, lang, "FontSize", 12, 1, 200));
    Integer(target, file, lang, "Charset", 1, 0, 255);  // Qt picks the script itself
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, background);
    // The text colour of labels, check boxes, group boxes and buttons. Edits keep dark text
    // on their light field: a light font colour there would be unreadable.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) {
      palette.setColor(role, foreground);
    }
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setFont(font);

    std::string own = lang.ReadString(target.formName, target.formName, "");
    if (!own.empty()) window->setWindowTitle(QString::fromStdString(own));

    const bool main = std::string(target.formName) == "Form1";
    const auto& table = main ? std::span<const ControlSpec>(kMainControls)
                             : std::span<const ControlSpec>(kAddressingControls);
    for (const ControlSpec& entry : table) {
      if (target.skipUncaptioned && !HasCaption(entry.kind)) continue;
      auto* control = window->findChild<QWidget*>(entry.name);
      if (!control) continue;
      std::string text = lang.ReadString(target.formName, entry.name, "");
      if (text.empty()) continue;
      if (!SetCaption(control, QString::fromStdString(text))) {
        throw LanguageError{QString("%1 has no caption to set").arg(entry.name)};
      }
    }
    window->update();
  } catch (const LanguageError& e) {
    if (showError) showError(e.text);
  }
  return language;
}

}  // namespace velquor::app
