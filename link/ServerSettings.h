// Where the exam server is: read from config.ini in the Windows directory.
#pragma once

#include <cstddef>
#include <cstdint>

struct ServerSettingsRecord {
  char* ipText = nullptr;
  char* portText = nullptr;
};

// The one record of the process; both texts absent until loaded.
ServerSettingsRecord& ServerSettings();

// A bare name, so the profile functions look in the Windows directory.
inline constexpr char kSettingsFileName[] = "config.ini";
inline constexpr char kServerSection[] = "Server";
inline constexpr char kIpKey[] = "IP";
inline constexpr char kPortKey[] = "Port";
inline constexpr char kDefaultIp[] = "127.0.0.1";
inline constexpr char kDefaultPort[] = "19730";

// Room for one value with its terminator; longer values are cut.
inline constexpr std::size_t kProfileTextRoom = 10240;

// The value of key in section of the profile file, or the default when the
// file, section or key is missing. Leading bytes 0x01..0x20 of the file name,
// section and key are skipped; when one of them is then empty the result is
// absent and the default is not used.
char* ReadProfileText(const char* fileName, const char* section, const char* key,
                      const char* defaultText);

// Full-width digits, letters and signs (GBK A3A1..A3FE), the ideographic
// space, the wave dash and the stars become their ASCII forms; other pairs
// stay, and a lead byte with nothing after it is dropped.
char* FoldFullWidth(const char* text);

// The leading decimal number of the text, after FoldFullWidth, with optional
// white space and sign; wraps modulo 2^32 like a 32-bit register; 0 when there
// are no digits.
std::int32_t TextToInteger(const char* text);

// Replaces both texts of the record with the values from config.ini.
void LoadServerSettings();

// Releases both texts of the record and leaves them absent.
void ReleaseServerSettings();
