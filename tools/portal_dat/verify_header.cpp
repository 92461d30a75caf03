// The header's fields against the file they describe.
#include "tools/portal_dat/verify_header.hpp"

#include <string>

#include "quorvane_dat/lib/dat_format.hpp"
#include "tools/portal_dat/ownership_map.hpp"

namespace portal_dat {

namespace {

// Where each checked field lies in the file.
constexpr std::uint64_t BLOCK_SIZE_FIELD = quorvane_dat::HEADER_OFFSET + 0x04;

std::string number(std::uint64_t value) { return std::to_string(value); }

}  // namespace

void check_header(const quorvane_dat::DatHeader& header, std::uint64_t archive_length, FindingLog& log) {
  const Subject archive = Subject::archive();
  if (header.file_size > archive_length) {
    log.problem(finding_code::TRUNCATED, archive, archive_length,
                "file_size says " + number(header.file_size) + " bytes, but the file holds " +
                    number(archive_length));
  } else if (header.file_size < archive_length) {
    log.warning(finding_code::TRAILING_BYTES, archive, header.file_size,
                number(archive_length - header.file_size) + " bytes beyond file_size " +
                    number(header.file_size) + " (the file holds " + number(archive_length) + ")");
  }
  const std::uint32_t root = header.root_offset;
  if (root != 0 && root < RESERVED_END) {
    log.problem(finding_code::ROOT_OFFSET, archive, root,
                "root_offset " + hex_offset(root) +
                    " lies in the header or the bytes before it (below " + hex_offset(RESERVED_END) +
                    ")");
  } else if (root != 0 && root >= archive_length) {
    log.problem(finding_code::ROOT_OFFSET, archive, root,
                "root_offset " + hex_offset(root) + " lies beyond the end of the file (" +
                    number(archive_length) + " bytes)");
  }
  // Every chain starts with the root node's, so there is a chain to follow
  // exactly when there is a root.
  if (header.block_size <= quorvane_dat::BLOCK_POINTER_SIZE && root != 0) {
    log.problem(finding_code::BLOCK_SIZE, archive, BLOCK_SIZE_FIELD,
                "block_size " + number(header.block_size) +
                    " leaves no room for a payload after a block's 4-byte pointer");
  }
}

}  // namespace portal_dat
