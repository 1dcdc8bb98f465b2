// Windows file access through handles: the type of what was opened is taken from the open handle
// (a disk file, not a pipe, console or other device; not a directory), and the output is created
// with CREATE_NEW, which fails on any existing name, a link included.
#include <windows.h>

#include <algorithm>
#include <string>

#include "core/text.h"
#include "file_io.h"

namespace stubconfig {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    const bool closed = ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

std::wstring WideOf(const std::string& utf8) {
  const std::u16string units = stub::Utf16FromUtf8(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string ErrorText(DWORD code) { return "system error " + std::to_string(code); }

// Opening a directory needs the backup-semantics flag; with it, a directory opens and is then named.
HANDLE OpenExisting(const std::string& path, DWORD access) {
  return ::CreateFileW(WideOf(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool ReadRegularFile(const std::string& path, std::uint64_t limit, Bytes* data, std::string* error) {
  const FileHandle file(OpenExisting(path, GENERIC_READ));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid()) {
    *error = path + ": cannot open for reading: " + ErrorText(::GetLastError());
    return false;
  }
  const DWORD type = ::GetFileType(file.get());
  if (type != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info)) {
    *error = path + ": is " + (type == FILE_TYPE_PIPE ? "a pipe" : "a device") + ", not a regular file";
    return false;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    *error = path + ": is a directory, not a regular file";
    return false;
  }
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  const std::string too_large =
      path + ": larger than " + std::to_string(limit) + " bytes, more than such a file can be";
  if (size > limit) {
    *error = too_large;
    return false;
  }
  data->assign(static_cast<std::size_t>(size), 0);
  std::size_t got = 0;
  while (got < data->size()) {
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data->size() - got, 1 << 20));
    if (!::ReadFile(file.get(), data->data() + got, chunk, &read, nullptr)) {
      *error = path + ": read error: " + ErrorText(::GetLastError());
      return false;
    }
    if (read == 0) break;
    got += read;
  }
  data->resize(got);
  return true;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  const FileHandle file(OpenExisting(path, 0));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

CreateResult CreateNewFile(const std::string& path, const Bytes& data, std::string* error) {
  FileHandle file(::CreateFileW(WideOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return CreateResult::kNameTaken;
    *error = path + ": cannot create: " + ErrorText(code);
    return CreateResult::kFailed;
  }
  std::size_t written = 0;
  bool ok = true;
  while (ok && written < data.size()) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - written, 1 << 20));
    ok = ::WriteFile(file.get(), data.data() + written, chunk, &put, nullptr) != 0 && put != 0;
    written += put;
  }
  const DWORD code = ok ? 0 : ::GetLastError();
  if (!file.Close() || !ok) {
    *error = path + ": cannot write: " + ErrorText(code != 0 ? code : ::GetLastError());
    ::DeleteFileW(WideOf(path).c_str());
    return CreateResult::kFailed;
  }
  return CreateResult::kCreated;
}

}  // namespace stubconfig
