// read_batch: the selected files of an archive (or all of them), visited in
// the order of their offsets, gathered a segment of about one window at a
// time with a few scatter reads and decoded on worker threads.
// For a tool that fetches or checks many files at once; get_file stays the
// way to fetch one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "quorvane_dat/export.hpp"
#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/lib/file_stream.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace quorvane_dat {

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
  /// Why the file could not be read or decoded, or nullptr.
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
/// Fails only when the batch itself cannot run (a thread cannot start).
QUORVANE_DAT_API DatResult<void> read_batch(const DatDatabase& database, std::span<const DatFileEntry> selection,
                           const BatchOptions& options, const BatchCallback& callback);

/// The same for every entry of the archive.
QUORVANE_DAT_API DatResult<void> read_batch(const DatDatabase& database, const BatchOptions& options,
                                            const BatchCallback& callback);

}  // namespace quorvane_dat
