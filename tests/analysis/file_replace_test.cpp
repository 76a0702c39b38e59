// Replacing a file whole (file_replace.h): the temporary file that refuses
// whatever already has its name, the clean-up of the ones a killed process
// left, and the earlier file surviving a failed replacement.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "analysis/file_replace.h"
#include "analysis/io_error.h"
#include "support/file_size_limit.h"
#include "support/temporary_folder.h"

namespace fs = std::filesystem;

namespace {

class FileReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.empty());
    folder_fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder_fd_, 0);
  }
  void TearDown() override { ::close(folder_fd_); }

  std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.insert(entry.path().filename().string());
    return names;
  }
  // Sets a file's (or link's) modification time `seconds` into the past.
  void Age(const std::string& name, std::time_t seconds) const {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - seconds;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(folder_fd_, name.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  }
  // The id of a process that has ended.
  static long EndedProcess() {
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return static_cast<long>(child);
  }

  const tTemporaryFolder temporary_{"quorrel-replace-"};
  const std::string folder_ = temporary_.Path();
  int folder_fd_ = -1;
};

// The replacement's calls, made by the system and written down in their
// order: "flush file" or "flush folder" (told apart by what the descriptor
// is), "rename to NAME", "remove NAME".  A file's flush can be made to fail,
// and every file made to seem another user's.
class tRecordingCalls : public tReplaceCalls {
 public:
  int Flush(int fd) override {
    struct stat info {};
    const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    made.push_back(folder ? "flush folder" : "flush file");
    if (!folder && file_flush_error != 0) {
      errno = file_flush_error;
      return -1;
    }
    return tReplaceCalls::Flush(fd);
  }
  int Rename(int folder_fd, const char* from, const char* to) override {
    made.push_back(std::string("rename to ") + to);
    return tReplaceCalls::Rename(folder_fd, from, to);
  }
  int Remove(int folder_fd, const char* file) override {
    made.push_back(std::string("remove ") + file);
    return tReplaceCalls::Remove(folder_fd, file);
  }
  uid_t EffectiveUser() override { return tReplaceCalls::EffectiveUser() + (someone_else ? 1 : 0); }

  std::vector<std::string> made;
  int file_flush_error = 0;
  bool someone_else = false;
};

// A crash just after the replacement must find the new content under the
// name: the content reaches the disk before the rename points the name at
// it, and the folder (the new name itself) after.
TEST_F(FileReplace, FlushesTheContentBeforeTheRenameAndTheFolderAfter) {
  const std::string path = PathOf("results.txt");
  Write(path, "earlier");
  tRecordingCalls calls;
  ReplaceFileWhole(path, "new", {}, calls);
  EXPECT_EQ(calls.made,
            (std::vector<std::string>{"flush file", "rename to results.txt", "flush folder"}));
  EXPECT_EQ(Read(path), "new");
}

// A flush that fails (a write error the disk reports only then) ends the
// replacement before the rename: the earlier file stays and the temporary
// goes.  A file system that cannot flush at all is no failure.
TEST_F(FileReplace, AFailedFlushKeepsTheEarlierFile) {
  const struct {
    int error;
    const char* message;  // nullptr: the file is replaced
  } cases[] = {{EIO, "I/O error 5"}, {ENOSPC, "Disk full"}, {EINVAL, nullptr}};
  for (const auto& c : cases) {
    const std::string path = PathOf("results.txt");
    Write(path, "earlier");
    tRecordingCalls calls;
    calls.file_flush_error = c.error;
    try {
      ReplaceFileWhole(path, "new", {}, calls);
      EXPECT_EQ(c.message, nullptr) << "the replacement must fail";
      EXPECT_EQ(Read(path), "new");
    } catch (const EInOutError& e) {
      ASSERT_NE(c.message, nullptr) << e.what();
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(Read(path), "earlier");
      ASSERT_EQ(calls.made.size(), 2u);
      EXPECT_EQ(calls.made[1].rfind("remove .results.txt.", 0), 0u) << calls.made[1];
    }
    EXPECT_EQ(Names(), std::set<std::string>{"results.txt"}) << c.error;
  }
}

// In a folder shared with others, a temporary that looks stale but is
// another user's is left alone; the same file, ours, is removed.
TEST_F(FileReplace, AStaleTemporaryIsRemovedOnlyWhenItIsThisUsers) {
  const std::string stale = TemporaryName("results.txt", EndedProcess(), "deadDEAD");
  Write(PathOf(stale), "x");
  Age(stale, kStaleTemporaryAge + 5);
  tRecordingCalls others;
  others.someone_else = true;
  ReplaceFileWhole(PathOf("results.txt"), "first", {}, others);
  EXPECT_EQ(Names(), (std::set<std::string>{stale, "results.txt"}));
  tRecordingCalls ours;
  ReplaceFileWhole(PathOf("results.txt"), "second", {}, ours);
  EXPECT_EQ(Names(), std::set<std::string>{"results.txt"});
  EXPECT_EQ(ours.made.front(), "remove " + stale);
}

TEST_F(FileReplace, ReplacesTheWholeFileAndKeepsItsPermissions) {
  const std::string path = PathOf("results.txt");
  Write(path, std::string(5000, 'x'));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ReplaceFileWhole(path, "short");
  EXPECT_EQ(Read(path), "short");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(), std::set<std::string>{"results.txt"});
}

TEST_F(FileReplace, ANewFileGetsTheUsualPermissions) {
  const mode_t mask = ::umask(022);
  ReplaceFileWhole(PathOf("new.txt"), "");
  ::umask(mask);
  struct stat info {};
  ASSERT_EQ(::stat(PathOf("new.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_size, 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(FileReplace, ARelativeNameIsReplacedInTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(folder_);
  ReplaceFileWhole("bare.txt", "bare");
  fs::current_path(before);
  EXPECT_EQ(Read(PathOf("bare.txt")), "bare");
}

TEST_F(FileReplace, AFullDiskLeavesTheEarlierFileIntactAndNoTemporary) {
  // The fault reported: a 5,000-byte file lost, an 8,192-byte cut-off
  // file left in its place.
  const std::string path = PathOf("results.txt");
  const std::string earlier(5000, 'e');
  Write(path, earlier);
  {
    tFileSizeLimit full_disk(4096);
    ASSERT_TRUE(full_disk.Ok());
    try {
      ReplaceFileWhole(path, std::string(8192, 'n'));
      ADD_FAILURE() << "the replacement must fail";
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), "Disk full");
    }
  }
  EXPECT_EQ(Read(path), earlier);
  EXPECT_EQ(Names(), std::set<std::string>{"results.txt"});
}

TEST_F(FileReplace, FailuresGiveThePlatformMessages) {
  try {
    ReplaceFileWhole(PathOf("missing/file.txt"), "x");
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File not found");
  }
  fs::create_directory(PathOf("folder"));
  fs::create_directory(PathOf("folder/inside"));
  try {
    ReplaceFileWhole(PathOf("folder"), "x");
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_TRUE(fs::is_directory(PathOf("folder/inside")));
  EXPECT_EQ(Names(), std::set<std::string>{"folder"});
  try {
    ReplaceFileWhole(folder_ + "/", "x");
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
}

TEST_F(FileReplace, TheTemporaryNameIsUnpredictableAndFollowsThePattern) {
  std::string first;
  std::string second;
  const int a = CreateTemporaryFile(folder_fd_, "results.txt", first);
  const int b = CreateTemporaryFile(folder_fd_, "results.txt", second);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  ::close(a);
  ::close(b);
  EXPECT_NE(first, second);
  const std::string prefix = ".results.txt." + std::to_string(::getpid()) + ".";
  EXPECT_EQ(first.substr(0, prefix.size()), prefix);
  EXPECT_EQ(first.size(), prefix.size() + 8);
  long pid = 0;
  EXPECT_TRUE(IsTemporaryOf("results.txt", first, false, pid));
  EXPECT_EQ(pid, static_cast<long>(::getpid()));
}

TEST_F(FileReplace, TheTemporaryFileRefusesAnExistingFileOrLink) {
  // Whatever already has the name is refused and left as it was: a file, a
  // link to a file, a link that leads nowhere, a folder.
  const std::string victim = PathOf("victim");
  Write(victim, "precious");
  Write(PathOf("file"), "someone's");
  fs::create_symlink(victim, PathOf("link"));
  fs::create_symlink(PathOf("nowhere"), PathOf("dangling"));
  fs::create_directory(PathOf("folder"));
  for (const char* taken : {"file", "link", "dangling", "folder"}) {
    errno = 0;
    EXPECT_EQ(CreateNewFile(folder_fd_, taken), -1) << taken;
    EXPECT_EQ(errno, EEXIST) << taken;
  }
  EXPECT_EQ(Read(victim), "precious");
  EXPECT_EQ(Read(PathOf("file")), "someone's");
  EXPECT_FALSE(fs::exists(PathOf("nowhere")));

  // The temporary file: names already taken (links planted at them, one to
  // the victim) are passed over for the next name; nothing planted is
  // written through.
  const std::string pid = std::to_string(::getpid());
  fs::create_symlink(victim, PathOf(".data.txt." + pid + ".AAAAAAAA"));
  fs::create_symlink(PathOf("nowhere"), PathOf(".data.txt." + pid + ".BBBBBBBB"));
  Write(PathOf(".data.txt." + pid + ".CCCCCCCC"), "someone's");
  const char* suffixes[] = {"AAAAAAAA", "BBBBBBBB", "CCCCCCCC", "DDDDDDDD"};
  int next = 0;
  std::string temporary;
  const int fd =
      CreateTemporaryFile(folder_fd_, "data.txt", temporary, [&] { return suffixes[next++]; });
  ASSERT_GE(fd, 0);
  EXPECT_EQ(temporary, ".data.txt." + pid + ".DDDDDDDD");
  EXPECT_EQ(::write(fd, "new", 3), 3);
  struct stat info {};
  ASSERT_EQ(::fstat(fd, &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_nlink, 1u);
  ::close(fd);
  EXPECT_EQ(Read(victim), "precious");
  EXPECT_FALSE(fs::exists(PathOf("nowhere")));
  EXPECT_EQ(Read(PathOf(".data.txt." + pid + ".CCCCCCCC")), "someone's");

  // A folder where every name is taken: the creation gives up.
  std::string ignored;
  EXPECT_EQ(CreateTemporaryFile(folder_fd_, "data.txt", ignored, [] { return "AAAAAAAA"; }), -1);
  EXPECT_EQ(errno, EEXIST);
}

TEST_F(FileReplace, RecognisesOnlyItsOwnTemporaries) {
  long pid = 0;
  EXPECT_TRUE(IsTemporaryOf("quorreldata.txt", ".quorreldata.txt.4242.aB3dE6gH", false, pid));
  EXPECT_EQ(pid, 4242);
  EXPECT_FALSE(IsTemporaryOf("quorreldata.txt", ".quorreldata.txt.4242", false, pid));
  EXPECT_TRUE(IsTemporaryOf("quorreldata.txt", ".quorreldata.txt.4242", true, pid));
  for (const char* other :
       {"quorreldata.txt", ".quorreldata.txt", ".quorreldata.txt.", ".quorreldata.txt.12.short",
        ".quorreldata.txt.12.aB3dE6gH9", ".quorreldata.txt.12.aB3d-6gH",
        ".quorreldata.txt.x.aB3dE6gH", ".quorreldata.txt.012.aB3dE6gH", ".results.txt.12.aB3dE6gH",
        ".quorreldata.txt.12345678901.aB3dE6gH", ".quorreldata.txt.12~"}) {
    EXPECT_FALSE(IsTemporaryOf("quorreldata.txt", other, true, pid)) << other;
  }
}

TEST_F(FileReplace, ATemporaryLeftByAKilledSaveIsRemovedAtTheNextSave) {
  // A process killed (kill -9) between creating its temporary file and
  // renaming it.
  const std::string path = PathOf("quorreldata.txt");
  Write(path, "100 15 ");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string temporary;
    const int fd = CreateTemporaryFile(folder_fd_, "quorreldata.txt", temporary);
    if (fd >= 0) (void)!::write(fd, "half", 4);
    ::kill(::getpid(), SIGKILL);
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(Names().size(), 2u);  // the data file and the stray temporary

  ReplaceFileWhole(path, "1 2 3 4 5 6 7 8 ");
  EXPECT_EQ(Names(), std::set<std::string>{"quorreldata.txt"});
  EXPECT_EQ(Read(path), "1 2 3 4 5 6 7 8 ");
}

TEST_F(FileReplace, CleanUpSparesLiveWorkOthersFilesAndFolders) {
  const std::time_t now = std::time(nullptr);
  const long dead = EndedProcess();
  const long alive = static_cast<long>(::getppid());
  const std::string name = "quorreldata.txt";
  auto temp = [&](long pid, const char* suffix) { return TemporaryName(name, pid, suffix); };

  Write(PathOf(temp(dead, "deadDEAD")), "x");  // its maker has ended: stale
  Write(PathOf(temp(static_cast<long>(::getpid()), "selfSELF")), "x");  // ours, not in use: stale
  fs::create_symlink("/nowhere", PathOf(temp(dead, "linkLINK")));  // a link: removed, not followed
  Write(PathOf(temp(alive, "liveLIVE")), "x");                     // a live save: kept
  Write(PathOf(temp(alive, "oldOLDOL")), "x");  // live but ten minutes old: stale
  Age(temp(alive, "oldOLDOL"), kStaleTemporaryAge + 5);
  fs::create_directory(PathOf(temp(dead, "dirDIRDI")));                      // a folder: left alone
  Write(PathOf(".quorreldata.txt." + std::to_string(dead)), "x");            // the old pattern
  Write(PathOf(".results.txt." + std::to_string(dead) + ".abcdefgh"), "x");  // another file's
  Write(PathOf("quorreldata.txt"), "1 ");

  EXPECT_EQ(RemoveStaleTemporaries(folder_fd_, name, false, now), 4);
  EXPECT_EQ(Names(), (std::set<std::string>{temp(alive, "liveLIVE"), temp(dead, "dirDIRDI"),
                                            ".quorreldata.txt." + std::to_string(dead),
                                            ".results.txt." + std::to_string(dead) + ".abcdefgh",
                                            "quorreldata.txt"}));
  // The old pattern only when asked for (the data file asks).
  EXPECT_EQ(RemoveStaleTemporaries(folder_fd_, name, true, now), 1);
  EXPECT_FALSE(fs::exists(PathOf(".quorreldata.txt." + std::to_string(dead))));
  // Ten minutes on, the live one is stale too.
  EXPECT_EQ(RemoveStaleTemporaries(folder_fd_, name, true, now + kStaleTemporaryAge), 1);
  EXPECT_TRUE(fs::is_directory(PathOf(temp(dead, "dirDIRDI"))));
}

TEST_F(FileReplace, ALinkAtTheTargetIsReplacedNotFollowed) {
  const std::string victim = PathOf("victim");
  Write(victim, "precious");
  fs::create_symlink(victim, PathOf("target"));
  ReplaceFileWhole(PathOf("target"), "new");
  EXPECT_FALSE(fs::is_symlink(PathOf("target")));
  EXPECT_EQ(Read(PathOf("target")), "new");
  EXPECT_EQ(Read(victim), "precious");
}

TEST(SplitPath, FolderAndName) {
  std::string folder;
  std::string name;
  SplitPath("/home/u/results.txt", folder, name);
  EXPECT_EQ(folder, "/home/u");
  EXPECT_EQ(name, "results.txt");
  SplitPath("/results.txt", folder, name);
  EXPECT_EQ(folder, "/");
  EXPECT_EQ(name, "results.txt");
  SplitPath("results.txt", folder, name);
  EXPECT_EQ(folder, ".");
  EXPECT_EQ(name, "results.txt");
}

}  // namespace
