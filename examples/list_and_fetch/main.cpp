// Lists the entries of an archive and fetches one file: list_and_fetch ARCHIVE ID
#include <quorvane_dat/quorvane_dat.hpp>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: list_and_fetch ARCHIVE HEX-ID\n"), 2;
  auto archive = quorvane_dat::DatDatabase::new_(argv[1]);
  if (!archive) return std::fprintf(stderr, "%s\n", archive.error().display().c_str()), 1;
  for (const auto& [id, entry] : archive->files()) {
    std::printf("%08X %10u %s\n", id, entry.size, entry.is_compressed() ? "compressed" : "stored");
  }
  const auto id = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 16));
  auto bytes = archive->get_file(id);
  if (!bytes) return std::fprintf(stderr, "%s\n", bytes.error().display().c_str()), 1;
  std::printf("file %08X: %zu bytes (quorvane_dat %s)\n", id, bytes->size(),
              QUORVANE_DAT_VERSION_STRING);
  return 0;
}
