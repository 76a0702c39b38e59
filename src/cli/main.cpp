// quorrel-report: the command-line front end of the analysis.
#include <iostream>
#include <string>
#include <vector>

#include "cli/report_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunQuorrelReport(args, std::cout, std::cerr, EnvironmentDecimalSeparator());
}
