// The processors a run may use: the affinity mask and the control groups'
// CPU quotas, as a job on a shared node or a process under taskset sees them.
#include "engines/usable_processors.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <map>

#include "engines/Bayes_Engines.h"

namespace {

struct tCgroupCase {
  const char* what;
  std::map<std::string, std::string> files;
  std::optional<double> limit;
};

TEST(UsableProcessors, CgroupQuotaOfTheGroupAndItsAncestors) {
  const std::string v2_mount = "30 25 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
  // A hybrid system: v1 "cpu,cpuacct" mounted from a container's own group.
  const std::string v1_mount =
      "31 25 0:27 /docker/c1 /sys/fs/cgroup/cpu,cpuacct rw shared:9 - cgroup cgroup "
      "rw,cpu,cpuacct\n"
      "32 25 0:28 / /sys/fs/cgroup/cpuset rw - cgroup cgroup rw,cpuset\n";
  const std::vector<tCgroupCase> cases = {
      {"v2, quota on the job's own group",
       {{"/proc/self/cgroup", "0::/slurm/job_7\n"},
        {"/proc/self/mountinfo", v2_mount},
        {"/sys/fs/cgroup/slurm/job_7/cpu.max", "150000 100000\n"},
        {"/sys/fs/cgroup/slurm/cpu.max", "max 100000\n"}},
       1.5},
      {"v2, a parent's quota is the smaller",
       {{"/proc/self/cgroup", "0::/a/b\n"},
        {"/proc/self/mountinfo", v2_mount},
        {"/sys/fs/cgroup/a/b/cpu.max", "400000 100000\n"},
        {"/sys/fs/cgroup/a/cpu.max", "50000 100000\n"}},
       0.5},
      {"v2, no quota anywhere",
       {{"/proc/self/cgroup", "0::/a\n"},
        {"/proc/self/mountinfo", v2_mount},
        {"/sys/fs/cgroup/a/cpu.max", "max 100000\n"}},
       std::nullopt},
      {"v1, the group seen below the mount's root; the cpuset line is not the cpu one",
       {{"/proc/self/cgroup", "5:cpuset:/docker/c1\n4:cpu,cpuacct:/docker/c1/job\n0::/\n"},
        {"/proc/self/mountinfo", v1_mount},
        {"/sys/fs/cgroup/cpu,cpuacct/job/cpu.cfs_quota_us", "200000\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/job/cpu.cfs_period_us", "100000\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1\n"},
        {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n"}},
       2.0},
      {"a mount point with a blank, escaped in mountinfo",
       {{"/proc/self/cgroup", "0::/\n"},
        {"/proc/self/mountinfo", "30 25 0:26 / /cg\\040two rw - cgroup2 cgroup2 rw\n"},
        {"/cg two/cpu.max", "300000 100000"}},
       3.0},
      {"no /proc (another system)", {}, std::nullopt},
  };
  for (const tCgroupCase& c : cases) {
    const tFileReader read = [&](const std::string& path) -> std::optional<std::string> {
      auto found = c.files.find(path);
      if (found == c.files.end()) return std::nullopt;
      return found->second;
    };
    EXPECT_EQ(CgroupCpuLimit(read), c.limit) << c.what;
  }
  // A fraction of a processor still runs one thread; 1.5 runs two.
  EXPECT_EQ(UsableProcessors(8, 0.5), 1u);
  EXPECT_EQ(UsableProcessors(8, 1.5), 2u);
  EXPECT_EQ(UsableProcessors(2, 16.0), 2u);
}

// A process pinned to one processor (taskset -c 0, a scheduler's binding)
// runs its analyses with one compute thread.
TEST(UsableProcessors, AnAffinityOfOneProcessorRunsOneThread) {
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  int first = 0;
  while (!CPU_ISSET(first, &saved))
    ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const unsigned threads = EngineThreads();
  ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(threads, 1u);
}

}  // namespace
