#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace exam {

// Each Append reaches the operating system before it returns, so the data
// survives the process being killed; Sync also survives a power cut.
class AppendOnlyFile {
 public:
  explicit AppendOnlyFile(const std::filesystem::path& path);  // throws std::runtime_error
  ~AppendOnlyFile();
  AppendOnlyFile(const AppendOnlyFile&) = delete;
  AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

  std::uint64_t Size() const;
  bool Append(std::string_view bytes);
  bool Sync();
  const std::string& LastError() const { return lastError; }

 private:
#ifdef _WIN32
  void* handle = nullptr;
#else
  int descriptor = -1;
#endif
  std::string lastError;
};

}  // namespace exam
