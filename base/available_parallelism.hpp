// The number of processors available to the process: its CPU affinity set,
// limited by a control-group CPU quota (cgroup v2 cpu.max, or v1
// cpu.cfs_quota_us / cpu.cfs_period_us) when one is set.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane_base {

// Nothing when the count cannot be determined.
std::optional<std::size_t> available_parallelism();

// Processors a quota allows, rounded up, at least 1; nothing for no quota.
std::optional<std::size_t> cpus_for_quota(long long quota, long long period) noexcept;

// The limit a cgroup v2 cpu.max file gives ("max 100000" or "150000 100000").
std::optional<std::size_t> parse_cpu_max(std::string_view contents) noexcept;

// One mounted control-group hierarchy from /proc/self/mountinfo.
struct CgroupMount {
  std::string root;  // the mount's root within the hierarchy
  std::string mount_point;
  bool v2 = false;  // cgroup2; else a v1 hierarchy with the cpu controller
};
std::vector<CgroupMount> parse_cgroup_mounts(std::string_view mountinfo);

// The directories, innermost first, whose quota files limit a process in
// `cgroup_path` of the hierarchy mounted as `mount`; empty when the path lies
// outside the mount.
std::vector<std::string> cgroup_quota_dirs(const CgroupMount& mount, std::string_view cgroup_path);

}  // namespace quorvane_base
