#include "support/PrefixConfig.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace support {

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string PrefixConfig::ConfigPath() {
  char folder[MAX_PATH] = {};
  UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  std::string path(folder, length < sizeof folder ? length : 0);
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + "config.ini";
}

PrefixConfig::PrefixConfig(std::string_view text) : path_(ConfigPath()) {
  previous_ = ReadFileBytes(path_);
  written_ = WriteFileBytes(path_, text);
}

PrefixConfig::~PrefixConfig() {
  if (previous_) {
    WriteFileBytes(path_, *previous_);
  } else {
    DeleteFileA(path_.c_str());
  }
}

}  // namespace support
