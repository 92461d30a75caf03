// portal_dat_sample: writes a synthetic portal.dat for the audit, in its
// passing form or in one of the variants that make a step of the audit fail.
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/portal_dat_sample/sample_archive.hpp"
#include "tools/portal_dat_sample/sample_variant.hpp"

namespace {

constexpr std::string_view USAGE =
    "usage: portal_dat_sample [--variant NAME] [--filler-files N] [--seed N] OUTPUT\n"
    "       portal_dat_sample --list-variants\n"
    "\n"
    "Writes a synthetic portal.dat to OUTPUT (parent directories are created).\n"
    "\n"
    "  --variant NAME     the archive to write (default: retail); see --list-variants\n"
    "  --filler-files N   number of filler files besides the combat maneuver table\n"
    "                     (default: 4000)\n"
    "  --seed N           seed of the filler content (default: fixed)\n"
    "  --list-variants    print the variants with a description each\n"
    "  -h, --help         print this text\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "portal_dat_sample: %s\n\n%.*s", message.c_str(), static_cast<int>(USAGE.size()),
               USAGE.data());
  return 2;
}

std::optional<std::uint64_t> parse_number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

void list_variants() {
  for (const portal_dat_sample::VariantInfo& info : portal_dat_sample::all_variants()) {
    std::printf("%-24.*s %.*s\n", static_cast<int>(info.name.size()), info.name.data(),
                static_cast<int>(info.description.size()), info.description.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  portal_dat_sample::SampleOptions options;
  std::optional<std::string> output;

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    if (arg == "-h" || arg == "--help") {
      std::fwrite(USAGE.data(), 1, USAGE.size(), stdout);
      return 0;
    }
    if (arg == "--list-variants") {
      list_variants();
      return 0;
    }
    if (arg == "--variant") {
      const std::optional<std::string_view> name = value();
      if (!name) return usage_error("--variant needs a name");
      const auto variant = portal_dat_sample::find_variant(*name);
      if (!variant) return usage_error("unknown variant '" + std::string(*name) + "'");
      options.variant = *variant;
    } else if (arg == "--filler-files" || arg == "--seed") {
      const std::optional<std::string_view> text = value();
      const std::optional<std::uint64_t> number = text ? parse_number(*text) : std::nullopt;
      if (!number) return usage_error(std::string(arg) + " needs a decimal number");
      if (arg == "--seed") {
        options.seed = *number;
      } else {
        options.filler_files = static_cast<std::size_t>(*number);
      }
    } else if (arg.starts_with("-") && arg != "-") {
      return usage_error("unknown option '" + std::string(arg) + "'");
    } else if (output) {
      return usage_error("more than one output path");
    } else {
      output = std::string(arg);
    }
  }
  if (!output) return usage_error("no output path given");
  if (options.filler_files > 200000) return usage_error("--filler-files is at most 200000");

  try {
    portal_dat_sample::write_sample_archive(*output, options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "portal_dat_sample: cannot write %s: %s\n", output->c_str(), error.what());
    return 1;
  }
  const std::string_view name = portal_dat_sample::variant_name(options.variant);
  std::printf("wrote %s (variant %.*s)\n", output->c_str(), static_cast<int>(name.size()), name.data());
  return 0;
}
