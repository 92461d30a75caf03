// Calls every function of the library's public interface, from outside the
// project, through the installed headers only: every_function ARCHIVE, where
// ARCHIVE is the sample archive (it holds the combat maneuver table
// 0x30000000). Prints "every function: ok" and exits 0 when every call gave
// what the archive holds; otherwise names the first call that did not.
#include <quorvane_dat/quorvane_dat.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace qd = quorvane_dat;

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "every_function: %s\n", what);
    std::exit(1);
  }
}

constexpr std::uint32_t TABLE_ID = 0x30000000;

class CountingVisitor : public qd::DirectoryVisitor {
 public:
  void on_node(const qd::DirectoryNodeInfo&) override { nodes_ += 1; }
  qd::DatResult<void> on_entries(std::span<const qd::DatFileEntry> entries) override {
    entries_ += entries.size();
    return {};
  }
  std::size_t nodes_ = 0;
  std::size_t entries_ = 0;
};

std::vector<std::uint8_t> read_whole(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void errors_and_texts() {
  const qd::IoError os = qd::IoError::from_os(ENOENT);
  check(os.kind() == qd::IoErrorKind::NotFound && os.raw_os_error() == ENOENT, "IoError::from_os");
  check(qd::io_error_kind_from_errno(ENOENT) == qd::IoErrorKind::NotFound, "io_error_kind_from_errno");
  check(qd::io_error_kind_name(qd::IoErrorKind::UnexpectedEof) == "UnexpectedEof", "io_error_kind_name");
  check(!os.display().empty() && !os.debug().empty(), "IoError::display, debug");
  check(qd::IoError::simple(qd::IoErrorKind::Other, "simple").display() == "simple", "IoError::simple");
  check(qd::IoError::custom(qd::IoErrorKind::Other, "custom").display() == "custom", "IoError::custom");
  check(qd::IoError::unexpected_eof().kind() == qd::IoErrorKind::UnexpectedEof,
        "IoError::unexpected_eof");
  check(!qd::IoError::not_enough_bytes().display().empty(), "IoError::not_enough_bytes");

  qd::ParseError parse = qd::ParseError(qd::IoError::unexpected_eof())
                             .with_field(qd::DatHeader::magic_site)
                             .with_frame(qd::ContextFrame{"While reading", "file.hpp", 1});
  check(parse.frames().size() == 2 && !parse.report().empty(),
        "ParseError::with_field, with_frame, report");
  const qd::DatError error(std::move(parse));
  check(error.as<qd::DatError::BinRead>() != nullptr, "DatError::as");
  check(!error.display().empty() && !error.debug().empty(), "DatError::display, debug");
  check(error.plain().find('\n') == std::string::npos && !error.plain().empty(),
        "DatError::plain, ParseError::plain");
  check(qd::debug_quote_text("a\"b") == "\"a\\\"b\"", "debug_quote_text");
  check(qd::debug_quote_path("p") == "\"p\"", "debug_quote_path");
  check(qd::display_path("p") == "p", "display_path");

  const qd::Version v = qd::version();
  check(v.major_number == QUORVANE_DAT_VERSION_MAJOR && v.minor_number == QUORVANE_DAT_VERSION_MINOR &&
            v.patch_number == QUORVANE_DAT_VERSION_PATCH && v.text == QUORVANE_DAT_VERSION_STRING,
        "version");
  check(qd::portal_dat_fallback_path().native().ends_with("dats/portal.dat"),
        "portal_dat_fallback_path");
  (void)qd::get_portal_dat_path();
}

void records(const qd::DatDatabase& db, const std::vector<std::uint8_t>& file,
             const std::vector<std::uint8_t>& table) {
  qd::ByteReader header_reader{std::span<const std::uint8_t>(file).subspan(0x140)};
  check(qd::DatHeader::read(header_reader).value() == db.header(), "DatHeader::read");
  check(header_reader.position() == 80, "ByteReader::position");
  header_reader.rewind_to(0);
  check(header_reader.read_u32_le().value() == db.header().magic, "ByteReader::rewind_to, read_u32_le");
  check(header_reader.read_bytes(4).value().size() == 4, "ByteReader::read_bytes");

  const qd::DatFileEntry& some = *db.files().find(TABLE_ID);
  std::uint8_t raw[qd::FILE_ENTRY_SIZE] = {};
  const std::uint32_t fields[] = {some.bit_flags, some.id,        some.offset,
                                  some.size,      some.timestamp, some.version};
  std::memcpy(raw, fields, sizeof raw);
  check(qd::DatFileEntry::decode(std::span<const std::uint8_t, qd::FILE_ENTRY_SIZE>(raw)).offset ==
            some.offset,
        "DatFileEntry::decode");
  qd::ByteReader entry_reader{std::span<const std::uint8_t>(raw)};
  check(qd::DatFileEntry::read(entry_reader).value().id == TABLE_ID, "DatFileEntry::read");

  qd::ByteReader table_reader{std::span<const std::uint8_t>(table)};
  const qd::CombatManeuverTable cmt = qd::CombatManeuverTable::read(table_reader).value();
  check(cmt.id == TABLE_ID && !cmt.combat_maneuvers.empty(), "CombatManeuverTable::read");
  qd::ByteReader row_reader{std::span<const std::uint8_t>(table).subspan(8)};
  check(qd::CombatManeuver::read(row_reader).value() == cmt.combat_maneuvers.front(),
        "CombatManeuver::read");

  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  qd::ByteReader fd_reader = qd::ByteReader::over_fd(fd);
  check(!fd_reader.read_u32_le().has_value(), "ByteReader::over_fd");
  ::close(fd);
}

void index_and_reads(const qd::DatDatabase& db) {
  qd::FileIndex copy;
  check(copy.empty() && copy.reserve(db.files().size()), "FileIndex, reserve");
  for (const auto& [id, entry] : db.files())
    check(copy.insert_or_assign(entry), "FileIndex::insert_or_assign");
  check(copy == db.files() && copy.size() == db.files().size(), "FileIndex operator==");
  qd::FileIndex moved(std::move(copy));
  qd::FileIndex assigned;
  assigned = std::move(moved);
  check(assigned.contains(TABLE_ID) && assigned.count(TABLE_ID) == 1, "FileIndex move, find");

  const qd::DatFileEntry& entry = *db.files().find(TABLE_ID);
  std::vector<std::uint8_t> into;
  check(db.get_file_into(TABLE_ID, into).has_value(), "DatDatabase::get_file_into");
  check(db.decoded_size(TABLE_ID).value() == into.size(), "DatDatabase::decoded_size");
  const std::vector<std::uint8_t> stored = db.get_stored(TABLE_ID).value();
  check(stored == db.read_file_data(entry.offset, entry.size).value(),
        "DatDatabase::get_stored, read_file_data");
  if (entry.is_compressed()) {
    check(qd::decompress_lrs(stored) == into, "decompress_lrs");
    std::vector<std::uint8_t> decoded;
    qd::decompress_lrs_into(stored, decoded);
    check(decoded == into, "decompress_lrs_into");
    qd::DecodeFindings findings;
    qd::decompress_lrs_into(stored, decoded, findings);
    check(decoded == into && !findings.any(), "decompress_lrs_into with findings");
    // One piece larger than the table: all of it is fed, then finished.
    qd::LrsStreamDecoder decoder(std::size_t{1} << 20);
    const std::size_t fed = decoder.feed(stored);
    decoder.finish();
    const std::vector<std::uint8_t> piece(decoder.output().begin(), decoder.output().end());
    decoder.take();
    check(fed <= stored.size() && decoder.ended() && piece == into && decoder.output().empty(),
          "LrsStreamDecoder");
  }
  {
    auto stream = qd::FileStream::open(db, entry);
    std::vector<std::uint8_t> streamed;
    for (auto piece = stream->next(); piece && !piece->empty(); piece = stream->next()) {
      streamed.insert(streamed.end(), piece->begin(), piece->end());
    }
    check(streamed == into && stream->finished() && stream->entry().id == TABLE_ID &&
              !stream->chain_loops() && !stream->findings().any() &&
              stream->declared_size() == into.size() && stream->blocks().empty(),
          "FileStream");
    qd::FileStream moved_stream(std::move(*stream));
    moved_stream = std::move(*qd::FileStream::open(db, TABLE_ID));
    check(moved_stream.drain().has_value(), "FileStream::open by id, drain");
  }
  check(!db.chain_blocks(entry.offset, entry.size).value().empty(), "DatDatabase::chain_blocks");
  check(db.get_file(0xFFFFFFFF).error().as<qd::DatError::NotFound>() != nullptr,
        "DatDatabase::get_file");

  CountingVisitor visitor;
  check(db.visit_directory(visitor).has_value() && visitor.entries_ == db.files().size() &&
            visitor.nodes_ > 0,
        "DatDatabase::visit_directory");

  std::vector<qd::DatFileEntry> selection;
  for (const auto& [id, e] : db.files()) selection.push_back(e);
  std::size_t delivered = 0;
  const qd::BatchOptions options;
  check(qd::read_batch(
            db, selection, options,
            [&](const qd::BatchFile& f) {
              delivered += f.error == nullptr ? 1 : 0;
              return true;
            }).has_value() &&
            delivered == selection.size(),
        "read_batch");
  delivered = 0;
  check(
      qd::read_batch(db, options, [&](const qd::BatchFile&) { return ++delivered, true; }).has_value() &&
          delivered == selection.size(),
      "read_batch of every entry");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: every_function ARCHIVE\n"), 2;
  errors_and_texts();

  auto by_path = qd::DatDatabase::new_(argv[1]);
  check(by_path.has_value(), "DatDatabase::new_");
  const std::vector<std::uint8_t> table = by_path->get_file(TABLE_ID).value();

  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  auto by_fd = qd::DatDatabase::from_fd(fd);
  check(by_fd.has_value() && by_fd->get_file(TABLE_ID).value() == table, "DatDatabase::from_fd");

  const std::vector<std::uint8_t> bytes = read_whole(argv[1]);
  auto in_memory = qd::DatDatabase::from_memory(bytes);
  check(in_memory.has_value() && in_memory->archive_length() == bytes.size(),
        "DatDatabase::from_memory");

  qd::DatDatabase db(std::move(*by_path));
  db = std::move(*in_memory);
  check(db.get_file(TABLE_ID).value() == table, "DatDatabase move");

  records(db, bytes, table);
  index_and_reads(db);
  std::printf("every function: ok (quorvane_dat %s)\n", qd::version().text.data());
  return 0;
}
