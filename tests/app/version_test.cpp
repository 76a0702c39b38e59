// `quorrel --version` prints the version of project(VERSION ...) and exits
// before any window system is touched.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "analysis/version.h"

namespace {

// Runs `command` through the shell; its standard output and exit status.
std::string RunCommand(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
    output += buffer;
  status = ::pclose(pipe);
  return output;
}

TEST(Version, IsTheProjectsVersion) {
  EXPECT_STREQ(kQuorrelVersion, QUORREL_PROJECT_VERSION);
}

TEST(Version, PrintedWithoutADisplay) {
  // The xcb platform with no display would end the program with an error
  // if a window system were touched.
  int status = -1;
  const std::string output = RunCommand(
      "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" QUORREL_BINARY "' --version",
      status);
  EXPECT_EQ(output, std::string("quorrel ") + QUORREL_PROJECT_VERSION + "\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
