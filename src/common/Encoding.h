#pragma once
// Text files written on other systems: UTF-8 is taken as it is; anything else is read as
// GB18030 (files made on a Chinese Windows system).

#include <optional>
#include <string>
#include <string_view>

namespace velquor::common {

bool IsValidUtf8(std::string_view text);
// GB18030 to UTF-8; nothing when the bytes are not GB18030 either.
std::optional<std::string> Gb18030ToUtf8(std::string_view text);
// UTF-8 (without its byte order mark) when valid, else GB18030 converted, else the bytes
// as they are.
std::string DecodeTextFile(std::string_view text);

}  // namespace velquor::common
