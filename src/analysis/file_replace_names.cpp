// The names of file_replace.h, the same on every platform.
#include "analysis/file_replace.h"

#include <string>

namespace {

const char kSuffixLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsSuffixLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

#ifdef _WIN32
// Windows takes either slash between folders.
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) {
    folder = std::string(1, '.');
    name = path;
  } else {
    folder = path.substr(0, slash == 0 ? 1 : slash);
    name = path.substr(slash + 1);
  }
}

std::string TemporaryName(const std::string& name, long pid, const std::string& suffix) {
  return "." + name + "." + std::to_string(pid) + "." + suffix;
}

bool IsTemporaryOf(const std::string& name, const std::string& candidate, bool old_style,
                   long& pid) {
  const std::string prefix = "." + name + ".";
  if (candidate.size() <= prefix.size() || candidate.compare(0, prefix.size(), prefix) != 0)
    return false;
  std::size_t i = prefix.size();
  const std::size_t digits_start = i;
  while (i < candidate.size() && candidate[i] >= '0' && candidate[i] <= '9')
    ++i;
  const std::size_t digits = i - digits_start;
  if (digits == 0 || digits > 10 || candidate[digits_start] == '0') return false;
  pid = std::stol(candidate.substr(digits_start, digits));
  if (i == candidate.size()) return old_style;
  if (candidate[i] != '.' || candidate.size() - i - 1 != kTemporarySuffixLength) return false;
  for (++i; i < candidate.size(); ++i)
    if (!IsSuffixLetter(candidate[i])) return false;
  return true;
}

std::string SuffixOf(const unsigned char (&random)[kTemporarySuffixLength]) {
  std::string suffix;
  for (unsigned char byte : random)
    suffix.push_back(kSuffixLetters[byte % (sizeof kSuffixLetters - 1)]);
  return suffix;
}
