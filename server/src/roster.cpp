#include "roster.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "text_encoding.hpp"

namespace exam {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kFieldsPerRow = 3;

struct CsvRow {
  int line = 0;
  std::vector<std::string> fields;
};

// RFC 4180 as spreadsheets write it; also accepts bare CR line ends
// because some spreadsheet programs on macOS still save that way.
class CsvReader {
 public:
  explicit CsvReader(std::string_view text) : text(text) {}

  std::optional<CsvRow> NextRow() {
    if (pos >= text.size()) {
      return std::nullopt;
    }
    CsvRow row;
    row.line = line;
    while (true) {
      row.fields.push_back(ReadField());
      if (pos >= text.size()) {
        return row;
      }
      const char separator = text[pos++];
      if (separator == ',') {
        continue;
      }
      ConsumeLineEnd(separator);
      return row;
    }
  }

 private:
  std::string ReadField() {
    if (pos < text.size() && text[pos] == '"') {
      return ReadQuotedField();
    }
    std::string field;
    while (pos < text.size() && !IsFieldEnd(text[pos])) {
      if (text[pos] == '"') {
        throw RosterError(line, "stray quote inside an unquoted field");
      }
      field += text[pos++];
    }
    return field;
  }

  std::string ReadQuotedField() {
    const int startLine = line;
    ++pos;  // opening quote
    std::string field;
    while (true) {
      if (pos >= text.size()) {
        throw RosterError(startLine, "quoted field is not closed");
      }
      const char c = text[pos++];
      if (c == '"') {
        if (pos < text.size() && text[pos] == '"') {
          field += '"';
          ++pos;
          continue;
        }
        if (pos < text.size() && !IsFieldEnd(text[pos])) {
          throw RosterError(line, "unexpected character after a closing quote");
        }
        return field;
      }
      if (c == '\r' || c == '\n') {
        ConsumeLineEnd(c);
      }
      field += c;
    }
  }

  static bool IsFieldEnd(char c) { return c == ',' || c == '\r' || c == '\n'; }

  // Called after reading c; CR LF counts as one line end.
  void ConsumeLineEnd(char c) {
    if (c == '\r' && pos < text.size() && text[pos] == '\n') {
      ++pos;
    }
    ++line;
  }

  std::string_view text;
  std::size_t pos = 0;
  int line = 1;
};

bool ContainsDigit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void CheckNumber(std::string_view number, std::string_view what, int line) {
  if (number.empty()) {
    throw RosterError(line, "empty " + std::string(what));
  }
  for (const char c : number) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      throw RosterError(line, std::string(what) + " contains a non-ASCII character");
    }
    if (byte <= 0x20 || byte == 0x7F) {
      throw RosterError(line, std::string(what) + " contains a space or control character");
    }
  }
}

std::string DecodeName(const std::string& rawName, RosterEncoding encoding, int line) {
  std::string name = rawName;
  if (encoding == RosterEncoding::Gbk) {
    auto decoded = GbkToUtf8(rawName);
    if (!decoded) {
      throw RosterError(line, "name is neither UTF-8 nor valid GBK");
    }
    name = std::move(*decoded);
  }
  if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    throw RosterError(line, "name contains a line break or control character");
  }
  return name;
}

}  // namespace

std::string_view ToString(RosterEncoding encoding) {
  switch (encoding) {
    case RosterEncoding::Utf8:
      return "UTF-8";
    case RosterEncoding::Utf8WithBom:
      return "UTF-8 with BOM";
    case RosterEncoding::Gbk:
      return "GBK";
  }
  return "unknown";
}

RosterError::RosterError(int line, const std::string& reason)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + reason : reason),
      line(line),
      reason(reason) {}

Roster Roster::Parse(std::string_view fileBytes) {
  if (fileBytes.starts_with("\xFF\xFE") || fileBytes.starts_with("\xFE\xFF")) {
    throw RosterError(1, "file is UTF-16; save the roster as CSV in UTF-8 or GBK");
  }
  Roster roster;
  std::string_view text = fileBytes;
  if (text.starts_with(kUtf8Bom)) {
    text.remove_prefix(kUtf8Bom.size());
    roster.encoding = RosterEncoding::Utf8WithBom;
  } else {
    roster.encoding = IsValidUtf8(text) ? RosterEncoding::Utf8 : RosterEncoding::Gbk;
  }
  if (roster.encoding == RosterEncoding::Utf8WithBom && !IsValidUtf8(text)) {
    throw RosterError(0, "file starts with a UTF-8 BOM but is not valid UTF-8");
  }

  CsvReader reader(text);
  bool firstRow = true;
  while (auto row = reader.NextRow()) {
    auto& fields = row->fields;
    // Spreadsheets pad short rows with empty cells up to the widest row.
    while (fields.size() > kFieldsPerRow && fields.back().empty()) {
      fields.pop_back();
    }
    if (std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); })) {
      continue;
    }
    if (fields.size() != kFieldsPerRow) {
      throw RosterError(row->line, "expected 3 fields (candidate number, ID-card number, name), found " +
                                       std::to_string(fields.size()));
    }
    // Every real candidate number or ID-card number has a digit; a header has none.
    const bool isHeader = firstRow && !ContainsDigit(fields[0]) && !ContainsDigit(fields[1]);
    firstRow = false;
    if (isHeader) {
      continue;
    }
    CheckNumber(fields[0], "candidate number", row->line);
    CheckNumber(fields[1], "ID-card number", row->line);
    if (const Candidate* earlier = roster.Find(fields[0])) {
      throw RosterError(row->line, "duplicate candidate number " + fields[0] + " (first on line " +
                                       std::to_string(earlier->line) + ")");
    }
    Candidate candidate{std::move(fields[0]), std::move(fields[1]),
                        DecodeName(fields[2], roster.encoding, row->line), row->line};
    roster.indexByNumber.emplace(candidate.candidateNumber, roster.candidates.size());
    roster.candidates.push_back(std::move(candidate));
  }
  if (roster.candidates.empty()) {
    throw RosterError(0, "roster has no candidates");
  }
  return roster;
}

Roster Roster::Load(const std::filesystem::path& path) {
  const std::string fileName = path.string();
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw std::runtime_error(fileName + ": cannot open roster file");
  }
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) {
    throw std::runtime_error(fileName + ": cannot read roster file");
  }
  try {
    return Parse(bytes);
  } catch (const RosterError& error) {
    const std::string where = error.Line() > 0 ? fileName + ":" + std::to_string(error.Line()) : fileName;
    throw std::runtime_error(where + ": " + error.Reason());
  }
}

const Candidate* Roster::Find(std::string_view candidateNumber) const {
  const auto found = indexByNumber.find(candidateNumber);
  return found == indexByNumber.end() ? nullptr : &candidates[found->second];
}

}  // namespace exam
