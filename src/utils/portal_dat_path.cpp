#include "quorvane_dat/utils/portal_dat_path.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "quorvane_base/utf8.hpp"

#ifndef QUORVANE_DAT_FALLBACK_BASE_DIR
#error "QUORVANE_DAT_FALLBACK_BASE_DIR must name the fallback's base directory"
#endif

namespace quorvane_dat {

namespace {

// Fixed by the build (QUORVANE_DAT_FALLBACK_BASE_DIR): by default the
// absolute directory that declares this library.
constexpr std::string_view FALLBACK_BASE_DIR = QUORVANE_DAT_FALLBACK_BASE_DIR;

// Any entry counts, directories included; links are followed, so a dangling
// link counts as missing, as does any failure to obtain the status.
bool entry_exists(const std::filesystem::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

// Appends `part`, with a "/" only when the text so far does not end in one.
void join(std::string& base, std::string_view part) {
  if (!base.empty() && base.back() != '/') base.push_back('/');
  base.append(part);
}

}  // namespace

std::filesystem::path portal_dat_fallback_path() {
  // Kept as written: the ".." components are resolved by the file system.
  std::string text(FALLBACK_BASE_DIR);
  join(text, "../../");
  join(text, "dats/portal.dat");
  return std::filesystem::path(std::move(text));
}

std::optional<std::filesystem::path> get_portal_dat_path() {
  // getenv is only read here; the environment is not modified by the library.
  if (const char* value = std::getenv(PORTAL_DAT_ENV); value != nullptr) {
    const std::string_view text(value);
    if (quorvane_base::utf8::is_valid(text)) {
      std::filesystem::path candidate{std::string(text)};
      if (entry_exists(candidate)) return candidate;
    }
  }
  std::filesystem::path fallback = portal_dat_fallback_path();
  if (entry_exists(fallback)) return fallback;
  return std::nullopt;
}

}  // namespace quorvane_dat
