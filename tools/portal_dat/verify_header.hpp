// verify's checks of the header against the file: its length, the root
// node's offset and the block size.
#pragma once

#include <cstdint>

#include "quorvane_dat/lib/dat_header.hpp"
#include "tools/portal_dat/verify_findings.hpp"

namespace portal_dat {

// Reports what the header says that the file contradicts: a file_size larger
// (truncated) or smaller (trailing-bytes) than the file, a root_offset in the
// reserved range or beyond the end, a block_size of 4 or less with a chain to
// follow.
void check_header(const quorvane_dat::DatHeader& header, std::uint64_t archive_length, FindingLog& log);

}  // namespace portal_dat
