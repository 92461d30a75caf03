#include "quorvane_base/available_parallelism.hpp"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>

namespace quorvane_base {
namespace {

// The whole of a small system file (read directly: no stream or locale set-up
// for a few hundred bytes read once at start-up).
std::optional<std::string> read_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char chunk[4096];
  while (true) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return text;
}

std::string_view trim(std::string_view text) noexcept {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<long long> parse_integer(std::string_view text) noexcept {
  text = trim(text);
  long long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t pos = text.find(sep, start);
    parts.push_back(text.substr(start, pos == std::string_view::npos ? pos : pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::optional<std::size_t> affinity_count() {
  for (int cpus = CPU_SETSIZE; cpus <= (1 << 16); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(cpus));
    if (set == nullptr) return std::nullopt;
    const std::size_t size = CPU_ALLOC_SIZE(static_cast<std::size_t>(cpus));
    CPU_ZERO_S(size, set);
    if (::sched_getaffinity(0, size, set) == 0) {
      const int count = CPU_COUNT_S(size, set);
      CPU_FREE(set);
      if (count > 0) return static_cast<std::size_t>(count);
      return std::nullopt;
    }
    const int error = errno;
    CPU_FREE(set);
    if (error != EINVAL) break;  // EINVAL: the set is too small for the kernel's mask
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  if (online > 0) return static_cast<std::size_t>(online);
  return std::nullopt;
}

std::optional<std::size_t> quota_limit_in(const CgroupMount& mount, const std::string& dir) {
  if (mount.v2) {
    auto contents = read_file(dir + "/cpu.max");
    return contents ? parse_cpu_max(*contents) : std::nullopt;
  }
  auto quota = read_file(dir + "/cpu.cfs_quota_us");
  auto period = read_file(dir + "/cpu.cfs_period_us");
  if (!quota || !period) return std::nullopt;
  auto q = parse_integer(*quota);
  auto p = parse_integer(*period);
  if (!q || !p) return std::nullopt;
  return cpus_for_quota(*q, *p);
}

// The tightest quota over the process's control groups and their ancestors.
std::optional<std::size_t> cgroup_limit() {
  auto cgroups = read_file("/proc/self/cgroup");
  auto mountinfo = read_file("/proc/self/mountinfo");
  if (!cgroups || !mountinfo) return std::nullopt;
  const std::vector<CgroupMount> mounts = parse_cgroup_mounts(*mountinfo);
  std::optional<std::size_t> limit;
  for (std::string_view line : split(*cgroups, '\n')) {
    // hierarchy-id:controllers:path
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view id = line.substr(0, first);
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view path = line.substr(second + 1);
    const bool v2 = id == "0" && controllers.empty();
    bool has_cpu = false;
    for (std::string_view c : split(controllers, ',')) has_cpu = has_cpu || c == "cpu";
    if (!v2 && !has_cpu) continue;
    for (const CgroupMount& mount : mounts) {
      if (mount.v2 != v2) continue;
      for (const std::string& dir : cgroup_quota_dirs(mount, path)) {
        if (auto cpus = quota_limit_in(mount, dir)) limit = std::min(limit.value_or(*cpus), *cpus);
      }
    }
  }
  return limit;
}

}  // namespace

std::optional<std::size_t> cpus_for_quota(long long quota, long long period) noexcept {
  if (quota <= 0 || period <= 0) return std::nullopt;
  const long long cpus = quota / period + (quota % period != 0 ? 1 : 0);
  return static_cast<std::size_t>(std::max(cpus, 1LL));
}

std::optional<std::size_t> parse_cpu_max(std::string_view contents) noexcept {
  contents = trim(contents);
  const std::size_t space = contents.find(' ');
  const std::string_view quota = contents.substr(0, space);
  if (quota == "max") return std::nullopt;
  auto q = parse_integer(quota);
  // A missing period means the default of 100000 microseconds.
  std::optional<long long> p = 100000;
  if (space != std::string_view::npos) p = parse_integer(contents.substr(space + 1));
  if (!q || !p) return std::nullopt;
  return cpus_for_quota(*q, *p);
}

std::vector<CgroupMount> parse_cgroup_mounts(std::string_view mountinfo) {
  std::vector<CgroupMount> mounts;
  for (std::string_view line : split(mountinfo, '\n')) {
    // id parent major:minor root mount-point options [optional...] - fstype source super-options
    std::vector<std::string_view> fields;
    for (std::string_view f : split(line, ' ')) {
      if (!f.empty()) fields.push_back(f);
    }
    auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 2) continue;
    const std::string_view fstype = *(dash + 1);
    CgroupMount mount{std::string(fields[3]), std::string(fields[4]), fstype == "cgroup2"};
    if (!mount.v2) {
      if (fstype != "cgroup" || fields.end() - dash < 4) continue;
      bool has_cpu = false;
      for (std::string_view opt : split(*(dash + 3), ',')) has_cpu = has_cpu || opt == "cpu";
      if (!has_cpu) continue;
    }
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

std::vector<std::string> cgroup_quota_dirs(const CgroupMount& mount, std::string_view cgroup_path) {
  std::string_view root = mount.root;
  if (root == "/") root = "";
  if (cgroup_path.substr(0, root.size()) != root) return {};
  std::string_view relative = cgroup_path.substr(root.size());
  if (!relative.empty() && relative.front() != '/') return {};
  std::vector<std::string> dirs;
  while (true) {
    while (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
    dirs.push_back(mount.mount_point + std::string(relative));
    if (relative.empty()) break;
    relative = relative.substr(0, relative.rfind('/'));
  }
  return dirs;
}

std::optional<std::size_t> available_parallelism() {
  std::optional<std::size_t> count = affinity_count();
  if (!count) return std::nullopt;
  // A quota never allows fewer than one thread, so one CPU needs no look at it.
  if (*count == 1) return count;
  if (auto limit = cgroup_limit()) count = std::min(*count, *limit);
  return count;
}

}  // namespace quorvane_base
