// read_batch: the selected files of an archive (or all of them), visited in
// the order of their offsets, gathered a segment of about one window at a
// time with a few scatter reads and decoded on worker threads.
// For a tool that fetches or checks many files at once; get_file stays the
// way to fetch one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/export.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/lib/file_stream.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace quorvane_dat {

/// Something computed from each file's bytes on the worker thread that read
/// them (a hash, a checksum), so that the calling thread receives the result
/// instead of the bytes (see BatchOptions::make_digest). Each worker has an
/// object of its own and calls it for one file at a time: begin, update for
/// each piece of the bytes in order, finish. Whatever a call throws makes
/// the file's error; the batch goes on.
class QUORVANE_DAT_API BatchDigest {
 public:
  /// The most bytes that finish may write.
  static constexpr std::size_t MAX_SIZE = 64;

  virtual ~BatchDigest() = default;
  /// Starts on the bytes of `entry`, also after a file that failed midway
  /// (whose digest is not finished).
  virtual void begin(const DatFileEntry& entry) = 0;
  /// The next piece of the file's bytes (decoded, or as stored when
  /// BatchOptions::decode is off): a file held whole comes in one piece, a
  /// larger one in several; an empty file in none.
  virtual void update(std::span<const std::uint8_t> piece) = 0;
  /// Ends the file: writes its digest to the start of `out` and returns how
  /// many bytes it wrote (more than MAX_SIZE is an error of the file).
  virtual std::size_t finish(std::span<std::uint8_t, MAX_SIZE> out) = 0;
};

/// One file handed to the callback of read_batch. Its spans stay valid only
/// during the call.
struct BatchFile {
  /// The file's directory entry.
  const DatFileEntry* entry = nullptr;
  /// The decoded bytes (the stored bytes when BatchOptions::decode is off);
  /// empty when `error` is set, when `stream` is set, and with
  /// BatchOptions::check_only.
  std::span<const std::uint8_t> bytes;
  /// For a file too large to be held whole (see BatchOptions::stream_above),
  /// the stream of its bytes, which the callback may read during the call;
  /// the file's outcome (error, findings, loops, blocks) is then the
  /// stream's, known once it is finished, and the fields below are empty.
  /// nullptr for every other file.
  FileStream* stream = nullptr;
  /// For a compressed entry of at least 4 bytes, the decoded size its body
  /// declares; otherwise the stored size.
  std::uint64_t declared_size = 0;
  /// What decoding found (a body that decodes short of `declared_size`, a
  /// back-reference before the start of the output); all false when the file
  /// was not decoded.
  DecodeFindings findings;
  /// Whether the file's chain comes back to a block it read before (its
  /// bytes then repeat, as get_file gives them).
  bool chain_loops = false;
  /// The blocks of the file's chain in chain order, when
  /// BatchOptions::collect_blocks is on and the chain could be read; a chain
  /// that loops ends with the first block it comes back to.
  std::span<const std::uint32_t> blocks;
  /// With BatchOptions::make_digest, what BatchDigest::finish wrote for the
  /// file; empty when `error` is set, and without a digest.
  std::span<const std::uint8_t> digest;
  /// With BatchOptions::make_digest, how many bytes the digest was given:
  /// the file's decoded length (its stored length with decode off).
  std::uint64_t digested_size = 0;
  /// Why the file could not be read, decoded or digested, or nullptr.
  const DatError* error = nullptr;
};

/// How read_batch reads and decodes.
struct BatchOptions {
  /// Threads that gather and decode files; 0: the processors available.
  unsigned threads = 0;
  /// Bytes of the archive that one segment covers (at least 1 MiB): a worker
  /// gathers a segment's files with a few scatter reads of at most 1024
  /// pieces each, and holds that much of their bytes at a time.
  std::size_t window_bytes = std::size_t{4} << 20;
  /// Decode compressed files (off: hand over the stored bytes).
  bool decode = true;
  /// Report each chain's blocks.
  bool collect_blocks = false;
  /// Hand over the bytes of files stored uncompressed. Off, they are still
  /// read and their chains checked, but their `bytes` are empty: for a check
  /// of the whole archive that needs no copy of it.
  bool deliver_stored = true;
  /// Read, check and decode every file but hand no bytes over: `bytes` is
  /// empty and `stream` nullptr, while `error`, `findings`, `chain_loops`,
  /// `declared_size` and `blocks` are complete. Large files are read in
  /// pieces on the worker threads; no file is held whole.
  bool check_only = false;
  /// Files whose stored size, or for a file to decode the size it could
  /// decode to, exceeds this come through BatchFile::stream instead of
  /// being held whole.
  std::size_t stream_above = std::size_t{8} << 20;
  /// When set, makes the digest that each worker computes over the bytes of
  /// every file it reads (BatchFile::digest and digested_size); called on
  /// the calling thread, once per worker, before any file is read. A file
  /// too large to be held whole is then read in pieces on its worker too and
  /// handed over with its digest, never as a stream. With check_only, only
  /// the digests are handed over, not the bytes.
  std::function<std::unique_ptr<BatchDigest>()> make_digest;
};

/// Called for every file, on the thread that called read_batch, in the order
/// of the files' offsets (ties in the order of the selection). Returning
/// false stops the batch after this file.
using BatchCallback = std::function<bool(const BatchFile&)>;

/// Reads the files of `selection` and hands each to `callback`; an empty
/// selection reads nothing. A file that cannot be read is handed over with
/// its error and does not stop the batch. Memory stays within a few windows
/// per thread plus the files being decoded, none of them larger than
/// BatchOptions::stream_above.
/// Fails only when the batch itself cannot run (a thread cannot start, or
/// BatchOptions::make_digest throws or makes no digest).
QUORVANE_DAT_API DatResult<void> read_batch(const DatDatabase& database,
                                            std::span<const DatFileEntry> selection,
                                            const BatchOptions& options, const BatchCallback& callback);

/// The same for every entry of the archive.
QUORVANE_DAT_API DatResult<void> read_batch(const DatDatabase& database, const BatchOptions& options,
                                            const BatchCallback& callback);

}  // namespace quorvane_dat
