#include "analysis/data_location.h"

#include <fcntl.h>
#ifndef _WIN32
#include <pwd.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/data_file.h"
#include "analysis/file_replace.h"
#include "analysis/io_error.h"

#ifndef QUORREL_INSTALL_BINDIR
#define QUORREL_INSTALL_BINDIR "/usr/local/bin"
#endif

const char* const kInstallBinFolder = QUORREL_INSTALL_BINDIR;

namespace {

// The system's program folders: a program found there is an installed one,
// whatever prefix it was built for.
const char* const kSystemProgramFolders[] = {
    "/usr/bin", "/bin", "/usr/sbin", "/sbin", "/usr/games", "/usr/local/bin", "/usr/local/sbin"};

// An earlier data file larger than this is no data file of Quorrel's.
constexpr std::size_t kMaxEarlierFileSize = 1 << 20;

#ifdef _WIN32
// Windows' C library: folders are made with the permissions they inherit,
// files open without blocking and are never inherited by the programs a
// process starts, and a folder's full path is found by _fullpath.
constexpr const char* kSeparators = "/\\";
constexpr int kReadFlags = O_RDONLY | O_BINARY;
int MakeFolder(const char* folder) {
  const std::size_t length = std::strlen(folder);
  if (length > 0 && folder[length - 1] == ':') return 0;  // a drive, "C:"
  return ::mkdir(folder);
}
char* FullPath(const char* folder) {
  return ::_fullpath(nullptr, folder, 0);
}
#else
constexpr const char* kSeparators = "/";
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
int MakeFolder(const char* folder) {
  return ::mkdir(folder, 0700);
}
char* FullPath(const char* folder) {
  return ::realpath(folder, nullptr);
}
#endif

// The folder with links resolved, or lexically without trailing slashes
// when it does not exist.
std::string Canonical(const std::string& folder) {
  if (char* resolved = FullPath(folder.c_str())) {
    std::string result = resolved;
    std::free(resolved);
    return result;
  }
  std::string result = folder;
  while (result.size() > 1 && result.back() == '/')
    result.pop_back();
  return result;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolders(const std::string& folder) {
  try {
    MakeDataFolder(folder);
    return true;
  } catch (const EInOutError&) {
    return false;
  }
}

// The whole content of a readable regular file, or false.
bool ReadRegularFile(const std::string& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), kReadFlags);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::size_t>(info.st_size) <= kMaxEarlierFileSize;
  bytes.clear();
  char buffer[4096];
  while (ok) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
    ok = bytes.size() <= kMaxEarlierFileSize;
  }
  ::close(fd);
  return ok;
}

}  // namespace

void MakeDataFolder(const std::string& folder) {
  if (folder.empty()) throw EInOutError::FromErrno(ENOENT);
  for (std::size_t slash = folder.find_first_of(kSeparators, 1);;
       slash = folder.find_first_of(kSeparators, slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && MakeFolder(part.c_str()) != 0 && errno != EEXIST)
      throw EInOutError::FromErrno(errno).At(part);
    if (slash == std::string::npos) break;
  }
  if (!IsFolder(folder)) throw EInOutError::FromErrno(ENOTDIR).At(folder);
}

bool IsInstalledProgramFolder(const std::string& program_folder,
                              const std::string& install_bin_folder) {
  if (program_folder.empty()) return true;
  const std::string here = Canonical(program_folder);
  if (!install_bin_folder.empty() && here == Canonical(install_bin_folder)) return true;
  for (const char* system_folder : kSystemProgramFolders)
    if (here == system_folder || here == Canonical(system_folder)) return true;
  return false;
}

tDataLocation ChooseDataLocation(const std::string& program_folder,
                                 const std::string& install_bin_folder,
                                 const std::string& user_data_home) {
  tDataLocation location;
  location.installed = IsInstalledProgramFolder(program_folder, install_bin_folder);
  if (!location.installed) {
    location.folder = program_folder;
    return location;
  }
  std::string home = user_data_home;
  while (home.size() > 1 && home.back() == '/')
    home.pop_back();
  location.folder = home + "/" + kUserDataFolderName;
  location.earlier_folder = program_folder;
  return location;
}

std::string UserDataHomeFrom(const char* xdg_data_home, const char* home,
                             const std::string& account_home) {
  if (xdg_data_home != nullptr && xdg_data_home[0] == '/') return xdg_data_home;
  std::string base = home != nullptr && home[0] == '/' ? std::string(home) : account_home;
  while (base.size() > 1 && base.back() == '/')
    base.pop_back();
  if (base.empty()) return std::string();
  return (base == "/" ? std::string() : base) + "/.local/share";
}

std::string UserDataHome() {
  std::string account_home;
#ifndef _WIN32
  // The account's home folder, for a process started without HOME.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
    account_home = found->pw_dir;
#endif
  return UserDataHomeFrom(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), account_home);
}

void PrepareDataFolder(const tDataLocation& location) {
  if (!location.installed || IsFolder(location.folder)) return;
  if (!MakeFolders(location.folder)) return;
  if (location.earlier_folder.empty() || location.earlier_folder == location.folder) return;
  std::string bytes;
  if (!ReadRegularFile(DataFilePath(location.earlier_folder), bytes)) return;
  try {
    ReplaceFileWhole(DataFilePath(location.folder), bytes);
  } catch (...) {
    // Not copied: the worksheet starts empty, as without an earlier file.
  }
}
