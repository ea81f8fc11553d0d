// Any bytes either load as a roster that keeps its promises or are refused
// with a RosterError naming a line inside the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "roster.hpp"
#include "text_encoding.hpp"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

bool IsPlainAscii(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7F;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const int lineCount = 1 + static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n') +
                                             std::count(bytes.begin(), bytes.end(), '\r'));
  try {
    const exam::Roster roster = exam::Roster::Parse(bytes);
    Check(!roster.Candidates().empty(), "loaded an empty roster");
    int previousLine = 0;
    for (const auto& candidate : roster.Candidates()) {
      Check(IsPlainAscii(candidate.candidateNumber), "candidate number not plain ASCII");
      Check(IsPlainAscii(candidate.idCardNumber), "ID-card number not plain ASCII");
      Check(exam::IsValidUtf8(candidate.name), "name not UTF-8");
      Check(roster.Find(candidate.candidateNumber) == &candidate, "duplicate or unfindable candidate");
      Check(candidate.line > previousLine && candidate.line <= lineCount, "line numbers out of order");
      previousLine = candidate.line;
    }
  } catch (const exam::RosterError& error) {
    Check(error.Line() >= 0 && error.Line() <= lineCount, "error line outside the file");
  }
  return 0;
}
