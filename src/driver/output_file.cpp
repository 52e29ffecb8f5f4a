#include "driver/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "driver/fatal_signals.h"
#include "driver/output_paths.h"

namespace velkor {

namespace {

// The mode a new file gets from open(..., 0666): mkstemp makes it 0600.
mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Moves a descriptor above standard input, output and error, so that a
// file of the run never takes their place should one of them be closed.
int aboveStandardStreams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  close(fd);
  errno = error;
  return moved;
}

std::string withReason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

}  // namespace

bool OutputFile::open(const std::string& path, std::string& error) {
  if (path.empty()) return true;
  name_ = "'" + path + "'";
  bool dangling = false;
  const std::string target = outputTarget(path, dangling);
  struct stat info {};
  const bool exists = stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    // A device, a pipe or a directory (which is refused): written directly.
    const int fd = aboveStandardStreams(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd < 0 || (stream_ = fdopen(fd, "wb")) == nullptr) {
      error = withReason("cannot create '" + path + "'", errno);
      if (fd >= 0) ::close(fd);
      stream_ = stdout;
      return false;
    }
    owned_ = true;
    return true;
  }
  // The shell's `>` refuses a file its user may not write; root may.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    error = withReason("cannot write '" + path + "'", errno);
    return false;
  }
  namespace fs = std::filesystem;
  fs::path directory = fs::path(target).parent_path();
  if (directory.empty()) directory = ".";
  // Built by appending: g++ 12 at -O3 warns falsely about "." + string.
  std::string hidden = ".";
  hidden += fs::path(target).filename().string();
  hidden += ".XXXXXX";
  // The names are kept before the file exists, so that nothing can fail
  // between its creation and the record that removes it.
  target_ = target;
  temporary_ = (directory / hidden).string();
  int fd = -1;
  {
    // The file is created and noted for the signal handlers in one step.
    FatalSignalsHeld held;
    fd = aboveStandardStreams(mkostemp(temporary_.data(), O_CLOEXEC));
    if (fd >= 0 && (slot_ = registerTemporary(temporary_.c_str())) < 0) {
      unlink(temporary_.c_str());
      ::close(fd);
      fd = -1;
      errno = ENAMETOOLONG;
    }
  }
  if (fd < 0) {
    error = withReason("cannot create '" + path + "'", errno);
    target_.clear();
    temporary_.clear();
    return false;
  }
  if (exists) {
    // The owner is kept where the system allows it (root, or a group the
    // user is in); the mode without set-ID bits, which chown would clear
    // anyway and which a file of results never needs.
    if (fchown(fd, info.st_uid, info.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0) {
      // The new file is the user's own, as any file the user creates.
    }
    fchmod(fd, info.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID));
  } else {
    fchmod(fd, newFileMode());
  }
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int reason = errno;
    ::close(fd);
    stream_ = stdout;
    discard();
    error = withReason("cannot create '" + path + "'", reason);
    return false;
  }
  if (dangling)
    std::fprintf(stderr, "velkor: note: '%s' is a symbolic link to '%s', which does not exist; it is created\n",
                 path.c_str(), target.c_str());
  owned_ = true;
  return true;
}

bool OutputFile::write(const std::string& content, std::string& error) {
  if (std::fwrite(content.data(), 1, content.size(), stream_) == content.size() && std::fflush(stream_) == 0)
    return true;
  error = withReason("error writing " + name_, errno);
  return false;
}

bool OutputFile::close(std::string& error) {
  if (!owned_) return true;
  owned_ = false;
  const bool flushed = std::fflush(stream_) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(stream_) == 0;
  const int closeError = errno;
  stream_ = stdout;
  closed_ = true;
  if (flushed && closed) return true;
  error = withReason("error writing " + name_, flushed ? closeError : flushError);
  discard();
  return false;
}

bool OutputFile::place(std::string& error) {
  if (!closed_) return true;
  closed_ = false;
  if (temporary_.empty()) return true;
  const bool renamed = std::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!renamed) {
    error = withReason("cannot create " + name_, errno);
    unlink(temporary_.c_str());
  }
  forgetTemporary(slot_);
  slot_ = -1;
  temporary_.clear();
  return renamed;
}

bool OutputFile::commit(std::string& error) { return commitTogether({this}, error); }

void OutputFile::discard() {
  if (owned_) std::fclose(stream_);
  owned_ = false;
  closed_ = false;
  stream_ = stdout;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  forgetTemporary(slot_);
  slot_ = -1;
}

bool commitTogether(std::initializer_list<OutputFile*> files, std::string& error) {
  bool finished = true;
  for (OutputFile* file : files) finished = finished && file->close(error);
  if (!finished) {
    for (OutputFile* file : files) file->discard();
    return false;
  }
  // Renaming within one directory fails only when the directory changed
  // during the run; the files after such a failure are not put in place.
  FatalSignalsHeld held;
  bool placed = true;
  for (OutputFile* file : files) {
    if (placed)
      placed = file->place(error);
    else
      file->discard();
  }
  return placed;
}

}  // namespace velkor
