#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "quorvane_dat/utils/portal_dat_path.hpp"

namespace quorvane_dat {
namespace {

namespace fs = std::filesystem;

// Saves the variable and the working directory, gives each test a scratch
// directory, and restores everything afterwards.
class PortalDatPath : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* value = std::getenv(PORTAL_DAT_ENV)) saved_ = std::string(value);
    saved_cwd_ = fs::current_path();
    char name[] = "/tmp/archive_basics_locator_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    if (saved_) {
      ::setenv(PORTAL_DAT_ENV, saved_->c_str(), 1);
    } else {
      ::unsetenv(PORTAL_DAT_ENV);
    }
    fs::current_path(saved_cwd_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path touch(const std::string& name) {
    const fs::path path = dir_ / name;
    std::ofstream(path) << "x";
    return path;
  }
  static void set(const std::string& value) { ::setenv(PORTAL_DAT_ENV, value.c_str(), 1); }

  // What the locator must answer when the variable gives nothing usable.
  static std::optional<fs::path> fallback_answer() {
    const fs::path fallback = portal_dat_fallback_path();
    struct stat status {};
    if (::stat(fallback.c_str(), &status) == 0) return fallback;
    return std::nullopt;
  }

  fs::path dir_;

 private:
  std::optional<std::string> saved_;
  fs::path saved_cwd_;
};

TEST_F(PortalDatPath, FallbackIsTheLibraryDirectoryJoinedAsWritten) {
  EXPECT_EQ(portal_dat_fallback_path().native(),
            std::string(ARCHIVE_BASICS_LIBRARY_DIR) + "/../../dats/portal.dat");
}

TEST_F(PortalDatPath, ExistingFileFromTheVariableWins) {
  const fs::path file = touch("portal.dat");
  set(file.native());
  EXPECT_EQ(get_portal_dat_path(), file);
}

TEST_F(PortalDatPath, ValueIsTakenVerbatim) {
  const fs::path file = touch(" spaced name ");
  set(file.native());
  EXPECT_EQ(get_portal_dat_path(), file);
  set(dir_.native() + "//./" + " spaced name ");
  EXPECT_EQ(get_portal_dat_path(), fs::path(dir_.native() + "//./" + " spaced name "));
}

TEST_F(PortalDatPath, UnusableVariableFallsBack) {
  const fs::path target = touch("target.dat");
  const fs::path dangling = dir_ / "dangling";
  fs::create_symlink(dir_ / "no-such-target", dangling);
  struct Case {
    const char* label;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"unset", std::nullopt},
      {"missing path", (dir_ / "missing.dat").native()},
      {"empty", std::string()},
      {"dangling link", dangling.native()},
      {"file below a regular file", (target / "child").native()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.value) {
      set(*c.value);
    } else {
      ::unsetenv(PORTAL_DAT_ENV);
    }
    EXPECT_EQ(get_portal_dat_path(), fallback_answer());
  }
}

TEST_F(PortalDatPath, InvalidUtf8IsTreatedAsUnsetEvenIfItNamesAFile) {
  const fs::path file = touch("bad\xff.dat");
  ASSERT_TRUE(fs::exists(file));
  set(file.native());
  EXPECT_EQ(get_portal_dat_path(), fallback_answer());
}

TEST_F(PortalDatPath, DirectoryIsAccepted) {
  set(dir_.native());
  EXPECT_EQ(get_portal_dat_path(), dir_);
}

TEST_F(PortalDatPath, SymlinkIsReturnedNotItsTarget) {
  const fs::path target = touch("real.dat");
  const fs::path link = dir_ / "link.dat";
  fs::create_symlink(target, link);
  set(link.native());
  EXPECT_EQ(get_portal_dat_path(), link);
}

TEST_F(PortalDatPath, RelativeValueIsTestedAgainstCwdAndStaysRelative) {
  touch("rel.dat");
  set("rel.dat");
  fs::current_path(dir_);
  EXPECT_EQ(get_portal_dat_path(), fs::path("rel.dat"));
  fs::current_path("/");
  EXPECT_EQ(get_portal_dat_path(), fallback_answer());
}

TEST_F(PortalDatPath, EachCallReadsTheEnvironmentAfresh) {
  const fs::path first = touch("a.dat");
  const fs::path second = touch("b.dat");
  set(first.native());
  EXPECT_EQ(get_portal_dat_path(), first);
  set(second.native());
  EXPECT_EQ(get_portal_dat_path(), second);
  fs::remove(second);
  EXPECT_EQ(get_portal_dat_path(), fallback_answer());
}

TEST_F(PortalDatPath, NeitherCandidateGivesAbsent) {
  if (fallback_answer().has_value()) {
    GTEST_SKIP() << "an archive is installed at " << portal_dat_fallback_path();
  }
  set((dir_ / "missing.dat").native());
  EXPECT_EQ(get_portal_dat_path(), std::nullopt);
}

}  // namespace
}  // namespace quorvane_dat
