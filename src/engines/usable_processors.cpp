#include "engines/usable_processors.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator))
    parts.push_back(part);
  return parts;
}

bool Contains(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// A path of /proc/self/mountinfo, whose blanks and backslashes are written
// as a backslash and three octal digits.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// A positive number, the whole of `text` but for blanks around it.
std::optional<double> PositiveNumber(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\n");
  if (begin == std::string::npos) return std::nullopt;
  const std::size_t end = text.find_last_not_of(" \t\n") + 1;
  const std::string word = text.substr(begin, end - begin);
  if (word.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const double value = std::strtod(word.c_str(), nullptr);
  if (!(value > 0)) return std::nullopt;
  return value;
}

// The quota of one group of a hierarchy, in processors; nothing when it has none.
std::optional<double> GroupLimit(const tFileReader& read, const std::string& folder, bool v2) {
  if (v2) {
    // "max 100000" (no limit) or "QUOTA PERIOD", in microseconds.
    const std::optional<std::string> text = read(folder + "/cpu.max");
    if (!text) return std::nullopt;
    const std::vector<std::string> words = Split(text->substr(0, text->find('\n')), ' ');
    if (words.size() != 2) return std::nullopt;
    const std::optional<double> quota = PositiveNumber(words[0]);
    const std::optional<double> period = PositiveNumber(words[1]);
    if (!quota || !period) return std::nullopt;
    return *quota / *period;
  }
  // A quota of -1 is no limit.
  const std::optional<std::string> quota_text = read(folder + "/cpu.cfs_quota_us");
  const std::optional<std::string> period_text = read(folder + "/cpu.cfs_period_us");
  if (!quota_text || !period_text) return std::nullopt;
  const std::optional<double> quota = PositiveNumber(*quota_text);
  const std::optional<double> period = PositiveNumber(*period_text);
  if (!quota || !period) return std::nullopt;
  return *quota / *period;
}

// Where a hierarchy is mounted: its mount point and the group at its root.
struct tMount {
  std::string point;
  std::string root;
};

// The smallest quota along `group` (a path of /proc/self/cgroup) and its
// ancestors, up to the hierarchy's mount.
std::optional<double> PathLimit(const tFileReader& read, const tMount& mount,
                                const std::string& group, bool v2) {
  // The group's path below the mount's root.  A group outside it (a
  // namespace that hides it) is read at the mount point, the nearest
  // group visible.
  std::string below = group;
  if (mount.root != "/") {
    if (group == mount.root || group.rfind(mount.root + "/", 0) == 0) {
      below = group.substr(mount.root.size());
    } else {
      below.clear();
    }
  }
  while (!below.empty() && below.back() == '/')
    below.pop_back();
  std::optional<double> limit;
  while (true) {
    if (std::optional<double> here = GroupLimit(read, mount.point + below, v2)) {
      limit = limit ? std::min(*limit, *here) : *here;
    }
    if (below.empty()) break;
    below.erase(below.rfind('/'));
  }
  return limit;
}

}  // namespace

#ifdef _WIN32
unsigned AffinityProcessors() {
  // The process's affinity mask, within its processor group of up to 64.
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 1;
  unsigned count = 0;
  for (; process != 0; process &= process - 1)
    ++count;
  return std::max(1u, count);
}
#elif defined(__EMSCRIPTEN__)
// WebAssembly has no affinity mask: the processors the browser reports to a
// build with threads, one without.
unsigned AffinityProcessors() {
#ifdef __EMSCRIPTEN_PTHREADS__
  return std::max(1u, std::thread::hardware_concurrency());
#else
  return 1;
#endif
}
#else
unsigned AffinityProcessors() {
  // Room for the largest machines: the set grows until the kernel's mask fits.
  for (int cpus = 1024; cpus <= 1 << 20; cpus *= 2) {
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    std::unique_ptr<cpu_set_t, void (*)(cpu_set_t*)> set(CPU_ALLOC(cpus),
                                                         [](cpu_set_t* s) { CPU_FREE(s); });
    if (!set) return 1;
    CPU_ZERO_S(size, set.get());
    if (sched_getaffinity(0, size, set.get()) == 0) {
      return static_cast<unsigned>(std::max(1, CPU_COUNT_S(size, set.get())));
    }
    if (errno != EINVAL) return 1;
  }
  return 1;
}
#endif

std::optional<double> CgroupCpuLimit(const tFileReader& read) {
  const std::optional<std::string> groups = read("/proc/self/cgroup");
  const std::optional<std::string> mounts = read("/proc/self/mountinfo");
  if (!groups || !mounts) return std::nullopt;

  // The mounts of the unified hierarchy and of the v1 hierarchy with "cpu".
  std::optional<tMount> unified, cpu;
  for (const std::string& line : Split(*mounts, '\n')) {
    const std::vector<std::string> fields = Split(line, ' ');
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 4) continue;
    const std::string& type = dash[1];
    const tMount mount{Unescape(fields[4]), Unescape(fields[3])};
    if (type == "cgroup2" && !unified) unified = mount;
    if (type == "cgroup" && !cpu && Contains(Split(dash[3], ','), "cpu")) cpu = mount;
  }

  std::optional<double> limit;
  auto take = [&](std::optional<double> found) {
    if (found) limit = limit ? std::min(*limit, *found) : *found;
  };
  // Lines "ID:CONTROLLERS:PATH"; the unified hierarchy's is "0::PATH".
  for (const std::string& line : Split(*groups, '\n')) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string id = line.substr(0, first);
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (id == "0" && controllers.empty()) {
      if (unified) take(PathLimit(read, *unified, path, true));
    } else if (Contains(Split(controllers, ','), "cpu")) {
      if (cpu) take(PathLimit(read, *cpu, path, false));
    }
  }
  return limit;
}

unsigned UsableProcessors(unsigned affinity, std::optional<double> cpu_limit) {
  unsigned count = std::max(affinity, 1u);
  if (cpu_limit && *cpu_limit < count) {
    count = std::max(1u, static_cast<unsigned>(std::ceil(*cpu_limit)));
  }
  return count;
}

unsigned UsableProcessors() {
  const tFileReader read = [](const std::string& path) -> std::optional<std::string> {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
  };
  return UsableProcessors(AffinityProcessors(), CgroupCpuLimit(read));
}
