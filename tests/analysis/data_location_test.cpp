// Where the control-sample data file is kept (data_location.h): beside a
// program run from its build folder or an unpacked folder, in the user's
// own folder for an installed program, and an earlier file beside an
// installed program read once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "analysis/data_file.h"
#include "analysis/data_location.h"
#include "support/temporary_folder.h"

namespace fs = std::filesystem;

namespace {

class DataLocation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.empty());
    prefix_bin_ = root_ + "/prefix/bin";
    fs::create_directories(prefix_bin_);
    data_home_ = root_ + "/home/user/.local/share";
  }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::map<int, std::string> Load(const std::string& folder) {
    std::map<int, std::string> filled;
    LoadPreviousData(folder,
                     [&](int position, const std::string& text) { filled[position] = text; });
    return filled;
  }

  const tTemporaryFolder temporary_{"quorrel-location-"};
  const std::string root_ = temporary_.Path();
  std::string prefix_bin_;  // the bin folder a build was made for
  std::string data_home_;   // $XDG_DATA_HOME
};

TEST_F(DataLocation, AnInstalledCopyKeepsTheFileInTheUsersOwnFolder) {
  const tDataLocation location = ChooseDataLocation(prefix_bin_, prefix_bin_, data_home_);
  EXPECT_TRUE(location.installed);
  EXPECT_EQ(location.folder, data_home_ + "/quorrel");
  EXPECT_EQ(location.earlier_folder, prefix_bin_);
  EXPECT_EQ(DataFilePath(location.folder), data_home_ + "/quorrel/quorreldata.txt");
  // A trailing separator in $XDG_DATA_HOME changes nothing.
  EXPECT_EQ(ChooseDataLocation(prefix_bin_, prefix_bin_, data_home_ + "/").folder,
            data_home_ + "/quorrel");
}

TEST_F(DataLocation, InstalledIsDecidedByThePrefixNotByWhetherTheFolderIsWritable) {
  // The prefix's bin folder is writable here (root's /usr/bin is as well):
  // still installed.  Reached through a link: still the same folder.
  ASSERT_EQ(::access(prefix_bin_.c_str(), W_OK), 0);
  EXPECT_TRUE(IsInstalledProgramFolder(prefix_bin_, prefix_bin_));
  fs::create_directory_symlink(root_ + "/prefix", root_ + "/link");
  EXPECT_TRUE(IsInstalledProgramFolder(prefix_bin_, root_ + "/link/bin"));
  EXPECT_TRUE(IsInstalledProgramFolder(root_ + "/link/bin/", prefix_bin_));
  // A folder the user cannot write is no installed copy for that.
  const std::string unpacked = root_ + "/unpacked";
  fs::create_directory(unpacked);
  ASSERT_EQ(::chmod(unpacked.c_str(), 0555), 0);
  EXPECT_FALSE(IsInstalledProgramFolder(unpacked, prefix_bin_));
  ::chmod(unpacked.c_str(), 0755);
}

TEST_F(DataLocation, TheSystemsProgramFoldersAreAlwaysInstalled) {
  // Root must never write into /usr/bin, whatever prefix a copy was built
  // for; an unknown program folder is treated the same.
  for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin", "/usr/games"})
    EXPECT_TRUE(IsInstalledProgramFolder(folder, "/opt/quorrel/bin")) << folder;
  EXPECT_TRUE(IsInstalledProgramFolder("", "/opt/quorrel/bin"));
  const tDataLocation unknown = ChooseDataLocation("", "/usr/bin", data_home_);
  EXPECT_TRUE(unknown.installed);
  EXPECT_EQ(unknown.folder, data_home_ + "/quorrel");
  EXPECT_TRUE(unknown.earlier_folder.empty());
}

TEST_F(DataLocation, ABuildFolderOrAnUnpackedFolderKeepsTheFileBesideTheProgram) {
  const std::string build = root_ + "/src/build/src/app";
  fs::create_directories(build);
  const tDataLocation location = ChooseDataLocation(build, "/usr/bin", data_home_);
  EXPECT_FALSE(location.installed);
  EXPECT_EQ(location.folder, build);
  EXPECT_TRUE(location.earlier_folder.empty());
  // A build for the prefix, run before it is installed, is portable too.
  EXPECT_FALSE(ChooseDataLocation(build, prefix_bin_, data_home_).installed);
  // Nothing is created for it.
  PrepareDataFolder(location);
  EXPECT_FALSE(fs::exists(root_ + "/home"));
}

TEST(DataLocationBuild, TheCompiledInFolderIsTheBuildsInstallBinFolder) {
  EXPECT_STREQ(kInstallBinFolder, QUORREL_TEST_INSTALL_BINDIR);
  // The tests themselves run from the build folder.
  EXPECT_FALSE(IsInstalledProgramFolder(GetProgramPath(), kInstallBinFolder));
}

TEST_F(DataLocation, TheUsersFolderIsCreatedPrivateWithItsParents) {
  const tDataLocation location = ChooseDataLocation(prefix_bin_, prefix_bin_, data_home_);
  ASSERT_FALSE(fs::exists(root_ + "/home"));
  PrepareDataFolder(location);
  ASSERT_TRUE(fs::is_directory(location.folder));
  struct stat info {};
  ASSERT_EQ(::stat(location.folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(fs::is_empty(location.folder));  // no earlier file: nothing in it
  EXPECT_TRUE(Load(location.folder).empty());
  SaveCurrentData(location.folder, {"100", "15", "50", "10", ".6", "20", "70", "45"});
  EXPECT_EQ(Load(location.folder).at(4), "0.6");
  // Nothing was written beside the program.
  EXPECT_TRUE(fs::is_empty(prefix_bin_));
}

TEST_F(DataLocation, AnEarlierFileBesideTheProgramIsReadOnce) {
  Write(DataFilePath(prefix_bin_), "100 15 50 10 .6 20 70 45 ");
  const tDataLocation location = ChooseDataLocation(prefix_bin_, prefix_bin_, data_home_);
  PrepareDataFolder(location);
  const auto restored = Load(location.folder);
  EXPECT_EQ(restored, (std::map<int, std::string>{
                          {0, "100"}, {1, "15"}, {2, "50"}, {3, "10"}, {4, "0.6"}, {5, "20"}}));
  // The earlier file is left as it was.
  std::ifstream earlier(DataFilePath(prefix_bin_), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(earlier)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "100 15 50 10 .6 20 70 45 ");

  // The user's own file wins from now on...
  SaveCurrentData(location.folder, {"1", "2", "3", "4", "0.5", "6", "", ""});
  PrepareDataFolder(location);
  EXPECT_EQ(Load(location.folder).at(0), "1");
  // ...and after Clear Data the next start is empty: the earlier file is
  // not read again.
  DeleteDataFile(location.folder);
  PrepareDataFolder(location);
  EXPECT_TRUE(Load(location.folder).empty());
}

TEST_F(DataLocation, AnEarlierFileThatIsNoReadableFileIsIgnored) {
  fs::create_directory(DataFilePath(prefix_bin_));  // a folder in its place
  const tDataLocation location = ChooseDataLocation(prefix_bin_, prefix_bin_, data_home_);
  PrepareDataFolder(location);
  EXPECT_TRUE(fs::is_directory(location.folder));
  EXPECT_TRUE(fs::is_empty(location.folder));
}

TEST_F(DataLocation, TwoUsersHaveTwoFolders) {
  const std::string other_home = root_ + "/home/other/.local/share";
  const tDataLocation mine = ChooseDataLocation(prefix_bin_, prefix_bin_, data_home_);
  const tDataLocation theirs = ChooseDataLocation(prefix_bin_, prefix_bin_, other_home);
  EXPECT_NE(mine.folder, theirs.folder);
  PrepareDataFolder(mine);
  PrepareDataFolder(theirs);
  SaveCurrentData(mine.folder, {"100", "15", "50", "10", ".6", "20", "", ""});
  SaveCurrentData(theirs.folder, {"7", "1", "7", "1", ".1", "30", "", ""});
  EXPECT_EQ(Load(mine.folder).at(0), "100");
  EXPECT_EQ(Load(theirs.folder).at(0), "7");
}

}  // namespace

// The XDG rules: an absolute XDG_DATA_HOME, otherwise ~/.local/share, with
// the account's home folder when HOME is unset or relative; a relative
// XDG_DATA_HOME is ignored.
TEST(UserDataHome, FollowsTheXdgRules) {
  const struct {
    const char* xdg;
    const char* home;
    const char* account;
    const char* expected;
  } cases[] = {
      {"/data/ann", "/home/ann", "/home/ann", "/data/ann"},
      {"data", "/home/ann", "/home/ann", "/home/ann/.local/share"},
      {"", "/home/ann/", "/x", "/home/ann/.local/share"},
      {nullptr, nullptr, "/home/ann", "/home/ann/.local/share"},
      {nullptr, "ann", "/home/ann", "/home/ann/.local/share"},
      {nullptr, "/", "", "/.local/share"},
      {nullptr, nullptr, "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(UserDataHomeFrom(c.xdg, c.home, c.account), c.expected)
        << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
}
