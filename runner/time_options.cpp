#include "runner/time_options.hpp"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace runner {
namespace {

// An unsigned decimal number of milliseconds: an optional "+" and digits,
// nothing else, small enough for the millisecond duration type.
std::optional<std::chrono::milliseconds> parse_millis(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return std::chrono::milliseconds(value);
}

// The threshold named by `var` ("warn,critical" in milliseconds), or
// `fallback` when the variable is not set.
std::variant<TimeThreshold, EnvFailure> threshold_from_env(const char* var, TimeThreshold fallback) {
  const char* raw = std::getenv(var);
  if (raw == nullptr) return fallback;
  const std::string_view value(raw);

  const std::size_t comma = value.find(',');
  if (comma == std::string_view::npos || value.find(',', comma + 1) != std::string_view::npos) {
    return EnvFailure{std::string("Duration variable ") + var +
                          " expected to have 2 numbers separated by comma, but got " +
                          std::string(value),
                      SourceLocation::current()};
  }
  const std::string_view parts[2] = {value.substr(0, comma), value.substr(comma + 1)};
  std::chrono::milliseconds millis[2]{};
  for (int i = 0; i < 2; ++i) {
    const auto parsed = parse_millis(parts[i]);
    if (!parsed) {
      return EnvFailure{std::string("Duration value in variable ") + var +
                            " is expected to be a number, but got " + std::string(parts[i]),
                        SourceLocation::current()};
    }
    millis[i] = *parsed;
  }
  if (millis[0] > millis[1]) {
    return EnvFailure{"Test execution warn time should be less or equal to the critical time",
                      SourceLocation::current()};
  }
  return TimeThreshold{millis[0], millis[1]};
}

}  // namespace

std::variant<TestTimeOptions, EnvFailure> TestTimeOptions::from_env(bool error_on_excess) {
  TestTimeOptions options;
  options.error_on_excess = error_on_excess;
  const std::pair<const char*, TimeThreshold*> variables[] = {
      {"QUORVANE_TEST_TIME_UNIT", &options.unit_threshold},
      {"QUORVANE_TEST_TIME_INTEGRATION", &options.integration_threshold},
      {"QUORVANE_TEST_TIME_DOCTEST", &options.doctest_threshold},
  };
  for (const auto& [name, threshold] : variables) {
    auto read = threshold_from_env(name, *threshold);
    if (auto* failure = std::get_if<EnvFailure>(&read)) return std::move(*failure);
    *threshold = std::get<TimeThreshold>(read);
  }
  return options;
}

}  // namespace runner
