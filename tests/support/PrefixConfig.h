// A config.ini in the Windows directory for the length of one test. The file
// is shared by the whole Wine session, so tests using this must be SERIAL.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace support {

class PrefixConfig {
 public:
  // Writes `text` as the file's bytes, exactly.
  explicit PrefixConfig(std::string_view text);
  // Puts back the file that was there before, or removes it.
  ~PrefixConfig();
  PrefixConfig(const PrefixConfig&) = delete;
  PrefixConfig& operator=(const PrefixConfig&) = delete;

  bool Written() const { return written_; }
  const std::string& Path() const { return path_; }

  static std::string ConfigPath();

 private:
  std::string path_;
  std::optional<std::string> previous_;
  bool written_ = false;
};

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace support
