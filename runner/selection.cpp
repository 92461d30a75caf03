#include "runner/selection.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "runner/console_state.hpp"
#include "runner/formatters.hpp"

namespace runner {
namespace {

bool matches(const TestOpts& opts, std::string_view name, std::string_view filter) {
  return opts.filter_exact ? name == filter : name.find(filter) != std::string_view::npos;
}

bool any_matches(const TestOpts& opts, std::string_view name, const std::vector<std::string>& filters) {
  return std::any_of(filters.begin(), filters.end(),
                     [&](const std::string& f) { return matches(opts, name, f); });
}

// The listing prints JUnit runs in the pretty layout: a JUnit document needs
// results, and a listing has none.
OutputFormat listing_format(OutputFormat format) {
  return format == OutputFormat::Junit ? OutputFormat::Pretty : format;
}

}  // namespace

std::vector<TestDescAndFn> filter_tests(const TestOpts& opts, std::vector<TestDescAndFn> tests) {
  if (!opts.filters.empty()) {
    std::erase_if(tests,
                  [&](const TestDescAndFn& t) { return !any_matches(opts, t.desc.name, opts.filters); });
  }
  if (!opts.skip.empty()) {
    std::erase_if(tests,
                  [&](const TestDescAndFn& t) { return any_matches(opts, t.desc.name, opts.skip); });
  }
  if (opts.exclude_should_panic) {
    std::erase_if(tests, [](const TestDescAndFn& t) { return t.desc.should_panic != ShouldPanic::No; });
  }
  switch (opts.run_ignored) {
    case RunIgnored::No: break;
    case RunIgnored::Yes:
      for (auto& t : tests) t.desc.ignore = false;
      break;
    case RunIgnored::Only:
      std::erase_if(tests, [](const TestDescAndFn& t) { return !t.desc.ignore; });
      for (auto& t : tests) t.desc.ignore = false;
      break;
  }
  return tests;
}

std::error_code list_tests_console(const TestOpts& opts, std::vector<TestDescAndFn> tests) {
  ConsoleTestState state;
  state.options = &opts;
  if (opts.logfile) {
    std::FILE* file = std::fopen(opts.logfile->c_str(), "w");
    if (file == nullptr) return {errno, std::system_category()};
    state.log_out.reset(file);
  }

  const std::size_t registered = tests.size();
  std::vector<TestDescAndFn> selected = filter_tests(opts, std::move(tests));
  state.total = selected.size();
  state.filtered_out = registered - selected.size();

  OutputLocation out = stdout_location(opts);
  FormatterConfig config;
  config.time_options = opts.time_options;
  config.display_output = opts.display_output;
  auto formatter = make_formatter(listing_format(opts.format), out, config);

  if (auto ec = formatter->write_discovery_start()) return ec;
  for (const TestDescAndFn& t : selected) {
    // Every registered entry is a check: the program holds no benchmarks.
    constexpr std::string_view KIND = "test";
    if (auto ec = formatter->write_test_discovered(t.desc, KIND)) return ec;
    std::string line(KIND);
    line += ' ';
    line += t.desc.name;
    line += '\n';
    if (auto ec = state.write_log(line)) return ec;
  }
  return formatter->write_discovery_finish(state);
}

}  // namespace runner
