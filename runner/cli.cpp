#include "runner/cli.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "quorvane_base/utf8.hpp"
#include "runner/check_failure.hpp"
#include "runner/help_text.hpp"
#include "runner/option_table.hpp"
#include "runner/output.hpp"

namespace runner {
namespace {

constexpr const char* BOOTSTRAP_VAR = "QUORVANE_BOOTSTRAP";
constexpr const char* NO_CAPTURE_VAR = "QUORVANE_TEST_NOCAPTURE";
constexpr const char* SHUFFLE_VAR = "QUORVANE_TEST_SHUFFLE";
constexpr const char* SHUFFLE_SEED_VAR = "QUORVANE_TEST_SHUFFLE_SEED";

// An environment variable's raw value, or none when unset.
std::optional<std::string> env_raw(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// An environment variable's value when it is set to valid UTF-8 text.
std::optional<std::string> env_text(const char* name) {
  auto value = env_raw(name);
  if (!value || !quorvane_base::utf8::is_valid(*value)) return std::nullopt;
  return value;
}

// What the scan found: each option's values in argument order (an empty text
// for a flag), and the free arguments.
struct Matches {
  std::array<std::vector<std::string>, OPTION_COUNT> values;
  std::vector<std::string> free;

  bool present(OptionId id) const { return !values[static_cast<std::size_t>(id)].empty(); }
  std::optional<std::string> value(OptionId id) const {
    const auto& v = values[static_cast<std::size_t>(id)];
    if (v.empty()) return std::nullopt;
    return v.front();
  }
  const std::vector<std::string>& all(OptionId id) const { return values[static_cast<std::size_t>(id)]; }
  void add(OptionId id, std::string value) {
    values[static_cast<std::size_t>(id)].push_back(std::move(value));
  }
};

std::string quoted(std::string_view name) {
  std::string s = "'";
  s += name;
  s += '\'';
  return s;
}

// Scans the arguments after the program name; the first error ends the scan.
std::optional<OptsError> scan(std::span<const std::string> args, Matches& m) {
  bool options_ended = false;
  std::size_t i = 0;
  while (i < args.size()) {
    const std::string& arg = args[i++];
    if (options_ended || arg.empty() || arg == "-" || arg[0] != '-') {
      m.free.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg.size() > 1 && arg[1] == '-') {
      std::string_view body = std::string_view(arg).substr(2);
      std::size_t eq = body.find('=');
      std::string_view name = body.substr(0, eq);
      std::optional<std::string> attached;
      if (eq != std::string_view::npos) attached = std::string(body.substr(eq + 1));
      auto id = find_long(name);
      if (!id) return OptsError{"Unrecognized option: " + quoted(name)};
      const OptionDef& def = option(*id);
      if (def.takes_arg) {
        if (attached) {
          m.add(*id, std::move(*attached));
        } else if (i < args.size()) {
          m.add(*id, args[i++]);
        } else {
          return OptsError{"Argument to option " + quoted(name) + " missing"};
        }
      } else {
        if (attached) return OptsError{"Option " + quoted(name) + " does not take an argument"};
        m.add(*id, {});
      }
      continue;
    }

    // A cluster of short options. Options are collected first; those that take
    // an argument without an attached one then take the following arguments.
    struct Short {
      OptionId id;
      std::optional<std::string> value;
    };
    std::vector<Short> cluster;
    std::string_view rest = std::string_view(arg).substr(1);
    while (!rest.empty()) {
      auto id = find_short(rest[0]);
      if (!id) {
        if (!cluster.empty() && option(cluster.back().id).takes_arg) {
          cluster.back().value = std::string(rest);
          break;
        }
        std::size_t len = std::min(
            quorvane_base::utf8::claimed_length(static_cast<unsigned char>(rest[0])), rest.size());
        return OptsError{"Unrecognized option: " + quoted(rest.substr(0, len))};
      }
      cluster.push_back({*id, std::nullopt});
      rest.remove_prefix(1);
    }
    for (Short& s : cluster) {
      const OptionDef& def = option(s.id);
      if (def.takes_arg && !s.value) {
        if (i >= args.size()) {
          return OptsError{"Argument to option " + quoted(std::string_view(&def.short_name, 1)) +
                           " missing"};
        }
        s.value = args[i++];
      }
      m.add(s.id, s.value.value_or(std::string{}));
    }
  }
  return std::nullopt;
}

std::optional<OptsError> check_repeats(const Matches& m) {
  for (const OptionDef& def : options()) {
    if (!def.may_repeat && m.all(def.id).size() > 1) {
      return OptsError{"Option " + quoted(def.display_name()) + " given more than once"};
    }
  }
  return std::nullopt;
}

std::string nightly_only(std::string_view name, std::string_view what) {
  std::string s = "The \"";
  s += name;
  s += "\" ";
  s += what;
  s += " is only accepted on the nightly compiler with -Z unstable-options";
  return s;
}

// Why building the options stopped: an error for the command line, or a bad
// environment variable value.
using Stop = std::variant<OptsError, EnvFailure>;

struct Builder {
  const Matches& m;
  TestOpts opts;
  bool unstable = false;

  std::optional<Stop> unstable_options() {
    auto z = m.value(OptionId::Unstable);
    if (!z) return std::nullopt;
    if (!env_text(BOOTSTRAP_VAR)) {
      return OptsError{"the option `Z` is only accepted on the nightly compiler"};
    }
    if (*z != "unstable-options") return OptsError{"Unrecognized option to `Z`"};
    unstable = true;
    return std::nullopt;
  }

  std::optional<Stop> unstable_flags() {
    constexpr std::array FLAGS{OptionId::ForceRunInProcess, OptionId::ExcludeShouldPanic,
                               OptionId::FailFast, OptionId::ReportTime, OptionId::EnsureTime};
    for (OptionId id : FLAGS) {
      if (m.present(id) && !unstable) return OptsError{nightly_only(option(id).long_name, "flag")};
    }
    opts.force_run_in_process = m.present(OptionId::ForceRunInProcess);
    opts.exclude_should_panic = m.present(OptionId::ExcludeShouldPanic);
    opts.fail_fast = m.present(OptionId::FailFast);
    return std::nullopt;
  }

  std::optional<Stop> time_options() {
    bool ensure = m.present(OptionId::EnsureTime);
    if (ensure || m.present(OptionId::ReportTime)) {
      auto read = TestTimeOptions::from_env(ensure);
      if (auto* failure = std::get_if<EnvFailure>(&read)) return std::move(*failure);
      opts.time_options = std::get<TestTimeOptions>(std::move(read));
    }
    return std::nullopt;
  }

  std::optional<Stop> shuffle() {
    if (m.present(OptionId::Shuffle)) {
      if (!unstable) return OptsError{nightly_only("shuffle", "flag")};
      opts.shuffle = true;
    } else if (unstable) {
      auto v = env_raw(SHUFFLE_VAR);
      opts.shuffle = v.has_value() && *v != "0";
    }

    if (auto seed = m.value(OptionId::ShuffleSeed)) {
      auto parsed = parse_u64(*seed);
      if (auto* err = std::get_if<std::string>(&parsed)) {
        return OptsError{"argument for --shuffle-seed must be a number (error: " + *err + ")"};
      }
      if (!unstable) return OptsError{nightly_only("shuffle-seed", "option")};
      opts.shuffle_seed = std::get<std::uint64_t>(parsed);
    } else if (unstable) {
      if (auto v = env_raw(SHUFFLE_SEED_VAR)) {
        auto parsed = parse_u64(*v);
        if (!std::holds_alternative<std::uint64_t>(parsed)) {
          return EnvFailure{std::string(SHUFFLE_SEED_VAR) + " is `" + *v + "`, should be a number.",
                            SourceLocation::current()};
        }
        opts.shuffle_seed = std::get<std::uint64_t>(parsed);
      }
    }
    return std::nullopt;
  }

  std::optional<Stop> run_ignored() {
    bool include = m.present(OptionId::IncludeIgnored);
    bool only = m.present(OptionId::Ignored);
    if (include && only) {
      return OptsError{"the options --include-ignored and --ignored are mutually exclusive"};
    }
    opts.run_ignored = include ? RunIgnored::Yes : only ? RunIgnored::Only : RunIgnored::No;
    return std::nullopt;
  }

  std::optional<Stop> test_threads() {
    auto v = m.value(OptionId::TestThreads);
    if (!v) return std::nullopt;
    auto parsed = parse_u64(*v);
    if (auto* err = std::get_if<std::string>(&parsed)) {
      return OptsError{"argument for --test-threads must be a number > 0 (error: " + *err + ")"};
    }
    std::uint64_t n = std::get<std::uint64_t>(parsed);
    if (n == 0) return OptsError{"argument for --test-threads must not be 0"};
    if (n > std::numeric_limits<std::size_t>::max()) {
      return OptsError{
          "argument for --test-threads must be a number > 0 (error: number too large to fit in "
          "target type)"};
    }
    opts.test_threads = static_cast<std::size_t>(n);
    return std::nullopt;
  }

  std::optional<Stop> color() {
    auto v = m.value(OptionId::Color);
    if (!v || *v == "auto") {
      opts.color = ColorConfig::Auto;
    } else if (*v == "always") {
      opts.color = ColorConfig::Always;
    } else if (*v == "never") {
      opts.color = ColorConfig::Never;
    } else {
      return OptsError{"argument for --color must be auto, always, or never (was " + *v + ")"};
    }
    return std::nullopt;
  }

  std::optional<Stop> format() {
    auto v = m.value(OptionId::Format);
    if (!v) {
      opts.format = m.present(OptionId::Quiet) ? OutputFormat::Terse : OutputFormat::Pretty;
    } else if (*v == "pretty") {
      opts.format = OutputFormat::Pretty;
    } else if (*v == "terse") {
      opts.format = OutputFormat::Terse;
    } else if (*v == "json" || *v == "junit") {
      if (!unstable) return OptsError{nightly_only(*v, "format")};
      opts.format = *v == "json" ? OutputFormat::Json : OutputFormat::Junit;
    } else {
      return OptsError{"argument for --format must be pretty, terse, json or junit (was " + *v + ")"};
    }
    return std::nullopt;
  }

  void derived() {
    opts.list = m.present(OptionId::List);
    opts.filters = m.free;
    opts.filter_exact = m.present(OptionId::Exact);
    opts.bench_benchmarks = m.present(OptionId::Bench);
    opts.run_tests = !opts.bench_benchmarks || m.present(OptionId::Test);
    opts.logfile = m.value(OptionId::Logfile);
    opts.skip = m.all(OptionId::Skip);
    opts.display_output = m.present(OptionId::ShowOutput);
    if (m.present(OptionId::NoCapture) || m.present(OptionId::NoCaptureDeprecated)) {
      opts.nocapture = true;
    } else {
      auto v = env_text(NO_CAPTURE_VAR);
      opts.nocapture = v.has_value() && *v != "0";
    }
  }

  // The settings in the order in which they are examined; the first error wins.
  std::optional<Stop> build() {
    if (auto err = unstable_options()) return err;
    if (auto err = unstable_flags()) return err;
    if (auto err = time_options()) return err;
    if (auto err = shuffle()) return err;
    if (auto err = run_ignored()) return err;
    if (auto err = test_threads()) return err;
    if (auto err = color()) return err;
    if (auto err = format()) return err;
    derived();
    return std::nullopt;
  }
};

}  // namespace

std::variant<std::uint64_t, std::string> parse_u64(std::string_view text) {
  if (text.empty()) return std::string("cannot parse integer from empty string");
  std::string_view digits = text;
  if (digits.front() == '+') digits.remove_prefix(1);
  std::uint64_t value = 0;
  const char* const end = digits.data() + digits.size();
  const auto [stop, ec] = std::from_chars(digits.data(), end, value);
  // The digits before the first other character decide an overflow, as they
  // would when reading digit by digit.
  if (ec == std::errc::result_out_of_range) return std::string("number too large to fit in target type");
  if (ec != std::errc() || stop != end) return std::string("invalid digit found in string");
  return value;
}

CommandLine parse_command_line(std::span<const std::string> args) {
  std::string_view program = args.empty() ? std::string_view("...") : std::string_view(args[0]);
  std::span<const std::string> rest = args.empty() ? args : args.subspan(1);

  Matches m;
  if (auto err = scan(rest, m)) return *err;
  if (auto err = check_repeats(m)) return *err;

  if (m.present(OptionId::Help)) return HelpShown{help_text(program)};

  Builder builder{m, {}, false};
  if (auto stop = builder.build()) {
    return std::visit([](auto&& reason) -> CommandLine { return std::move(reason); }, std::move(*stop));
  }
  return std::move(builder.opts);
}

std::optional<std::string> opts_warning(const TestOpts& opts) {
  if (opts.logfile) return std::string("warning: `--logfile` is deprecated");
  return std::nullopt;
}

OptsResult parse_opts(std::span<const std::string> args) {
  CommandLine parsed = parse_command_line(args);
  if (auto* failure = std::get_if<EnvFailure>(&parsed)) {
    fail(std::move(failure->message), failure->location);
  }
  if (auto* help = std::get_if<HelpShown>(&parsed)) {
    print(help->text);
    return std::move(*help);
  }
  if (auto* error = std::get_if<OptsError>(&parsed)) return std::move(*error);
  TestOpts& opts = std::get<TestOpts>(parsed);
  if (auto warning = opts_warning(opts)) print(*warning);
  return std::move(opts);
}

}  // namespace runner
