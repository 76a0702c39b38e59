#include "cli/shard.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdint>

namespace {

// A whole number from 1 on, all of `text`.
std::optional<unsigned> Count(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<tShard> ParseShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::optional<unsigned> index = Count(std::string_view(text).substr(0, slash));
  const std::optional<unsigned> count = Count(std::string_view(text).substr(slash + 1));
  if (!index || !count || *index > *count) return std::nullopt;
  return tShard{*index, *count};
}

std::optional<unsigned> ParseThreads(const std::string& text) {
  const std::optional<unsigned> threads = Count(text);
  if (!threads || *threads > kMaxThreadsOption) return std::nullopt;
  return threads;
}

bool SetClusterOption(const std::string& name, const std::string& value, tCliOptions& options,
                      std::string& problem) {
  if (name == "--threads") {
    const std::optional<unsigned> threads = ParseThreads(value);
    if (!threads) {
      problem = "--threads must be a whole number from 1 to " + std::to_string(kMaxThreadsOption) +
                ", not \"" + value + "\"";
      return false;
    }
    options.threads = *threads;
    return true;
  }
  options.shard = ParseShard(value);
  if (!options.shard) {
    problem = "--shard must be K/N, two whole numbers with 1 <= K <= N, not \"" + value + "\"";
    return false;
  }
  return true;
}

tBatchRows ShardRows(const tShard& shard, std::size_t rows) {
  // floor(k * rows / N) without overflow: k * (rows / N) + k * (rows % N) / N,
  // where k and rows % N are below 2^32.
  auto boundary = [&](std::uint64_t k) {
    return k * (rows / shard.count) + k * (rows % shard.count) / shard.count;
  };
  tBatchRows range;
  range.first = boundary(shard.index - 1) + 1;
  range.last = boundary(shard.index);
  range.total = range.last + 1 - range.first;
  return range;
}

bool PlanBatchRows(const tCliOptions& options, bool show_progress,
                   const std::atomic<bool>* interrupted, tBatchRows& rows, std::string& problem) {
  rows = tBatchRows{};
  if (!options.shard && !show_progress) return true;
  const std::string& name = *options.batch_file;
  struct stat info {};
  const bool regular = name != "-" && ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  if (!regular) {
    if (!options.shard) return true;
    problem =
        "--shard needs a batch file that can be read twice (each shard counts the rows "
        "first), not " +
        (name == "-" ? std::string("standard input") : "\"" + name + "\"");
    return false;
  }
  tBatchFile file(name, interrupted);
  const std::size_t count = CountBatchRows(file, options.encoding);
  if (options.shard) {
    rows = ShardRows(*options.shard, count);
  } else {
    rows.total = count;
  }
  return true;
}
