// Writes the seed corpora of the fuzz harnesses, one directory per harness
// under the directory given on the command line (normally fuzz/corpus):
//
//   fuzz_make_seed_corpus fuzz/corpus
//
// Archives are laid out by the project's archive writer; everything is
// deterministic, so rerunning reproduces the committed files byte for byte.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "dat_writer/lzss_encoder.hpp"
#include "dat_writer/record_bytes.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"

namespace {

using dat_writer::append_u32_le;
using dat_writer::ArchiveBuilder;
using dat_writer::Bytes;
using dat_writer::ChainShape;
using dat_writer::Node;

constexpr std::uint32_t TABLE_ID = quorvane_dat::COMBAT_MANEUVER_TABLE_ID;

class CorpusWriter {
 public:
  explicit CorpusWriter(std::filesystem::path root) : root_(std::move(root)) {}

  void write(std::string_view harness, std::string_view name, const Bytes& bytes) {
    const auto dir = root_ / harness;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
    ++count_;
  }
  void write(std::string_view harness, std::string_view name, std::string_view text) {
    write(harness, name, Bytes(text.begin(), text.end()));
  }
  int count() const noexcept { return count_; }

 private:
  std::filesystem::path root_;
  int count_ = 0;
};

void put_u16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A combat maneuver table with `rows` rows (the last three are the stance's
// backhand rows) and the given stored count.
Bytes table_bytes(std::uint32_t rows, std::uint32_t count) {
  std::vector<quorvane_dat::CombatManeuver> table;
  for (std::uint32_t r = 0; r < rows; ++r) {
    table.push_back({0x80000040, r % 3 + 1, 0x04, 10 * r, 0x10000120 + r});
  }
  return dat_writer::encode_maneuver_table(TABLE_ID, count, table);
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 13);
  return out;
}

// A root node with the table and a few small files, optionally one child.
Bytes small_archive(std::uint32_t block_size, bool compressed, ChainShape shape, bool child) {
  ArchiveBuilder b(block_size);
  Node root;
  root.entries.push_back(b.add_file(TABLE_ID, table_bytes(4, 4), compressed, shape));
  root.entries.push_back(b.add_file(0x01000001, pattern(40, 1), false, shape));
  root.entries.push_back(b.add_file(0x01000002, pattern(90, 2), true, shape));
  if (child) {
    Node leaf;
    leaf.entries.push_back(b.add_file(0x00000010, pattern(12, 3), false, shape));
    root.branches[0] = b.add_node(leaf, shape);
  }
  b.set_root(b.add_node(root, shape));
  return b.bytes();
}

// The table alone, stored plainly, in a root node that `rewire` alters.
template <typename Rewire>
Bytes table_root_archive(std::uint32_t block_size, std::uint32_t rows, Rewire rewire) {
  ArchiveBuilder b(block_size);
  Node root;
  root.entries.push_back(b.add_file(TABLE_ID, table_bytes(rows, rows), false));
  const std::uint32_t node = b.add_node(root);
  rewire(b, node);
  b.set_root(node);
  return b.bytes();
}

void archive_seeds(CorpusWriter& w) {
  w.write("archive_open", "compressed_table", small_archive(256, true, ChainShape::Contiguous, false));
  w.write("archive_open", "plain_table", small_archive(256, false, ChainShape::Contiguous, false));
  w.write("archive_open", "two_levels", small_archive(512, true, ChainShape::Contiguous, true));
  w.write("archive_open", "scattered_chains", small_archive(64, true, ChainShape::Scattered, true));
  w.write("archive_open", "single_run_chains", small_archive(16, false, ChainShape::SingleRun, false));
  {
    ArchiveBuilder b(256);
    b.pad_to(dat_writer::DATA_START);
    w.write("archive_open", "header_only", b.bytes());
  }
  {
    // Block size 5: every block carries a single byte.
    ArchiveBuilder b(5);
    Node root;
    root.entries.push_back(b.add_file(TABLE_ID, table_bytes(1, 1), false, ChainShape::Contiguous));
    b.set_root(b.add_node(root, ChainShape::SingleRun));
    w.write("archive_open", "block_size_5", b.bytes());
  }
  // A directory node whose second block points back to its first.
  w.write("archive_open", "node_chain_loop",
          table_root_archive(1024, 2, [](ArchiveBuilder& b, std::uint32_t node) {
            b.set_next(b.chain_blocks(node).front(), node);
          }));
  // A node that names itself as its child.
  w.write("archive_open", "directory_cycle",
          table_root_archive(
              2048, 1, [](ArchiveBuilder& b, std::uint32_t node) { b.set_branch(node, 0, node); }));
  {
    // One leaf named by two parents, and by one of them twice.
    ArchiveBuilder b(512);
    Node leaf;
    leaf.entries.push_back(b.add_file(TABLE_ID, table_bytes(1, 1), true));
    const std::uint32_t shared = b.add_node(leaf);
    Node left;
    left.entries.push_back(b.add_file(2, pattern(40, 2), false));
    left.branches[0] = shared;
    left.branches[1] = shared;
    Node root;
    root.entries.push_back(b.add_file(1, pattern(30, 1), false));
    root.branches[0] = b.add_node(left);
    root.branches[1] = shared;
    b.set_root(b.add_node(root));
    w.write("archive_open", "shared_node", b.bytes());
  }
  {
    // 300 nodes packed 12 bytes apart, each naming the next in slot 0: a deep
    // directory of overlapping nodes in a small file.
    ArchiveBuilder b(2048);
    b.pad_to(dat_writer::DATA_START);
    const auto first = static_cast<std::uint32_t>(b.size());
    b.pad_to(first + 300 * 12 + quorvane_dat::NODE_SIZE);
    for (std::uint32_t i = 0; i + 1 < 300; ++i) b.write_u32(first + i * 12 + 4, first + (i + 1) * 12);
    b.set_root(first);
    w.write("archive_open", "packed_deep_chain", b.bytes());
  }
  {
    // A genuine chain of 40 levels, one entry each, the table in the deepest.
    ArchiveBuilder b(1024);
    std::uint32_t below = 0;
    for (std::uint32_t level = 40; level-- > 0;) {
      Node node;
      node.entries.push_back(level == 39 ? b.add_file(TABLE_ID, table_bytes(2, 2), true)
                                         : b.add_file(level + 1, pattern(20, 3), false));
      node.branches[0] = below;
      below = b.add_node(node);
    }
    b.set_root(below);
    w.write("archive_open", "deep_chain", b.bytes());
  }
}

void decoder_seeds(CorpusWriter& w) {
  w.write("decompress_lrs", "example", Bytes{6, 0, 0, 0, 0x20, 0x61, 0x62, 0x02, 0x00, 0x63, 0x64});
  w.write("decompress_lrs", "short", Bytes{1, 2, 3});
  const std::string text = "the quick brown fox jumps over the lazy dog; the quick brown fox again";
  w.write("decompress_lrs", "text", dat_writer::compress_lrs(Bytes(text.begin(), text.end())));
  w.write("decompress_lrs", "runs", dat_writer::compress_lrs(Bytes(300, 0x41)));
  w.write("decompress_lrs", "table", dat_writer::compress_lrs(table_bytes(8, 8)));
  Bytes huge = dat_writer::compress_lrs(pattern(200, 9));
  huge[0] = huge[1] = huge[2] = huge[3] = 0xFF;
  w.write("decompress_lrs", "declared_4gib", huge);
  // Distance larger than the output, distance 0, a reference into no output.
  w.write("decompress_lrs", "far_reference",
          Bytes{8, 0, 0, 0, 0x30, 0x61, 0x62, 0x03, 0x02, 0x00, 0x00});
  w.write("decompress_lrs", "reference_first", Bytes{4, 0, 0, 0, 0x80, 0x01, 0x00, 0x61});
}

// The streaming decoder's inputs: two bytes choosing the feed and piece
// sizes, then a body.
void stream_decoder_seeds(CorpusWriter& w) {
  const std::string text = "the quick brown fox jumps over the lazy dog; the quick brown fox again";
  const Bytes body = dat_writer::compress_lrs(Bytes(text.begin(), text.end()));
  const auto with = [](std::uint8_t feed, std::uint8_t piece, Bytes rest) {
    rest.insert(rest.begin(), {feed, piece});
    return rest;
  };
  w.write("lrs_stream_decoder", "bytewise", with(0, 0, body));
  w.write("lrs_stream_decoder", "split_header", with(2, 1, body));
  w.write("lrs_stream_decoder", "long_runs",
          with(0x85, 3, dat_writer::compress_lrs(Bytes(20000, 0x41))));
  w.write("lrs_stream_decoder", "far_reference",
          with(1, 0, Bytes{8, 0, 0, 0, 0x30, 0x61, 0x62, 0x03, 0x02, 0x00, 0x00}));
  w.write("lrs_stream_decoder", "reference_first",
          with(3, 0, Bytes{4, 0, 0, 0, 0x80, 0x01, 0x00, 0x61}));
  w.write("lrs_stream_decoder", "short", with(1, 0, Bytes{1, 2, 3}));
}

void table_seeds(CorpusWriter& w) {
  w.write("combat_maneuver_table", "three_rows", table_bytes(3, 3));
  w.write("combat_maneuver_table", "no_rows", table_bytes(0, 0));
  w.write("combat_maneuver_table", "count_4g", table_bytes(2, 0xFFFFFFFF));
  Bytes cut = table_bytes(3, 3);
  cut.resize(54);
  w.write("combat_maneuver_table", "cut_in_third_row", cut);
  w.write("combat_maneuver_table", "trailing_bytes", [] {
    Bytes b = table_bytes(1, 1);
    b.insert(b.end(), {1, 2, 3, 4, 5});
    return b;
  }());
}

// NUL-separated: the environment selector first, then the arguments.
std::string segments(std::initializer_list<std::string_view> parts) {
  std::string out;
  bool first = true;
  for (std::string_view p : parts) {
    if (!first) out.push_back('\0');
    out.append(p);
    first = false;
  }
  return out;
}

void cli_seeds(CorpusWriter& w) {
  w.write("parse_opts", "list", segments({"", "audit", "--list"}));
  w.write("parse_opts", "help", segments({"", "audit", "-h"}));
  w.write("parse_opts", "filters",
          segments({"", "audit", "shield", "--exact", "--skip", "x", "--", "-q"}));
  w.write("parse_opts", "threads", segments({"", "audit", "--test-threads=0", "--color", "always"}));
  w.write("parse_opts", "json", segments({"0", "1", "audit", "-Zunstable-options", "--format=json"}));
  w.write("parse_opts", "shuffle_env",
          segments({"023", "1", "1", "12x", "audit", "-Z", "unstable-options", "--shuffle"}));
  w.write("parse_opts", "time",
          segments(
              {"0456", "1", "5,1", "10,20", "a,b", "audit", "-Z", "unstable-options", "--ensure-time"}));
  w.write("parse_opts", "cluster",
          segments({"", "audit", "-hqZ", "--logfile", "/dev/null", "--nocapture"}));
}

// A compiled terminal description with colours 0..7 and the strings the
// runner uses; `wide` selects 32-bit numbers.
Bytes terminfo_bytes(bool wide) {
  const std::string names = "fuzzterm|terminal for fuzzing";
  const std::uint16_t bools = 2;
  const std::uint16_t numbers = 15;
  const std::uint16_t strings = 361;
  std::string table;
  std::vector<std::int16_t> offsets(strings, -1);
  const auto add = [&](std::size_t index, std::string_view value) {
    offsets[index] = static_cast<std::int16_t>(table.size());
    table.append(value);
    table.push_back('\0');
  };
  add(39, "\x1b(B\x1b[m");
  add(131, "%?%p9%t\x1b(0%e\x1b(B%;\x1b[0%?%p6%t;1%;%?%p1%t;7%;m");
  add(297, "\x1b[39;49m");
  add(359, "\x1b[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m");
  add(360, "\x1b[4%p1%dm$<2>");
  Bytes out;
  put_u16(out, wide ? 01036 : 0432);
  put_u16(out, static_cast<std::uint16_t>(names.size() + 1));
  put_u16(out, bools);
  put_u16(out, numbers);
  put_u16(out, strings);
  put_u16(out, static_cast<std::uint16_t>(table.size()));
  out.insert(out.end(), names.begin(), names.end());
  out.push_back(0);
  out.push_back(1);
  out.push_back(0);
  if (out.size() % 2 != 0) out.push_back(0);
  for (std::uint16_t i = 0; i < numbers; ++i) {
    const std::int32_t v = i == 13 ? 256 : (i == 0 ? 80 : -1);
    if (wide) {
      append_u32_le(out, static_cast<std::uint32_t>(v));
    } else {
      put_u16(out, static_cast<std::uint16_t>(v));
    }
  }
  for (const std::int16_t off : offsets) put_u16(out, static_cast<std::uint16_t>(off));
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

void terminfo_seeds(CorpusWriter& w) {
  Bytes narrow{0};
  const Bytes n = terminfo_bytes(false);
  narrow.insert(narrow.end(), n.begin(), n.end());
  w.write("terminfo", "description_16bit", narrow);
  Bytes wide{0};
  const Bytes n32 = terminfo_bytes(true);
  wide.insert(wide.end(), n32.begin(), n32.end());
  w.write("terminfo", "description_32bit", wide);
  const auto expansion = [](std::initializer_list<std::int32_t> params, std::string_view cap) {
    Bytes out{1};
    for (const std::int32_t p : params) append_u32_le(out, static_cast<std::uint32_t>(p));
    for (std::size_t i = params.size(); i < 9; ++i) append_u32_le(out, 0);
    out.insert(out.end(), cap.begin(), cap.end());
    return out;
  };
  w.write("terminfo", "expand_arith", expansion({3, 4}, "%p1%p2%*%{7}%m%d|%p2%'A'%+%c%i%p1%02x"));
  w.write("terminfo", "expand_vars", expansion({5}, "%p1%Pa%ga%gb%+%PZ%gZ%:-5d%l"));
  w.write("terminfo", "expand_branches", expansion({0, 1}, "%?%p1%t1%e%p2%t2%e3%;%?%p2%!%t!%;"));
}

void text_seeds(CorpusWriter& w) {
  for (const char* harness : {"json_escape", "xml_escape"}) {
    w.write(harness, "plain", std::string_view("test result: ok. 4 passed"));
    w.write(harness, "controls", std::string_view("a\"b\\c\b\f\n\r\t\x01\x1b[1m\x7f end"));
    w.write(harness, "utf8", std::string_view("\xe2\x95\xba\xe2\x94\x81 \xef\xbf\xbe \xf0\x9f\x98\x80"));
    w.write(harness, "invalid_utf8",
            std::string_view("\xc0\x80 \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x82"));
    w.write(harness, "markup", std::string_view("<?xml?> ]]> <![CDATA[]]> & ' \"\n]]]>>\n"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_seed_corpus OUTPUT_DIR\n");
    return 2;
  }
  try {
    CorpusWriter writer{std::filesystem::path(argv[1])};
    archive_seeds(writer);
    decoder_seeds(writer);
    stream_decoder_seeds(writer);
    table_seeds(writer);
    cli_seeds(writer);
    terminfo_seeds(writer);
    text_seeds(writer);
    std::printf("wrote %d seed inputs under %s\n", writer.count(), argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fuzz_make_seed_corpus: %s\n", e.what());
    return 1;
  }
  return 0;
}
