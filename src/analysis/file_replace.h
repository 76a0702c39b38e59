// Replacing a file whole, safely: the new content goes into a temporary file
// beside the old one, which is then renamed over it in one step.  One rule
// for every file the program writes (the control-sample data file and the
// results files).
//
// - The temporary file is created under a name that cannot be guessed
//   (".NAME.PID.XXXXXXXX" with eight random letters and digits), exclusively
//   and without following a link: a file, a link or anything else already
//   under that name is never opened, written or reused.
// - The content is flushed to the disk before the rename, so a crash or a
//   full disk leaves either the earlier file or the new one, whole.
// - A failed replacement removes its temporary file and leaves the earlier
//   file as it was.
// - Temporaries that an earlier run left behind (killed between creating
//   and renaming) are removed at the next replacement in that folder.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

#ifndef _WIN32
#include <sys/types.h>
#endif

struct tReplaceOptions {
  // Also clear up the temporaries of the program's earlier versions, named
  // ".NAME.PID" (the data file's old, predictable pattern).
  bool remove_old_style_temporaries = false;
};

// Replaces (or creates) the file `path` with exactly `bytes`.  A file that
// existed keeps its permission bits.  A link at `path` itself is replaced,
// not followed.  Throws EInOutError ("File not found", "File access denied",
// "Disk full", "I/O error %d") when the file cannot be replaced; the earlier
// file is then unchanged and no temporary file remains.
void ReplaceFileWhole(const std::string& path, const std::string& bytes,
                      const tReplaceOptions& options = {});

// The pieces, for the tests.

// The folder and the name of `path` ("." for a bare name).
void SplitPath(const std::string& path, std::string& folder, std::string& name);

// ".NAME.PID.SUFFIX".
std::string TemporaryName(const std::string& name, long pid, const std::string& suffix);

// True when `candidate` is a temporary of `name` (".NAME.PID.XXXXXXXX", or
// with `old_style` also ".NAME.PID"); `pid` receives the process id.
bool IsTemporaryOf(const std::string& name, const std::string& candidate, bool old_style,
                   long& pid);

// The random part of a temporary's name: this many letters and digits.
inline constexpr std::size_t kTemporarySuffixLength = 8;

// Names tried before giving up when every one is taken (62^8 names: only a
// folder filled on purpose gets anywhere near this).
inline constexpr int kTemporaryNameAttempts = 100;

// The letters and digits of a suffix, one for each random byte.
std::string SuffixOf(const unsigned char (&random)[kTemporarySuffixLength]);

// Eight random letters and digits (from the system's random source).
std::string RandomSuffix();

// A temporary this old is stale whoever made it.
inline constexpr std::time_t kStaleTemporaryAge = 10 * 60;

#ifndef _WIN32
// The system calls whose order or outcome the rules above rest on: the
// flushes, the rename, the removals and whose files count as this user's.
// The replacement makes them through this interface (the default calls the
// system), so that a test sees the order they are made in, makes one fail,
// or makes the files in a folder someone else's.
class tReplaceCalls {
 public:
  virtual ~tReplaceCalls() = default;
  // fsync(2) of a file or a folder.
  virtual int Flush(int fd);
  // renameat(2) within the folder open as `folder_fd`.
  virtual int Rename(int folder_fd, const char* from, const char* to);
  // unlinkat(2) of a file in the folder open as `folder_fd`.
  virtual int Remove(int folder_fd, const char* file);
  // geteuid(2): the user whose temporaries may be removed.
  virtual uid_t EffectiveUser();
};

// The calls as the system makes them.
tReplaceCalls& SystemReplaceCalls();

// ReplaceFileWhole with the calls of `calls`.
void ReplaceFileWhole(const std::string& path, const std::string& bytes,
                      const tReplaceOptions& options, tReplaceCalls& calls);

// Creates the file `file` in the folder open as `folder_fd` for writing,
// exclusively (O_CREAT | O_EXCL | O_NOFOLLOW, mode 0666 less the umask):
// fails with EEXIST when anything has that name already, a file, a folder,
// or a link (even one that leads nowhere), and never opens or changes it.
// Returns the open descriptor, or -1 with errno set.
int CreateNewFile(int folder_fd, const std::string& file);

// Creates a new temporary file for `name` in the folder open as `folder_fd`
// with CreateNewFile, trying the next suffix while a name is taken.
// Returns the open descriptor and puts the name into `temporary`; returns
// -1 with errno set on failure.
int CreateTemporaryFile(int folder_fd, const std::string& name, std::string& temporary,
                        const std::function<std::string()>& suffixes = RandomSuffix);

// Removes the stale temporaries of `name` in the folder open as
// `folder_fd`: regular files and links of this user that follow the pattern
// and were made by a process that no longer runs, by this process, or more
// than kStaleTemporaryAge seconds before `now`.  Folders are left alone.
// Returns how many were removed; never reports an error.
int RemoveStaleTemporaries(int folder_fd, const std::string& name, bool old_style, std::time_t now,
                           tReplaceCalls& calls = SystemReplaceCalls());
#endif
