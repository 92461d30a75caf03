#include "tests/common/portal_dat_path.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "quorvane_base/utf8.hpp"
#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/error/io_error.hpp"
#include "quorvane_dat/utils/portal_dat_path.hpp"

namespace common {

std::optional<std::filesystem::path> get_portal_dat_path() {
  return quorvane_dat::get_portal_dat_path();
}

std::optional<std::string> unusable_portal_dat_variable() {
  const char* value = std::getenv(quorvane_dat::PORTAL_DAT_ENV);
  if (value == nullptr || *value == '\0') return std::nullopt;
  const std::filesystem::path path{std::string(value)};
  const std::string named = std::string(quorvane_dat::PORTAL_DAT_ENV) + " is set to " +
                            quorvane_dat::debug_quote_path(path) + ", which cannot be used: ";
  if (!quorvane_base::utf8::is_valid(std::string_view(value))) return named + "it is not valid UTF-8";
  struct stat status {};
  if (::stat(value, &status) != 0) return named + quorvane_dat::IoError::from_os(errno).display();
  return std::nullopt;
}

}  // namespace common
