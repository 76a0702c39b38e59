// The control-sample data file against a temporary folder: exact bytes, the
// reader's token rules, the "%1.6g" restore format and every failure path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "analysis/Metrics_Papers.h"
#include "analysis/data_file.h"
#include "analysis/file_replace.h"
#include "analysis/io_error.h"
#include "support/recording_dialogs.h"
#include "support/temporary_folder.h"
#ifndef _WIN32
#include "support/file_size_limit.h"
#endif

namespace fs = std::filesystem;

namespace {

class DataFile : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTemporaryFolder("quorrel-data-");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override {
    ::chmod(folder_.c_str(), 0700);
    fs::remove_all(folder_);
  }

  std::string Path() const { return folder_ + "/quorreldata.txt"; }

  void WriteFile(const std::string& bytes) const {
    std::ofstream(Path(), std::ios::binary) << bytes;
  }
  std::string ReadFile() const {
    std::ifstream in(Path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  // The restored texts by position; a thrown error is kept as its message.
  std::map<int, std::string> Load(std::string* error = nullptr) const {
    std::map<int, std::string> filled;
    try {
      LoadPreviousData(folder_, [&](int position, const std::string& text) {
        EXPECT_EQ(filled.count(position), 0u);
        filled[position] = text;
      });
    } catch (const EInOutError& e) {
      if (error == nullptr)
        ADD_FAILURE() << "unexpected error " << e.what();
      else
        *error = e.what();
    }
    return filled;
  }

  std::string folder_;
};

const std::array<std::string, 8> kExampleTexts = {"100", "15", "50", "10", ".6", "20", "70", "45"};

TEST_F(DataFile, WritesEightTextsEachFollowedByOneSpace) {
  SaveCurrentData(folder_, kExampleTexts);
  EXPECT_EQ(ReadFile(), "100 15 50 10 .6 20 70 45 ");
  EXPECT_EQ(fs::file_size(Path()), 25u);

  // Rewritten whole: a shorter content leaves nothing of the longer one.
  SaveCurrentData(folder_, {"1", "2", "3", "4", "0.60", "6", "-7", "8"});
  EXPECT_EQ(ReadFile(), "1 2 3 4 0.60 6 -7 8 ");
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(DataFile, EveryTextStaysOneReadableValue) {
  // The number reader skips blanks, the file reader would split the value on them.
  SaveCurrentData(folder_, {"1 000", "15", "50", "10", ".6", "20", "70", "45"});
  EXPECT_EQ(ReadFile(), "1000 15 50 10 .6 20 70 45 ");

  // Texts the number reader takes as 0 but that hold no digit: only blanks
  // would vanish and move the later values into the wrong fields, "-" and
  // "." would be tokens the file reader refuses.
  SaveCurrentData(folder_, {"  ", "15", "-", "10", ".", "20", "70", "45"});
  EXPECT_EQ(ReadFile(), "0 15 0 10 0 20 70 45 ");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "0"}, {1, "15"}, {2, "0"}, {3, "10"}, {4, "0"}, {5, "20"}}));
}

TEST_F(DataFile, RestoresTheFirstSixValues) {
  SaveCurrentData(folder_, kExampleTexts);
  std::map<int, std::string> expected = {{0, "100"}, {1, "15"},  {2, "50"},
                                         {3, "10"},  {4, "0.6"}, {5, "20"}};
  EXPECT_EQ(Load(), expected);
  EXPECT_EQ(ReadFile(), "100 15 50 10 .6 20 70 45 ");  // a read never changes the file
}

TEST_F(DataFile, ReaderTokenRules) {
  // Line ends, tabs, several blanks and control characters all separate values.
  WriteFile(
      "  100\r\n15\t\t50\x01\x1f"
      "10\n\n 0.60   3.14159265");
  EXPECT_EQ(Load(),
            (std::map<int, std::string>{
                {0, "100"}, {1, "15"}, {2, "50"}, {3, "10"}, {4, "0.6"}, {5, "3.14159265"}}));

  // Signs, exponents and a missing integer part.
  WriteFile("+5 -12.5 1e3 2.5E-7 .5 5.");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "5"}, {1, "-12.5"}, {2, "1000"}, {3, "2.5E-7"}, {4, "0.5"}, {5, "5"}}));

  // Fewer than six values: the missing ones read as 0.
  WriteFile("100 15 ");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "100"}, {1, "15"}, {2, "0"}, {3, "0"}, {4, "0"}, {5, "0"}}));

  // Code 26 ends the text, whether it follows a blank or a token.
  WriteFile(
      "1 2 \x1a"
      "3 4 5 6");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "1"}, {1, "2"}, {2, "0"}, {3, "0"}, {4, "0"}, {5, "0"}}));
  WriteFile(
      "1 2\x1a"
      "3 4 5 6");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "1"}, {1, "2"}, {2, "0"}, {3, "0"}, {4, "0"}, {5, "0"}}));
}

TEST_F(DataFile, BadTokenStopsTheReadAndKeepsWhatWasFilled) {
  const std::string bytes = "100 15 abc 10 .6 20 70 45 ";
  WriteFile(bytes);
  std::string error;
  EXPECT_EQ(Load(&error), (std::map<int, std::string>{{0, "100"}, {1, "15"}}));
  EXPECT_EQ(error, "Invalid numeric input");
  EXPECT_EQ(ReadFile(), bytes);

  for (const char* bad : {"1.2.3", "1e", "-", ".", "1,5", "0x10", "inf", "nan", "1e99999", "5-"}) {
    WriteFile(std::string(bad) + " 1 2 3 4 5");
    error.clear();
    EXPECT_TRUE(Load(&error).empty()) << bad;
    EXPECT_EQ(error, "Invalid numeric input") << bad;
  }
}

TEST_F(DataFile, TokenLengthLimit) {
  // 64 characters are read as one number; a 65th makes the token unreadable.
  const std::string digits64 = "1." + std::string(62, '0');
  WriteFile(digits64 + " 2");
  EXPECT_EQ(Load()[0], "1");

  const std::string huge = std::string(100000, '7');
  WriteFile(huge + " 2 3 4 5 6");
  std::string error;
  EXPECT_TRUE(Load(&error).empty());
  EXPECT_EQ(error, "Invalid numeric input");
  EXPECT_EQ(ReadFile(), huge + " 2 3 4 5 6");

  // Nothing past the first MiB is read: a huge file (of blanks here) holds
  // up no start.
  WriteFile("9 " + std::string(1 << 20, ' ') + "8 7 6 5 4");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "9"}, {1, "0"}, {2, "0"}, {3, "0"}, {4, "0"}, {5, "0"}}));
}

TEST_F(DataFile, MalformedFilesNeverCrashNorChange) {
  // Binary garbage: bytes of every value, in a fixed pseudo-random order.
  std::string garbage;
  uint32_t state = 12345;
  for (int i = 0; i < 4096; ++i) {
    state = state * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(state >> 24));
  }
  WriteFile(garbage);
  std::string error;
  Load(&error);
  EXPECT_EQ(error, "Invalid numeric input");
  EXPECT_EQ(ReadFile(), garbage);

  // An empty file: six zeros, no error.
  WriteFile("");
  EXPECT_EQ(Load(), (std::map<int, std::string>{
                        {0, "0"}, {1, "0"}, {2, "0"}, {3, "0"}, {4, "0"}, {5, "0"}}));
  EXPECT_EQ(fs::file_size(Path()), 0u);
}

// Windows opens a folder as a file that access is denied to, without the
// reason the POSIX calls give.
#ifndef _WIN32
TEST_F(DataFile, AFolderInThePlaceOfTheFile) {
  fs::create_directory(Path());
  fs::create_directory(Path() + "/inside");
  std::string error;
  EXPECT_TRUE(Load(&error).empty());
  // What failed, where, and why.
  EXPECT_EQ(error, "File access denied: " + Path() + " (Is a directory)");
  try {
    SaveCurrentData(folder_, kExampleTexts);
    ADD_FAILURE() << "the save must fail";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("File access denied: " + Path() + " (", 0), 0u);
    EXPECT_TRUE(e.Lasting());
  }
  DeleteDataFile(folder_);
  EXPECT_TRUE(fs::is_directory(Path() + "/inside"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}
#endif

// Pipes, devices, links and a disk limit of the process's own are POSIX's;
// Windows has none of them in this form.
#ifndef _WIN32
TEST_F(DataFile, OnlyARegularFileIsRead) {
  // A pipe without a writer would block the read for ever, an endless device
  // would never end it: both are refused before anything is read.
  ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
  std::string error;
  EXPECT_TRUE(Load(&error).empty());
  EXPECT_EQ(error.rfind("File access denied: ", 0), 0u) << error;
  fs::remove(Path());
  fs::create_symlink("/dev/zero", Path());
  error.clear();
  EXPECT_TRUE(Load(&error).empty());
  EXPECT_EQ(error.rfind("File access denied: ", 0), 0u) << error;
}

TEST_F(DataFile, AFailedWriteKeepsThePreviousFile) {
  SaveCurrentData(folder_, kExampleTexts);
  {
    // A disk that fills after ten bytes of the new file.
    tFileSizeLimit full_disk(10);
    ASSERT_TRUE(full_disk.Ok());
    try {
      SaveCurrentData(folder_, {"1000", "2000", "3000", "4000", "5000", "6000", "7000", "8000"});
      ADD_FAILURE() << "the save must fail";
    } catch (const EInOutError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Disk full: ", 0), 0u) << e.what();
    }
  }
  EXPECT_EQ(ReadFile(), "100 15 50 10 .6 20 70 45 ");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(DataFile, ALinkPlantedAtTheOldTemporaryNameIsNotFollowed) {
  // The earlier versions wrote through ".quorreldata.txt.<pid>"; a link
  // planted there must neither be written through nor survive.
  const std::string victim = folder_ + "/victim";
  std::ofstream(victim, std::ios::binary) << "precious";
  const std::string planted = folder_ + "/.quorreldata.txt." + std::to_string(::getpid());
  fs::create_symlink(victim, planted);
  SaveCurrentData(folder_, kExampleTexts);
  EXPECT_EQ(ReadFile(), "100 15 50 10 .6 20 70 45 ");
  std::ifstream in(victim, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), "precious");
  EXPECT_FALSE(fs::is_symlink(planted));
}

TEST_F(DataFile, ALinkInThePlaceOfTheFileIsReplacedNotFollowed) {
  const std::string victim = folder_ + "/victim";
  std::ofstream(victim, std::ios::binary) << "precious";
  fs::create_symlink(victim, Path());
  SaveCurrentData(folder_, kExampleTexts);
  EXPECT_FALSE(fs::is_symlink(Path()));
  EXPECT_EQ(ReadFile(), "100 15 50 10 .6 20 70 45 ");
  std::ifstream in(victim, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), "precious");
}

#endif

TEST_F(DataFile, UnwritableAndMissingFolders) {
  try {
    SaveCurrentData(folder_ + "/missing", kExampleTexts);
    ADD_FAILURE() << "the save must fail";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("File not found: ", 0), 0u) << e.what();
  }
#ifndef _WIN32
  // A folder without write permission; the superuser ignores permissions, so
  // it is given a folder of the kernel's that refuses new files.
  std::string unwritable = folder_;
  if (::geteuid() == 0) {
    unwritable = "/sys";
  } else {
    ASSERT_EQ(::chmod(folder_.c_str(), 0500), 0);
  }
  try {
    SaveCurrentData(unwritable, kExampleTexts);
    ADD_FAILURE() << "the save must fail";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("File access denied: ", 0), 0u) << e.what();
  }
#endif
  EXPECT_TRUE(Load().empty());
}

#ifdef _WIN32
// The Windows replacement's own clean-up: the temporaries left by this
// process or by one that no longer runs (a process id that is no multiple
// of four is none) go at the next save, old-style ones too; a folder of
// that name and another file's temporary stay.
TEST_F(DataFile, TemporariesLeftBehindAreRemovedAtTheNextSave) {
  const std::string name = "quorreldata.txt";
  const std::string removed[] = {TemporaryName(name, ::getpid(), "AbCdEfGh"),
                                 TemporaryName(name, 999999, "ZZZZZZZZ"), "." + name + ".999999"};
  const std::string kept[] = {TemporaryName("results.txt", 999999, "AAAAAAAA"),
                              TemporaryName(name, 999999, "12345678") + "x"};
  for (const std::string& file : removed)
    std::ofstream(folder_ + "/" + file) << "left";
  for (const std::string& file : kept)
    std::ofstream(folder_ + "/" + file) << "other";
  fs::create_directory(folder_ + "/" + TemporaryName(name, 999999, "FOLDER00"));
  SaveCurrentData(folder_, kExampleTexts);
  for (const std::string& file : removed)
    EXPECT_FALSE(fs::exists(folder_ + "/" + file)) << file;
  for (const std::string& file : kept)
    EXPECT_TRUE(fs::exists(folder_ + "/" + file)) << file;
  EXPECT_TRUE(fs::is_directory(folder_ + "/" + TemporaryName(name, 999999, "FOLDER00")));
  EXPECT_EQ(ReadFile(), "100 15 50 10 .6 20 70 45 ");
}
#endif

TEST_F(DataFile, ClearDataDeletesTheFile) {
  DeleteDataFile(folder_);  // none there: nothing happens
  EXPECT_TRUE(Load().empty());
  SaveCurrentData(folder_, kExampleTexts);
  DeleteDataFile(folder_);
  EXPECT_FALSE(fs::exists(Path()));
  EXPECT_TRUE(Load().empty());
}

// What comes back is the value typed: in its short form where that is the
// same number and fits a field, otherwise as typed, never in a form the
// worksheet refuses or as a different number.
TEST_F(DataFile, RoundTripGivesBackTheValueTyped) {
  SaveCurrentData(folder_, {"0.60", ".12345", ".00005", "-0.0", "0.9999999", "1234567", "", ""});
  auto restored = Load();
  EXPECT_EQ(restored[0], "0.6");
  EXPECT_EQ(restored[1], ".12345");  // not 0.12345, which the length limit would cut
  EXPECT_EQ(restored[2], ".00005");  // not 5E-5, which the number reader refuses
  EXPECT_EQ(restored[3], "0");
  EXPECT_EQ(restored[4], "0.9999999");  // not 1, which the correlation check refuses
  EXPECT_EQ(restored[5], "1234567");    // not 1.23457E6
}

TEST(FormatRestoredValue, GeneralFormatWithSixSignificantDigits) {
  const std::pair<tReal, const char*> cases[] = {
      {1234567, "1.23457E6"},
      {0.00001234L, "1.234E-5"},
      {0.00001L, "1E-5"},
      {0.6L, "0.6"},
      {0.0001L, "0.0001"},
      {0.000099999996L, "0.0001"},
      {3.14159265L, "3.14159"},
      {999999, "999999"},
      {999999.5L, "1E6"},
      {123456.7L, "123457"},
      {100, "100"},
      {-12.5L, "-12.5"},
      {0, "0"},
      {-0.0L, "0"},
      {1e20L, "1E20"},
      {-2.5e-300L, "-2.5E-300"},
      {1000000, "1E6"},
      {0.1L, "0.1"},
  };
  for (const auto& [value, text] : cases)
    EXPECT_EQ(FormatRestoredValue(value), text) << text;
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
#ifndef _WIN32
  EXPECT_EQ(GetProgramPath(), fs::canonical(QUORREL_TEST_BINARY_DIR).string());
  EXPECT_EQ(DataFilePath("/opt/q"), "/opt/q/quorreldata.txt");
#else
  EXPECT_TRUE(fs::exists(fs::path(GetProgramPath()) / "analysis_tests.exe")) << GetProgramPath();
  EXPECT_EQ(DataFilePath("C:\\Q"), "C:\\Q\\quorreldata.txt");
#endif
  EXPECT_EQ(DataFileName, "quorreldata.txt");
}

TEST(EInOutError, PlatformStyleMessages) {
  EXPECT_STREQ(EInOutError::FromErrno(ENOENT).what(), "File not found");
  for (int err : {EACCES, EPERM, EROFS, EISDIR}) {
    EXPECT_STREQ(EInOutError::FromErrno(err).what(), "File access denied") << err;
  }
  EXPECT_STREQ(EInOutError::FromErrno(ENOSPC).what(), "Disk full");
  EXPECT_STREQ(EInOutError::FromErrno(EIO).what(), "I/O error 5");
  EXPECT_EQ(EInOutError::FromErrno(EIO).Code(), EIO);
  EXPECT_STREQ(EInOutError::ReadBeyondEnd().what(), "Read beyond end of file");
  EXPECT_STREQ(EInOutError::InvalidNumericInput().what(), "Invalid numeric input");
}

}  // namespace
