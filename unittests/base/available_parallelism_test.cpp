// Control-group CPU quotas: the file formats and the directories consulted.
#include <gtest/gtest.h>

#include "quorvane_base/available_parallelism.hpp"

namespace {

TEST(CpuQuota, RoundsUpAndIgnoresAbsentQuotas) {
  struct Case {
    long long quota;
    long long period;
    std::optional<std::size_t> expected;
  };
  const Case cases[] = {
      {100000, 100000, 1}, {150000, 100000, 2},        {200000, 100000, 2},       {50000, 100000, 1},
      {1, 100000, 1},      {-1, 100000, std::nullopt}, {100000, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quorvane_base::cpus_for_quota(c.quota, c.period), c.expected)
        << c.quota << "/" << c.period;
  }
}

TEST(CpuQuota, ReadsCgroupV2CpuMax) {
  EXPECT_EQ(quorvane_base::parse_cpu_max("max 100000\n"), std::nullopt);
  EXPECT_EQ(quorvane_base::parse_cpu_max("250000 100000\n"), 3u);
  EXPECT_EQ(quorvane_base::parse_cpu_max("50000 100000"), 1u);
  EXPECT_EQ(quorvane_base::parse_cpu_max("200000"), 2u);  // period defaults to 100000
  EXPECT_EQ(quorvane_base::parse_cpu_max("garbage"), std::nullopt);
  EXPECT_EQ(quorvane_base::parse_cpu_max(""), std::nullopt);
}

TEST(CpuQuota, FindsCgroupMountsInMountinfo) {
  const std::string mountinfo =
      "24 30 0:22 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw,nsdelegate\n"
      "35 24 0:30 / /sys/fs/cgroup/cpu,cpuacct rw shared:15 - cgroup cgroup rw,cpu,cpuacct\n"
      "36 24 0:31 / /sys/fs/cgroup/memory rw shared:16 - cgroup cgroup rw,memory\n"
      "40 24 0:33 /docker/abc /sys/fs/cgroup/cpuset rw - cgroup cgroup rw,cpuset\n"
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
  const auto mounts = quorvane_base::parse_cgroup_mounts(mountinfo);
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_TRUE(mounts[0].v2);
  EXPECT_EQ(mounts[0].mount_point, "/sys/fs/cgroup");
  EXPECT_FALSE(mounts[1].v2);
  EXPECT_EQ(mounts[1].mount_point, "/sys/fs/cgroup/cpu,cpuacct");
}

TEST(CpuQuota, ConsultsTheGroupAndItsAncestorsInsideTheMount) {
  using V = std::vector<std::string>;
  const quorvane_base::CgroupMount root_mount{"/", "/sys/fs/cgroup", true};
  EXPECT_EQ(quorvane_base::cgroup_quota_dirs(root_mount, "/"), V{"/sys/fs/cgroup"});
  EXPECT_EQ(quorvane_base::cgroup_quota_dirs(root_mount, "/user.slice/app.scope"),
            (V{"/sys/fs/cgroup/user.slice/app.scope", "/sys/fs/cgroup/user.slice", "/sys/fs/cgroup"}));
  const quorvane_base::CgroupMount nested{"/docker/abc", "/sys/fs/cgroup/cpu", false};
  EXPECT_EQ(quorvane_base::cgroup_quota_dirs(nested, "/docker/abc"), V{"/sys/fs/cgroup/cpu"});
  EXPECT_EQ(quorvane_base::cgroup_quota_dirs(nested, "/docker/abc/inner"),
            (V{"/sys/fs/cgroup/cpu/inner", "/sys/fs/cgroup/cpu"}));
  EXPECT_EQ(quorvane_base::cgroup_quota_dirs(nested, "/other"), V{});
  EXPECT_EQ(quorvane_base::cgroup_quota_dirs(nested, "/docker/abcdef"), V{});
}

TEST(CpuQuota, ThisProcessHasAtLeastOneProcessor) {
  const auto count = quorvane_base::available_parallelism();
  ASSERT_TRUE(count.has_value());
  EXPECT_GE(*count, 1u);
}

}  // namespace
