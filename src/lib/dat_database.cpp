// DatDatabase: opening an archive, the directory walk, the block-chain reader
// and file fetch.
#include "lib/dat_database.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unordered_set>
#include <utility>

#include "lib/dat_format.hpp"
#include "utils/byte_reader.hpp"
#include "utils/decompress_lrs.hpp"
#include "utils/read_ahead.hpp"

namespace quorvane_dat {

namespace {

// The highest block offset whose payload still starts within 32 bits.
constexpr std::uint64_t MAX_BLOCK_OFFSET = 0xFFFFFFFBU;
// Most blocks gathered by one read of a contiguous run.
constexpr std::uint32_t MAX_SCATTER_BLOCKS = 512;

std::uint32_t load_u32_le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

__attribute__((format(printf, 1, 2))) DatError corruption(const char* format, ...) {
  char text[256];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return DatError::Corruption{text};
}

unsigned long long ull(std::uint64_t v) { return static_cast<unsigned long long>(v); }

// Gathers one block chain into `out`. The result is exactly that of reading
// each block's pointer and then its payload piece in turn; where consecutive
// blocks lie next to each other (next == block + block_size) a run of them is
// read with one system call and only the blocks whose pointers confirm the
// run are kept. Any short or failed run read is replayed block by block, so
// errors come from the same read as in the one-block-at-a-time order.
// `Source` is the open file itself, or a ReadAheadReader over it.
template <class Source>
class ChainReader {
 public:
  ChainReader(Source& file, std::uint32_t block_size, std::span<std::uint8_t> out)
      : file_(file), block_size_(block_size), out_(out) {}

  DatResult<void> run(std::uint32_t first_block) {
    current_ = first_block;
    // The first read takes every block the chain still needs (up to the
    // scatter limit) as if the chain were contiguous, which a freshly written
    // chain is: one system call for a node or a small file. After the chain
    // turns away, reads start again at one block and double while it holds.
    std::uint32_t window = MAX_SCATTER_BLOCKS;
    while (pos_ < out_.size()) {
      if (current_ > MAX_BLOCK_OFFSET) {
        return Err{corruption("block offset 0x%08llX leaves no room for a payload below 4 GiB",
                              ull(current_))};
      }
      if (block_size_ <= BLOCK_POINTER_SIZE) {
        if (auto step = exact_step(); !step) return step;
        continue;
      }
      if (repeat_from_visited_block()) return {};
      const std::uint64_t step_start = current_;
      const std::size_t step_pos = pos_;
      auto next_window = scatter_step(window);
      if (!next_window) return Err{std::move(next_window).error()};
      window = *next_window;
      record_visited(step_start, step_pos);
    }
    return {};
  }

 private:
  std::size_t remaining() const noexcept { return out_.size() - pos_; }

  // One step as the format describes it: the pointer, then the payload piece.
  DatResult<void> exact_step() {
    std::array<std::uint8_t, BLOCK_POINTER_SIZE> pointer{};
    if (auto r = file_.read_exact_at_compat(pointer, current_); !r) return Err{std::move(r).error()};
    const std::uint32_t next = load_u32_le(pointer.data());
    if (next == 0) {
      // The chain ends early: everything still missing follows this pointer.
      if (auto r = file_.read_exact_at_compat(out_.subspan(pos_), current_ + BLOCK_POINTER_SIZE);
          !r) {
        return Err{std::move(r).error()};
      }
      pos_ = out_.size();
      return {};
    }
    if (block_size_ <= BLOCK_POINTER_SIZE) {
      return Err{corruption("block_size %u is too small to follow block 0x%08llX to 0x%08X",
                            static_cast<unsigned>(block_size_), ull(current_),
                            static_cast<unsigned>(next))};
    }
    const std::size_t piece = std::min<std::size_t>(remaining(), block_size_ - BLOCK_POINTER_SIZE);
    if (auto r = file_.read_exact_at_compat(out_.subspan(pos_, piece),
                                            current_ + BLOCK_POINTER_SIZE);
        !r) {
      return Err{std::move(r).error()};
    }
    pos_ += piece;
    current_ = next;
    return {};
  }

  // Reads up to `window` blocks from current_ as if they were contiguous and
  // keeps those the pointers confirm. Returns the window for the next step:
  // doubled after a fully confirmed run, 1 after the chain turned away.
  //
  // The run's raw bytes (pointer, payload, pointer, payload, ...) are read in
  // one piece into `out` at pos_, the 4 bytes per block that do not fit there
  // into a small tail buffer; then, block by block, the pointer is taken and
  // the payload moved down to its place. Each payload lands at or below its
  // raw position and above everything already placed, so no raw byte is
  // overwritten before it is used. One large copy in the kernel is far
  // cheaper than two small ones per block.
  DatResult<std::uint32_t> scatter_step(std::uint32_t window) {
    const std::size_t payload = block_size_ - BLOCK_POINTER_SIZE;
    const std::size_t base = pos_;
    std::size_t count = 0;
    std::size_t planned = base;
    for (std::uint64_t block = current_;
         count < window && planned < out_.size() && block <= MAX_BLOCK_OFFSET;
         block += block_size_, ++count) {
      planned += std::min(out_.size() - planned, payload);
    }
    const std::size_t in_out = planned - base;
    std::array<std::uint8_t, BLOCK_POINTER_SIZE * MAX_SCATTER_BLOCKS> tail;
    const std::array<::iovec, 2> parts{{{out_.data() + base, in_out},
                                        {tail.data(), BLOCK_POINTER_SIZE * count}}};
    // Copies `n` raw bytes at `raw` of the run to `dst`; the raw bytes are
    // out_[base, base + in_out) followed by the tail.
    auto copy_raw = [&](std::uint8_t* dst, std::size_t raw, std::size_t n) {
      if (raw < in_out) {
        const std::size_t head = std::min(n, in_out - raw);
        std::memmove(dst, out_.data() + base + raw, head);
        dst += head;
        raw += head;
        n -= head;
      }
      if (n != 0) std::memcpy(dst, tail.data() + (raw - in_out), n);
    };

    auto got = file_.read_vectored_at(parts, current_);
    if (!got) {
      if (auto step = exact_step(); !step) return Err{std::move(step).error()};
      return 1U;
    }
    std::uint64_t block = current_;
    for (std::size_t i = 0; i < count; ++i, block += block_size_) {
      const std::size_t raw = i * block_size_;
      const std::size_t piece = std::min(remaining(), payload);
      if (*got < raw + BLOCK_POINTER_SIZE + piece) {
        // The read stopped short inside this block: replay it exactly.
        current_ = block;
        if (auto step = exact_step(); !step) return Err{std::move(step).error()};
        return 1U;
      }
      std::uint8_t pointer[BLOCK_POINTER_SIZE];
      copy_raw(pointer, raw, BLOCK_POINTER_SIZE);
      copy_raw(out_.data() + pos_, raw + BLOCK_POINTER_SIZE, piece);
      const std::uint32_t next = load_u32_le(pointer);
      if (next == 0 && piece < remaining()) {
        // Early end of the chain: the rest lies right after this payload piece.
        if (auto r = file_.read_exact_at_compat(out_.subspan(pos_ + piece),
                                                block + BLOCK_POINTER_SIZE + piece);
            !r) {
          return Err{std::move(r).error()};
        }
        pos_ = out_.size();
        return 1U;
      }
      pos_ += piece;
      // The pointer of the block in which the data ends is read, never followed.
      if (pos_ == out_.size()) return 1U;
      if (next != block + block_size_) {
        current_ = next;
        return 1U;
      }
    }
    current_ = block;
    return std::min(window * 2, MAX_SCATTER_BLOCKS);
  }

  // A run of blocks already gathered: blocks start, start + block_size, ...
  // up to `end`, whose payloads were placed from `pos` on, one full payload each.
  struct VisitedRun {
    std::uint64_t end;
    std::size_t pos;
  };

  // Remembers the whole blocks that the last step gathered from `step_start`
  // (a step reads contiguous blocks only).
  void record_visited(std::uint64_t step_start, std::size_t step_pos) {
    if (pos_ >= out_.size()) return;
    const std::size_t payload = block_size_ - BLOCK_POINTER_SIZE;
    const std::uint64_t blocks = (pos_ - step_pos) / payload;
    if (blocks == 0) return;
    visited_.emplace(step_start, VisitedRun{step_start + blocks * block_size_, step_pos});
  }

  // A chain that comes back to a block it has already gathered repeats from
  // there on: every later block, pointer and payload is one already read. The
  // rest of the result is then the bytes gathered since that block's payload,
  // over and over, which is what following the loop block by block would
  // produce; copying them keeps a looping chain from costing one read per
  // block up to the claimed size.
  bool repeat_from_visited_block() {
    if (visited_.empty()) return false;
    auto it = visited_.upper_bound(current_);
    if (it == visited_.begin()) return false;
    --it;
    const std::uint64_t start = it->first;
    if (current_ >= it->second.end || (current_ - start) % block_size_ != 0) return false;
    const std::size_t payload = block_size_ - BLOCK_POINTER_SIZE;
    const std::size_t from = it->second.pos + (current_ - start) / block_size_ * payload;
    // [from, pos_) is one period; doubling copies keep the copies few.
    while (pos_ < out_.size()) {
      const std::size_t n = std::min(out_.size() - pos_, pos_ - from);
      std::memcpy(out_.data() + pos_, out_.data() + from, n);
      pos_ += n;
    }
    return true;
  }

  Source& file_;
  std::uint32_t block_size_;
  std::span<std::uint8_t> out_;
  std::size_t pos_ = 0;
  std::uint64_t current_ = 0;
  std::map<std::uint64_t, VisitedRun> visited_;
};

// Reads the header: all of it with one call, after which its fields cannot
// run short. A file that does not deliver the whole header at once (short,
// unreadable, not seekable) is read field by field through its descriptor,
// which names the positioning error or the field that failed.
DatResult<DatHeader> read_header(int fd) {
  std::array<std::uint8_t, HEADER_SIZE> bytes{};
  const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(HEADER_OFFSET));
  if (got == static_cast<ssize_t>(bytes.size())) {
    ByteReader reader{std::span<const std::uint8_t>(bytes)};
    auto header = DatHeader::read(reader);
    if (!header) return Err{std::move(header).error()};
    return std::move(*header);
  }
  if (::lseek(fd, static_cast<off_t>(HEADER_OFFSET), SEEK_SET) < 0) {
    return Err{IoError::from_os(errno)};
  }
  ByteReader reader = ByteReader::over_fd(fd);
  auto header = DatHeader::read(reader);
  if (!header) return Err{std::move(header).error()};
  return std::move(*header);
}

// One directory node on the walk's path: its child offsets and the next slot
// to visit.
struct PathNode {
  std::uint32_t offset = 0;
  std::array<std::uint32_t, NODE_BRANCH_COUNT> branches{};
  std::uint32_t slots_to_visit = 0;
  std::uint32_t next_slot = 0;
};

}  // namespace

DatDatabase::DatDatabase(DatHeader header, FileIndex files,
                         ReadOnlyFile file, std::uint64_t archive_length)
    : header_(std::move(header)),
      files_(std::move(files)),
      file_(std::move(file)),
      archive_length_(archive_length) {}

DatResult<DatDatabase> DatDatabase::new_(const std::filesystem::path& path) {
  // Non-blocking, so that a FIFO or a terminal cannot hold the opening up;
  // such a file then fails at positioning or reading like any other.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Err{DatError::PathError{path, IoError::from_os(errno)}};
  ReadOnlyFile file(fd);

  auto header = read_header(fd);
  if (!header) return Err{std::move(header).error()};

  struct stat status {};
  if (::fstat(fd, &status) < 0) return Err{IoError::from_os(errno)};
  std::uint64_t length = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  // A block device reports no size of its own; its end is where it can be read to.
  if (S_ISBLK(status.st_mode)) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end > 0) length = static_cast<std::uint64_t>(end);
  }

  DatDatabase database(std::move(*header), {}, std::move(file), length);
  if (auto loaded = database.read_directory(); !loaded) return Err{std::move(loaded).error()};
  return database;
}

DatResult<void> DatDatabase::read_directory() { return read_node(header_.root_offset); }

DatResult<void> DatDatabase::read_node(std::uint32_t offset) {
  if (offset == 0) return {};
  // A well-formed archive holds each node once, so no walk of it reads more
  // nodes than its length can hold; a crafted one naming nodes many times over
  // must not make opening take exponential time.
  const std::uint64_t read_budget = archive_length_ / NODE_SIZE + 1;
  std::uint64_t reads = 0;
  std::vector<PathNode> path;
  std::unordered_set<std::uint32_t> on_path;
  // Nodes are read through one read-ahead reader for the whole walk, into
  // one buffer that each node's bytes replace.
  ReadAheadReader source(file_);
  std::array<std::uint8_t, NODE_SIZE> bytes{};

  auto enter = [&](std::uint32_t node_offset) -> DatResult<void> {
    if (on_path.count(node_offset) != 0) {
      return Err{corruption("directory cycle: node 0x%08X is its own ancestor",
                            static_cast<unsigned>(node_offset))};
    }
    if (reads == read_budget) {
      return Err{corruption(
          "directory walk needs more than %llu node reads, more than an archive of %llu bytes "
          "can hold",
          ull(read_budget), ull(archive_length_))};
    }
    ++reads;
    ChainReader<ReadAheadReader> chain(source, header_.block_size, bytes);
    if (auto gathered = chain.run(node_offset); !gathered) return gathered;

    PathNode node;
    node.offset = node_offset;
    for (std::uint32_t slot = 0; slot < NODE_BRANCH_COUNT; ++slot) {
      node.branches[slot] = load_u32_le(bytes.data() + 4 * slot);
    }
    const std::uint32_t entry_count = load_u32_le(bytes.data() + NODE_ENTRY_COUNT_OFFSET);
    // The 61 slots lie inside the node, so reading them cannot fail: they are
    // decoded straight from the bytes. Only a count beyond 61 reaches past the
    // node, and the entry reader then reports the field that ran out.
    const std::uint32_t in_node = std::min(entry_count, NODE_ENTRY_SLOTS);
    const std::uint8_t* slot = bytes.data() + NODE_ENTRIES_OFFSET;
    for (std::uint32_t i = 0; i < in_node; ++i, slot += FILE_ENTRY_SIZE) {
      DatFileEntry entry;
      entry.bit_flags = load_u32_le(slot);
      entry.id = load_u32_le(slot + 4);
      entry.offset = load_u32_le(slot + 8);
      entry.size = load_u32_le(slot + 12);
      entry.timestamp = load_u32_le(slot + 16);
      entry.version = load_u32_le(slot + 20);
      files_.insert_or_assign(entry);
    }
    if (entry_count > in_node) {
      ByteReader entries(std::span<const std::uint8_t>(bytes).subspan(NODE_ENTRIES_OFFSET));
      entries.rewind_to(std::uint64_t{in_node} * FILE_ENTRY_SIZE);
      for (std::uint32_t i = in_node; i < entry_count; ++i) {
        auto entry = DatFileEntry::read(entries);
        if (!entry) return Err{std::move(entry).error()};
        files_.insert_or_assign(*entry);
      }
    }
    // A node whose slot 0 is empty is a leaf; otherwise it uses one slot more
    // than it holds entries.
    if (node.branches[0] != 0) {
      node.slots_to_visit = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(std::uint64_t{entry_count} + 1, NODE_BRANCH_COUNT));
    }
    path.push_back(node);
    on_path.insert(node_offset);
    return {};
  };

  if (auto root = enter(offset); !root) return root;
  while (!path.empty()) {
    PathNode& top = path.back();
    if (top.next_slot == top.slots_to_visit) {
      on_path.erase(top.offset);
      path.pop_back();
      continue;
    }
    const std::uint32_t child = top.branches[top.next_slot++];
    if (child == 0) continue;
    if (auto loaded = enter(child); !loaded) return loaded;
  }
  return {};
}

DatResult<std::vector<std::uint8_t>> DatDatabase::read_file_data(std::uint32_t offset,
                                                                 std::uint32_t size) const {
  std::vector<std::uint8_t> buffer(size);
  if (size == 0) return buffer;
  ChainReader<const ReadOnlyFile> chain(file_, header_.block_size, buffer);
  if (auto gathered = chain.run(offset); !gathered) return Err{std::move(gathered).error()};
  return buffer;
}

DatResult<std::vector<std::uint8_t>> DatDatabase::get_file(std::uint32_t id) const {
  const DatFileEntry* found = files_.find(id);
  if (found == nullptr) return Err{DatError::NotFound{id}};
  const DatFileEntry& entry = *found;
  // The size is a stored field: refuse it before allocating when the archive
  // could not hold that many bytes.
  if (entry.size > archive_length_) {
    return Err{corruption("file 0x%08X claims %u bytes, more than the archive's %llu bytes",
                          static_cast<unsigned>(id), static_cast<unsigned>(entry.size),
                          ull(archive_length_))};
  }
  auto stored = read_file_data(entry.offset, entry.size);
  if (!stored) return stored;
  if (entry.is_compressed()) return decompress_lrs(*stored);
  return stored;
}

}  // namespace quorvane_dat
