// Fuzz target: quorrel-report's argument parsing, on any argument list (the
// input's bytes split at NUL characters).  A parse that succeeds must leave a
// runnable invocation; one that fails must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/report_cli.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string arg;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0) args.push_back(arg);

  tCliOptions options;
  std::string problem;
  if (!ParseCommandLine(args, options, problem)) {
    FUZZ_CHECK(!problem.empty());
    return 0;
  }
  if (options.help || options.version) return 0;
  if (options.batch_file) {
    FUZZ_CHECK(options.values.empty() && !options.json && options.analysis.notes.empty());
  } else {
    FUZZ_CHECK(options.values.size() == 8);
  }
  if (options.decimal_separator) {
    FUZZ_CHECK(*options.decimal_separator == '.' || *options.decimal_separator == ',');
  }
  // A part of a batch is one of its parts; the threads are within reach.
  if (options.shard) {
    FUZZ_CHECK(options.batch_file && options.shard->index >= 1 &&
               options.shard->index <= options.shard->count);
  }
  FUZZ_CHECK(options.threads <= 64);
  // The prior the analysis will run with exists for every accepted line.
  FUZZ_CHECK(!options.analysis.PriorOverruled());
  if (options.analysis.test == tTestKind::Unstandardized)
    FUZZ_CHECK(options.analysis.Prior() == tPrior::StandardTheory);
  // Before a "--", no option of the program is ever taken for a value.
  bool options_ended = false;
  for (const std::string& given : args) {
    if (given == "--") options_ended = true;
  }
  if (!options_ended) {
    for (const std::string& value : options.values) {
      for (const char* option : {"--json", "--help", "-h", "--prior", "--limits", "--test",
                                 "--notes", "--batch", "--decimal-separator"}) {
        FUZZ_CHECK(value != option);
      }
    }
  }
  return 0;
}
