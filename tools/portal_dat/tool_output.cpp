// Error lines, opening the archive, and text forms shared by the commands.
#include "tools/portal_dat/tool_output.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "quorvane_base/available_parallelism.hpp"

namespace portal_dat {

void report_error(std::string_view message) {
  std::string line = "portal_dat: ";
  line.reserve(line.size() + message.size() + 1);
  for (const char c : message) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  while (line.back() == ' ') line.pop_back();
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::optional<quorvane_dat::DatDatabase> open_archive(const std::string& path) {
  return opened_archive(path, quorvane_dat::DatDatabase::new_(path));
}

std::optional<quorvane_dat::DatDatabase> opened_archive(
    const std::string& path, quorvane_dat::DatResult<quorvane_dat::DatDatabase> opened) {
  if (!opened) {
    report_error("cannot open " + path + ": " + opened.error().plain());
    return std::nullopt;
  }
  return std::move(opened).value();
}

std::string content_problem(bool chain_loops, bool short_output) {
  if (chain_loops) return "its block chain loops back to a block it has read";
  if (short_output) return "its body decodes to fewer bytes than it declares";
  return "";
}

unsigned available_processors() {
  // The processors the process may use: its affinity set, limited by a
  // control-group CPU quota, as read_batch counts them.
  return static_cast<unsigned>(
      std::min<std::size_t>(quorvane_base::available_parallelism().value_or(1), 1024));
}

unsigned reading_threads(unsigned requested, bool verbose) {
  const unsigned available = available_processors();
  if (requested <= available) return requested;
  if (verbose) {
    report_error("--threads " + std::to_string(requested) + " clamped to the " +
                 std::to_string(available) + " processors available");
  }
  return available;
}

bool finish_stdout() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  report_error(std::string("cannot write to standard output: ") + std::strerror(errno));
  return false;
}

std::string iso8601_utc(std::uint32_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace portal_dat
