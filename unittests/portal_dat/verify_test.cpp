// portal_dat verify end to end: one planted fault per kind of finding, each
// found with its code, subject and offset and nothing else; and sound
// archives of every layout on which it finds nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"
#include "unittests/support/process.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

using dat_writer::ArchiveBuilder;
using dat_writer::Bytes;
using dat_writer::ChainShape;
using dat_writer::DatFileEntry;
using dat_writer::Node;
using test_support::ProcessResult;

constexpr std::uint32_t A = 0x0A000001;
constexpr std::uint32_t B = 0x0A000002;

ProcessResult verify(const std::filesystem::path& archive, std::vector<std::string> options = {}) {
  std::vector<std::string> args{PORTAL_DAT_EXE, "verify", archive.string()};
  args.insert(args.end(), options.begin(), options.end());
  return test_support::run_process(args);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Bytes content(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

// The archive with a root node listing `entries` (made its root) and
// file_size set to its length; returns the root node's offset.
std::uint32_t finish(ArchiveBuilder& builder, const std::vector<DatFileEntry>& entries) {
  Node root;
  root.entries = entries;
  const std::uint32_t node = builder.add_node(root);
  builder.set_root(node);
  builder.header().file_size = static_cast<std::uint32_t>(builder.size());
  return node;
}

// The start of a finding's JSON object; "subject" is its "id" or "node" member.
std::string finding(const char* severity, const char* code, const std::string& subject,
                    std::uint64_t offset) {
  return std::string("{\"severity\":\"") + severity + "\",\"code\":\"" + code + "\"," +
         (subject.empty() ? "" : subject + ",") + "\"offset\":" + std::to_string(offset);
}
std::string id(std::uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "\"id\":\"%08X\"", value);
  return text;
}
std::string node(std::uint32_t offset) { return "\"node\":" + std::to_string(offset); }

struct Planted {
  Bytes archive;
  std::string first;  // the start of the first finding's line
  std::size_t findings = 1;
};

// A looping file chain: b0 -> b1 -> b2 -> b1, its blocks laid out as `shape`.
Planted file_loop(ChainShape shape) {
  ArchiveBuilder builder(256);
  const DatFileEntry a = builder.add_file(A, content(1200), false, shape);
  const auto blocks = builder.chain_blocks(a.offset);
  builder.set_next(blocks[2], blocks[1]);
  finish(builder, {a});
  return {builder.bytes(), finding("problem", "chain-loop", id(A), blocks[1])};
}

// File A of 1000 bytes stored as `shape`, and file B made from A's entry by
// `place` (given A's blocks), which also says where B's bytes first cross A's.
Planted shared_with_a(ChainShape shape, const std::function<std::pair<DatFileEntry, std::uint32_t>(
                                            const std::vector<std::uint32_t>&, DatFileEntry)>& place) {
  ArchiveBuilder builder(256);
  const DatFileEntry a = builder.add_file(A, content(1000), false, shape);
  DatFileEntry b = a;
  b.id = B;
  const auto [placed, crossing] = place(builder.chain_blocks(a.offset), b);
  finish(builder, {a, placed});
  return {builder.bytes(),
          finding("problem", "range-shared", id(B), crossing) + ",\"with_id\":\"0A000001\""};
}

const struct {
  const char* fault;
  std::function<Planted()> make;
} kPlanted[] = {
    {"file chain loops over contiguous blocks", [] { return file_loop(ChainShape::Contiguous); }},
    {"file chain loops over scattered blocks", [] { return file_loop(ChainShape::Scattered); }},
    {"directory node's own chain loops",
     [] {
       ArchiveBuilder builder(1024);
       const std::uint32_t root = finish(builder, {builder.add_file(A, content(100), false)});
       builder.set_next(root, root);
       return Planted{builder.bytes(), finding("problem", "chain-loop", node(root), root)};
     }},
    {"two entries on one chain",
     [] {
       return shared_with_a(ChainShape::Contiguous, [](const auto& blocks, DatFileEntry b) {
         b.offset = blocks.at(1);
         b.size = 500;
         return std::pair{b, b.offset};
       });
     }},
    {"two entries on one scattered chain (reported once)",
     [] {
       return shared_with_a(ChainShape::Scattered, [](const auto& blocks, DatFileEntry b) {
         return std::pair{b, blocks.back()};  // the lowest of the blocks
       });
     }},
    {"entry starting inside another file's block",
     [] {
       return shared_with_a(ChainShape::Contiguous, [](const auto& blocks, DatFileEntry b) {
         b.offset = blocks.at(1) + 100;
         b.size = 50;
         return std::pair{b, b.offset};
       });
     }},
    {"entry inside the one-piece end of another file's chain",
     [] {
       return shared_with_a(ChainShape::SingleRun, [](const auto& blocks, DatFileEntry b) {
         b.offset = blocks.at(0) + 400;
         b.size = 20;
         return std::pair{b, b.offset};
       });
     }},
    {"file chain running through a directory node",
     [] {
       ArchiveBuilder builder(256);
       const DatFileEntry a = builder.add_file(A, content(600), false);
       const std::uint32_t root = finish(builder, {a});
       // Into the node's payload at branch slot 1, which holds 0: the rest
       // of the file is read in one piece from the node's bytes.
       builder.set_next(a.offset, root + 8);
       return Planted{builder.bytes(), finding("problem", "range-shared", id(A), root + 8) +
                                           ",\"with_node\":" + std::to_string(root)};
     }},
    {"entry pointing into the header",
     [] {
       ArchiveBuilder builder(256);
       finish(builder, {{0, A, 0x150, 40, 0, 0}});
       return Planted{builder.bytes(), finding("problem", "reserved-range", id(A), 0x150)};
     }},
    {"directory nodes packed 12 bytes apart",
     [] {
       ArchiveBuilder builder(2048);
       const auto first = static_cast<std::uint32_t>(builder.size());
       builder.pad_to(first + 4 * quorvane_dat::NODE_SIZE);  // room for the walk to read 3 nodes
       builder.write_u32(first + 4, first + 12);             // node 0: slot 0 names node 1
       builder.write_u32(first + 12 + 4, first + 24);        // node 1: slot 0 names node 2
       builder.set_root(first);
       builder.header().file_size = static_cast<std::uint32_t>(builder.size());
       return Planted{builder.bytes(),
                      finding("problem", "range-shared", node(first + 12), first + 12) +
                          ",\"with_node\":" + std::to_string(first),
                      2};
     }},
    {"file_size larger than the file",
     [] {
       ArchiveBuilder builder(256);
       finish(builder, {builder.add_file(A, content(10), false)});
       const std::uint64_t length = builder.size();
       builder.header().file_size = static_cast<std::uint32_t>(length + 1);
       return Planted{builder.bytes(), finding("problem", "truncated", "", length)};
     }},
    {"header cut short",
     [] {
       return Planted{Bytes(0x150, 0), finding("problem", "truncated", "", 0x150)};
     }},
    {"file_size smaller than the file",
     [] {
       ArchiveBuilder builder(256);
       finish(builder, {builder.add_file(A, content(10), false)});
       builder.header().file_size -= 16;
       return Planted{builder.bytes(),
                      finding("warning", "trailing-bytes", "", builder.header().file_size)};
     }},
    {"root_offset inside the bytes before the header",
     [] {
       // The node read from there lies in zeros: a leaf without entries.
       ArchiveBuilder builder(1024);
       builder.append_raw(Bytes(2048, 0));
       finish(builder, {});
       builder.set_root(0x100);
       return Planted{builder.bytes(), finding("problem", "root-offset", "", 0x100), 2};
     }},
    {"root_offset beyond the end",
     [] {
       ArchiveBuilder builder(1024);
       finish(builder, {builder.add_file(A, content(10), false)});
       const auto beyond = static_cast<std::uint32_t>(builder.size() + 4096);
       builder.set_root(beyond);
       return Planted{builder.bytes(), finding("problem", "root-offset", "", beyond), 2};
     }},
    {"block_size 4 with chains",
     [] {
       ArchiveBuilder builder(64);
       Node root;
       root.entries.push_back(builder.add_file(A, content(100), false, ChainShape::SingleRun));
       builder.set_root(builder.add_node(root, ChainShape::SingleRun));
       builder.header().file_size = static_cast<std::uint32_t>(builder.size());
       builder.header().block_size = 4;
       return Planted{builder.bytes(), finding("problem", "block-size", "", 0x144)};
     }},
    {"compressed body decoding short of its declared size",
     [] {
       ArchiveBuilder builder(256);
       const Bytes body{100, 0, 0, 0, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
       const DatFileEntry a{1, A, builder.add_chain(body), static_cast<std::uint32_t>(body.size()),
                            0, 0};
       finish(builder, {a});
       return Planted{builder.bytes(), finding("problem", "short-decode", id(A), a.offset)};
     }},
    {"back-reference before the start of the output",
     [] {
       // A literal, then a reference 5 bytes back for 3 bytes: 4 bytes, as declared.
       ArchiveBuilder builder(256);
       const Bytes body{4, 0, 0, 0, 0x40, 'A', 0x05, 0x01};
       const DatFileEntry a{1, A, builder.add_chain(body), static_cast<std::uint32_t>(body.size()),
                            0, 0};
       finish(builder, {a});
       return Planted{builder.bytes(), finding("problem", "bad-back-reference", id(A), a.offset)};
     }},
    {"id listed in two nodes",
     [] {
       ArchiveBuilder builder(2048);
       const DatFileEntry a = builder.add_file(A, content(10), false);
       Node child;
       child.entries = {a};
       const std::uint32_t leaf = builder.add_node(child);
       Node top;
       top.entries = {a};
       top.branches[0] = leaf;
       const std::uint32_t root = builder.add_node(top);
       builder.set_root(root);
       builder.header().file_size = static_cast<std::uint32_t>(builder.size());
       return Planted{builder.bytes(), finding("warning", "duplicate-id", id(A), leaf) +
                                           ",\"with_node\":" + std::to_string(root)};
     }},
    {"file chain running beyond the end",
     [] {
       ArchiveBuilder builder(256);
       const DatFileEntry a = builder.add_file(A, content(600), false);
       finish(builder, {a});
       builder.set_next(a.offset, static_cast<std::uint32_t>(builder.size() + 4096));
       return Planted{builder.bytes(), finding("problem", "unreadable-chain", id(A), a.offset)};
     }},
    {"the sample archive's table chain pointing beyond the end",
     [] {
       Bytes bytes = portal_dat_sample::build_sample_archive(
           {.variant = portal_dat_sample::Variant::UnreadableTable});
       auto database = quorvane_dat::DatDatabase::from_memory(bytes);
       const std::uint32_t table = database ? database->files().find(0x30000000)->offset : 0;
       return Planted{std::move(bytes), finding("problem", "unreadable-chain", id(0x30000000), table)};
     }},
    {"directory cycle",
     [] {
       ArchiveBuilder builder(2048);
       const std::uint32_t root = finish(builder, {builder.add_file(A, content(10), false)});
       builder.set_branch(root, 0, root);
       return Planted{builder.bytes(), finding("problem", "directory-unreadable", "", root)};
     }},
};

TEST(PortalDatVerify, FindsEachPlantedFaultWithItsCode) {
  const test_support::ScratchDir dir("portal_dat_verify");
  for (const auto& row : kPlanted) {
    SCOPED_TRACE(row.fault);
    const Planted planted = row.make();
    const auto archive = dir.write("planted.dat", planted.archive);
    const ProcessResult json = verify(archive, {"--json", "--threads", "2"});
    const std::vector<std::string> lines = lines_of(json.out);
    ASSERT_EQ(lines.size(), planted.findings + 1) << json.out << json.err;
    EXPECT_TRUE(lines.front().starts_with(planted.first)) << lines.front() << "\nnot " << planted.first;
    const bool problem = planted.first.find("\"problem\"") != std::string::npos;
    EXPECT_EQ(json.status, problem ? 1 : 0) << json.out;
    EXPECT_EQ(verify(archive, {"--strict", "-q"}).status, 1);
  }
}

TEST(PortalDatVerify, PrintsOneTextLinePerFindingAndASummary) {
  const test_support::ScratchDir dir("portal_dat_verify_text");
  const auto archive = dir.write("loop.dat", file_loop(ChainShape::Contiguous).archive);
  const ProcessResult text = verify(archive);
  const std::vector<std::string> lines = lines_of(text.out);
  ASSERT_EQ(lines.size(), 2U) << text.out;
  EXPECT_TRUE(lines[0].starts_with("problem: chain-loop: file 0A000001: offset 0x00000290: "))
      << lines[0];
  EXPECT_EQ(lines[1], "FAILED: 1 entries, 1 directory nodes, 1 problem, 0 warnings");
  EXPECT_EQ(text.err, "");
}

// Sound archives of every layout: not a single finding.
TEST(PortalDatVerify, FindsNothingInSoundArchives) {
  const test_support::ScratchDir dir("portal_dat_verify_sound");
  std::vector<std::pair<const char*, Bytes>> archives;
  {
    // Chains packed without padding: each starts right after the last byte
    // that the one before reads, in the unused tail of its last block.
    ArchiveBuilder builder(64);
    auto block = [&builder](std::uint32_t next, std::size_t payload) {
      Bytes raw = content(payload);
      raw.insert(raw.begin(),
                 {static_cast<std::uint8_t>(next), static_cast<std::uint8_t>(next >> 8),
                  static_cast<std::uint8_t>(next >> 16), static_cast<std::uint8_t>(next >> 24)});
      return builder.append_raw(raw);
    };
    const auto first = static_cast<std::uint32_t>(builder.size());
    block(first + 64, 60);  // a full block, then a last block of 10 bytes
    block(0, 10);
    // Two blocks the other way round: the last one right below the first.
    const std::uint32_t below = block(0, 10);
    const std::uint32_t above = block(below, 60);
    std::vector<DatFileEntry> entries{{0, A, first, 70, 0, 0}, {0, 0x0B000001, above, 70, 0, 0}};
    for (std::uint32_t i = 0; i < 3; ++i) {
      const auto size = static_cast<std::uint32_t>(5 + 40 * i);  // 85 runs past one block
      entries.push_back({0, B + i, block(0, size), size, 0, 0});
    }
    Node root;
    root.entries = entries;
    const Bytes encoded = root.encode();
    const std::uint32_t node = block(0, 0);
    builder.append_raw(encoded);
    builder.set_root(node);
    builder.header().file_size = static_cast<std::uint32_t>(builder.size());
    archives.emplace_back("compact", builder.bytes());
  }
  {
    ArchiveBuilder builder(128);
    std::vector<DatFileEntry> entries;
    for (std::uint32_t i = 0; i < 20; ++i) {
      entries.push_back(builder.add_file(A + i, content(50 * i + 1), i % 2 == 0, ChainShape::Scattered));
    }
    entries.push_back(builder.add_file(B + 100, content(700), false, ChainShape::SingleRun));
    // The pointer of the block in which the data ends is read, never followed,
    // whatever it holds: here the chain's first block.
    entries.push_back(builder.add_file(B + 101, content(3 * 124), false, ChainShape::Scattered));
    builder.set_next(builder.chain_blocks(entries.back().offset).back(), entries.back().offset);
    Node root;
    root.entries = entries;
    builder.set_root(builder.add_node(root, ChainShape::Scattered));
    builder.header().file_size = static_cast<std::uint32_t>(builder.size());
    archives.emplace_back("scattered", builder.bytes());
  }
  for (const auto& [name, count, compressed] :
       {std::tuple{"compressed", 300U, true}, std::tuple{"deep directory", 4000U, false}}) {
    ArchiveBuilder builder(256);
    std::vector<dat_writer::FileSpec> files;
    for (std::uint32_t i = 0; i < count; ++i) files.push_back({A + i, content(i % 700 + 1), compressed});
    EXPECT_GE(dat_writer::add_files_with_directory(builder, files).depth, compressed ? 2U : 3U);
    builder.header().file_size = static_cast<std::uint32_t>(builder.size());
    archives.emplace_back(name, builder.bytes());
  }
  archives.emplace_back("sample", portal_dat_sample::build_sample_archive({.filler_files = 300}));

  for (const auto& [name, bytes] : archives) {
    SCOPED_TRACE(name);
    const auto archive = dir.write("sound.dat", bytes);
    for (const char* threads : {"1", "2"}) {
      const ProcessResult json = verify(archive, {"--json", "--threads", threads});
      EXPECT_EQ(json.status, 0) << json.out << json.err;
      const std::vector<std::string> lines = lines_of(json.out);
      ASSERT_EQ(lines.size(), 1U) << json.out;
      EXPECT_TRUE(lines[0].ends_with(",\"problems\":0,\"warnings\":0}")) << lines[0];
    }
    const ProcessResult text = verify(archive, {"--strict"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.starts_with("ok: ") && text.out.ends_with(", 0 problems, 0 warnings\n"))
        << text.out;
  }
}

}  // namespace
