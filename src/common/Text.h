#pragma once
// Small text helpers shared by the log lines and the parsers of typed input.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::common {

// Appends `value` as exactly two upper-case hex digits.
void AppendHexByte(std::string& out, uint8_t value);
// Bytes as upper-case hex, two digits each, with `separator` between them.
std::string HexBytes(std::span<const uint8_t> bytes, std::string_view separator = " ");

// An unsigned number written in decimal or, with a 0x prefix, in hex.
std::optional<uint64_t> ParseUnsigned(std::string_view text);
// A decimal integer with an optional sign ("-5", "600"); nothing for anything else.
std::optional<int64_t> ParseInteger(std::string_view text);
// Hex bytes separated by spaces or commas ("01 02,ff", "0102"); a token may carry a 0x prefix.
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text);

std::string ToUpper(std::string_view text);
// The longest start of UTF-8 `text` that fits `maxBytes` without splitting a character.
std::string_view CutUtf8(std::string_view text, size_t maxBytes);
// Columns a terminal gives UTF-8 `text`: East Asian wide and full-width characters take two.
size_t DisplayWidth(std::string_view text);

}  // namespace velquor::common
