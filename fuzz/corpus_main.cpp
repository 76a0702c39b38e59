// Runs a fuzz target's entry function over files, for builds without
// libFuzzer (g++): each argument is a file, or a folder whose files are all
// run.  Any failed check aborts, so a corpus that once found a fault keeps
// testing for it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

void RunFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    fs::path arg(argv[i]);
    if (fs::is_directory(arg)) {
      std::vector<fs::path> files;
      for (const fs::directory_entry& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());  // the same order on every machine
      for (const fs::path& file : files) {
        RunFile(file);
        ++runs;
      }
    } else {
      RunFile(arg);
      ++runs;
    }
  }
  std::printf("%zu inputs run\n", runs);
  // An empty corpus tests nothing: treat it as a mistake in the test's set-up.
  return runs > 0 ? 0 : 1;
}
