#include "link/ServerSettings.h"

#include <windows.h>

#include <cstring>

#include "app/Memory.h"
#include "link/Texts.h"

namespace {

// Control bytes and the space, not bytes of a double-byte character.
const char* SkipLeadingBlanks(const char* text) {
  if (!text) return nullptr;
  while (static_cast<unsigned char>(*text) >= 0x01 && static_cast<unsigned char>(*text) <= 0x20) {
    ++text;
  }
  return text;
}

char* CopyOrAbsent(const char* text) {
  return TextLength(text) ? ConcatTexts(text) : nullptr;
}

bool IsNumberSpace(unsigned char byte) { return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D); }

}  // namespace

ServerSettingsRecord& ServerSettings() {
  static ServerSettingsRecord record;
  return record;
}

char* ReadProfileText(const char* fileName, const char* section, const char* key,
                      const char* defaultText) {
  // The platform wants a real default string even when there is none.
  char* defaultCopy = ConcatTexts(defaultText);
  auto* area = static_cast<char*>(AllocateMemory(kProfileTextRoom));
  area[0] = '\0';

  fileName = SkipLeadingBlanks(fileName);
  section = SkipLeadingBlanks(section);
  key = SkipLeadingBlanks(key);
  if (TextLength(fileName) && TextLength(section) && TextLength(key)) {
    GetPrivateProfileStringA(section, key, defaultCopy, area, static_cast<DWORD>(kProfileTextRoom),
                             fileName);
  }

  char* result = CopyOrAbsent(area);
  FreeMemory(defaultCopy);
  FreeMemory(area);
  return result;
}

char* FoldFullWidth(const char* text) {
  std::size_t length = TextLength(text);
  if (!length) return nullptr;
  // Folding never lengthens the text.
  auto* scratch = static_cast<char*>(AllocateMemory(length + 1));
  auto* in = reinterpret_cast<const unsigned char*>(text);
  char* out = scratch;
  while (*in) {
    unsigned char lead = *in++;
    if (lead < 0x80) {
      *out++ = static_cast<char>(lead);
      continue;
    }
    unsigned char trail = *in;
    if (!trail) break;
    ++in;
    if (lead == 0xA1 && trail == 0xA1) {
      *out++ = ' ';
    } else if (lead == 0xA1 && trail == 0xAB) {
      *out++ = '~';
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      *out++ = '*';
    } else if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      *out++ = static_cast<char>(trail - 0x80);
    } else {
      *out++ = static_cast<char>(lead);
      *out++ = static_cast<char>(trail);
    }
  }
  *out = '\0';
  char* result = CopyOrAbsent(scratch);
  FreeMemory(scratch);
  return result;
}

std::int32_t TextToInteger(const char* text) {
  char* folded = FoldFullWidth(text);
  auto* at = reinterpret_cast<const unsigned char*>(folded ? folded : "");
  while (IsNumberSpace(*at)) ++at;
  bool negative = false;
  if (*at == '+' || *at == '-') negative = *at++ == '-';
  // Unsigned arithmetic wraps where a signed one would overflow.
  std::uint32_t value = 0;
  for (; *at >= '0' && *at <= '9'; ++at) value = value * 10u + static_cast<std::uint32_t>(*at - '0');
  if (negative) value = 0u - value;
  FreeMemory(folded);
  return static_cast<std::int32_t>(value);
}

void LoadServerSettings() {
  ServerSettingsRecord& settings = ServerSettings();
  char* ip = ReadProfileText(kSettingsFileName, kServerSection, kIpKey, kDefaultIp);
  FreeMemory(settings.ipText);
  settings.ipText = ip;
  char* port = ReadProfileText(kSettingsFileName, kServerSection, kPortKey, kDefaultPort);
  FreeMemory(settings.portText);
  settings.portText = port;
}

void ReleaseServerSettings() {
  ServerSettingsRecord& settings = ServerSettings();
  FreeMemory(settings.ipText);
  settings.ipText = nullptr;
  FreeMemory(settings.portText);
  settings.portText = nullptr;
}
