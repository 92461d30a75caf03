#include "runner/report_sections.hpp"

#include <algorithm>
#include <cstdio>

#include "runner/escape.hpp"

namespace runner {

std::string format_seconds(double seconds, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*fs", decimals, seconds);
  return buf;
}

std::string section_text(std::string_view name, const ReportList& list) {
  std::string text = "\n";
  text += name;
  text += ":\n";
  std::string collected;
  for (const auto& [desc, output] : list) {
    if (output.empty()) continue;
    collected += "---- ";
    collected += desc.name;
    collected += " stdout ----\n";
    collected += utf8_lossy(output);
    collected.push_back('\n');
  }
  if (!collected.empty()) {
    text.push_back('\n');
    text += collected;
  }
  text += "\n";
  text += name;
  text += ":\n";
  std::vector<std::string_view> names;
  names.reserve(list.size());
  for (const auto& entry : list) names.push_back(entry.first.name);
  std::sort(names.begin(), names.end());
  for (std::string_view n : names) {
    text += "    ";
    text += n;
    text.push_back('\n');
  }
  return text;
}

std::error_code write_section(OutputLocation& out, std::string_view name, const ReportList& list) {
  return out.write_plain(section_text(name, list));
}

std::error_code write_summary(OutputLocation& out, const ConsoleTestState& state) {
  if (auto ec = out.write_plain("\ntest result: ")) return ec;
  const bool ok = state.failed == 0;
  if (auto ec = out.write_colored(ok ? "ok" : "FAILED", ok ? Color::Green : Color::Red)) return ec;
  char counts[256];
  std::snprintf(counts, sizeof counts,
                ". %zu passed; %zu failed; %zu ignored; %zu measured; %zu filtered out", state.passed,
                state.failed, state.ignored, state.measured, state.filtered_out);
  std::string rest = counts;
  rest += "; finished in ";
  rest += format_seconds(state.exec_time.count(), 2);
  rest += "\n\n";
  return out.write_plain(rest);
}

}  // namespace runner
