#include "text_encoding.hpp"

#include <array>
#include <cstdint>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace exam {
namespace {

// Length of the valid UTF-8 sequence starting at bytes[pos], or 0.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t pos) {
  const auto byteAt = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byteAt(pos);
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  std::uint8_t secondMin = 0x80;
  std::uint8_t secondMax = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondMin = 0xA0;  // overlong
    if (lead == 0xED) secondMax = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondMin = 0x90;  // overlong
    if (lead == 0xF4) secondMax = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (pos + length > bytes.size()) {
    return 0;
  }
  if (byteAt(pos + 1) < secondMin || byteAt(pos + 1) > secondMax) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if ((byteAt(pos + i) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

void AppendHexEscape(std::string& out, unsigned char byte) {
  static constexpr std::array<char, 16> kHexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                      '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t length = Utf8SequenceLength(bytes, pos);
    if (length == 0) {
      return false;
    }
    pos += length;
  }
  return true;
}

#ifdef _WIN32

std::optional<std::string> GbkToUtf8(std::string_view gbkBytes) {
  if (gbkBytes.empty()) {
    return std::string();
  }
  constexpr UINT kGbkCodePage = 936;
  const int inputLength = static_cast<int>(gbkBytes.size());
  const int wideLength =
      MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbkBytes.data(), inputLength, nullptr, 0);
  if (wideLength <= 0) {
    return std::nullopt;
  }
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbkBytes.data(), inputLength, wide.data(), wideLength);
  const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (utf8Length <= 0) {
    return std::nullopt;
  }
  std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr, nullptr);
  return utf8;
}

#else

namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : handle(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (IsOpen()) iconv_close(handle);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool IsOpen() const { return handle != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return handle; }

 private:
  iconv_t handle;
};

}  // namespace

std::optional<std::string> GbkToUtf8(std::string_view gbkBytes) {
  IconvHandle converter("UTF-8", "GBK");
  if (!converter.IsOpen()) {
    return std::nullopt;
  }
  // One GBK byte never grows to more than three UTF-8 bytes.
  std::string utf8(gbkBytes.size() * 3 + 4, '\0');
  char* input = const_cast<char*>(gbkBytes.data());
  std::size_t inputLeft = gbkBytes.size();
  char* output = utf8.data();
  std::size_t outputLeft = utf8.size();
  if (iconv(converter.Get(), &input, &inputLeft, &output, &outputLeft) == static_cast<std::size_t>(-1)) {
    return std::nullopt;
  }
  // Flush any shift state so a truncated trailing sequence is not silently kept.
  if (iconv(converter.Get(), nullptr, nullptr, &output, &outputLeft) == static_cast<std::size_t>(-1)) {
    return std::nullopt;
  }
  utf8.resize(utf8.size() - outputLeft);
  return utf8;
}

#endif

std::string EscapeBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x80 || IsControl(byte)) {
      AppendHexEscape(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapeControlCharacters(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    const std::size_t length = Utf8SequenceLength(utf8, pos);
    if (length == 0 || IsControl(byte)) {
      AppendHexEscape(out, byte);
      ++pos;
    } else {
      out.append(utf8.substr(pos, length));
      pos += length;
    }
  }
  return out;
}

}  // namespace exam
