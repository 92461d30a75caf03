// ArchiveBuilder: lays out blocks, chains, directory nodes and file bodies in
// an in-memory image of the archive file.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "dat_writer/dat_writer.hpp"
#include "dat_writer/record_bytes.hpp"

namespace dat_writer {

namespace {

using quorvane_dat::BLOCK_POINTER_SIZE;

constexpr std::uint8_t GARBAGE = 0xA5;

}  // namespace

Bytes encode_header(const DatHeader& h) {
  Bytes out;
  out.reserve(quorvane_dat::HEADER_SIZE);
  for (const std::uint32_t v : {h.magic, h.block_size, h.file_size, h.dataset, h.subset, h.free_head,
                                h.free_tail, h.free_count, h.root_offset, h.new_lru, h.old_lru,
                                h.use_lru, h.master_map_id, h.engine_version, h.game_version}) {
    append_u32_le(out, v);
  }
  out.insert(out.end(), h.version_string.begin(), h.version_string.end());
  append_u32_le(out, h.version_minor);
  return out;
}

Bytes encode_entry(const DatFileEntry& e) {
  Bytes out;
  out.reserve(quorvane_dat::FILE_ENTRY_SIZE);
  for (const std::uint32_t v : {e.bit_flags, e.id, e.offset, e.size, e.timestamp, e.version}) {
    append_u32_le(out, v);
  }
  return out;
}

Bytes Node::encode() const {
  if (entries.size() > quorvane_dat::NODE_ENTRY_SLOTS) {
    throw std::invalid_argument("a directory node holds at most 61 entries");
  }
  Bytes out;
  out.reserve(quorvane_dat::NODE_SIZE);
  for (const std::uint32_t branch : branches) append_u32_le(out, branch);
  append_u32_le(out, entry_count.value_or(static_cast<std::uint32_t>(entries.size())));
  for (const DatFileEntry& entry : entries) {
    const Bytes bytes = encode_entry(entry);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  out.resize(quorvane_dat::NODE_SIZE, 0);
  return out;
}

ArchiveBuilder::ArchiveBuilder(std::uint32_t block_size) : block_size_(block_size) {
  header_.block_size = block_size;
  data_.assign(DATA_START, 0);
}

std::uint32_t ArchiveBuilder::checked_offset(std::uint64_t offset) const {
  if (offset > 0xFFFFFFFFU) throw std::length_error("archive offsets end at 4 GiB");
  return static_cast<std::uint32_t>(offset);
}

std::uint32_t ArchiveBuilder::payload_size() const {
  return block_size_ > BLOCK_POINTER_SIZE ? block_size_ - BLOCK_POINTER_SIZE : 0;
}

std::uint32_t ArchiveBuilder::append_raw(std::span<const std::uint8_t> bytes) {
  const std::uint32_t offset = checked_offset(data_.size());
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  return offset;
}

void ArchiveBuilder::write_raw(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const std::uint64_t end = offset + bytes.size();
  if (end > data_.size()) data_.resize(end, 0);
  if (!bytes.empty()) std::memcpy(data_.data() + offset, bytes.data(), bytes.size());
}

void ArchiveBuilder::write_u32(std::uint64_t offset, std::uint32_t value) {
  Bytes raw;
  append_u32_le(raw, value);
  write_raw(offset, raw);
}

void ArchiveBuilder::pad_to(std::uint64_t length) {
  if (length > data_.size()) data_.resize(length, 0);
}

std::uint32_t ArchiveBuilder::add_block(std::uint32_t next, std::span<const std::uint8_t> payload) {
  const std::uint32_t offset = checked_offset(data_.size());
  const std::size_t body = std::max<std::size_t>(payload.size(), payload_size());
  checked_offset(std::uint64_t{offset} + BLOCK_POINTER_SIZE + body - 1);
  append_u32_le(data_, next);
  data_.insert(data_.end(), payload.begin(), payload.end());
  data_.resize(data_.size() + (body - payload.size()), 0);
  return offset;
}

std::uint32_t ArchiveBuilder::add_chain(std::span<const std::uint8_t> data, ChainShape shape) {
  std::vector<std::uint32_t> blocks;
  if (shape == ChainShape::SingleRun) {
    blocks.push_back(add_block(0, data));
  } else {
    const std::size_t piece = payload_size();
    if (piece == 0 && !data.empty()) {
      throw std::invalid_argument("a block size of 4 or less holds only single-run chains");
    }
    const std::size_t count = data.empty() ? 1 : (data.size() + piece - 1) / piece;
    auto payload_of = [&](std::size_t k) {
      const std::size_t from = std::min(data.size(), k * piece);
      return data.subspan(from, std::min(piece, data.size() - from));
    };
    const std::uint64_t base = data_.size();
    if (shape == ChainShape::Contiguous) {
      for (std::size_t k = 0; k < count; ++k) {
        const std::uint64_t next = k + 1 < count ? base + (k + 1) * std::uint64_t{block_size_} : 0;
        blocks.push_back(add_block(checked_offset(next), payload_of(k)));
      }
    } else {
      // Block k sits in slot 2 * (count - 1 - k); the odd slots hold garbage.
      blocks.resize(count);
      auto offset_of = [&](std::size_t k) {
        return checked_offset(base + 2 * (count - 1 - k) * std::uint64_t{block_size_});
      };
      const Bytes garbage(block_size_, GARBAGE);
      for (std::size_t slot = 0; slot < 2 * count - 1; ++slot) {
        if (slot % 2 == 1) {
          append_raw(garbage);
          continue;
        }
        const std::size_t k = count - 1 - slot / 2;
        blocks[k] = add_block(k + 1 < count ? offset_of(k + 1) : 0, payload_of(k));
      }
    }
  }
  chains_[blocks.front()] = blocks;
  return blocks.front();
}

const std::vector<std::uint32_t>& ArchiveBuilder::chain_blocks(std::uint32_t first_block) const {
  const auto found = chains_.find(first_block);
  if (found == chains_.end()) throw std::out_of_range("no chain was stored at that offset");
  return found->second;
}

void ArchiveBuilder::patch_chain(std::uint32_t first_block, std::size_t data_offset,
                                 std::span<const std::uint8_t> bytes) {
  const std::vector<std::uint32_t>& blocks = chain_blocks(first_block);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t at = data_offset + i;
    std::uint64_t position = 0;
    if (blocks.size() == 1) {
      position = std::uint64_t{blocks[0]} + BLOCK_POINTER_SIZE + at;
    } else {
      const std::size_t piece = payload_size();
      if (at / piece >= blocks.size()) throw std::out_of_range("patch beyond the chain's data");
      position = std::uint64_t{blocks[at / piece]} + BLOCK_POINTER_SIZE + at % piece;
    }
    write_raw(position, bytes.subspan(i, 1));
  }
}

std::uint32_t ArchiveBuilder::add_node(const Node& node, ChainShape shape) {
  return add_chain(node.encode(), shape);
}

void ArchiveBuilder::set_branch(std::uint32_t node, std::size_t slot, std::uint32_t value) {
  if (slot >= quorvane_dat::NODE_BRANCH_COUNT) throw std::out_of_range("a node has 62 branch slots");
  Bytes raw;
  append_u32_le(raw, value);
  patch_chain(node, 4 * slot, raw);
}

DatFileEntry ArchiveBuilder::add_file(std::uint32_t id, std::span<const std::uint8_t> content,
                                      bool compressed, ChainShape shape) {
  DatFileEntry entry;
  entry.id = id;
  if (compressed) {
    const Bytes stored = compress_lrs(content);
    entry.bit_flags = quorvane_dat::FILE_FLAG_COMPRESSED;
    entry.size = static_cast<std::uint32_t>(stored.size());
    entry.offset = add_chain(stored, shape);
  } else {
    entry.size = static_cast<std::uint32_t>(content.size());
    entry.offset = add_chain(content, shape);
  }
  return entry;
}

Bytes ArchiveBuilder::bytes() const {
  Bytes out = data_;
  std::copy(prefix_.begin(), prefix_.end(), out.begin());
  const Bytes header = encode_header(header_);
  std::copy(header.begin(), header.end(), out.begin() + PREFIX_SIZE);
  return out;
}

void ArchiveBuilder::write_file(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const Bytes header = encode_header(header_);
  out.write(reinterpret_cast<const char*>(prefix_.data()), static_cast<std::streamsize>(prefix_.size()));
  out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  out.write(reinterpret_cast<const char*>(data_.data() + DATA_START),
            static_cast<std::streamsize>(data_.size() - DATA_START));
  out.close();
  if (!out) throw std::runtime_error("cannot write archive " + path.string());
}

}  // namespace dat_writer
