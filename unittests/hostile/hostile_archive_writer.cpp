// Writes every hostile archive of the end-to-end cases into a directory, one
// <slug>.dat each, and prints "<slug>\t<expected status>\t<name>" per case, so
// that a run can be measured outside the tests:
//
//   hostile_archive_writer /tmp/hostile
//   QUORVANE_PORTAL_DAT=/tmp/hostile/empty.dat /usr/bin/time -v bin/shield_stance_backhand_audit
#include <cstdio>
#include <exception>
#include <filesystem>

#include "unittests/hostile/hostile_cases.hpp"
#include "unittests/hostile/hostile_support.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hostile_archive_writer DIR\n");
    return 2;
  }
  try {
    const std::filesystem::path dir(argv[1]);
    std::filesystem::create_directories(dir);
    for (const auto& c : hostile::audit_cases()) {
      hostile::write_case_archive(c, dir / (c.slug + ".dat"));
      std::printf("%s\t%d\t%s\n", c.slug.c_str(), c.status, c.name.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hostile_archive_writer: %s\n", e.what());
    return 1;
  }
  return 0;
}
