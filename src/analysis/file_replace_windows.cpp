// Replacing a file whole on Windows: the rules of file_replace.h with the
// system's own calls.  The temporary is created with CREATE_NEW (which
// refuses anything that has the name, a link included), flushed, and moved
// over the earlier file with MoveFileEx, which replaces a link rather than
// following it.  Paths are in the code page of the C library's narrow file
// functions, as the other files of the program are opened.
// rand_s, the system's random source, is declared only when asked for.
#define _CRT_RAND_S
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "analysis/file_replace.h"
#include "analysis/io_error.h"

namespace {

// The error the user is told for a failed system call: the messages of
// EInOutError for the conditions it names, the system's error number
// otherwise.
EInOutError SystemError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return EInOutError::FromErrno(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIRECTORY:
      return EInOutError::FromErrno(EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return EInOutError::FromErrno(ENOSPC);
    default:
      return EInOutError(static_cast<int>(error), "I/O error " + std::to_string(error));
  }
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

bool ProcessRuns(long pid) {
  if (pid <= 0) return false;
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

// Seconds since 1970 of a file time.
std::time_t UnixTime(const FILETIME& time) {
  const unsigned long long ticks =
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<std::time_t>(ticks / 10000000ULL - 11644473600ULL);
}

// The temporaries of `name` in `folder` made by a process that no longer
// runs, by this one, or longer ago than kStaleTemporaryAge; folders are left
// alone.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name, bool old_style) {
  WIN32_FIND_DATAA entry;
  HANDLE listing = ::FindFirstFileA(Join(folder, "." + name + ".*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return;
  const std::time_t now = std::time(nullptr);
  const long self = static_cast<long>(::GetCurrentProcessId());
  std::vector<std::string> stale;
  do {
    long pid = 0;
    if (!IsTemporaryOf(name, entry.cFileName, old_style, pid)) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const bool old = now - UnixTime(entry.ftLastWriteTime) >= kStaleTemporaryAge;
    if (pid == self || !ProcessRuns(pid) || old) stale.emplace_back(entry.cFileName);
  } while (::FindNextFileA(listing, &entry));
  ::FindClose(listing);
  for (const std::string& file : stale)
    ::DeleteFileA(Join(folder, file).c_str());
}

}  // namespace

std::string RandomSuffix() {
  unsigned char random[kTemporarySuffixLength];
  for (std::size_t i = 0; i < sizeof random; i += 4) {
    unsigned int value = 0;
    if (::rand_s(&value) != 0) {
      // No system randomness: the clock and the process id still make a
      // name no one can plant in advance with certainty, and CREATE_NEW
      // refuses whatever is there.
      value = static_cast<unsigned int>(::GetTickCount64() * 2654435761ULL) ^
              static_cast<unsigned int>(::GetCurrentProcessId() << 16) ^ static_cast<unsigned>(i);
    }
    for (std::size_t k = 0; k < 4 && i + k < sizeof random; ++k)
      random[i + k] = static_cast<unsigned char>(value >> (8 * k));
  }
  return SuffixOf(random);
}

void ReplaceFileWhole(const std::string& path, const std::string& bytes,
                      const tReplaceOptions& options) {
  std::string folder;
  std::string name;
  SplitPath(path, folder, name);
  if (name.empty() || name == "." || name == "..") throw EInOutError::FromErrno(EISDIR);
  const DWORD folder_attributes = ::GetFileAttributesA(folder.c_str());
  if (folder_attributes == INVALID_FILE_ATTRIBUTES) throw SystemError(::GetLastError());
  if (!(folder_attributes & FILE_ATTRIBUTE_DIRECTORY)) throw EInOutError::FromErrno(ENOTDIR);
  RemoveStaleTemporaries(folder, name, options.remove_old_style_temporaries);

  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && file == INVALID_HANDLE_VALUE;
       ++attempt) {
    temporary = Join(
        folder, TemporaryName(name, static_cast<long>(::GetCurrentProcessId()), RandomSuffix()));
    file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      throw SystemError(::GetLastError());
  }
  if (file == INVALID_HANDLE_VALUE) throw EInOutError::FromErrno(EEXIST);

  DWORD error = ERROR_SUCCESS;
  for (std::size_t done = 0; done < bytes.size() && error == ERROR_SUCCESS;) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
      error = ::GetLastError();
    else if (written == 0)
      error = ERROR_DISK_FULL;
    done += written;
  }
  if (error == ERROR_SUCCESS && !::FlushFileBuffers(file)) error = ::GetLastError();
  if (!::CloseHandle(file) && error == ERROR_SUCCESS) error = ::GetLastError();
  if (error == ERROR_SUCCESS && !::MoveFileExA(temporary.c_str(), path.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = ::GetLastError();
  if (error != ERROR_SUCCESS) {
    ::DeleteFileA(temporary.c_str());
    throw SystemError(error);
  }
}
