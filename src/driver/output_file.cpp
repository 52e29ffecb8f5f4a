#include "driver/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace velkor {

namespace {

// The mode a new file gets from open(..., 0666): mkstemp makes it 0600.
mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool OutputFile::open(const std::string& path, std::string& error) {
  if (path.empty()) return true;
  name_ = "'" + path + "'";
  struct stat info {};
  const bool exists = stat(path.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    // A device, a pipe or a directory (which fopen refuses): written directly.
    stream_ = std::fopen(path.c_str(), "wb");
    if (stream_ == nullptr) {
      stream_ = stdout;
      error = "cannot create '" + path + "': " + std::strerror(errno);
      return false;
    }
    owned_ = true;
    return true;
  }
  // A symbolic link to a file stays a link: the file it names is replaced.
  namespace fs = std::filesystem;
  std::error_code ignored;
  fs::path target = exists ? fs::canonical(path, ignored) : fs::path(path);
  if (target.empty()) target = path;
  fs::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  // Built by appending: g++ 12 at -O3 warns falsely about "." + string.
  std::string hidden = ".";
  hidden += target.filename().string();
  hidden += ".XXXXXX";
  const std::string pattern = (directory / hidden).string();
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = "cannot create '" + path + "': " + std::strerror(errno);
    return false;
  }
  fchmod(fd, exists ? (info.st_mode & 07777) : newFileMode());
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    error = "cannot create '" + path + "': " + std::strerror(errno);
    close(fd);
    unlink(temporary.data());
    stream_ = stdout;
    return false;
  }
  owned_ = true;
  target_ = target.string();
  temporary_ = temporary.data();
  return true;
}

bool OutputFile::commit(std::string& error) {
  if (!owned_) return true;
  owned_ = false;
  const bool closed = std::fclose(stream_) == 0;
  const int closeError = errno;
  stream_ = stdout;
  if (!closed) {
    error = "error writing " + name_ + ": " + std::strerror(closeError);
    if (!temporary_.empty()) unlink(temporary_.c_str());
    return false;
  }
  if (!temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    error = "cannot create " + name_ + ": " + std::strerror(errno);
    unlink(temporary_.c_str());
    return false;
  }
  return true;
}

void OutputFile::discard() {
  if (!owned_) return;
  owned_ = false;
  std::fclose(stream_);
  stream_ = stdout;
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

}  // namespace velkor
