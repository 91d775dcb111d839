#include "common/Ini.h"

#include <cctype>
#include <utility>

#include "common/Encoding.h"
#include "common/Files.h"

namespace velquor::common {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

namespace {

// What one line of an INI file is.
struct IniLine {
  enum class Kind { Other, Section, Key } kind = Kind::Other;
  std::string_view name;  // section name or key
  std::string_view value;
};

IniLine ParseLine(std::string_view raw) {
  std::string_view line = Trim(raw);
  if (line.empty() || line[0] == ';') return {};
  if (line.front() == '[') {
    size_t close = line.find(']');
    return {
        IniLine::Kind::Section,
        Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)),
        {}};
  }
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  return {IniLine::Kind::Key, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  // UTF-8 marks, however many an editor left: a mark kept here would hide the first section
  // until a save dropped it and the next start saw values this one did not.
  while (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  ini.lines_ = SplitLines(text);
  return ini;
}

std::optional<IniFile> IniFile::Load(const std::string& path, std::string& error) {
  auto text = ReadWholeFile(path, error);
  if (!text) return std::nullopt;
  return Parse(DecodeTextFile(*text));
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  bool inSection = false;  // keys before any section belong to none
  for (const std::string& raw : lines_) {
    const IniLine line = ParseLine(raw);
    if (line.kind == IniLine::Kind::Section) inSection = EqualsNoCase(line.name, section);
    // The first occurrence wins, as with the profile routines, even across repeated sections.
    if (inSection && line.kind == IniLine::Kind::Key && EqualsNoCase(line.name, key)) {
      return std::string(line.value);
    }
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  auto v = Find(section, key);
  return v ? *v : std::string(fallback);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  auto v = Find(section, key);
  if (!v) return fallback;
  std::string_view text = *v;
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) return 0;
  }
  return static_cast<int>(negative ? -value : value);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  bool inSection = false;
  std::optional<size_t> insertAt;  // after the last key (or the header) of the section
  for (size_t i = 0; i < lines_.size(); ++i) {
    const IniLine line = ParseLine(lines_[i]);
    if (line.kind == IniLine::Kind::Section) {
      inSection = EqualsNoCase(line.name, section);
      if (inSection && !insertAt) insertAt = i + 1;
      continue;
    }
    if (!inSection || line.kind != IniLine::Kind::Key) continue;
    if (EqualsNoCase(line.name, key)) {
      lines_[i] = std::string(line.name) + "=" + std::string(value);  // its own spelling
      return;
    }
    insertAt = i + 1;
  }
  const std::string entry = std::string(key) + "=" + std::string(value);
  if (insertAt) {
    lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(*insertAt), entry);
    return;
  }
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(entry);
}

std::string IniFile::Text() const {
  return JoinLinesCrLf(lines_);
}

bool IniFile::Save(const std::string& path, std::string& error) const {
  return WriteFileAtomic(path, Text(), error);
}

}  // namespace velquor::common
