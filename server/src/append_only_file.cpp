#include "append_only_file.hpp"

#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace exam {

#ifdef _WIN32

namespace {
std::string LastWindowsError() {
  return std::system_category().message(static_cast<int>(GetLastError()));
}
}  // namespace

AppendOnlyFile::AppendOnlyFile(const std::filesystem::path& path) {
  handle = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    handle = nullptr;
    throw std::runtime_error(path.string() + ": cannot open for appending: " + LastWindowsError());
  }
}

AppendOnlyFile::~AppendOnlyFile() {
  if (handle != nullptr) CloseHandle(handle);
}

std::uint64_t AppendOnlyFile::Size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(handle, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool AppendOnlyFile::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      lastError = LastWindowsError();
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

bool AppendOnlyFile::Sync() {
  if (!FlushFileBuffers(handle)) {
    lastError = LastWindowsError();
    return false;
  }
  return true;
}

#else

namespace {
std::string ErrnoText() { return std::generic_category().message(errno); }
}  // namespace

AppendOnlyFile::AppendOnlyFile(const std::filesystem::path& path) {
  descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    throw std::runtime_error(path.string() + ": cannot open for appending: " + ErrnoText());
  }
}

AppendOnlyFile::~AppendOnlyFile() {
  if (descriptor >= 0) ::close(descriptor);
}

std::uint64_t AppendOnlyFile::Size() const {
  struct stat status {};
  return ::fstat(descriptor, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

bool AppendOnlyFile::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      lastError = ErrnoText();
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool AppendOnlyFile::Sync() {
#ifdef __APPLE__
  const int result = ::fsync(descriptor);
#else
  const int result = ::fdatasync(descriptor);
#endif
  if (result != 0) {
    lastError = ErrnoText();
    return false;
  }
  return true;
}

#endif

}  // namespace exam
