#include "analysis/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "analysis/io_error.h"

namespace {

// The process `pid` runs (or runs under another user).
bool ProcessRuns(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw EInOutError::FromErrno(errno);
    }
    if (written == 0) throw EInOutError::FromErrno(ENOSPC);
    done += static_cast<std::size_t>(written);
  }
}

class tFolder {
 public:
  explicit tFolder(const std::string& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0 && errno == EACCES) {
      // A folder the user may write but not list: no clean-up there.
      fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      listable_ = false;
    }
    if (fd_ < 0) throw EInOutError::FromErrno(errno);
  }
  ~tFolder() { ::close(fd_); }
  tFolder(const tFolder&) = delete;
  tFolder& operator=(const tFolder&) = delete;

  int Fd() const { return fd_; }
  bool Listable() const { return listable_; }

 private:
  int fd_ = -1;
  bool listable_ = true;
};

}  // namespace

std::string RandomSuffix() {
  unsigned char random[kTemporarySuffixLength];
  std::size_t filled = 0;
  while (filled < sizeof random) {
#ifdef __EMSCRIPTEN__
    // WebAssembly's C library draws from Node's or the browser's random
    // source through getentropy only.
    const ssize_t got = ::getentropy(random + filled, sizeof random - filled) == 0
                            ? static_cast<ssize_t>(sizeof random - filled)
                            : -1;
#else
    ssize_t got = ::getrandom(random + filled, sizeof random - filled, 0);
#endif
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    filled += static_cast<std::size_t>(got);
  }
  if (filled < sizeof random) {
    // No kernel randomness: the clock and the process id still make a name
    // that no one can plant in advance with certainty, and O_EXCL refuses
    // whatever is there.
    auto seed = static_cast<unsigned long long>(
                    std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<unsigned long long>(::getpid()) << 32);
    for (unsigned char& byte : random) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      byte = static_cast<unsigned char>(seed >> 56);
    }
  }
  return SuffixOf(random);
}

int CreateNewFile(int folder_fd, const std::string& file) {
  return ::openat(folder_fd, file.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
}

int CreateTemporaryFile(int folder_fd, const std::string& name, std::string& temporary,
                        const std::function<std::string()>& suffixes) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    temporary = TemporaryName(name, static_cast<long>(::getpid()), suffixes());
    const int fd = CreateNewFile(folder_fd, temporary);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

int RemoveStaleTemporaries(int folder_fd, const std::string& name, bool old_style,
                           std::time_t now) {
  const int listing_fd = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return 0;
  DIR* listing = ::fdopendir(listing_fd);
  if (listing == nullptr) {
    ::close(listing_fd);
    return 0;
  }
  std::vector<std::string> stale;
  const long self = static_cast<long>(::getpid());
  while (const dirent* entry = ::readdir(listing)) {
    long pid = 0;
    if (!IsTemporaryOf(name, entry->d_name, old_style, pid)) continue;
    struct stat info {};
    if (::fstatat(folder_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) continue;
    if (info.st_uid != ::geteuid()) continue;
    const bool old = now - info.st_mtime >= kStaleTemporaryAge;
    if (pid == self || !ProcessRuns(pid) || old) stale.emplace_back(entry->d_name);
  }
  ::closedir(listing);
  int removed = 0;
  for (const std::string& file : stale)
    if (::unlinkat(folder_fd, file.c_str(), 0) == 0) ++removed;
  return removed;
}

void ReplaceFileWhole(const std::string& path, const std::string& bytes,
                      const tReplaceOptions& options) {
  std::string folder_path;
  std::string name;
  SplitPath(path, folder_path, name);
  if (name.empty() || name == "." || name == "..") throw EInOutError::FromErrno(EISDIR);
  const tFolder folder(folder_path);
  if (folder.Listable())
    RemoveStaleTemporaries(folder.Fd(), name, options.remove_old_style_temporaries,
                           std::time(nullptr));

  std::string temporary;
  int fd = CreateTemporaryFile(folder.Fd(), name, temporary);
  if (fd < 0) throw EInOutError::FromErrno(errno);
  try {
    // The replacement keeps the earlier file's permissions (and, for the
    // superuser, its owner).
    struct stat earlier {};
    if (::fstatat(folder.Fd(), name.c_str(), &earlier, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(earlier.st_mode)) {
      if (::geteuid() == 0 && (earlier.st_uid != 0 || earlier.st_gid != 0))
        (void)!::fchown(fd, earlier.st_uid, earlier.st_gid);
      ::fchmod(fd, earlier.st_mode & 0777);
    }
    WriteAll(fd, bytes);
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) throw EInOutError::FromErrno(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR) throw EInOutError::FromErrno(errno);
    if (::renameat(folder.Fd(), temporary.c_str(), folder.Fd(), name.c_str()) != 0)
      throw EInOutError::FromErrno(errno);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlinkat(folder.Fd(), temporary.c_str(), 0);
    throw;
  }
  // The new name on the disk as well (best effort: a folder open only as a
  // path cannot be flushed).
  if (folder.Listable()) ::fsync(folder.Fd());
}
