#include "analysis/document_file.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>

#include "analysis/file_replace.h"
#include "analysis/io_error.h"

#ifndef _WIN32
namespace {

// Writes to a device or pipe that is already there; never creates a file.
void WriteInPlace(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw EInOutError::FromErrno(errno);
  std::size_t done = 0;
  int failure = 0;
  while (done < bytes.size() && failure == 0) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) failure = errno;
    if (written == 0) failure = ENOSPC;
    if (written > 0) done += static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
  if (failure != 0) throw EInOutError::FromErrno(failure);
}

}  // namespace
#endif

void WriteDocumentFile(const std::string& path, const std::string& bytes, const std::string& kind) {
  try {
#ifdef _WIN32
    // Windows has no links or devices under a file's name to tell apart.
    ReplaceFileWhole(path, bytes);
#else
    struct stat info {};
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    if (exists && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode))) {
      WriteInPlace(path, bytes);
    } else if (exists && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
      throw EInOutError::FromErrno(S_ISDIR(info.st_mode) ? EISDIR : EACCES);
    } else {
      ReplaceFileWhole(path, bytes);
    }
#endif
  } catch (const EInOutError& e) {
    throw EInOutError(e.Code(),
                      "The " + kind + " could not be written: " + path + " (" + e.Message() + ")");
  }
}
