// A new, empty folder of the test's own under the system's temporary
// folder, named from `prefix` ("quorrel-data-" gives
// /tmp/quorrel-data-XXXXXX), removed with all it holds when the test ends,
// and the environment set for one test.
#pragma once

#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <random>
#include <string>

inline std::string MakeTemporaryFolder(const std::string& prefix) {
#ifndef _WIN32
  std::string pattern = "/tmp/" + prefix + "XXXXXX";
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
#else
  // Windows has no mkdtemp: a random name, created only if it is new.
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder.string();
  }
  return std::string();
#endif
}

// The folder of MakeTemporaryFolder for as long as the object lives: a test
// (or a fixture) holds one, and the folder is gone whatever way the test
// ends, an ASSERT's early return included.  A test that took the write
// permission from the folder gets it back first.
class tTemporaryFolder {
 public:
  explicit tTemporaryFolder(const std::string& prefix) : path_(MakeTemporaryFolder(prefix)) {}
  ~tTemporaryFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  tTemporaryFolder(const tTemporaryFolder&) = delete;
  tTemporaryFolder& operator=(const tTemporaryFolder&) = delete;

  // The folder's path; empty when it could not be made.
  const std::string& Path() const { return path_; }
  // The path of `name` in the folder.
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or with nullptr removes) an environment variable.
inline void SetEnvironment(const char* name, const char* value) {
#ifndef _WIN32
  if (value != nullptr)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
#else
  ::_putenv_s(name, value != nullptr ? value : "");
#endif
}
