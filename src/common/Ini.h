#pragma once
// INI files read and written with the rules of Windows private profiles: section and
// key names case-insensitive, values trimmed, the first "=" separates key and value.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::common {

class IniFile {
 public:
  static IniFile Parse(std::string_view text);
  // Nothing when the file cannot be read; `error` says why. UTF-8, else GB18030.
  static std::optional<IniFile> Load(const std::string& path, std::string& error);

  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Like GetPrivateProfileInt: the fallback when the key is absent, the leading decimal
  // number of the value otherwise (0 when it has none).
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  // Like WritePrivateProfileString: only the key's own line changes (or is added at the end
  // of its section); comments, blank lines, other keys and sections stay as they were.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  std::string Text() const;
  bool Save(const std::string& path, std::string& error) const;

 private:
  // The file's lines as they were read; lookups parse them as they go.
  std::vector<std::string> lines_;
};

bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view text);

}  // namespace velquor::common
