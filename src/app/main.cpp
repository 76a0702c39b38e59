#include <cstdio>
#include <cstring>

#include "analysis/version.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  // Answered before any window system is touched, so it needs no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("quorrel %s\n", kQuorrelVersion);
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
  }
  return RunQuorrel(argc, argv);
}
