// POSIX file access: the file is opened without blocking (a FIFO without a writer opens at once) and
// its type taken from the open descriptor, so that what is read is what was checked.
#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace stubconfig {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

bool ReadRegularFile(const std::string& path, std::uint64_t limit, Bytes* data, std::string* error) {
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status;
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
    *error = path + ": cannot open for reading: " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = path + ": is " + KindOf(status.st_mode) + ", not a regular file";
    return false;
  }
  const std::string too_large =
      path + ": larger than " + std::to_string(limit) + " bytes, more than such a file can be";
  if (static_cast<std::uint64_t>(status.st_size) > limit) {
    *error = too_large;
    return false;
  }
  data->clear();
  data->reserve(static_cast<std::size_t>(status.st_size));
  std::uint8_t buffer[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = path + ": read error: " + std::strerror(errno);
      return false;
    }
    if (data->size() + static_cast<std::size_t>(got) > limit) {  // the file grew while it was read
      *error = too_large;
      return false;
    }
    data->insert(data->end(), buffer, buffer + got);
  }
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

CreateResult CreateNewFile(const std::string& path, const Bytes& data, std::string* error) {
  // O_EXCL with O_CREAT fails on any existing name, a dangling symbolic link included.
  Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.get() < 0) {
    if (errno == EEXIST) return CreateResult::kNameTaken;
    *error = path + ": cannot create: " + std::strerror(errno);
    return CreateResult::kFailed;
  }
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t put = ::write(file.get(), data.data() + written, data.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    written += static_cast<std::size_t>(put);
  }
  const int saved = written < data.size() ? errno : 0;
  if (::close(file.release()) != 0 || written < data.size()) {
    *error = path + ": cannot write: " + std::strerror(saved != 0 ? saved : errno);
    ::unlink(path.c_str());
    return CreateResult::kFailed;
  }
  return CreateResult::kCreated;
}

}  // namespace stubconfig
