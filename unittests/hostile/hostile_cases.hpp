// The hostile archives that the audit executable is run on end to end, each
// with the result it must end in. Shared by the end-to-end test and by the
// tool that writes them out for measuring (hostile_archive_writer).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dat_writer/dat_writer.hpp"

namespace hostile {

struct AuditCase {
  std::string name;  // what is hostile about it
  std::string slug;  // file name stem
  std::function<dat_writer::Bytes()> archive;
  int status;                     // 0: the audit passes; 101: it fails
  std::string expected;           // part of standard output
  std::uint64_t file_length = 0;  // when beyond the bytes: the file is
                                  // extended to it sparsely
};

// Writes a case's archive to `path`.
void write_case_archive(const AuditCase& c, const std::filesystem::path& path);

std::vector<AuditCase> audit_cases();

}  // namespace hostile
