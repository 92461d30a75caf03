// FileStream: one file of an archive read through its block chain and decoded
// in pieces of bounded size, for files too large to hold whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/export.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace quorvane_dat {

/// How a FileStream reads.
struct StreamOptions {
  /// Decode a compressed file (off: its stored bytes, as get_stored gives them).
  bool decode = true;
  /// Most bytes of one piece (at least 1). The stream's memory is about
  /// twice this plus a read window of 256 KiB, whatever the file claims.
  std::size_t piece_bytes = std::size_t{256} << 10;
  /// Record the blocks of the chain (see FileStream::blocks).
  bool collect_blocks = false;
};

/// A file's bytes in successive pieces: their concatenation is exactly what
/// get_file (get_stored when not decoding) returns, and a stream whose
/// get_file would fail ends in the same error. The stored bytes are read
/// once, in chain order; a claim of N bytes costs at most one read of N
/// bytes and never an allocation of them. Pieces delivered before an error
/// are what the chain gave up to there (get_file returns none of them).
/// A stream reads through its handle, which must outlive it; one stream is
/// used by one thread at a time.
class QUORVANE_DAT_API FileStream {
 public:
  /// A stream over file `id`: NotFound, or a size larger than the archive,
  /// fail here as get_file fails; nothing is read yet.
  static DatResult<FileStream> open(const DatDatabase& database, std::uint32_t id,
                                    const StreamOptions& options = {});
  /// The same over an entry of the handle's index (or a copy of one).
  static DatResult<FileStream> open(const DatDatabase& database, const DatFileEntry& entry,
                                    const StreamOptions& options = {});

  FileStream(FileStream&&) noexcept;
  FileStream& operator=(FileStream&&) noexcept;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  ~FileStream();

  /// The next piece, valid until the next call; an empty piece at the end.
  /// After an error every further call returns that error again.
  DatResult<std::span<const std::uint8_t>> next();
  /// Reads the rest without handing it over (its outcome still counts); the
  /// stored bytes of a chain found looping are not read further, since they
  /// can neither fail nor change the outcome.
  DatResult<void> drain();

  /// Whether the end (or an error) has been reached.
  bool finished() const noexcept;
  /// The file's directory entry.
  const DatFileEntry& entry() const noexcept;
  /// For a compressed entry of at least 4 bytes being decoded, the size its
  /// body declares (known once the first piece has been read); otherwise the
  /// stored size.
  std::uint64_t declared_size() const noexcept;
  /// What decoding found; complete once finished.
  const DecodeFindings& findings() const noexcept;
  /// Whether the chain has come back to a block it read before. Found within
  /// a few rounds of the loop, in constant memory, so possibly before the end.
  bool chain_loops() const noexcept;
  /// With StreamOptions::collect_blocks, the blocks whose pointers have been
  /// read, in chain order; when the chain loops it ends with the first block
  /// read a second time.
  std::span<const std::uint32_t> blocks() const noexcept;

 private:
  struct Impl;
  explicit FileStream(std::unique_ptr<Impl> impl) noexcept;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvane_dat
