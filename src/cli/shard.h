// quorrel-report --shard K/N: one of N parts of a batch, so that N jobs (a
// cluster's job array) together write exactly the rows of one run.  Shard K
// takes the K-th of N consecutive blocks of rows, as equal as can be: of a
// batch of R rows (counted after the header, as the output's row numbers
// are), rows floor((K-1)R/N)+1 to floor(KR/N).  Each shard writes the
// header and its rows with their own line numbers and ids, so the parts
// joined in the order of K, each without its first line but the first,
// are byte for byte the output of the whole batch.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "cli/batch.h"

// "K/N" with whole numbers 1 <= K <= N; nothing otherwise.
std::optional<tShard> ParseShard(const std::string& text);

// The rows of a batch of `rows` rows that fall to `shard`.
tBatchRows ShardRows(const tShard& shard, std::size_t rows);

// --threads N: a whole number from 1 to kMaxThreadsOption; nothing otherwise.
inline constexpr unsigned kMaxThreadsOption = 64;
std::optional<unsigned> ParseThreads(const std::string& text);

// Sets --threads or --shard to `value`; false, with `problem` set, when the
// value is not one of theirs.
bool SetClusterOption(const std::string& name, const std::string& value, tCliOptions& options,
                      std::string& problem);

// The rows a batch run handles and how many there are to show progress:
// the shard's rows when --shard is given, every row otherwise.  The rows
// are counted in a first reading of the file, which needs a file that can
// be read twice; for --shard anything else is a usage error (false, with
// `problem` set), for the progress the count is merely left unknown.
bool PlanBatchRows(const tCliOptions& options, bool show_progress,
                   const std::atomic<bool>* interrupted, tBatchRows& rows, std::string& problem);
