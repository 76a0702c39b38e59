// How well the long-run question's estimate foretells a calibrated-prior
// run: for each correlation given, several estimates (ExpectedRunSeconds)
// and then the time of the run itself (RunAnalysis, every draw), on this
// machine as it is loaded now.
//   pilot_estimate ESTIMATES R...      e.g. pilot_estimate 5 .999 .9999 .99999
// A negative ESTIMATES gives that many estimates and no run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/compute_driver.h"
#include "engines/Bayes_Engines.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: pilot_estimate ESTIMATES R...\n");
    return 2;
  }
  const int asked = std::atoi(argv[1]);
  const int estimates = asked < 0 ? -asked : asked;
  std::printf("threads %u\n", EngineThreads());
  for (int i = 2; i < argc; ++i) {
    tAnalysis_request request;
    request.mean_x = 100;
    request.sd_x = 15;
    request.mean_y = 50;
    request.sd_y = 10;
    request.r = std::strtold(argv[i], nullptr);
    request.n = 20;
    request.case_x = 70;
    request.case_y = 55;
    request.iterations = kIterations;
    std::printf("r = %s  estimates:", argv[i]);
    for (int k = 0; k < estimates; ++k) {
      const auto start = std::chrono::steady_clock::now();
      const std::optional<double> seconds = ExpectedRunSeconds(request);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::printf(" %.1f (%.2f s)", seconds ? *seconds : -1.0, took.count());
      std::fflush(stdout);
    }
    if (asked < 0) {
      std::printf("\n");
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    RunAnalysis(request);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("  run: %.1f s\n", took.count());
    std::fflush(stdout);
  }
  return 0;
}
