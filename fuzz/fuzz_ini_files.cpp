// config.cfg and the language files as the program reads them beside itself (UTF-8, else
// GB18030, with Windows profile rules), any bytes: the settings and captions it looks up
// read as trimmed single-line values, and the language choice written back is read again.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Encoding.h"
#include "common/Ini.h"
#include "common/Text.h"

using namespace velquor::common;

namespace {

struct Key {
  const char* section;
  const char* key;
};
constexpr Key kLookedUp[] = {
    {"General", "IP"},        {"General", "TEST"},      {"Form1", "Language"},
    {"General", "Caption"},   {"General", "FontName"},  {"General", "BackgroundColor"},
    {"General", "FontColor"}, {"General", "FontSize"},  {"General", "Charset"},
    {"Form1", "Form1"},       {"Form1", "Button_Read"}, {"Form2", "Form2"},
};

bool OneTrimmedLine(std::string_view value) {
  return Trim(value).size() == value.size() && value.find('\n') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = DecodeTextFile(bytes);
  if (!IsValidUtf8(text) && text != bytes && text != bytes.substr(3)) __builtin_trap();
  IniFile ini = IniFile::Parse(text);
  for (const Key& k : kLookedUp) {
    if (const auto value = ini.Find(k.section, k.key)) {
      if (!OneTrimmedLine(*value)) __builtin_trap();
      // The colours and numbers are read from these values.
      (void)ParseUnsigned(*value);
      (void)ParseInteger(*value);
    }
    (void)ini.ReadInteger(k.section, k.key, -1);
  }
  // The language button: only that key changes, and it reads back from the saved text.
  const auto ip = ini.Find("General", "IP");
  ini.WriteString("Form1", "Language", "ENU");
  const IniFile saved = IniFile::Parse(ini.Text());
  if (saved.Find("Form1", "Language") != "ENU") __builtin_trap();
  if (saved.Find("General", "IP") != ip) __builtin_trap();
  return 0;
}
