#include "common/Text.h"

#include <cctype>
#include <cstdint>

namespace velquor::common {

void AppendHexByte(std::string& out, uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.push_back(kDigits[value >> 4]);
  out.push_back(kDigits[value & 0x0F]);
}

std::string HexBytes(std::span<const uint8_t> bytes, std::string_view separator) {
  std::string out;
  out.reserve(bytes.size() * (2 + separator.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out.append(separator);
    AppendHexByte(out, bytes[i]);
  }
  return out;
}

namespace {
int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

std::optional<uint64_t> ParseDigits(std::string_view text, int base) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int d = DigitValue(c, base);
    if (d < 0) return std::nullopt;
    uint64_t next = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (next / static_cast<uint64_t>(base) != value) return std::nullopt;  // overflow
    value = next;
  }
  return value;
}
}  // namespace

std::optional<uint64_t> ParseUnsigned(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseDigits(text.substr(2), 16);
  }
  return ParseDigits(text, 10);
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  auto v = ParseDigits(text, 10);
  if (!v || *v > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  return negative ? -static_cast<int64_t>(*v) : static_cast<int64_t>(*v);
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != ',' && text[i] != '\t') ++i;
    std::string_view token = text.substr(start, i - start);
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
      token.remove_prefix(2);
    }
    // "0102" is two bytes; an odd run of digits is a typing mistake.
    if (token.size() > 2 && token.size() % 2 != 0) return std::nullopt;
    for (size_t at = 0; at < token.size(); at += 2) {
      auto v = ParseDigits(token.substr(at, 2), 16);
      if (!v) return std::nullopt;
      out.push_back(static_cast<uint8_t>(*v));
    }
  }
  return out;
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the character cut in two.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t cp = length == 1 ? b : b & (0xFF >> (length + 1));
    for (size_t k = 1; k < length && i + k < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    // Hangul Jamo, CJK and Hangul syllables, compatibility ideographs, full-width forms.
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

}  // namespace velquor::common
