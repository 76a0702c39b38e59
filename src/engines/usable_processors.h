// How many processors this process may use: the processors of its CPU
// affinity mask (what taskset, a batch scheduler's task binding or a
// cpuset leaves it), fewer when a control group's CPU quota (cgroup v2
// cpu.max, or v1 cpu.cfs_quota_us over cpu.cfs_period_us) allows less.
// A run that starts more compute threads than this only makes them wait
// for each other, and on a shared node takes time from other users' jobs.
#pragma once

#include <functional>
#include <optional>
#include <string>

// Reads a whole file; nothing when it cannot be read.
using tFileReader = std::function<std::optional<std::string>(const std::string& path)>;

// The processors of the calling thread's affinity mask (at least 1).
unsigned AffinityProcessors();

// The smallest CPU quota, in processors (quota / period), of the control
// groups the process belongs to and of their ancestors, found through
// /proc/self/cgroup and /proc/self/mountinfo read with `read`; nothing when
// no group limits it.
std::optional<double> CgroupCpuLimit(const tFileReader& read);

// The processors a process may use: `affinity`, or the quota rounded up
// when that is fewer; at least 1.
unsigned UsableProcessors(unsigned affinity, std::optional<double> cpu_limit);

// The same for this process, from the system.
unsigned UsableProcessors();
