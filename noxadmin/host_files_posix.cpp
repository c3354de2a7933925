// The host's files on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "noxadmin/host.h"
#include "noxadmin/problem.h"

namespace nox::admin {
namespace {

class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

const char kPathSeparator = '/';
const bool kHostTextIsAnsi = false;

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

std::vector<std::string> ListFolder(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) throw Refusal("cannot list the folder " + dir + ": " + error.message());
  return names;
}

void WriteNewFile(const std::string& path, std::string_view bytes, const std::string& like) {
  const ScopedFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (file.get() < 0) throw Refusal("cannot create " + path + ": " + LastErrorText());
  struct stat old_file;
  if (stat(like.c_str(), &old_file) == 0) fchmod(file.get(), old_file.st_mode & 07777);
  if (!WriteAll(file.get(), bytes) || fsync(file.get()) != 0) {
    const std::string reason = LastErrorText();
    unlink(path.c_str());
    throw Refusal("cannot write " + path + ": " + reason);
  }
}

void ReplaceWith(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    throw Refusal("cannot rename " + from + " to " + to + ": " + LastErrorText());
  }
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool UsersCanReadFile(const std::string&) { return false; }

std::string LastErrorText() { return std::strerror(errno); }

}  // namespace nox::admin
