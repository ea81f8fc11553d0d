#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace exam {

bool IsValidUtf8(std::string_view bytes);

// Code page 936, the client's ANSI code page.
std::optional<std::string> GbkToUtf8(std::string_view gbkBytes);

// For text that came off the wire: printable ASCII stays, every other byte
// becomes \xHH so a log line stays one line and valid UTF-8.
std::string EscapeBytes(std::string_view bytes);

// For UTF-8 we trust (roster names): keeps the characters, escapes only
// control bytes and anything that is not valid UTF-8.
std::string EscapeControlCharacters(std::string_view utf8);

}  // namespace exam
