// A new, empty folder of the test's own under the system's temporary
// folder, named from `prefix` ("quorrel-data-" gives
// /tmp/quorrel-data-XXXXXX), and the environment set for one test.
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
