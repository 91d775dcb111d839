#include "common/Ini.h"

#include <cctype>
#include <utility>

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

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 mark
  Section* current = nullptr;
  for (const std::string& raw : SplitLines(text)) {
    std::string_view line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = Trim(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      current = ini.FindSection(name);
      if (!current) {
        ini.sections_.push_back({std::string(name), {}});
        current = &ini.sections_.back();
      }
      continue;
    }
    if (!current) continue;  // keys before any section belong to none
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    bool found = false;
    for (Entry& e : current->entries) {
      if (EqualsNoCase(e.key, key)) {
        found = true;  // the first occurrence wins, as with the profile routines
        break;
      }
    }
    if (!found) current->entries.push_back({std::string(key), std::string(value)});
  }
  return ini;
}

std::optional<IniFile> IniFile::Load(const std::string& path, std::string& error) {
  auto text = ReadWholeFile(path, error);
  if (!text) return std::nullopt;
  return Parse(*text);
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  for (const Section& s : sections_) {
    if (EqualsNoCase(s.name, name)) return &s;
  }
  return nullptr;
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
  return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (!s) return std::nullopt;
  for (const Entry& e : s->entries) {
    if (EqualsNoCase(e.key, key)) return e.value;
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
  Section* s = FindSection(section);
  if (!s) {
    sections_.push_back({std::string(section), {}});
    s = &sections_.back();
  }
  for (Entry& e : s->entries) {
    if (EqualsNoCase(e.key, key)) {
      e.value = std::string(value);
      return;
    }
  }
  s->entries.push_back({std::string(key), std::string(value)});
}

std::string IniFile::Text() const {
  std::vector<std::string> lines;
  for (const Section& s : sections_) {
    lines.push_back("[" + s.name + "]");
    for (const Entry& e : s.entries) lines.push_back(e.key + "=" + e.value);
  }
  return JoinLinesCrLf(lines);
}

bool IniFile::Save(const std::string& path, std::string& error) const {
  return WriteFileAtomic(path, Text(), error);
}

}  // namespace velquor::common
