#include "benchmarks/bench_fixture.hpp"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "benchmarks/bench_io.hpp"
#include "benchmarks/synthetic_archive.hpp"

namespace bench {

PinnedFile::PinnedFile(const std::filesystem::path& path) {
  const Fd fd(path);
  struct stat status {};
  if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || status.st_size <= 0) return;
  length_ = static_cast<std::size_t>(status.st_size);
  void* mapped = ::mmap(nullptr, length_, PROT_READ, MAP_SHARED, fd.get(), 0);
  if (mapped == MAP_FAILED) return;
  address_ = mapped;
  // Locking reads every page in and keeps it resident.
  pinned_ = ::mlock(address_, length_) == 0;
}

PinnedFile::PinnedFile(PinnedFile&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)),
      length_(std::exchange(other.length_, 0)),
      pinned_(std::exchange(other.pinned_, false)) {}

PinnedFile& PinnedFile::operator=(PinnedFile&& other) noexcept {
  if (this != &other) {
    this->~PinnedFile();
    address_ = std::exchange(other.address_, nullptr);
    length_ = std::exchange(other.length_, 0);
    pinned_ = std::exchange(other.pinned_, false);
  }
  return *this;
}

PinnedFile::~PinnedFile() {
  if (address_ == nullptr) return;
  if (pinned_) ::munlock(address_, length_);
  ::munmap(address_, length_);
}

namespace {

ArchiveFixture make_fixture() {
  ArchiveFixture fixture;
  try {
    fixture.path = synthetic_archive();
    fixture.pinned = PinnedFile(fixture.path);
    if (!fixture.pinned.pinned()) {
      std::fprintf(stderr, "warning: could not lock %s in memory; figures may include disk reads\n",
                   fixture.path.c_str());
    }
    fixture.plan = plan_node_reads(fixture.path);
  } catch (const std::exception& e) {
    fixture.error = e.what();
    return fixture;
  }
  auto opened = quorvane_dat::DatDatabase::new_(fixture.path);
  if (!opened) {
    fixture.error = "cannot open " + fixture.path.string();
    return fixture;
  }
  fixture.archive_length = opened->archive_length();
  std::vector<quorvane_dat::DatFileEntry> entries;
  entries.reserve(opened->files().size());
  for (const auto& [id, entry] : opened->files()) {
    entries.push_back(entry);
    fixture.stored_bytes += entry.size;
    if (entry.is_compressed()) ++fixture.compressed_files;
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.offset < b.offset; });
  for (const auto& entry : entries) fixture.ids_by_offset.push_back(entry.id);
  fixture.database.emplace(std::move(*opened));
  for (const std::uint32_t id : fixture.ids_by_offset) {
    auto bytes = fixture.database->get_file(id);
    if (!bytes) {
      fixture.error = "cannot fetch every file of " + fixture.path.string();
      return fixture;
    }
    fixture.fetched_bytes += bytes->size();
  }

  // The baseline must do the same work as the library: the same entries.
  const auto minimal = minimal_open(fixture.path, fixture.plan);
  if (minimal != fixture.database->files()) {
    fixture.error = "the minimal loop's index differs from the library's";
  }
  std::fprintf(stderr,
               "archive %s: %llu bytes, %zu files (%zu compressed), %llu stored bytes, "
               "%llu fetched bytes, %zu nodes, %zu blocks in %zu runs\n",
               fixture.path.filename().c_str(), static_cast<unsigned long long>(fixture.archive_length),
               fixture.ids_by_offset.size(), fixture.compressed_files,
               static_cast<unsigned long long>(fixture.stored_bytes),
               static_cast<unsigned long long>(fixture.fetched_bytes), fixture.plan.nodes.size(),
               fixture.plan.block_count, fixture.plan.run_count);
  return fixture;
}

}  // namespace

const ArchiveFixture& archive_fixture() {
  static const ArchiveFixture fixture = make_fixture();
  return fixture;
}

}  // namespace bench
