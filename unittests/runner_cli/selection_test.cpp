#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "runner/selection.hpp"

namespace {

using runner::RunIgnored;
using runner::ShouldPanic;
using runner::TestDescAndFn;
using runner::TestOpts;

void noop() {}

TestDescAndFn entry(std::string_view name, bool ignore = false,
                    ShouldPanic should_panic = ShouldPanic::No) {
  TestDescAndFn t;
  t.desc.name = name;
  t.desc.ignore = ignore;
  t.desc.should_panic = should_panic;
  t.desc.test_type = runner::TestType::IntegrationTest;
  t.fn = &noop;
  return t;
}

// A registry with every marking; names share pieces so filters overlap.
std::vector<TestDescAndFn> registry() {
  return {
      entry("alpha::lookup"),
      entry("alpha::lookup_extra"),
      entry("beta::sort", /*ignore=*/true),
      entry("beta::must_fail", false, ShouldPanic::Yes),
      entry("gamma", true, ShouldPanic::YesWithMessage),
      entry("Gamma::upper"),
  };
}

// Name, then "!" when still marked ignored.
std::vector<std::string> summary(const std::vector<TestDescAndFn>& tests) {
  std::vector<std::string> out;
  for (const auto& t : tests) out.push_back(std::string(t.desc.name) + (t.desc.ignore ? "!" : ""));
  return out;
}

struct FilterCase {
  std::string name;
  std::function<void(TestOpts&)> set;
  std::vector<std::string> expected;
};

class FilterTests : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterTests, SelectsInRegistryOrder) {
  TestOpts opts;
  GetParam().set(opts);
  EXPECT_EQ(summary(runner::filter_tests(opts, registry())), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Selection, FilterTests,
    ::testing::Values(
        FilterCase{"no_filters",
                   [](TestOpts&) {},
                   {"alpha::lookup", "alpha::lookup_extra", "beta::sort!", "beta::must_fail", "gamma!",
                    "Gamma::upper"}},
        FilterCase{"substring",
                   [](TestOpts& o) { o.filters = {"lookup"}; },
                   {"alpha::lookup", "alpha::lookup_extra"}},
        FilterCase{"case_sensitive", [](TestOpts& o) { o.filters = {"gamma"}; }, {"gamma!"}},
        FilterCase{"no_match", [](TestOpts& o) { o.filters = {"Lookup"}; }, {}},
        FilterCase{"any_filter_matches",
                   [](TestOpts& o) {
                     o.filters = {"sort", "upper"};
                   },
                   {"beta::sort!", "Gamma::upper"}},
        FilterCase{"empty_filter_matches_all_substrings",
                   [](TestOpts& o) { o.filters = {""}; },
                   {"alpha::lookup", "alpha::lookup_extra", "beta::sort!", "beta::must_fail", "gamma!",
                    "Gamma::upper"}},
        FilterCase{"exact",
                   [](TestOpts& o) {
                     o.filters = {"alpha::lookup", "lookup"};
                     o.filter_exact = true;
                   },
                   {"alpha::lookup"}},
        FilterCase{"skip",
                   [](TestOpts& o) {
                     o.skip = {"alpha", "sort"};
                   },
                   {"beta::must_fail", "gamma!", "Gamma::upper"}},
        FilterCase{"skip_exact",
                   [](TestOpts& o) {
                     o.skip = {"alpha::lookup", "beta"};
                     o.filter_exact = true;
                   },
                   {"alpha::lookup_extra", "beta::sort!", "beta::must_fail", "gamma!", "Gamma::upper"}},
        FilterCase{"filter_then_skip",
                   [](TestOpts& o) {
                     o.filters = {"a::"};
                     o.skip = {"extra"};
                   },
                   {"alpha::lookup", "beta::sort!", "beta::must_fail", "Gamma::upper"}},
        FilterCase{"exclude_should_panic",
                   [](TestOpts& o) { o.exclude_should_panic = true; },
                   {"alpha::lookup", "alpha::lookup_extra", "beta::sort!", "Gamma::upper"}},
        FilterCase{"include_ignored",
                   [](TestOpts& o) { o.run_ignored = RunIgnored::Yes; },
                   {"alpha::lookup", "alpha::lookup_extra", "beta::sort", "beta::must_fail", "gamma",
                    "Gamma::upper"}},
        FilterCase{"ignored_only",
                   [](TestOpts& o) { o.run_ignored = RunIgnored::Only; },
                   {"beta::sort", "gamma"}},
        FilterCase{"ignored_only_after_filters",
                   [](TestOpts& o) {
                     o.run_ignored = RunIgnored::Only;
                     o.filters = {"beta"};
                   },
                   {"beta::sort"}},
        FilterCase{"ignored_only_after_exclusion",
                   [](TestOpts& o) {
                     o.run_ignored = RunIgnored::Only;
                     o.exclude_should_panic = true;
                   },
                   {"beta::sort"}}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return info.param.name; });

TEST(FilterTests, KeepsDescriptorsAndFunctions) {
  TestOpts opts;
  opts.filters = {"must_fail"};
  auto selected = runner::filter_tests(opts, registry());
  ASSERT_EQ(selected.size(), 1u);
  EXPECT_EQ(selected[0].desc.should_panic, ShouldPanic::Yes);
  EXPECT_EQ(selected[0].desc.test_type, runner::TestType::IntegrationTest);
  EXPECT_EQ(selected[0].fn, &noop);
}

TEST(ListTestsConsole, LogfileThatCannotBeOpenedIsAnError) {
  TestOpts opts;
  opts.list = true;
  opts.logfile = "/nonexistent-directory-for-listing/run.log";
  std::error_code ec = runner::list_tests_console(opts, registry());
  EXPECT_EQ(ec, std::error_code(ENOENT, std::system_category())) << ec.message();
}

}  // namespace
