// The runner's command-line options: one definition per option, in the order
// in which the help text lists them.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace runner {

enum class OptionId : unsigned char {
  IncludeIgnored,
  Ignored,
  ForceRunInProcess,
  ExcludeShouldPanic,
  Test,
  Bench,
  List,
  FailFast,
  Help,
  Logfile,
  NoCapture,
  NoCaptureDeprecated,  // --nocapture, accepted but not listed in the help
  TestThreads,
  Skip,
  Quiet,
  Exact,
  Color,
  Format,
  ShowOutput,
  Unstable,  // -Z
  ReportTime,
  EnsureTime,
  Shuffle,
  ShuffleSeed,
};

inline constexpr std::size_t OPTION_COUNT = static_cast<std::size_t>(OptionId::ShuffleSeed) + 1;

struct OptionDef {
  OptionId id;
  char short_name;             // '\0' when the option has none
  std::string_view long_name;  // empty when the option has none
  bool takes_arg;
  bool may_repeat;
  bool hidden;                                    // accepted but left out of the help text
  std::string_view hint;                          // the argument's hint word
  std::span<const std::string_view> description;  // stored lines of the help description

  // The name used in "given more than once": the long name, else the short one.
  std::string_view display_name() const noexcept {
    return long_name.empty() ? std::string_view(&short_name, 1) : long_name;
  }
};

// Every option, in help order; `options()[static_cast<size_t>(id)].id == id`.
std::span<const OptionDef> options() noexcept;

const OptionDef& option(OptionId id) noexcept;
std::optional<OptionId> find_long(std::string_view name) noexcept;
std::optional<OptionId> find_short(char name) noexcept;

}  // namespace runner
