#include "runner/terminfo.hpp"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include "runner/terminfo_parse.hpp"

namespace runner {
namespace {

namespace fs = std::filesystem;

// Descriptions are small (a few kilobytes); anything far larger is not one.
constexpr std::uintmax_t MAX_DESCRIPTION_SIZE = 1 << 20;

std::optional<std::string> env_text(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// HOME, or else the account's entry in /etc/passwd. The file is read directly
// rather than through the name-service switch, which a statically linked
// executable cannot load.
std::optional<fs::path> home_dir() {
  if (auto home = env_text("HOME"); home && !home->empty()) return fs::path(*home);
  std::ifstream in("/etc/passwd", std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return home_from_passwd(text, static_cast<unsigned long>(getuid()));
}

std::vector<fs::path> search_dirs() {
  std::vector<fs::path> dirs;
  if (auto dir = env_text("TERMINFO"); dir && !dir->empty()) dirs.emplace_back(*dir);
  if (auto list = env_text("TERMINFO_DIRS")) {
    std::size_t start = 0;
    while (true) {
      const std::size_t colon = list->find(':', start);
      const std::string entry =
          list->substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      dirs.emplace_back(entry.empty() ? std::string("/usr/share/terminfo") : entry);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  } else {
    if (auto home = home_dir()) dirs.push_back(*home / ".terminfo");
    for (const char* dir :
         {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo", "/boot/system/data/terminfo"}) {
      dirs.emplace_back(dir);
    }
  }
  return dirs;
}

bool is_file(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

std::optional<std::vector<std::uint8_t>> read_small_file(const fs::path& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > MAX_DESCRIPTION_SIZE) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (static_cast<std::size_t>(in.gcount()) != data.size()) return std::nullopt;
  return data;
}

}  // namespace

std::optional<fs::path> home_from_passwd(std::string_view passwd, unsigned long uid) {
  while (!passwd.empty()) {
    const std::size_t end = passwd.find('\n');
    std::string_view line = passwd.substr(0, end);
    passwd = end == std::string_view::npos ? std::string_view{} : passwd.substr(end + 1);
    std::string_view fields[7];
    std::size_t count = 0;
    while (count < 7) {
      const std::size_t colon = line.find(':');
      fields[count++] = line.substr(0, colon);
      if (colon == std::string_view::npos) break;
      line.remove_prefix(colon + 1);
    }
    if (count < 6) continue;
    unsigned long line_uid = 0;
    const std::string_view uid_text = fields[2];
    const auto [ptr, ec] = std::from_chars(uid_text.data(), uid_text.data() + uid_text.size(), line_uid);
    if (ec != std::errc{} || ptr != uid_text.data() + uid_text.size() || uid_text.empty()) continue;
    if (line_uid == uid && !fields[5].empty()) return fs::path(std::string(fields[5]));
  }
  return std::nullopt;
}

std::optional<fs::path> find_terminfo(std::string_view term) {
  // A terminal name is a single path component.
  if (term.empty() || term == "." || term == ".." ||
      term.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string first(1, term.front());
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(term.front()));
  for (const fs::path& dir : search_dirs()) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) continue;
    for (const fs::path& candidate : {dir / first / term, dir / hex / term}) {
      if (is_file(candidate)) return candidate;
    }
  }
  return std::nullopt;
}

std::optional<TerminalColors> terminal_colors_from_env() {
  const auto term = env_text("TERM");
  if (!term) return std::nullopt;
  const auto path = find_terminfo(*term);
  if (!path) return std::nullopt;
  const auto data = read_small_file(*path);
  if (!data) return std::nullopt;
  const auto info = parse_terminfo(*data);
  if (!info) return std::nullopt;
  return colors_from_terminfo(*info);
}

}  // namespace runner
