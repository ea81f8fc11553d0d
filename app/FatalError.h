// The one way the program reports an error it cannot continue from.
#pragma once

#include <cstddef>
#include <cstdint>

// Shows the error box, releases the shell without running the exit routines and
// ends the process with exit code -1. The message may be empty or null; a code
// of 0 means there is no code to show.
[[noreturn]] void FatalError(const char* message, std::int32_t code);

// The text of the error box, as FatalError shows it. Writes at most
// bufferSize bytes, zero-terminated, cutting an overlong message.
void ComposeFatalErrorText(const char* message, std::int32_t code, char* buffer,
                           std::size_t bufferSize);
