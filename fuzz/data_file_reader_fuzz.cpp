// Fuzz target: reading the control-sample data file at start-up, on any file
// content.  Whatever the file holds, the reader must fill the fields in order
// (at most six), fail only with the file errors the user is shown, never
// change the file, and restore texts that the next Compute saves and the next
// start restores unchanged.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "analysis/data_file.h"
#include "analysis/io_error.h"
#include "fuzz/fuzz_check.h"

namespace fs = std::filesystem;

namespace {

// One folder for the whole run, removed at exit.
struct tScratchFolder {
  tScratchFolder() {
    path = (fs::temp_directory_path() / "quorrel-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(path.data()) != nullptr);
  }
  ~tScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string path;
};

const std::string& Folder() {
  static const tScratchFolder folder;
  return folder.path;
}

void WriteFile(const std::string& bytes) {
  std::ofstream out(DataFilePath(Folder()), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  FUZZ_CHECK(out.good());
}

std::string ReadFile() {
  std::ifstream in(DataFilePath(Folder()), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Restores from the file as it stands; false when the reader refused it.
bool Restore(std::vector<std::string>& texts) {
  texts.clear();
  try {
    LoadPreviousData(Folder(), [&](int position, const std::string& text) {
      FUZZ_CHECK(position == static_cast<int>(texts.size()));
      FUZZ_CHECK(position < 6);
      texts.push_back(text);
    });
  } catch (const EInOutError& e) {
    // A text the reader cannot take is the only thing a regular file can
    // hold that ends the reading.
    FUZZ_CHECK(e.Message() == "Invalid numeric input");
    return false;
  }
  FUZZ_CHECK(texts.size() == 6);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WriteFile(bytes);
  std::vector<std::string> texts;
  bool complete = Restore(texts);
  FUZZ_CHECK(ReadFile() == bytes);
  for (const std::string& text : texts) {
    // "%1.6g" ("-d.dddddE-xxxx" at most), or the file's own text where that
    // would change the number: at most the reader's longest token.
    FUZZ_CHECK(!text.empty() && text.size() <= 64);
  }
  if (!complete) return 0;

  // Saved by the next Compute (with two more fields) and restored again.
  bool infinite = false;
  std::array<std::string, 8> saved = {"0", "0", "0", "0", "0", "0", "0", "0"};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    saved[i] = texts[i];
    infinite = infinite || texts[i].find("INF") != std::string::npos;
  }
  if (infinite) return 0;  // "INF" is no number the worksheet takes
  SaveCurrentData(Folder(), saved);
  std::vector<std::string> again;
  FUZZ_CHECK(Restore(again));
  FUZZ_CHECK(again == texts);
  return 0;
}
